#include "server/ObjectSupport.h"

#include "platform/rtl/FormatSettings.h"
#include "server/NavilonixObject.h"
#include "server/core/FileUtil.h"
#include "server/core/Geo.h"
#include "server/core/TextFields.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <unistd.h>

namespace navilonix::server {

TextFormat textFormatFrom(const TFormatSettings& settings) {
    TextFormat format;
    std::string order;
    for (const char c : settings.ShortDateFormat) {
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if ((lower == 'd' || lower == 'm' || lower == 'y') && order.find(lower) == std::string::npos)
            order += lower;
    }
    if (order == "mdy")
        format.order = DateOrder::MonthDayYear;
    else if (order == "ymd")
        format.order = DateOrder::YearMonthDay;
    else
        format.order = DateOrder::DayMonthYear;
    if (settings.DateSeparator.size() == 1)
        format.dateSeparator = settings.DateSeparator[0];
    if (settings.TimeSeparator.size() == 1)
        format.timeSeparator = settings.TimeSeparator[0];
    return format;
}

std::string excerpt(std::string_view text) {
    std::size_t end = std::min(text.size(), LogExcerptBytes);
    if (end < text.size())
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) // not inside a character
            --end;
    std::string out = "\"";
    for (const char c : text.substr(0, end)) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (u < 0x20 || u == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else
            out += c;
    }
    out += '"';
    if (end < text.size())
        out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}

bool sameFileName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string placeName(const std::vector<CheckPoint>& points, double latitude, double longitude) {
    const CheckPoint* nearest = nullptr;
    double best = 0.0;
    for (const CheckPoint& c : points) {
        if (!insideCircle(c, latitude, longitude))
            continue;
        const double d = distanceMeters(c.latitude, c.longitude, latitude, longitude);
        if (!nearest || d < best) {
            nearest = &c;
            best = d;
        }
    }
    if (nearest)
        return nearest->name;
    return formatNumber(latitude, 5) + ", " + formatNumber(longitude, 5);
}

std::optional<ReceiverFix> readReceiver(const std::filesystem::path& file,
                                        const std::function<void(const std::string&)>& log) {
    std::string content;
    try {
        content = readWholeFile(file);
    } catch (const FileError&) {
        return std::nullopt; // no receiver
    }
    for (std::string_view line : splitLines(content)) {
        line = trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        const auto fields = splitFields(line, ' ');
        ReceiverFix fix;
        if (fields.size() >= 2) {
            const auto lat = parseNumber(fields[0]);
            const auto lon = parseNumber(fields[1]);
            const auto alt = fields.size() >= 3 ? parseNumber(fields[2]) : std::optional<double>(NoAltitude);
            if (lat && lon && alt && *lat >= -90 && *lat <= 90 && *lon >= -180 && *lon <= 180) {
                fix.latitude = *lat;
                fix.longitude = *lon;
                fix.altitude = *alt;
                return fix;
            }
        }
        log(file.filename().string() + ": expected \"latitude longitude [altitude]\"; the receiver has no fix");
        return ReceiverFix{};
    }
    return ReceiverFix{};
}

HRESULT resultOfFileError(const std::filesystem::path& file, bool writing) {
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return HRESULT_FROM_WIN32(ErrorPathNotFound);
    const bool exists = std::filesystem::exists(file, ec);
    if (!writing && !exists)
        return HRESULT_FROM_WIN32(ErrorFileNotFound);
    // Writing needs the folder (for the temporary file) and an existing file the user may write.
    if (writing ? ::access(folder.c_str(), W_OK) != 0 ||
                      (exists && (std::filesystem::is_directory(file, ec) || ::access(file.c_str(), W_OK) != 0))
                : ::access(file.c_str(), R_OK) != 0)
        return E_ACCESSDENIED;
    return E_FAIL;
}

} // namespace navilonix::server
