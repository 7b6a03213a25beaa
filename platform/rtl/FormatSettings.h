// Locale settings used by the number and date-time patterns and the text conversions.
//
// All texts are UTF-8. Separators are texts, not single characters, because the Russian thousands
// separator (U+00A0) takes two bytes in UTF-8.
#pragma once

#include <array>
#include <string>

struct TFormatSettings {
    // Numbers.
    std::string DecimalSeparator = ".";
    std::string ThousandSeparator = ",";

    // Dates and times. Patterns use the letters of FormatDateTime (DateTimeFormat.h); the order of
    // "d", "m" and "y" in ShortDateFormat also decides the field order when texts are parsed.
    std::string DateSeparator = "/";
    std::string TimeSeparator = ":";
    std::string ShortDateFormat = "MM/dd/yyyy";
    std::string LongDateFormat = "dddd, dd MMMMM yyyy";
    std::string ShortTimeFormat = "HH:nn";
    std::string LongTimeFormat = "HH:nn:ss";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    // Two-digit years are read as the year within this many years before the current year (or the
    // century after); 0 reads them in the current century.
    int TwoDigitYearCenturyWindow = 50;

    // Names for the "mmm", "mmmm", "ddd" and "dddd" pattern letters; the week starts on Sunday.
    std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> LongMonthNames{"January", "February", "March",     "April",   "May",      "June",
                                               "July",    "August",   "September", "October", "November", "December"};
    std::array<std::string, 7> ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> LongDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                            "Thursday", "Friday", "Saturday"};

    // The invariant settings: "." decimal, "," thousands, "/" dates, ":" times, "MM/dd/yyyy" and
    // "HH:nn:ss" (English names, 24-hour clock). A default-constructed value is the same.
    static TFormatSettings Invariant();
    // English (United States) regional settings: as Invariant(), but "M/d/yyyy" and the 12-hour
    // clock "h:mm:ss AMPM" with "AM"/"PM".
    static TFormatSettings English();
    // Russian regional settings: "," decimal, U+00A0 thousands, "." dates, ":" times,
    // "dd.MM.yyyy" and "H:mm:ss", Russian names, no AM/PM texts.
    static TFormatSettings Russian();
    // The user's locale as the C library describes it (LANG, LC_ALL, LC_NUMERIC, LC_TIME, ... as for
    // setlocale(LC_ALL, "")); localeName names another locale instead. The process's global locale
    // is not changed. A locale that is not installed gives Invariant().
    static TFormatSettings FromLocale(const char* localeName = "");

    // Converts a strftime() pattern of the C library ("%d.%m.%Y", "%T", "%I:%M:%S %p") to the pattern
    // letters of FormatDateTime ("dd.MM.yyyy", "HH:mm:ss", "hh:mm:ss AMPM"). Other text is quoted.
    static std::string PatternFromPosix(const std::string& posixPattern);

    bool operator==(const TFormatSettings&) const = default;
};

// The process-wide settings that the console's formats use by default. Until SetCurrentFormatSettings
// is called they are TFormatSettings::FromLocale() (read on first use). The console sets them once at
// start-up; tests replace them (see TFormatSettingsScope).
TFormatSettings CurrentFormatSettings();
void SetCurrentFormatSettings(const TFormatSettings& settings);

// Replaces the process-wide settings for the lifetime of the scope and restores the previous ones.
class TFormatSettingsScope {
public:
    explicit TFormatSettingsScope(const TFormatSettings& settings);
    ~TFormatSettingsScope();
    TFormatSettingsScope(const TFormatSettingsScope&) = delete;
    TFormatSettingsScope& operator=(const TFormatSettingsScope&) = delete;

private:
    TFormatSettings m_previous;
};
