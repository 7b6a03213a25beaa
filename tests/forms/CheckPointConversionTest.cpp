// The conversions between the dialogs' coordinate texts and degrees, and of the radius text.
#include "forms/Checkpointproperties.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

double Lat(const char* text) {
    return CoordinateTextToDegrees(QString::fromUtf8(text), MaxLatitude);
}

double Lng(const char* text) {
    return CoordinateTextToDegrees(QString::fromUtf8(text), MaxLongitude);
}

LONG Radius(const char* text) {
    return RadiusTextToRadius(QString::fromUtf8(text));
}

} // namespace

TEST(CoordinateTextTest, FullTextGivesDegreesPlusMinutesAndThousandths) {
    EXPECT_DOUBLE_EQ(Lat(" 10° 75,000’"), 11.25);
    EXPECT_DOUBLE_EQ(Lat(" 55° 45,350’"), 55.0 + 45350.0 / 60000.0);
    EXPECT_DOUBLE_EQ(Lng("  5° 00,001’"), 5.0 + 1.0 / 60000.0);
    // Minutes of 60 and more are taken as they are.
    EXPECT_DOUBLE_EQ(Lat(" 10° 90,000’"), 11.5);
}

TEST(CoordinateTextTest, MissingPartsCountAsZero) {
    EXPECT_EQ(Lat("   °   ,   ’"), 0.0);
    EXPECT_EQ(Lat(""), 0.0);
    EXPECT_DOUBLE_EQ(Lat(" 45°   ,   ’"), 45.0);
    EXPECT_DOUBLE_EQ(Lat(" 45° 30,   ’"), 45.5);
    // Reading stops at the degree sign when the degrees are blank.
    EXPECT_EQ(Lat("   ° 75,000’"), 0.0);
    EXPECT_EQ(Lng("abc"), 0.0);
}

TEST(CoordinateTextTest, ValuesOverTheLimitAreClampedAndTheLimitItselfIsKept) {
    EXPECT_EQ(Lat(" 95° 00,000’"), 90.0);
    EXPECT_EQ(Lat(" 90° 00,000’"), 90.0);
    EXPECT_EQ(Lat(" 89° 99,999’"), 90.0);
    EXPECT_EQ(Lng("200° 00,000’"), 180.0);
    EXPECT_DOUBLE_EQ(Lng("179° 59,999’"), 179.0 + 59999.0 / 60000.0);
    EXPECT_DOUBLE_EQ(Lat(" 95° 00,000’") + Lng(" 95° 00,000’"), 90.0 + 95.0);
}

TEST(CoordinateTextTest, DegreesAreShownAsDegreesMinutesAndThousandths) {
    EXPECT_EQ(DegreesToCoordinateText(55.755833), QString::fromUtf8("55° 45,350’"));
    EXPECT_EQ(DegreesToCoordinateText(0.0), QString::fromUtf8("0° 00,000’"));
    EXPECT_EQ(DegreesToCoordinateText(37.5), QString::fromUtf8("37° 30,000’"));
    EXPECT_EQ(DegreesToCoordinateText(180.0), QString::fromUtf8("180° 00,000’"));
    // Rounding to the hundred-thousandth of a degree carries into the degrees.
    EXPECT_EQ(DegreesToCoordinateText(179.999999), QString::fromUtf8("180° 00,000’"));
}

TEST(CoordinateTextTest, ShownTextReadsBackWithinRoundingOfAThousandthOfAMinute) {
    const double back = Lat(DegreesToCoordinateText(55.755833).toUtf8().constData());
    EXPECT_DOUBLE_EQ(back, 55.0 + 45350.0 / 60000.0);
    EXPECT_NE(back, 55.755833);
}

TEST(CoordinateTextTest, ValuesTheMaskCannotHoldGiveNoDigits) {
    EXPECT_EQ(DegreesToCoordinateText(-33.5), QString());
    EXPECT_EQ(DegreesToCoordinateText(1000.0), QString());
    EXPECT_EQ(DegreesToCoordinateText(1e12), QString());
    EXPECT_EQ(DegreesToCoordinateText(std::numeric_limits<double>::quiet_NaN()), QString());
    EXPECT_EQ(DegreesToCoordinateText(999.99), QString::fromUtf8("999° 59,400’"));
}

TEST(RadiusTextTest, NumbersInRangeAreTakenAsTyped) {
    EXPECT_EQ(Radius("2"), 2);
    EXPECT_EQ(Radius("150"), 150);
    EXPECT_EQ(Radius(" 25м"), 25);
    EXPECT_EQ(Radius("32500"), 32500);
}

TEST(RadiusTextTest, TextWithoutANumberGivesThirty) {
    EXPECT_EQ(Radius(""), 30);
    EXPECT_EQ(Radius("abc"), 30);
    EXPECT_EQ(Radius("   "), 30);
    EXPECT_EQ(Radius("-"), 30);
}

TEST(RadiusTextTest, NumbersOutOfRangeAreClamped) {
    EXPECT_EQ(Radius("0"), 2);
    EXPECT_EQ(Radius("1"), 2);
    EXPECT_EQ(Radius("-5"), 2);
    EXPECT_EQ(Radius("32501"), 32500);
    EXPECT_EQ(Radius("40000"), 32500);
    // Beyond 32 bits a radius is still large, not wrapped round to a small or negative number.
    EXPECT_EQ(Radius("4294967298"), 32500);
    EXPECT_EQ(Radius("3000000000"), 32500);
    EXPECT_EQ(Radius("99999999999999999999999"), 32500);
}
