#include "forms/Formats.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/NumberFormat.h"

#include <cmath>

namespace {

// An angle split into degrees, minutes and thousandths of a minute, taken from the absolute value;
// thousandths that round up to 1000 carry into the minutes, and 60 minutes into the degrees.
struct TAngleParts {
    unsigned Degrees = 0;
    unsigned Minutes = 0;
    unsigned Thousandths = 0;
};

TAngleParts SplitAngle(double angle) {
    double a = std::fabs(angle);
    if (!(a < 4294967295.0)) { // not a number, infinite or beyond "%u"
        a = 0.0;
    }
    TAngleParts p;
    const double degrees = std::trunc(a);
    p.Degrees = static_cast<unsigned>(degrees);
    const double fraction = a - degrees;
    const auto scaled = static_cast<unsigned>(std::trunc(fraction * 6000000.0)); // 1e-5 minutes
    p.Minutes = scaled / 100000;
    const unsigned rest = scaled % 100000;
    p.Thousandths = (rest + 50) / 100;
    if (p.Thousandths >= 1000) {
        p.Thousandths -= 1000;
        ++p.Minutes;
    }
    if (p.Minutes >= 60) {
        p.Minutes -= 60;
        ++p.Degrees;
    }
    return p;
}

std::string FormatParts(const TAngleParts& p) {
    return Format("%u° %02u,%03u’", p.Degrees, p.Minutes, p.Thousandths);
}

} // namespace

std::string FormatCoordinate(double angle) {
    return FormatParts(SplitAngle(angle));
}

std::string LatitudeHemisphere(double latitude) {
    return latitude < 0 ? "юш" : "сш";
}

std::string LongitudeHemisphere(double longitude) {
    return longitude < 0 ? "зд" : "вд";
}

std::string FormatLatitude(double latitude) {
    return FormatCoordinate(latitude) + " " + LatitudeHemisphere(latitude);
}

std::string FormatLongitude(double longitude) {
    return FormatCoordinate(longitude) + " " + LongitudeHemisphere(longitude);
}

std::string FormatPosition(double latitude, double longitude) {
    return FormatLongitude(longitude) + ", " + FormatLatitude(latitude);
}

std::string FormatDuration(TDateTime duration) {
    int hours = 0, minutes = 0, seconds = 0, msec = 0;
    DecodeTime(duration, hours, minutes, seconds, msec);
    if (duration >= OneMinute && seconds >= 30) {
        duration += OneMinute;
        DecodeTime(duration, hours, minutes, seconds, msec);
    }
    if (hours != 0) {
        return Format("%u:%02u мин", static_cast<unsigned>(hours), static_cast<unsigned>(minutes));
    }
    if (minutes != 0) {
        return Format("%u мин", static_cast<unsigned>(minutes));
    }
    return Format("%u с", static_cast<unsigned>(seconds));
}

std::string FormatCourse(double course, const TFormatSettings& settings) {
    if (!std::isfinite(course) || course < 0) {
        return {};
    }
    const double clockValue = std::trunc(course * 2 + 0.5);
    const unsigned clock = clockValue < 4294967295.0 ? static_cast<unsigned>(clockValue) : 4294967295U;
    return FormatFloat("0.0°", course, settings) + Format(" (%u:%02u)", clock / 60, clock % 60);
}

std::string FormatDeviceNumber(std::int32_t device) {
    return FormatFloat("0000000", device, TFormatSettings::Invariant());
}

std::string FormatSpeed(double speed, const TFormatSettings& settings) {
    return FormatFloat("#,##0.0 км/ч", speed, settings);
}

std::string FormatAltitude(double altitude, const TFormatSettings& settings) {
    return FormatFloat("# ##0.0", altitude, settings);
}

std::string FormatRecordTime(TDateTime value, const TFormatSettings& settings) {
    return FormatDateTime("dd.mm.yy - hh:mm:ss", value, settings);
}

std::string FormatTripValue(double value, const TFormatSettings& settings) {
    return FormatFloat(TripValuePattern, value, settings);
}

std::string FormatPeriodTime(TDateTime value, const TFormatSettings& settings) {
    return FormatDateTime("dd.mm.yyyy hh:mm:ss", value, settings);
}
