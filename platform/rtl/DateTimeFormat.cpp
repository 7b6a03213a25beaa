#include "platform/rtl/DateTimeFormat.h"

#include "platform/rtl/Exceptions.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>

namespace {

constexpr std::int64_t MSecsPerDayInt = 86400000;
// Days from 1970-01-01 back to 1899-12-30, the day 0 of TDateTime.
constexpr std::int64_t UnixDateDelta = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// The value rounded to the nearest millisecond, as a day (counting back before day 0) and the
// milliseconds of the time of day.
struct TStamp {
    std::int64_t Day = 0;
    std::int64_t Time = 0;
};

TStamp ToStamp(TDateTime value) {
    TStamp s;
    if (!std::isfinite(value)) {
        return s;
    }
    const double ms = std::round(value * MSecsPerDay);
    if (std::fabs(ms) > 9.0e15) {
        return s;
    }
    const auto total = static_cast<std::int64_t>(ms);
    s.Day = total / MSecsPerDayInt;
    s.Time = (total < 0 ? -total : total) % MSecsPerDayInt;
    return s;
}

} // namespace

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
        return false;
    }
    date = static_cast<double>(DaysFromCivil(year, month, day) + UnixDateDelta);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime date = 0;
    if (!TryEncodeDate(year, month, day, date)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return date;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& time) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999) {
        return false;
    }
    time = static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond) / MSecsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    TDateTime time = 0;
    if (!TryEncodeTime(hour, minute, second, millisecond, time)) {
        throw EConvertError("Invalid argument to time encode");
    }
    return time;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    const TDateTime date = EncodeDate(year, month, day);
    const TDateTime time = EncodeTime(hour, minute, second, millisecond);
    return date >= 0 ? date + time : date - time;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    CivilFromDays(ToStamp(value).Day - UnixDateDelta, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
    const std::int64_t t = ToStamp(value).Time;
    hour = static_cast<int>(t / 3600000);
    minute = static_cast<int>(t / 60000 % 60);
    second = static_cast<int>(t / 1000 % 60);
    millisecond = static_cast<int>(t % 1000);
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& millisecond) {
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, millisecond);
}

int DayOfWeek(TDateTime value) {
    const std::int64_t day = ToStamp(value).Day; // day 0 was a Saturday
    return static_cast<int>(((day % 7 + 7) % 7 + 6) % 7) + 1;
}

TDateTime Now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec > 59 ? 59 : local.tm_sec, static_cast<int>(ms < 0 ? 0 : ms));
}

TDateTime Today() {
    return std::floor(Now());
}

// ---------------------------------------------------------------------------------------------------
// FormatDateTime

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithNoCase(const std::string& text, std::size_t pos, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (pos + i >= text.size() || Upper(text[pos + i]) != Upper(prefix[i])) {
            return false;
        }
    }
    return true;
}

void AppendNumber(std::string& out, int value, int digits) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < digits) {
        s.insert(0, static_cast<std::size_t>(digits) - s.size(), '0');
    }
    out += s;
}

class TDateTimeWriter {
public:
    TDateTimeWriter(TDateTime value, const TFormatSettings& settings) : m_settings(settings) {
        DecodeDateTime(value, m_year, m_month, m_day, m_hour, m_minute, m_second, m_msec);
        m_dayOfWeek = DayOfWeek(value);
    }

    void Append(std::string& out, const std::string& pattern, int depth) const {
        if (depth >= 3) {
            return;
        }
        char lastToken = ' ';
        std::size_t i = 0;
        while (i < pattern.size()) {
            const char starter = pattern[i];
            char token = Upper(starter);
            if (token >= 'A' && token <= 'Z') {
                if (token == 'M' && lastToken == 'H') {
                    token = 'N';
                }
                lastToken = token;
            }
            std::size_t count = 1;
            while (i + count < pattern.size() && pattern[i + count] == starter) {
                ++count;
            }
            i = AppendToken(out, pattern, i, count, token, depth);
        }
    }

    // Writes the token `token` that stands `count` times from `i` in `pattern` (an M after an H already read as the
    // minute's N); returns where the next token starts.
    std::size_t AppendToken(std::string& out, const std::string& pattern, std::size_t i, std::size_t count, char token,
                            int depth) const {
        const char starter = pattern[i];
        const int n = static_cast<int>(count);
        switch (token) {
        case 'Y':
            if (n <= 2) {
                AppendNumber(out, m_year % 100, 2);
            } else {
                AppendNumber(out, m_year, 4);
            }
            return i + count;
        case 'M':
            if (n <= 2) {
                AppendNumber(out, m_month, n);
            } else if (n == 3) {
                out += m_settings.ShortMonthNames[static_cast<std::size_t>(m_month - 1)];
            } else {
                out += m_settings.LongMonthNames[static_cast<std::size_t>(m_month - 1)];
            }
            return i + count;
        case 'D':
            if (n <= 2) {
                AppendNumber(out, m_day, n);
            } else if (n == 3) {
                out += m_settings.ShortDayNames[static_cast<std::size_t>(m_dayOfWeek - 1)];
            } else if (n == 4) {
                out += m_settings.LongDayNames[static_cast<std::size_t>(m_dayOfWeek - 1)];
            } else if (n == 5) {
                Append(out, m_settings.ShortDateFormat, depth + 1);
            } else {
                Append(out, m_settings.LongDateFormat, depth + 1);
            }
            return i + count;
        case 'H': {
            int h = m_hour;
            if (FollowedByAmPm(pattern, i + count)) {
                if (h == 0) {
                    h = 12;
                } else if (h > 12) {
                    h -= 12;
                }
            }
            AppendNumber(out, h, n > 2 ? 2 : n);
            return i + count;
        }
        case 'N':
            AppendNumber(out, m_minute, n > 2 ? 2 : n);
            return i + count;
        case 'S':
            AppendNumber(out, m_second, n > 2 ? 2 : n);
            return i + count;
        case 'Z':
            AppendNumber(out, m_msec, n > 3 ? 3 : n);
            return i + count;
        case 'T':
            Append(out, n == 1 ? m_settings.ShortTimeFormat : m_settings.LongTimeFormat, depth + 1);
            return i + count;
        case 'C':
            Append(out, m_settings.ShortDateFormat, depth + 1);
            if (m_hour != 0 || m_minute != 0 || m_second != 0 || m_msec != 0) {
                out += ' ';
                Append(out, m_settings.LongTimeFormat, depth + 1);
            }
            return i + count;
        case 'A':
            return AppendAmPm(out, pattern, i);
        case '/':
            out += m_settings.DateSeparator;
            return i + 1;
        case ':':
            out += m_settings.TimeSeparator;
            return i + 1;
        case '\'':
        case '"': {
            const std::size_t end = pattern.find(starter, i + 1);
            if (end == std::string::npos) {
                out += pattern.substr(i + 1);
                return pattern.size();
            }
            out += pattern.substr(i + 1, end - i - 1);
            return end + 1;
        }
        default:
            out += starter;
            return i + 1;
        }
    }

private:
    // Whether an am/pm specifier follows an hour specifier (before the next hour specifier).
    static bool FollowedByAmPm(const std::string& pattern, std::size_t from) {
        char quote = 0;
        for (std::size_t p = from; p < pattern.size(); ++p) {
            const char c = pattern[p];
            if (quote != 0) {
                if (c == quote) {
                    quote = 0;
                }
                continue;
            }
            if (c == '\'' || c == '"') {
                quote = c;
            } else if (c == 'a' || c == 'A') {
                return StartsWithNoCase(pattern, p, "am/pm") || StartsWithNoCase(pattern, p, "a/p") ||
                       StartsWithNoCase(pattern, p, "ampm");
            } else if (c == 'h' || c == 'H') {
                return false;
            }
        }
        return false;
    }

    std::size_t AppendAmPm(std::string& out, const std::string& pattern, std::size_t i) const {
        const bool pm = m_hour >= 12;
        if (StartsWithNoCase(pattern, i, "am/pm")) {
            out += pattern.substr(pm ? i + 3 : i, 2);
            return i + 5;
        }
        if (StartsWithNoCase(pattern, i, "a/p")) {
            out += pattern[pm ? i + 2 : i];
            return i + 3;
        }
        if (StartsWithNoCase(pattern, i, "ampm")) {
            out += pm ? m_settings.TimePMString : m_settings.TimeAMString;
            return i + 4;
        }
        out += pattern[i];
        return i + 1;
    }

    const TFormatSettings& m_settings;
    int m_year = 0, m_month = 0, m_day = 0, m_hour = 0, m_minute = 0, m_second = 0, m_msec = 0;
    int m_dayOfWeek = 1;
};

} // namespace

std::string FormatDateTime(const std::string& pattern, TDateTime value, const TFormatSettings& settings) {
    std::string out;
    TDateTimeWriter(value, settings).Append(out, pattern.empty() ? std::string("c") : pattern, 0);
    return out;
}

std::string DateToStr(TDateTime value, const TFormatSettings& settings) {
    return FormatDateTime("ddddd", value, settings);
}

std::string TimeToStr(TDateTime value, const TFormatSettings& settings) {
    return FormatDateTime("tt", value, settings);
}

std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings) {
    return FormatDateTime("c", value, settings);
}

// ---------------------------------------------------------------------------------------------------
// Text to date and time

namespace {

enum class TDateOrder { MDY, DMY, YMD };

TDateOrder GetDateOrder(const std::string& format) {
    char quote = 0;
    for (const char c : format) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
            continue;
        }
        switch (Upper(c)) {
        case '\'':
        case '"':
            quote = c;
            break;
        case 'D':
            return TDateOrder::DMY;
        case 'M':
            return TDateOrder::MDY;
        case 'Y':
            return TDateOrder::YMD;
        default:
            break;
        }
    }
    return TDateOrder::MDY;
}

class TScanner {
public:
    TScanner(const std::string& text, const TFormatSettings& settings) : m_text(text), m_settings(settings) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }

    void Blanks() {
        while (m_pos < m_text.size() && m_text[m_pos] == ' ') {
            ++m_pos;
        }
    }

    // Up to four digits (a larger number leaves its further digits unread, which then fail the text).
    bool Number(int& number, int& length) {
        Blanks();
        std::size_t i = m_pos;
        int n = 0;
        while (i < m_text.size() && m_text[i] >= '0' && m_text[i] <= '9' && n < 1000) {
            n = n * 10 + (m_text[i] - '0');
            ++i;
        }
        if (i == m_pos) {
            return false;
        }
        length = static_cast<int>(i - m_pos);
        number = n;
        m_pos = i;
        return true;
    }

    // A separator; blanks before it are skipped whether or not it follows.
    bool Text(const std::string& separator, bool ignoreCase = false) {
        Blanks();
        if (separator.empty() || m_pos + separator.size() > m_text.size()) {
            return false;
        }
        for (std::size_t k = 0; k < separator.size(); ++k) {
            const char a = m_text[m_pos + k];
            const char b = separator[k];
            if (ignoreCase ? Upper(a) != Upper(b) : a != b) {
                return false;
            }
        }
        m_pos += separator.size();
        return true;
    }

    bool Date(TDateTime& date) {
        const TDateOrder order = GetDateOrder(m_settings.ShortDateFormat);
        int n1 = 0, n2 = 0, n3 = 0, l1 = 0, l2 = 0, l3 = 0;
        if (!(Number(n1, l1) && Text(m_settings.DateSeparator) && Number(n2, l2))) {
            return false;
        }
        int y = 0, m = 0, d = 0, yearLength = 0;
        if (Text(m_settings.DateSeparator)) {
            if (!Number(n3, l3)) {
                return false;
            }
            switch (order) {
            case TDateOrder::MDY:
                y = n3, yearLength = l3, m = n1, d = n2;
                break;
            case TDateOrder::DMY:
                y = n3, yearLength = l3, m = n2, d = n1;
                break;
            case TDateOrder::YMD:
                y = n1, yearLength = l1, m = n2, d = n3;
                break;
            }
            if (yearLength <= 2) {
                int currentYear = 0, cm = 0, cd = 0;
                DecodeDate(Now(), currentYear, cm, cd);
                const int centuryBase = currentYear - m_settings.TwoDigitYearCenturyWindow;
                y += centuryBase / 100 * 100;
                if (m_settings.TwoDigitYearCenturyWindow > 0 && y < centuryBase) {
                    y += 100;
                }
            }
        } else {
            int cm = 0, cd = 0;
            DecodeDate(Now(), y, cm, cd);
            if (order == TDateOrder::DMY) {
                d = n1, m = n2;
            } else {
                m = n1, d = n2;
            }
        }
        Text(m_settings.DateSeparator); // a separator may close the date
        Blanks();
        return TryEncodeDate(y, m, d, date);
    }

    bool AmPm(int& baseHour) {
        if (Text(m_settings.TimeAMString, true) || Text("AM", true)) {
            baseHour = 0;
            return true;
        }
        if (Text(m_settings.TimePMString, true) || Text("PM", true)) {
            baseHour = 12;
            return true;
        }
        return false;
    }

    bool Time(TDateTime& time) {
        int baseHour = -1;
        if (AmPm(baseHour)) {
            Blanks();
        }
        int hour = 0, minute = 0, second = 0, msec = 0, length = 0;
        if (!Number(hour, length)) {
            return false;
        }
        if (Text(m_settings.TimeSeparator)) {
            if (!Number(minute, length)) {
                return false;
            }
            if (Text(m_settings.TimeSeparator)) {
                if (!Number(second, length)) {
                    return false;
                }
                if (Text(m_settings.DecimalSeparator)) {
                    if (!Fraction(msec)) {
                        return false;
                    }
                }
            }
        }
        if (baseHour < 0) {
            AmPm(baseHour);
        }
        if (baseHour >= 0) {
            if (hour == 0 || hour > 12) {
                return false;
            }
            if (hour == 12) {
                hour = 0;
            }
            hour += baseHour;
        }
        Blanks();
        return TryEncodeTime(hour, minute, second, msec, time);
    }

private:
    // Digits of a fraction of a second, as milliseconds (digits after the third are dropped).
    bool Fraction(int& msec) {
        std::size_t i = m_pos;
        int digits = 0;
        msec = 0;
        while (i < m_text.size() && m_text[i] >= '0' && m_text[i] <= '9') {
            if (digits < 3) {
                msec = msec * 10 + (m_text[i] - '0');
                ++digits;
            }
            ++i;
        }
        if (i == m_pos) {
            return false;
        }
        for (; digits < 3; ++digits) {
            msec *= 10;
        }
        m_pos = i;
        return true;
    }

    const std::string& m_text;
    const TFormatSettings& m_settings;
    std::size_t m_pos = 0;
};

} // namespace

bool TryStrToDate(const std::string& text, TDateTime& value, const TFormatSettings& settings) {
    TScanner scanner(text, settings);
    TDateTime date = 0;
    if (!scanner.Date(date) || !scanner.AtEnd()) {
        return false;
    }
    value = date;
    return true;
}

bool TryStrToTime(const std::string& text, TDateTime& value, const TFormatSettings& settings) {
    TScanner scanner(text, settings);
    TDateTime time = 0;
    if (!scanner.Time(time) || !scanner.AtEnd()) {
        return false;
    }
    value = time;
    return true;
}

bool TryStrToDateTime(const std::string& text, TDateTime& value, const TFormatSettings& settings) {
    TScanner scanner(text, settings);
    TDateTime date = 0;
    TDateTime time = 0;
    if (scanner.Date(date) && (scanner.AtEnd() || (scanner.Time(time) && scanner.AtEnd()))) {
        value = date >= 0 ? date + time : date - time;
        return true;
    }
    return TryStrToTime(text, value, settings);
}

TDateTime StrToDate(const std::string& text, const TFormatSettings& settings) {
    TDateTime value = 0;
    if (!TryStrToDate(text, value, settings)) {
        throw EConvertError(Format("'%s' is not a valid date", text.c_str()));
    }
    return value;
}

TDateTime StrToTime(const std::string& text, const TFormatSettings& settings) {
    TDateTime value = 0;
    if (!TryStrToTime(text, value, settings)) {
        throw EConvertError(Format("'%s' is not a valid time", text.c_str()));
    }
    return value;
}

TDateTime StrToDateTime(const std::string& text, const TFormatSettings& settings) {
    TDateTime value = 0;
    if (!TryStrToDateTime(text, value, settings)) {
        throw EConvertError(Format("'%s' is not a valid date and time", text.c_str()));
    }
    return value;
}
