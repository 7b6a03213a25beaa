#include "forms/Formats.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

const std::string Nbsp = "\u00A0";

class FormatsTest : public ::testing::Test {
protected:
    const TFormatSettings ru = TFormatSettings::Russian();
    const TFormatSettings en = TFormatSettings::English();

    static TDateTime Seconds(int s) { return s * OneSecond; }
};

// ---- FormatCoordinate

TEST_F(FormatsTest, CoordinateShowsDegreesMinutesAndThousandths) {
    EXPECT_EQ(FormatCoordinate(55.7558), "55° 45,348’");
    EXPECT_EQ(FormatCoordinate(37.6173), "37° 37,038’");
    EXPECT_EQ(FormatCoordinate(0), "0° 00,000’");
    EXPECT_EQ(FormatCoordinate(12.5), "12° 30,000’");
    EXPECT_EQ(FormatCoordinate(180), "180° 00,000’");
}

TEST_F(FormatsTest, CoordinateRoundsTheRestHalfUpToThousandths) {
    // 0.0000125° = 0.00075 minutes = 75 hundred-thousandths: rounds up to 1 thousandth.
    EXPECT_EQ(FormatCoordinate(10 + 0.00075 / 60), "10° 00,001’");
    EXPECT_EQ(FormatCoordinate(10 + 0.00040 / 60), "10° 00,000’");
}

TEST_F(FormatsTest, CoordinateCarriesThousandthsIntoMinutes) {
    // 45.9996 minutes: the thousandths round to 1000, which carries into the minutes.
    EXPECT_EQ(FormatCoordinate(55 + 45.9996 / 60), "55° 46,000’");
    EXPECT_EQ(FormatCoordinate(55 + 45.9994 / 60), "55° 45,999’");
}

TEST_F(FormatsTest, CoordinateCarriesMinutesIntoDegrees) {
    EXPECT_EQ(FormatCoordinate(55 + 59.9996 / 60), "56° 00,000’");
    EXPECT_EQ(FormatCoordinate(179.999999), "180° 00,000’");
    EXPECT_EQ(FormatCoordinate(0.9999999), "1° 00,000’");
}

TEST_F(FormatsTest, CoordinateNeverHasFourDigitThousandths) {
    for (int minutes = 0; minutes < 60; ++minutes) {
        const std::string text = FormatCoordinate(10 + (minutes + 0.99999) / 60);
        const std::size_t comma = text.find(',');
        ASSERT_NE(comma, std::string::npos);
        // three digits, then "’"
        EXPECT_EQ(text.substr(comma + 4), "’") << text;
    }
}

TEST_F(FormatsTest, NegativeCoordinateShowsItsAbsoluteValue) {
    EXPECT_EQ(FormatCoordinate(-55.7558), "55° 45,348’");
    EXPECT_EQ(FormatCoordinate(-37.6173), "37° 37,038’");
    EXPECT_EQ(FormatCoordinate(-0.5), "0° 30,000’");
    EXPECT_EQ(FormatCoordinate(-777), "777° 00,000’");
}

TEST_F(FormatsTest, CoordinateOfANonNumberShowsZero) {
    EXPECT_EQ(FormatCoordinate(std::numeric_limits<double>::quiet_NaN()), "0° 00,000’");
    EXPECT_EQ(FormatCoordinate(std::numeric_limits<double>::infinity()), "0° 00,000’");
    EXPECT_EQ(FormatCoordinate(1e300), "0° 00,000’");
}

TEST_F(FormatsTest, CoordinateDoesNotDependOnTheLocale) {
    const TFormatSettingsScope scope(en);
    EXPECT_EQ(FormatCoordinate(55.7558), "55° 45,348’");
}

// ---- Hemispheres

TEST_F(FormatsTest, HemisphereFollowsTheSign) {
    EXPECT_EQ(LatitudeHemisphere(55.7), "сш");
    EXPECT_EQ(LatitudeHemisphere(0), "сш");
    EXPECT_EQ(LatitudeHemisphere(-0.0), "сш");
    EXPECT_EQ(LatitudeHemisphere(-33.9), "юш");
    EXPECT_EQ(LongitudeHemisphere(37.6), "вд");
    EXPECT_EQ(LongitudeHemisphere(0), "вд");
    EXPECT_EQ(LongitudeHemisphere(-70.6), "зд");
}

TEST_F(FormatsTest, LatitudeAndLongitudeRowsCarryTheirHemisphere) {
    EXPECT_EQ(FormatLatitude(55.7558), "55° 45,348’ сш");
    EXPECT_EQ(FormatLongitude(37.6173), "37° 37,038’ вд");
    EXPECT_EQ(FormatLatitude(-55.7558), "55° 45,348’ юш");
    EXPECT_EQ(FormatLongitude(-37.6173), "37° 37,038’ зд");
}

// ---- FormatPosition

TEST_F(FormatsTest, PositionShowsLongitudeFirstWithHemispheres) {
    EXPECT_EQ(FormatPosition(55.7558, 37.6173), "37° 37,038’ вд, 55° 45,348’ сш");
    EXPECT_EQ(FormatPosition(-55.7558, -37.6173), "37° 37,038’ зд, 55° 45,348’ юш");
    EXPECT_EQ(FormatPosition(0, 0), "0° 00,000’ вд, 0° 00,000’ сш");
    EXPECT_EQ(FormatPosition(-33.5, 151.25), "151° 15,000’ вд, 33° 30,000’ юш");
}

TEST_F(FormatsTest, PositionCarriesLikeTheCoordinate) {
    EXPECT_EQ(FormatPosition(-(55 + 59.9996 / 60), 37 + 45.9996 / 60), "37° 46,000’ вд, 56° 00,000’ юш");
}

// ---- FormatDuration

TEST_F(FormatsTest, DurationBelowAMinuteShowsSeconds) {
    EXPECT_EQ(FormatDuration(Seconds(45)), "45 с");
    EXPECT_EQ(FormatDuration(Seconds(59)), "59 с");
    EXPECT_EQ(FormatDuration(0), "0 с");
    EXPECT_EQ(FormatDuration(Seconds(1)), "1 с");
}

TEST_F(FormatsTest, DurationOfAMinuteOrMoreRoundsToTheNearestMinute) {
    EXPECT_EQ(FormatDuration(Seconds(4 * 60 + 29)), "4 мин");
    EXPECT_EQ(FormatDuration(Seconds(4 * 60 + 30)), "5 мин");
    EXPECT_EQ(FormatDuration(OneMinute), "1 мин");
    EXPECT_EQ(FormatDuration(Seconds(60 + 30)), "2 мин");
}

TEST_F(FormatsTest, DurationOfAnHourOrMoreShowsHoursAndMinutes) {
    EXPECT_EQ(FormatDuration(OneHour), "1:00 мин");
    EXPECT_EQ(FormatDuration(Seconds(59 * 60 + 30)), "1:00 мин");
    EXPECT_EQ(FormatDuration(Seconds(59 * 60 + 29)), "59 мин");
    EXPECT_EQ(FormatDuration(Seconds(2 * 3600 + 5 * 60)), "2:05 мин");
}

TEST_F(FormatsTest, DurationFromParsedTexts) {
    EXPECT_EQ(FormatDuration(StrToTime("00:04:30", ru)), "5 мин");
    EXPECT_EQ(FormatDuration(StrToTime("01:00:00", ru)), "1:00 мин");
    EXPECT_EQ(FormatDuration(StrToTime("00:00:45", ru)), "45 с");
}

// ---- FormatCourse

TEST_F(FormatsTest, CourseShowsOneDecimalAndTheClockFace) {
    EXPECT_EQ(FormatCourse(0, ru), "0,0° (0:00)");
    EXPECT_EQ(FormatCourse(90, ru), "90,0° (3:00)");
    EXPECT_EQ(FormatCourse(45.3, ru), "45,3° (1:31)");
    EXPECT_EQ(FormatCourse(359.9, ru), "359,9° (12:00)");
    EXPECT_EQ(FormatCourse(180, ru), "180,0° (6:00)");
    EXPECT_EQ(FormatCourse(45.3, en), "45.3° (1:31)");
}

TEST_F(FormatsTest, NegativeCourseIsEmpty) {
    EXPECT_EQ(FormatCourse(-1, ru), "");
    EXPECT_EQ(FormatCourse(-0.001, ru), "");
    EXPECT_EQ(FormatCourse(std::numeric_limits<double>::quiet_NaN(), ru), "");
}

// ---- FormatDeviceNumber

TEST_F(FormatsTest, DeviceNumberHasAtLeastSevenDigits) {
    EXPECT_EQ(FormatDeviceNumber(1234), "0001234");
    EXPECT_EQ(FormatDeviceNumber(0), "0000000");
    EXPECT_EQ(FormatDeviceNumber(21999), "0021999");
    EXPECT_EQ(FormatDeviceNumber(1234567), "1234567");
    EXPECT_EQ(FormatDeviceNumber(123456789), "123456789");
    EXPECT_EQ(FormatDeviceNumber(2147483647), "2147483647");
}

TEST_F(FormatsTest, DeviceNumberDoesNotGroupInAnyLocale) {
    const TFormatSettingsScope scope(ru);
    EXPECT_EQ(FormatDeviceNumber(123456789), "123456789");
}

// ---- FormatSpeed, FormatAltitude, FormatTripValue

TEST_F(FormatsTest, SpeedIsGroupedWithOneDecimalAndTheUnit) {
    EXPECT_EQ(FormatSpeed(12.3, ru), "12,3 км/ч");
    EXPECT_EQ(FormatSpeed(0, ru), "0,0 км/ч");
    EXPECT_EQ(FormatSpeed(1234.56, ru), "1" + Nbsp + "234,6 км/ч");
    EXPECT_EQ(FormatSpeed(12.3, en), "12.3 км/ч");
    EXPECT_EQ(FormatSpeed(1234.56, en), "1,234.6 км/ч");
    EXPECT_EQ("скорость " + FormatSpeed(12.3, ru), "скорость 12,3 км/ч");
}

TEST_F(FormatsTest, AltitudeHasALiteralSpaceBeforeTheLastThreeDigits) {
    EXPECT_EQ(FormatAltitude(1234.5, ru), "1 234,5");
    EXPECT_EQ(FormatAltitude(12345.6, ru), "12 345,6");
    EXPECT_EQ(FormatAltitude(123.4, ru), " 123,4");
    EXPECT_EQ(FormatAltitude(5, ru), " 5,0");
    EXPECT_EQ(FormatAltitude(1234.5, en), "1 234.5");
}

TEST_F(FormatsTest, TripValuesUseTheTripPattern) {
    EXPECT_EQ(FormatTripValue(1234.56, ru), "1" + Nbsp + "234,6");
    EXPECT_EQ(FormatTripValue(12345 * 0.001, ru), "12,3");
    EXPECT_EQ(FormatTripValue(0, en), "0.0");
}

// ---- FormatRecordTime, FormatPeriodTime

TEST_F(FormatsTest, RecordTimeShowsTwoDigitFieldsAndTheLocaleTimeSeparator) {
    const TDateTime v = EncodeDateTime(2009, 5, 1, 13, 7, 9, 0);
    EXPECT_EQ(FormatRecordTime(v, ru), "01.05.09 - 13:07:09");
    TFormatSettings dots = ru;
    dots.TimeSeparator = ".";
    EXPECT_EQ(FormatRecordTime(v, dots), "01.05.09 - 13.07.09");
    EXPECT_EQ(FormatRecordTime(EncodeDateTime(2010, 12, 31, 0, 0, 0, 0), en), "31.12.10 - 00:00:00");
}

TEST_F(FormatsTest, RecordTimeOfAParsedServerText) {
    EXPECT_EQ(FormatRecordTime(StrToDateTime("01.05.2009 13:07:09", ru), ru), "01.05.09 - 13:07:09");
}

TEST_F(FormatsTest, PeriodTimeHasAFourDigitYear) {
    EXPECT_EQ(FormatPeriodTime(EncodeDate(2009, 5, 1), ru), "01.05.2009 00:00:00");
    EXPECT_EQ(FormatPeriodTime(EncodeDate(2009, 9, 1), ru), "01.09.2009 00:00:00");
    EXPECT_EQ(FormatPeriodTime(EncodeDateTime(2009, 9, 1, 23, 5, 59, 0), ru), "01.09.2009 23:05:59");
}

TEST_F(FormatsTest, FormatsUseTheCurrentSettingsByDefault) {
    const TFormatSettingsScope scope(ru);
    EXPECT_EQ(FormatSpeed(12.3), "12,3 км/ч");
    EXPECT_EQ(FormatCourse(45.3), "45,3° (1:31)");
    EXPECT_EQ(FormatAltitude(1234.5), "1 234,5");
    EXPECT_EQ(FormatRecordTime(EncodeDateTime(2009, 5, 1, 13, 7, 9, 0)), "01.05.09 - 13:07:09");
}

} // namespace
