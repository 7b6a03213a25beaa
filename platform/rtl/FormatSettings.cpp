#include "platform/rtl/FormatSettings.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <mutex>
#include <optional>

TFormatSettings TFormatSettings::Invariant() {
    return TFormatSettings{};
}

TFormatSettings TFormatSettings::English() {
    TFormatSettings s;
    s.ShortDateFormat = "M/d/yyyy";
    s.LongDateFormat = "dddd, MMMM d, yyyy";
    s.ShortTimeFormat = "h:nn AMPM";
    s.LongTimeFormat = "h:nn:ss AMPM";
    return s;
}

TFormatSettings TFormatSettings::Russian() {
    TFormatSettings s;
    s.DecimalSeparator = ",";
    s.ThousandSeparator = "\u00A0";
    s.DateSeparator = ".";
    s.TimeSeparator = ":";
    s.ShortDateFormat = "dd.MM.yyyy";
    s.LongDateFormat = "d MMMM yyyy 'г.'";
    s.ShortTimeFormat = "H:mm";
    s.LongTimeFormat = "H:mm:ss";
    s.TimeAMString = "";
    s.TimePMString = "";
    s.ShortMonthNames = {"янв", "фев", "мар", "апр", "май", "июн", "июл", "авг", "сен", "окт", "ноя", "дек"};
    s.LongMonthNames = {"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
                        "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
    s.ShortDayNames = {"Вс", "Пн", "Вт", "Ср", "Чт", "Пт", "Сб"};
    s.LongDayNames = {"воскресенье", "понедельник", "вторник", "среда", "четверг", "пятница", "суббота"};
    return s;
}

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Appends literal text so that FormatDateTime copies it unchanged: ASCII letters and quotes are quoted.
void AppendLiteral(std::string& out, char c) {
    if (IsAsciiLetter(c)) {
        out += '"';
        out += c;
        out += '"';
    } else if (c == '"') {
        out += "'\"'";
    } else if (c == '\'') {
        out += "\"'\"";
    } else {
        out += c;
    }
}

// The pattern that stands for the directive `directive` of a POSIX format; empty for what is not shown.
std::string ConvertDirective(char directive, bool unpadded, int depth) {
    switch (directive) {
    case 'a':
        return "ddd";
    case 'A':
        return "dddd";
    case 'b':
    case 'h':
        return "MMM";
    case 'B':
        return "MMMM";
    case 'd':
        return unpadded ? "d" : "dd";
    case 'e':
        return "d";
    case 'm':
        return unpadded ? "M" : "MM";
    case 'y':
        return "yy";
    case 'Y':
    case 'G':
        return "yyyy";
    case 'H':
        return unpadded ? "H" : "HH";
    case 'k':
        return "H";
    case 'I':
        return unpadded ? "h" : "hh";
    case 'l':
        return "h";
    case 'M':
        return unpadded ? "n" : "nn";
    case 'S':
        return unpadded ? "s" : "ss";
    case 'p':
        return "AMPM";
    case 'P':
        return "am/pm";
    case 'T':
        return "HH:nn:ss";
    case 'R':
        return "HH:nn";
    case 'r':
        return "hh:nn:ss AMPM";
    case 'D':
        return "MM/dd/yy";
    case 'F':
        return "yyyy-MM-dd";
    case 'x':
        return depth == 0 ? "ddddd" : "";
    case 'X':
        return depth == 0 ? "tt" : "";
    case 'c':
        return depth == 0 ? "c" : "";
    case 'n':
    case 't':
        return " ";
    case '%':
        return "%";
    default: // time zone, week and day-of-year numbers: not shown
        return "";
    }
}

std::string Convert(const std::string& posix, int depth) {
    std::string out;
    for (std::size_t i = 0; i < posix.size(); ++i) {
        const char c = posix[i];
        if (c != '%' || i + 1 >= posix.size()) {
            AppendLiteral(out, c);
            continue;
        }
        ++i;
        bool unpadded = false;
        // glibc flags and the E/O modifiers.
        while (i < posix.size() && std::strchr("-_0^#EO", posix[i]) != nullptr) {
            if (posix[i] == '-') {
                unpadded = true;
            }
            ++i;
        }
        if (i >= posix.size()) {
            break;
        }
        out += ConvertDirective(posix[i], unpadded, depth);
    }
    return out;
}

// Expands %T, %R and %r so that the pieces of a time pattern can be found.
std::string ExpandTime(const std::string& posix, const std::string& ampmPattern) {
    std::string out;
    for (std::size_t i = 0; i < posix.size(); ++i) {
        if (posix[i] == '%' && i + 1 < posix.size()) {
            const char k = posix[i + 1];
            if (k == 'T') {
                out += "%H:%M:%S";
            } else if (k == 'R') {
                out += "%H:%M";
            } else if (k == 'r') {
                out += ampmPattern.empty() ? std::string("%I:%M:%S %p") : ampmPattern;
            } else {
                out += posix.substr(i, 2);
            }
            ++i;
        } else {
            out += posix[i];
        }
    }
    return out;
}

// The literal text between the first and the second conversion of a pattern ("." in "%d.%m.%Y").
std::string FirstSeparator(const std::string& posix, const std::string& fallback) {
    const std::size_t first = posix.find('%');
    if (first == std::string::npos) {
        return fallback;
    }
    std::size_t start = first + 1;
    while (start < posix.size() && std::strchr("-_0^#EO", posix[start]) != nullptr) {
        ++start;
    }
    ++start;
    const std::size_t next = posix.find('%', start);
    std::string sep = posix.substr(start, next == std::string::npos ? std::string::npos : next - start);
    // Blanks around the separator are not part of it.
    const std::size_t b = sep.find_first_not_of(' ');
    if (b == std::string::npos) {
        return fallback;
    }
    sep = sep.substr(b, sep.find_last_not_of(' ') - b + 1);
    return sep;
}

// Removes the seconds (and the text that leads to them) from an expanded time pattern.
std::string WithoutSeconds(const std::string& posix) {
    std::size_t previousEnd = 0;
    for (std::size_t i = 0; i + 1 < posix.size(); ++i) {
        if (posix[i] != '%') {
            continue;
        }
        std::size_t k = i + 1;
        while (k < posix.size() && std::strchr("-_0^#EO", posix[k]) != nullptr) {
            ++k;
        }
        if (k < posix.size() && posix[k] == 'S') {
            return posix.substr(0, previousEnd) + posix.substr(k + 1);
        }
        previousEnd = k + 1;
        i = k;
    }
    return posix;
}

// Texts of the locale converted from its code set to UTF-8.
class TLocaleText {
public:
    explicit TLocaleText(locale_t locale, nl_item codesetItem) : m_locale(locale) {
        const char* codeset = nl_langinfo_l(codesetItem, locale);
        if (codeset != nullptr && std::strcmp(codeset, "UTF-8") != 0 && std::strcmp(codeset, "utf8") != 0 &&
            std::strcmp(codeset, "ANSI_X3.4-1968") != 0) {
            m_iconv = iconv_open("UTF-8", codeset);
        }
    }
    ~TLocaleText() {
        if (m_iconv != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(m_iconv);
        }
    }
    TLocaleText(const TLocaleText&) = delete;
    TLocaleText& operator=(const TLocaleText&) = delete;

    std::string operator()(nl_item item) const {
        const char* raw = nl_langinfo_l(item, m_locale);
        std::string text = raw != nullptr ? raw : "";
        if (m_iconv == reinterpret_cast<iconv_t>(-1) || text.empty()) {
            return text;
        }
        std::string out(text.size() * 4 + 8, '\0');
        char* in = text.data();
        std::size_t inLeft = text.size();
        char* dst = out.data();
        std::size_t outLeft = out.size();
        iconv(m_iconv, nullptr, nullptr, nullptr, nullptr);
        if (iconv(m_iconv, &in, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1)) {
            return text;
        }
        out.resize(out.size() - outLeft);
        return out;
    }

private:
    locale_t m_locale;
    iconv_t m_iconv = reinterpret_cast<iconv_t>(-1);
};

class TLocaleHandle {
public:
    TLocaleHandle(int mask, const char* name) : m_locale(newlocale(mask, name, static_cast<locale_t>(nullptr))) {}
    ~TLocaleHandle() {
        if (m_locale != static_cast<locale_t>(nullptr)) {
            freelocale(m_locale);
        }
    }
    TLocaleHandle(const TLocaleHandle&) = delete;
    TLocaleHandle& operator=(const TLocaleHandle&) = delete;
    explicit operator bool() const { return m_locale != static_cast<locale_t>(nullptr); }
    locale_t get() const { return m_locale; }

private:
    locale_t m_locale;
};

} // namespace

std::string TFormatSettings::PatternFromPosix(const std::string& posixPattern) {
    return Convert(posixPattern, 0);
}

TFormatSettings TFormatSettings::FromLocale(const char* localeName) {
    TFormatSettings s = Invariant();
    const char* name = localeName != nullptr ? localeName : "";

    TLocaleHandle numeric(LC_NUMERIC_MASK, name);
    if (numeric) {
        const TLocaleText text(numeric.get(), _NL_NUMERIC_CODESET);
        const std::string decimal = text(RADIXCHAR);
        if (!decimal.empty()) {
            s.DecimalSeparator = decimal;
        }
        s.ThousandSeparator = text(THOUSEP);
    }

    TLocaleHandle time(LC_TIME_MASK, name);
    if (time) {
        const TLocaleText text(time.get(), _NL_TIME_CODESET);
        const std::string dateFormat = text(D_FMT);
        if (!dateFormat.empty()) {
            s.ShortDateFormat = Convert(dateFormat, 1);
            s.DateSeparator = FirstSeparator(dateFormat, s.DateSeparator);
        }
        const std::string ampmFormat = text(T_FMT_AMPM);
        const std::string timeFormat = ExpandTime(text(T_FMT), ampmFormat);
        if (!timeFormat.empty()) {
            s.LongTimeFormat = Convert(timeFormat, 1);
            s.ShortTimeFormat = Convert(WithoutSeconds(timeFormat), 1);
            s.TimeSeparator = FirstSeparator(timeFormat, s.TimeSeparator);
        }
        s.TimeAMString = text(AM_STR);
        s.TimePMString = text(PM_STR);
        for (int i = 0; i < 12; ++i) {
            const std::string shortName = text(static_cast<nl_item>(ABMON_1 + i));
            const std::string longName = text(static_cast<nl_item>(ALTMON_1 + i));
            if (!shortName.empty()) {
                s.ShortMonthNames[static_cast<std::size_t>(i)] = shortName;
            }
            if (!longName.empty()) {
                s.LongMonthNames[static_cast<std::size_t>(i)] = longName;
            }
        }
        for (int i = 0; i < 7; ++i) {
            const std::string shortName = text(static_cast<nl_item>(ABDAY_1 + i));
            const std::string longName = text(static_cast<nl_item>(DAY_1 + i));
            if (!shortName.empty()) {
                s.ShortDayNames[static_cast<std::size_t>(i)] = shortName;
            }
            if (!longName.empty()) {
                s.LongDayNames[static_cast<std::size_t>(i)] = longName;
            }
        }
    }
    return s;
}

namespace {

std::mutex& CurrentMutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<TFormatSettings>& CurrentValue() {
    static std::optional<TFormatSettings> value;
    return value;
}

} // namespace

TFormatSettings CurrentFormatSettings() {
    const std::lock_guard<std::mutex> lock(CurrentMutex());
    std::optional<TFormatSettings>& value = CurrentValue();
    if (!value) {
        value = TFormatSettings::FromLocale();
    }
    return *value;
}

void SetCurrentFormatSettings(const TFormatSettings& settings) {
    const std::lock_guard<std::mutex> lock(CurrentMutex());
    CurrentValue() = settings;
}

TFormatSettingsScope::TFormatSettingsScope(const TFormatSettings& settings) : m_previous(CurrentFormatSettings()) {
    SetCurrentFormatSettings(settings);
}

TFormatSettingsScope::~TFormatSettingsScope() {
    SetCurrentFormatSettings(m_previous);
}
