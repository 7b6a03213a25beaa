// Times and durations as texts, in the user's date and time conventions.
#pragma once

#include "server/core/Model.h"

#include <optional>
#include <string>
#include <string_view>

namespace navilonix::server {

enum class DateOrder { DayMonthYear, MonthDayYear, YearMonthDay };

// The date and time conventions texts are written in. The object fills it from the user's locale so that
// the console's locale parsing reads the texts back.
struct TextFormat {
    DateOrder order = DateOrder::DayMonthYear;
    char dateSeparator = '.';
    char timeSeparator = ':';
};

struct CivilTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Conversions between UTC seconds and the calendar, in UTC and in the process's local time zone.
CivilTime toUtcCivil(UnixTime time);
UnixTime fromUtcCivil(const CivilTime& civil);
CivilTime toLocalCivil(UnixTime time);
UnixTime fromLocalCivil(const CivilTime& civil);

bool isValidCivil(const CivilTime& civil);

// "dd.mm.yyyy hh:mm:ss" in the given conventions, local time.
std::string formatDateTime(UnixTime time, const TextFormat& format);
// A duration as "h:mm:ss"; the hours are not limited to a day.
std::string formatDuration(long long seconds, const TextFormat& format);
// A duration as a time of day "h:mm:ss", at most 23:59:59 (a parse as time of day must succeed).
std::string formatTimeOfDay(long long seconds, const TextFormat& format);

// Reads a local date-time: "d.m.yyyy h:m:s" (what the console sends) or the date in the given conventions,
// with optional time (seconds optional). Nothing when the text is no valid date-time.
std::optional<UnixTime> parseDateTime(std::string_view text, const TextFormat& format);

// OLE date: days since 30.12.1899, as OziExplorer writes it.
double toOleDate(UnixTime time);

} // namespace navilonix::server
