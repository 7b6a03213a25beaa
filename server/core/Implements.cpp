#include "server/core/Implements.h"

#include <charconv>
#include <cmath>

namespace navilonix::server {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::vector<Implement> parseImplements(std::string_view content, std::vector<std::string>* problems) {
    std::vector<Implement> out;
    int lineNumber = 0;
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        std::string_view line = trim(content.substr(0, end));
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t first = line.find(';');
        const std::size_t last = line.rfind(';');
        auto problem = [&](const std::string& what) {
            if (problems)
                problems->push_back("line " + std::to_string(lineNumber) + ": " + what);
        };
        if (first == std::string_view::npos || first == last) {
            problem("expected \"id;name;width\"");
            continue;
        }
        Implement implement;
        implement.id = std::string(trim(line.substr(0, first)));
        implement.name = std::string(trim(line.substr(first + 1, last - first - 1)));
        const std::string_view widthText = trim(line.substr(last + 1));
        const auto [ptr, ec] = std::from_chars(widthText.data(), widthText.data() + widthText.size(), implement.width);
        if (implement.id.empty())
            problem("the implement has no identifier");
        else if (ec != std::errc() || ptr != widthText.data() + widthText.size() || !std::isfinite(implement.width) ||
                 implement.width < 0)
            problem("the width \"" + std::string(widthText) + "\" is not a number of metres");
        else
            out.push_back(std::move(implement));
    }
    return out;
}

std::string formatImplements(const std::vector<Implement>& implements) {
    std::string out = "# Implements: identifier;name;working width in metres\n";
    for (const Implement& i : implements) {
        char width[32];
        const auto [end, ec] = std::to_chars(width, width + sizeof width, i.width);
        out += i.id + ";" + i.name + ";" + std::string(width, ec == std::errc() ? end : width) + "\n";
    }
    return out;
}

} // namespace navilonix::server
