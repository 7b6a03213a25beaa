#include "server/core/TimeText.h"

#include <cstdio>
#include <ctime>
#include <vector>

namespace navilonix::server {

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's algorithm).
long long daysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

CivilTime civilFromDays(long long z, long long secondsOfDay) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    CivilTime c;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (c.month <= 2 ? 1 : 0));
    c.hour = static_cast<int>(secondsOfDay / 3600);
    c.minute = static_cast<int>(secondsOfDay / 60 % 60);
    c.second = static_cast<int>(secondsOfDay % 60);
    return c;
}

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return days[month - 1];
}

std::string twoDigits(long long value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%02lld", value);
    return buffer;
}

std::string hms(long long seconds, char separator) {
    return std::to_string(seconds / 3600) + separator + twoDigits(seconds / 60 % 60) + separator +
           twoDigits(seconds % 60);
}

// Splits a text into its runs of digits; nothing when a number is too long or a character is unexpected.
std::optional<std::vector<int>> numbers(std::string_view text, std::string_view separators) {
    std::vector<int> result;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            long value = 0;
            std::size_t digits = 0;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
                value = value * 10 + (text[i] - '0');
                if (++digits > 4)
                    return std::nullopt;
                ++i;
            }
            result.push_back(static_cast<int>(value));
        } else if (separators.find(c) != std::string_view::npos) {
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return result;
}

} // namespace

CivilTime toUtcCivil(UnixTime time) {
    long long days = time / 86400;
    long long rest = time % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    return civilFromDays(days, rest);
}

UnixTime fromUtcCivil(const CivilTime& c) {
    return daysFromCivil(c.year, c.month, c.day) * 86400 + c.hour * 3600LL + c.minute * 60LL + c.second;
}

CivilTime toLocalCivil(UnixTime time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm tm{};
    localtime_r(&t, &tm);
    return CivilTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

UnixTime fromLocalCivil(const CivilTime& c) {
    std::tm tm{};
    tm.tm_year = c.year - 1900;
    tm.tm_mon = c.month - 1;
    tm.tm_mday = c.day;
    tm.tm_hour = c.hour;
    tm.tm_min = c.minute;
    tm.tm_sec = c.second;
    tm.tm_isdst = -1;
    return static_cast<UnixTime>(std::mktime(&tm));
}

bool isValidCivil(const CivilTime& c) {
    return c.year >= 1900 && c.year <= 9999 && c.month >= 1 && c.month <= 12 && c.day >= 1 &&
           c.day <= daysInMonth(c.year, c.month) && c.hour >= 0 && c.hour < 24 && c.minute >= 0 && c.minute < 60 &&
           c.second >= 0 && c.second < 60;
}

std::string formatDateTime(UnixTime time, const TextFormat& format) {
    const CivilTime c = toLocalCivil(time);
    const char s = format.dateSeparator;
    std::string date;
    switch (format.order) {
    case DateOrder::DayMonthYear:
        date = twoDigits(c.day) + s + twoDigits(c.month) + s + std::to_string(c.year);
        break;
    case DateOrder::MonthDayYear:
        date = twoDigits(c.month) + s + twoDigits(c.day) + s + std::to_string(c.year);
        break;
    case DateOrder::YearMonthDay:
        date = std::to_string(c.year) + s + twoDigits(c.month) + s + twoDigits(c.day);
        break;
    }
    const char t = format.timeSeparator;
    return date + ' ' + twoDigits(c.hour) + t + twoDigits(c.minute) + t + twoDigits(c.second);
}

std::string formatDuration(long long seconds, const TextFormat& format) {
    return hms(seconds < 0 ? 0 : seconds, format.timeSeparator);
}

std::string formatTimeOfDay(long long seconds, const TextFormat& format) {
    if (seconds < 0)
        seconds = 0;
    if (seconds > 86399)
        seconds = 86399;
    return hms(seconds, format.timeSeparator);
}

std::optional<UnixTime> parseDateTime(std::string_view text, const TextFormat& format) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    const std::size_t blank = text.find(' ');
    const std::string_view datePart = text.substr(0, blank);
    const std::string_view timePart = blank == std::string_view::npos ? std::string_view{} : text.substr(blank + 1);

    CivilTime c;
    bool dateRead = false;
    // The console's form first: day, month and year divided by dots.
    if (auto parts = numbers(datePart, "."); parts && parts->size() == 3 && datePart.find('.') != datePart.npos) {
        c.day = (*parts)[0];
        c.month = (*parts)[1];
        c.year = (*parts)[2];
        dateRead = true;
    } else if (auto local = numbers(datePart, std::string_view(&format.dateSeparator, 1));
               local && local->size() == 3) {
        const auto& p = *local;
        switch (format.order) {
        case DateOrder::DayMonthYear:
            c = CivilTime{p[2], p[1], p[0]};
            break;
        case DateOrder::MonthDayYear:
            c = CivilTime{p[2], p[0], p[1]};
            break;
        case DateOrder::YearMonthDay:
            c = CivilTime{p[0], p[1], p[2]};
            break;
        }
        dateRead = true;
    }
    if (!dateRead)
        return std::nullopt;
    if (c.year < 100)
        c.year += c.year < 50 ? 2000 : 1900;

    if (!timePart.empty()) {
        const char separators[] = {':', format.timeSeparator, '\0'};
        auto parts = numbers(timePart, separators);
        if (!parts || parts->size() < 2 || parts->size() > 3)
            return std::nullopt;
        c.hour = (*parts)[0];
        c.minute = (*parts)[1];
        c.second = parts->size() == 3 ? (*parts)[2] : 0;
    }
    if (!isValidCivil(c))
        return std::nullopt;
    return fromLocalCivil(c);
}

double toOleDate(UnixTime time) {
    return static_cast<double>(time) / 86400.0 + 25569.0;
}

} // namespace navilonix::server
