// Date-time values, date-time patterns and the text-to-date/time conversions.
#pragma once

#include "platform/rtl/FormatSettings.h"

#include <string>

// A date and time as days since 30.12.1899 00:00 (the OLE Automation date): the integer part is the
// date, the fraction the time of day (one minute is 1/1440). Before 30.12.1899 the integer part counts
// back and the fraction still counts forward: -1.25 is 29.12.1899 06:00.
using TDateTime = double;

inline constexpr double HoursPerDay = 24.0;
inline constexpr double MinsPerDay = 1440.0;
inline constexpr double SecsPerDay = 86400.0;
inline constexpr double MSecsPerDay = 86400000.0;
inline constexpr TDateTime OneHour = 1.0 / HoursPerDay;
inline constexpr TDateTime OneMinute = 1.0 / MinsPerDay;
inline constexpr TDateTime OneSecond = 1.0 / SecsPerDay;
inline constexpr TDateTime OneMillisecond = 1.0 / MSecsPerDay;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Years 1 to 9999; false (or EConvertError "Invalid argument to date encode") for an invalid date.
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
TDateTime EncodeDate(int year, int month, int day);
// Hours 0 to 23, minutes and seconds 0 to 59, milliseconds 0 to 999; false (or EConvertError
// "Invalid argument to time encode") otherwise.
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& time);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond);

// The value is first rounded to the nearest millisecond.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& millisecond);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value);

// The local date and time now; today's date (midnight).
TDateTime Now();
TDateTime Today();

// Formats a date-time with a pattern. Letters are case-insensitive:
//   d, dd        day (dd with a leading zero); ddd, dddd short and long day name;
//                ddddd the short date format, dddddd the long date format
//   m, mm        month, or minutes when the last letter before it was an hour specifier (h, hh);
//                mmm, mmmm short and long month name
//   yy, yyyy     two-digit and four-digit year
//   h, hh        hour (of 12 when an am/pm specifier follows, else of 24)
//   n, nn        minutes; s, ss seconds; z, zzz milliseconds
//   t, tt        the short and long time format; c the short date format and, unless the time is
//                midnight, a blank and the long time format
//   am/pm, a/p   "am"/"pm", "a"/"p" in the case written; ampm settings.TimeAMString/TimePMString
//   /            settings.DateSeparator; ':' settings.TimeSeparator
//   'x', "x"     quoted text is copied without the quotes
// Every other character is copied unchanged. An empty pattern is "c".
std::string FormatDateTime(const std::string& pattern, TDateTime value,
                           const TFormatSettings& settings = CurrentFormatSettings());

std::string DateToStr(TDateTime value, const TFormatSettings& settings = CurrentFormatSettings());
std::string TimeToStr(TDateTime value, const TFormatSettings& settings = CurrentFormatSettings());
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings = CurrentFormatSettings());

// Text to date-time with the settings' date order (from ShortDateFormat), DateSeparator, TimeSeparator,
// DecimalSeparator (before fractions of a second) and the AM/PM texts:
// - a date is two or three numbers divided by the date separator, in the order of ShortDateFormat;
//   without a year it is the current year, a year of one or two digits is read with
//   TwoDigitYearCenturyWindow;
// - a time is hours, optionally minutes and seconds (and a fraction of a second) divided by the time
//   separator, optionally preceded or followed by an AM or PM text;
// - blanks may stand around the numbers and separators; nothing else may follow.
// StrToDateTime accepts a date, a date followed by a time, or a time alone (on day 0), and raises
// EConvertError "'%s' is not a valid date and time"; StrToDate "'%s' is not a valid date";
// StrToTime "'%s' is not a valid time" (the text in place of %s).
bool TryStrToDate(const std::string& text, TDateTime& value, const TFormatSettings& settings = CurrentFormatSettings());
bool TryStrToTime(const std::string& text, TDateTime& value, const TFormatSettings& settings = CurrentFormatSettings());
bool TryStrToDateTime(const std::string& text, TDateTime& value,
                      const TFormatSettings& settings = CurrentFormatSettings());
TDateTime StrToDate(const std::string& text, const TFormatSettings& settings = CurrentFormatSettings());
TDateTime StrToTime(const std::string& text, const TFormatSettings& settings = CurrentFormatSettings());
TDateTime StrToDateTime(const std::string& text, const TFormatSettings& settings = CurrentFormatSettings());
