#include "server/core/CheckPointFile.h"

#include "server/core/FileUtil.h"
#include "server/core/TextFields.h"

#include <algorithm>

namespace navilonix::server {

namespace {
constexpr std::string_view FirstLine = "NavilonixServer check points 1";
}

bool isBareListName(std::string_view name) {
    if (name.empty() || name.size() > 200 || name == "." || name == "..")
        return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32; });
}

std::filesystem::path checkPointFilePath(const std::filesystem::path& pointsFolder, std::string_view name) {
    if (!isBareListName(name))
        throw FileError("'" + std::string(name) + "' is not a check point list name");
    return pointsFolder / (std::string(name) + ".chp");
}

CheckPointList parseCheckPointFile(std::string_view content, std::vector<std::string>* problems) {
    CheckPointList list;
    auto report = [&](std::size_t line, const std::string& text) {
        if (problems)
            problems->push_back("line " + std::to_string(line) + ": " + text);
    };
    const auto lines = splitLines(content);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t number = i + 1;
        if (i == 0 && line.starts_with("NavilonixServer check points")) {
            if (line != FirstLine)
                report(number, "unknown version, read as version 1");
            continue;
        }
        if (trim(line).empty() || line.front() == '#')
            continue;
        const auto fields = splitFields(line);
        if (fields[0] == "point") {
            if (fields.size() < 7) {
                report(number, "a check point needs name, address, ID, latitude, longitude and radius");
                continue;
            }
            CheckPoint p;
            p.name = unescapeField(fields[1]);
            p.address = unescapeField(fields[2]);
            p.id = unescapeField(fields[3]);
            const auto lat = parseNumber(fields[4]);
            const auto lon = parseNumber(fields[5]);
            const auto radius = parseInteger(fields[6]);
            if (!lat || !lon || !radius || *lat < -90 || *lat > 90 || *lon < -180 || *lon > 180) {
                report(number, "bad coordinates or radius");
                continue;
            }
            p.latitude = *lat;
            p.longitude = *lon;
            p.radius = *radius;
            if (fields.size() > 7)
                p.fixTime = parseInteger(fields[7]).value_or(0);
            if (fields.size() > 8)
                p.weekDays = parseInteger(fields[8]).value_or(127);
            list.points.push_back(std::move(p));
        } else if (fields[0] == "zone") {
            if (fields.size() < 5) {
                report(number, "a geozone needs name, address, ID and vertices");
                continue;
            }
            GeoZone z;
            z.name = unescapeField(fields[1]);
            z.address = unescapeField(fields[2]);
            z.id = unescapeField(fields[3]);
            bool good = true;
            for (std::string_view vertex : splitFields(fields[4], ';')) {
                vertex = trim(vertex);
                if (vertex.empty())
                    continue;
                const std::size_t blank = vertex.find(' ');
                const auto lat = parseNumber(vertex.substr(0, blank));
                const auto lon = blank == std::string_view::npos ? std::nullopt : parseNumber(vertex.substr(blank + 1));
                if (!lat || !lon) {
                    good = false;
                    break;
                }
                z.vertices.push_back(GeoPoint{*lat, *lon});
            }
            if (!good || z.vertices.size() < 3) {
                report(number, "a geozone needs at least three vertices \"latitude longitude\" divided by ';'");
                continue;
            }
            list.zones.push_back(std::move(z));
        } else {
            report(number, "unknown line kind '" + std::string(fields[0]) + "'");
        }
    }
    return list;
}

std::string formatCheckPointFile(const CheckPointList& list) {
    std::string out(FirstLine);
    out += "\n# point<TAB>name<TAB>address<TAB>ID<TAB>latitude<TAB>longitude<TAB>radius m<TAB>fix time min<TAB>week "
           "days\n# zone<TAB>name<TAB>address<TAB>ID<TAB>latitude longitude;latitude longitude;...\n";
    for (const CheckPoint& p : list.points) {
        out += "point\t" + escapeField(p.name) + '\t' + escapeField(p.address) + '\t' + escapeField(p.id) + '\t' +
               formatNumber(p.latitude, 7) + '\t' + formatNumber(p.longitude, 7) + '\t' + std::to_string(p.radius) +
               '\t' + std::to_string(p.fixTime) + '\t' + std::to_string(p.weekDays) + '\n';
    }
    for (const GeoZone& z : list.zones) {
        out += "zone\t" + escapeField(z.name) + '\t' + escapeField(z.address) + '\t' + escapeField(z.id) + '\t';
        for (std::size_t i = 0; i < z.vertices.size(); ++i) {
            if (i > 0)
                out += ';';
            out += formatNumber(z.vertices[i].latitude, 7) + ' ' + formatNumber(z.vertices[i].longitude, 7);
        }
        out += '\n';
    }
    return out;
}

CheckPointList readCheckPointFile(const std::filesystem::path& path, std::vector<std::string>* problems) {
    std::vector<std::string> lines;
    CheckPointList list = parseCheckPointFile(readWholeFile(path), &lines);
    if (problems)
        for (const std::string& line : lines)
            problems->push_back(path.filename().string() + ": " + line);
    return list;
}

void writeCheckPointFile(const std::filesystem::path& path, const CheckPointList& list) {
    writeFileAtomically(path, formatCheckPointFile(list));
}

std::vector<std::string> listCheckPointFiles(const std::filesystem::path& pointsFolder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(pointsFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::filesystem::path& p = it->path();
        if (p.extension() == ".chp")
            names.push_back(p.stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace navilonix::server
