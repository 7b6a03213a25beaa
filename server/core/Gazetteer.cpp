#include "server/core/Gazetteer.h"

#include "server/core/Geo.h"
#include "server/core/TextFields.h"

namespace navilonix::server {

std::vector<AddressEntry> parseGazetteer(std::string_view content, std::vector<std::string>* problems) {
    std::vector<AddressEntry> entries;
    int number = 0;
    for (const std::string_view raw : splitLines(content)) {
        ++number;
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == '#')
            continue;
        const auto fields = splitFields(line);
        const auto lat = fields.size() == 3 ? parseNumber(trim(fields[0])) : std::nullopt;
        const auto lon = fields.size() == 3 ? parseNumber(trim(fields[1])) : std::nullopt;
        if (!lat || !lon || *lat < -90 || *lat > 90 || *lon < -180 || *lon > 180 || trim(fields[2]).empty()) {
            if (problems)
                problems->push_back("line " + std::to_string(number) + " skipped: " + std::string(line));
            continue;
        }
        entries.push_back({*lat, *lon, unescapeField(trim(fields[2]))});
    }
    return entries;
}

std::string renderGazetteer(const std::vector<AddressEntry>& entries) {
    std::string text = "# NavilonixServer addresses: latitude<TAB>longitude<TAB>address\n";
    for (const AddressEntry& e : entries)
        text += formatNumber(e.latitude, 6) + "\t" + formatNumber(e.longitude, 6) + "\t" + escapeField(e.text) + "\n";
    return text;
}

std::optional<NearestAddress> nearestAddress(const std::vector<AddressEntry>& entries, double latitude,
                                             double longitude, double radiusMeters) {
    std::optional<NearestAddress> best;
    for (const AddressEntry& e : entries) {
        const double d = distanceMeters(latitude, longitude, e.latitude, e.longitude);
        if (d <= radiusMeters && (!best || d < best->meters))
            best = NearestAddress{e, d};
    }
    return best;
}

std::string foldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c + 32);
        } else if (c == 0xD0 && i + 1 < text.size()) {
            const auto n = static_cast<unsigned char>(text[++i]);
            if (n >= 0x90 && n <= 0x9F) { // А..П -> а..п
                out += '\xD0';
                out += static_cast<char>(n + 0x20);
            } else if (n >= 0xA0 && n <= 0xAF) { // Р..Я -> р..я
                out += '\xD1';
                out += static_cast<char>(n - 0x20);
            } else if (n == 0x81) { // Ё -> ё
                out += "\xD1\x91";
            } else {
                out += static_cast<char>(c);
                out += static_cast<char>(n);
            }
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

const AddressEntry* findAddress(const std::vector<AddressEntry>& entries, const std::vector<std::string>& parts) {
    std::vector<std::string> wanted;
    for (const std::string& p : parts)
        if (!trim(p).empty())
            wanted.push_back(foldCase(trim(p)));
    if (wanted.empty())
        return nullptr;
    for (const AddressEntry& e : entries) {
        const std::string text = foldCase(e.text);
        bool all = true;
        for (const std::string& w : wanted)
            all = all && text.find(w) != std::string::npos;
        if (all)
            return &e;
    }
    return nullptr;
}

} // namespace navilonix::server
