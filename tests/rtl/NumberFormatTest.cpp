#include "platform/rtl/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const std::string Nbsp = "\u00A0";

class NumberFormatTest : public ::testing::Test {
protected:
    const TFormatSettings ru = TFormatSettings::Russian();
    const TFormatSettings en = TFormatSettings::English();
};

TEST_F(NumberFormatTest, TripPatternGroupsThousandsWithTheLocaleSeparator) {
    EXPECT_EQ(FormatFloat("#,##0.0", 1234.56, ru), "1" + Nbsp + "234,6");
    EXPECT_EQ(FormatFloat("#,##0.0", 1234.56, en), "1,234.6");
    EXPECT_EQ(FormatFloat("#,##0.0", 1234567.89, ru), "1" + Nbsp + "234" + Nbsp + "567,9");
    EXPECT_EQ(FormatFloat("#,##0.0", 1234567890.0, en), "1,234,567,890.0");
    EXPECT_EQ(FormatFloat("#,##0.0", 123.4, ru), "123,4");
    EXPECT_EQ(FormatFloat("#,##0.0", 999.96, en), "1,000.0");
}

TEST_F(NumberFormatTest, TripPatternAlwaysWritesOneIntegerAndOneDecimalDigit) {
    EXPECT_EQ(FormatFloat("#,##0.0", 0.0, ru), "0,0");
    EXPECT_EQ(FormatFloat("#,##0.0", 0.04, ru), "0,0");
    EXPECT_EQ(FormatFloat("#,##0.0", 5.0, en), "5.0");
    EXPECT_EQ(FormatFloat("#,##0.0", 12.3, ru), "12,3");
}

TEST_F(NumberFormatTest, RoundsHalfAwayFromZeroOnTheDecimalRepresentation) {
    EXPECT_EQ(FormatFloat("0.0", 0.05, ru), "0,1");
    EXPECT_EQ(FormatFloat("0.0", 0.15, ru), "0,2");
    EXPECT_EQ(FormatFloat("0.0", 0.25, ru), "0,3");
    EXPECT_EQ(FormatFloat("0.0", 0.35, en), "0.4");
    EXPECT_EQ(FormatFloat("0.00", 2.675, en), "2.68");
    EXPECT_EQ(FormatFloat("0.00", 1.005, en), "1.01");
    EXPECT_EQ(FormatFloat("0", 0.5, en), "1");
    EXPECT_EQ(FormatFloat("0", 1.5, en), "2");
    EXPECT_EQ(FormatFloat("0", 2.5, en), "3");
    EXPECT_EQ(FormatFloat("0.0", -0.05, en), "-0.1");
    EXPECT_EQ(FormatFloat("0", -2.5, en), "-3");
}

TEST_F(NumberFormatTest, ComputedValuesShowNoBinaryArtefacts) {
    EXPECT_EQ(FormatFloat("0.00", 0.1 + 0.2, en), "0.30");
    EXPECT_EQ(FormatFloat("#,##0.0", 12345 * 0.001, en), "12.3");
    EXPECT_EQ(FormatFloat("#,##0.00", 12345 * 0.001, en), "12.35");
    EXPECT_EQ(FormatFloat("0.0", 1.45, en), "1.5");
}

TEST_F(NumberFormatTest, NegativeValueGetsALeadingMinus) {
    EXPECT_EQ(FormatFloat("#,##0.0", -1234.56, ru), "-1" + Nbsp + "234,6");
    EXPECT_EQ(FormatFloat("0.0", -3.0, en), "-3.0");
    EXPECT_EQ(FormatFloat("0000000", -1234, en), "-0001234");
}

TEST_F(NumberFormatTest, NegativeValueThatRoundsToZeroHasNoMinus) {
    EXPECT_EQ(FormatFloat("#,##0.0", -0.04, ru), "0,0");
    EXPECT_EQ(FormatFloat("0", -0.4, en), "0");
    EXPECT_EQ(FormatFloat("0.0", -0.0, en), "0.0");
}

TEST_F(NumberFormatTest, FirstPlaceTakesAllExtraLeadingDigits) {
    EXPECT_EQ(FormatFloat("0000000", 1234, en), "0001234");
    EXPECT_EQ(FormatFloat("0000000", 0, en), "0000000");
    EXPECT_EQ(FormatFloat("0000000", 123456789, en), "123456789");
    EXPECT_EQ(FormatFloat("0", 123456.0, en), "123456");
    EXPECT_EQ(FormatFloat("#", 123456.0, en), "123456");
}

TEST_F(NumberFormatTest, LiteralSpaceStandsWhereItIsInThePattern) {
    // The altitude pattern "# ##0.0".
    EXPECT_EQ(FormatFloat("# ##0.0", 1234.5, ru), "1 234,5");
    EXPECT_EQ(FormatFloat("# ##0.0", 12345.6, ru), "12 345,6");
    EXPECT_EQ(FormatFloat("# ##0.0", 123.4, ru), " 123,4");
    EXPECT_EQ(FormatFloat("# ##0.0", 5, ru), " 5,0");
    EXPECT_EQ(FormatFloat("# ##0.0", 1234567.0, ru), "1234 567,0");
}

TEST_F(NumberFormatTest, OtherCharactersAreCopiedWhereTheyStand) {
    EXPECT_EQ(FormatFloat("#,##0.0 км/ч", 12.3, ru), "12,3 км/ч");
    EXPECT_EQ(FormatFloat("#,##0.0 км/ч", 1234.5, ru), "1" + Nbsp + "234,5 км/ч");
    EXPECT_EQ(FormatFloat("0.0°", 45.3, ru), "45,3°");
    EXPECT_EQ(FormatFloat("0.0°", 45.3, en), "45.3°");
    EXPECT_EQ(FormatFloat("x0x", 7, en), "x7x");
    EXPECT_EQ(FormatFloat("'#'0\"%\"", 7, en), "#7%");
}

TEST_F(NumberFormatTest, HashDecimalsAreWrittenOnlyWhenSignificant) {
    EXPECT_EQ(FormatFloat("0.##", 1.0, en), "1");
    EXPECT_EQ(FormatFloat("0.##", 1.5, en), "1.5");
    EXPECT_EQ(FormatFloat("0.##", 1.256, en), "1.26");
    EXPECT_EQ(FormatFloat("0.0#", 1.5, ru), "1,5");
    EXPECT_EQ(FormatFloat("#.#", 0.5, en), ".5");
    EXPECT_EQ(FormatFloat("#.#", 0.0, en), "");
}

TEST_F(NumberFormatTest, GroupingWithAnEmptySeparatorWritesNothing) {
    TFormatSettings s = en;
    s.ThousandSeparator = "";
    EXPECT_EQ(FormatFloat("#,##0.0", 1234567.0, s), "1234567.0");
}

TEST_F(NumberFormatTest, SectionsForNegativeAndZeroValues) {
    EXPECT_EQ(FormatFloat("0.0;(0.0);zero", 1.25, en), "1.3");
    EXPECT_EQ(FormatFloat("0.0;(0.0);zero", -1.25, en), "(1.3)");
    EXPECT_EQ(FormatFloat("0.0;(0.0);zero", 0.01, en), "zero");
    EXPECT_EQ(FormatFloat("0.0;;zero", -2.0, en), "-2.0");
}

TEST_F(NumberFormatTest, LargeValuesKeepTheirIntegerDigits) {
    EXPECT_EQ(FormatFloat("0", 1e15, en), "1000000000000000");
    EXPECT_EQ(FormatFloat("#,##0", 123456789012345678.0, en), "123,456,789,012,345,680");
}

TEST_F(NumberFormatTest, NotANumberAndInfinities) {
    EXPECT_EQ(FormatFloat("0.0", std::numeric_limits<double>::quiet_NaN(), en), "NAN");
    EXPECT_EQ(FormatFloat("0.0", std::numeric_limits<double>::infinity(), en), "INF");
    EXPECT_EQ(FormatFloat("0.0", -std::numeric_limits<double>::infinity(), en), "-INF");
}

TEST_F(NumberFormatTest, UsesTheCurrentSettingsByDefault) {
    const TFormatSettingsScope scope(ru);
    EXPECT_EQ(FormatFloat("#,##0.0", 1234.56), "1" + Nbsp + "234,6");
}

TEST_F(NumberFormatTest, FloatToStrWritesUpToFifteenSignificantDigits) {
    EXPECT_EQ(FloatToStr(1234.5, ru), "1234,5");
    EXPECT_EQ(FloatToStr(0.1 + 0.2, en), "0.3");
    EXPECT_EQ(FloatToStr(-3.0, en), "-3");
    EXPECT_EQ(FloatToStr(0.0, en), "0");
    EXPECT_EQ(FloatToStr(1.0 / 3.0, en), "0.333333333333333");
    EXPECT_EQ(FloatToStr(1.5e20, en), "1.5E20");
    EXPECT_EQ(FloatToStr(1e-6, en), "1E-6");
    EXPECT_EQ(FloatToStr(0.0001, en), "0.0001");
}

TEST_F(NumberFormatTest, EmptyPatternWritesTheValueAsFloatToStr) {
    EXPECT_EQ(FormatFloat("", 2.5, ru), "2,5");
}

} // namespace
