#include "server/core/PropertyStore.h"

#include "server/core/FileUtil.h"
#include "server/core/TextFields.h"

namespace navilonix::server {

bool PropertyStore::validName(std::string_view name) {
    if (name.empty() || name.size() > 200 || name.front() == '[' || name.front() == '#' || name.front() == ';' ||
        name.front() == ' ' || name.back() == ' ')
        return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == '=' || c == 0x7F)
            return false;
    return true;
}

void PropertyStore::refresh() {
    std::error_code ec;
    const bool exists = std::filesystem::exists(file_, ec);
    const auto stamp = exists ? std::filesystem::last_write_time(file_, ec) : std::filesystem::file_time_type{};
    const auto size = exists ? std::filesystem::file_size(file_, ec) : 0;
    if (loaded_ && stamp == stamp_ && size == size_)
        return;
    sections_.clear();
    problems_.clear();
    loaded_ = true;
    stamp_ = stamp;
    size_ = size;
    if (!exists)
        return;
    std::string content;
    try {
        content = readWholeFile(file_);
    } catch (const FileError& e) {
        problems_.push_back(e.what());
        return;
    }
    std::string section;
    int number = 0;
    for (const std::string_view raw : splitLines(content)) {
        ++number;
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = std::string(trim(line.substr(1, line.size() - 2)));
            continue;
        }
        const auto equals = line.find('=');
        const std::string name(trim(line.substr(0, equals == std::string_view::npos ? 0 : equals)));
        if (equals == std::string_view::npos || section.empty() || !validName(name)) {
            problems_.push_back("line " + std::to_string(number) + " skipped: " + std::string(line));
            continue;
        }
        sections_[section][name] = unescapeField(line.substr(equals + 1));
    }
}

std::optional<std::string> PropertyStore::get(const std::string& section, const std::string& name) {
    refresh();
    const auto s = sections_.find(section);
    if (s == sections_.end())
        return std::nullopt;
    const auto v = s->second.find(name);
    if (v == s->second.end())
        return std::nullopt;
    return v->second;
}

void PropertyStore::set(const std::string& section, const std::string& name, const std::string& value) {
    refresh(); // keeps what a person wrote meanwhile
    auto before = sections_;
    sections_[section][name] = value;
    try {
        writeFileAtomically(file_, render());
    } catch (const FileError&) {
        sections_ = std::move(before);
        throw;
    }
    std::error_code ec;
    stamp_ = std::filesystem::last_write_time(file_, ec);
    size_ = std::filesystem::file_size(file_, ec);
}

std::string PropertyStore::render() const {
    std::string text = "# NavilonixServer properties: [Server] and [Vehicle <device>] sections of name=value lines\n";
    for (const auto& [section, values] : sections_) {
        text += "[" + section + "]\n";
        for (const auto& [name, value] : values)
            text += name + "=" + escapeField(value) + "\n";
    }
    return text;
}

} // namespace navilonix::server
