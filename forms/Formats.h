// The console's shared value formats: coordinates, durations, course, device numbers,
// speed, altitude and record times. Pure functions of their arguments and the format settings; none
// calls the server. Results are UTF-8 ("°" U+00B0, "’" U+2019).
#pragma once

#include "platform/rtl/DateTimeFormat.h"
#include "platform/rtl/FormatSettings.h"

#include <cstdint>
#include <string>

// Degrees, minutes and thousandths of a minute: "%u° %02u,%03u’" ("55° 45,348’"). The comma is part of
// the print format, not the locale's decimal separator. The absolute value of the angle is shown (no
// sign, no hemisphere: see LatitudeHemisphere and LongitudeHemisphere). Thousandths that round up to
// 1000 carry into the minutes, and 60 minutes into the degrees (59.99999° gives "60° 00,000’").
// Values that are not finite or do not fit 32 bits show as 0.
std::string FormatCoordinate(double angle);

// "сш" for a latitude of 0 or more, "юш" for a negative one; "вд" and "зд" for a longitude.
std::string LatitudeHemisphere(double latitude);
std::string LongitudeHemisphere(double longitude);

// FormatCoordinate followed by a blank and the hemisphere of the sign: "55° 45,348’ сш", "55° 45,348’ юш".
std::string FormatLatitude(double latitude);
std::string FormatLongitude(double longitude);

// Longitude first, then latitude, each with its hemisphere: "37° 37,038’ вд, 55° 45,348’ сш".
std::string FormatPosition(double latitude, double longitude);

// A duration in days: "%u:%02u мин" (hours and minutes), "%u мин" or "%u с". Durations of a minute or
// more are rounded to the nearest minute (half up); whole days are not shown.
std::string FormatDuration(TDateTime duration);

// "0.0°" of the course followed by its clock-face reading " (%u:%02u)": "45,3° (1:31)"; empty for a
// negative course (no course) or one that is not a number.
std::string FormatCourse(double course, const TFormatSettings& settings = CurrentFormatSettings());

// "0000000": at least seven digits with leading zeros ("0001234"); longer numbers in full.
std::string FormatDeviceNumber(std::int32_t device);

// "#,##0.0 км/ч": "1 234,5 км/ч" in Russian settings.
std::string FormatSpeed(double speed, const TFormatSettings& settings = CurrentFormatSettings());

// "# ##0.0", whose blank is a literal character: "1 234,5", " 123,4", " 5,0" (comma in Russian settings).
std::string FormatAltitude(double altitude, const TFormatSettings& settings = CurrentFormatSettings());

// "dd.mm.yy - hh:mm:ss" with the locale's time separator: "01.05.09 - 13:05:09".
std::string FormatRecordTime(TDateTime value, const TFormatSettings& settings = CurrentFormatSettings());

// The number pattern of the trips and entries lists (Parts 4.2, 4.3): "#,##0.0".
inline constexpr const char* TripValuePattern = "#,##0.0";
std::string FormatTripValue(double value, const TFormatSettings& settings = CurrentFormatSettings());

// The period texts of StartComputing: "dd.mm.yyyy hh:mm:ss" with the locale's time
// separator: "01.05.2009 00:00:00".
std::string FormatPeriodTime(TDateTime value, const TFormatSettings& settings = CurrentFormatSettings());
