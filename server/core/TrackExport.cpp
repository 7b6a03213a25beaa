#include "server/core/TrackExport.h"

#include "server/core/FileUtil.h"
#include "server/core/TextFields.h"
#include "server/core/TimeText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace navilonix::server {

namespace {

bool startsSegment(const TrackExport& track, std::size_t i) {
    return i == 0 || track.points[i].time - track.points[i - 1].time >= track.breakSeconds;
}

std::string xmlEscape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // Control characters other than tab and line breaks are not allowed in XML 1.0.
            if (static_cast<unsigned char>(c) >= 32 || c == '\t' || c == '\n' || c == '\r')
                out += c;
        }
    }
    return out;
}

std::string isoTime(UnixTime time) {
    const CivilTime c = toUtcCivil(time);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", c.year, c.month, c.day, c.hour, c.minute,
                  c.second);
    return buffer;
}

std::string coordinates(const GpsRecord& r) {
    std::string text = formatNumber(r.longitude, 7) + ',' + formatNumber(r.latitude, 7);
    if (r.altitude > NoAltitude)
        text += ',' + formatNumber(r.altitude, 1);
    return text;
}

// OziExplorer's track names may not contain commas.
std::string pltName(std::string name) {
    std::replace(name.begin(), name.end(), ',', ' ');
    std::replace(name.begin(), name.end(), '\n', ' ');
    std::replace(name.begin(), name.end(), '\r', ' ');
    return name;
}

} // namespace

TrackFormat trackFormatOf(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".plt")
        return TrackFormat::Plt;
    if (ext == ".kml")
        return TrackFormat::Kml;
    return TrackFormat::Unknown;
}

std::string formatPlt(const TrackExport& track) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string out = "OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\nReserved 3\r\n";
    out += "0,2,255," + pltName(track.name) + ",0,0,2,8421376\r\n";
    out += std::to_string(track.points.size()) + "\r\n";
    char line[160];
    for (std::size_t i = 0; i < track.points.size(); ++i) {
        const GpsRecord& r = track.points[i];
        const CivilTime c = toUtcCivil(r.time);
        const double feet = r.altitude > NoAltitude ? r.altitude / 0.3048 : -777.0;
        std::snprintf(line, sizeof line, "%11.6f,%11.6f,%d,%7.1f,%.7f,%02d-%s-%02d,%02d:%02d:%02d\r\n", r.latitude,
                      r.longitude, startsSegment(track, i) ? 1 : 0, feet, toOleDate(r.time), c.day, months[c.month - 1],
                      c.year % 100, c.hour, c.minute, c.second);
        out += line;
    }
    return out;
}

std::string formatKml(const TrackExport& track) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n";
    out += "<name>" + xmlEscape(track.name) + "</name>\n";
    out += "<Style id=\"track\"><LineStyle><color>ff0000ff</color><width>3</width></LineStyle></Style>\n";
    if (!track.points.empty()) {
        auto placemark = [&](const std::string& title, const std::string& name, const GpsRecord& r) {
            out += "<Placemark><name>" + xmlEscape(title) + "</name><description>" + xmlEscape(name) +
                   "</description><TimeStamp><when>" + isoTime(r.time) + "</when></TimeStamp><Point><coordinates>" +
                   coordinates(r) + "</coordinates></Point></Placemark>\n";
        };
        placemark("Начало", track.startName, track.points.front());
        placemark("Окончание", track.endName, track.points.back());
    }
    // One placemark per unbroken segment, with the time span it covers.
    std::size_t i = 0;
    int segment = 0;
    while (i < track.points.size()) {
        std::size_t j = i + 1;
        while (j < track.points.size() && !startsSegment(track, j))
            ++j;
        out += "<Placemark><name>" + xmlEscape(track.name) + " " + std::to_string(++segment) +
               "</name><styleUrl>#track</styleUrl><TimeSpan><begin>" + isoTime(track.points[i].time) + "</begin><end>" +
               isoTime(track.points[j - 1].time) +
               "</end></TimeSpan><LineString><tessellate>1</tessellate><coordinates>\n";
        for (std::size_t k = i; k < j; ++k)
            out += coordinates(track.points[k]) + '\n';
        // A segment of one point still needs two positions to be a line.
        if (j - i == 1)
            out += coordinates(track.points[i]) + '\n';
        out += "</coordinates></LineString></Placemark>\n";
        i = j;
    }
    out += "</Document>\n</kml>\n";
    return out;
}

void exportTrack(const std::filesystem::path& file, const TrackExport& track) {
    const TrackFormat format = trackFormatOf(file);
    if (format == TrackFormat::Unknown)
        throw FileError("cannot export to " + file.string() + ": the extension must be .plt or .kml");
    if (track.points.empty())
        throw FileError("cannot export to " + file.string() + ": the trip has no track points");
    writeFileAtomically(file, format == TrackFormat::Plt ? formatPlt(track) : formatKml(track));
}

} // namespace navilonix::server
