#include "platform/rtl/Conversion.h"
#include "platform/rtl/DateTimeFormat.h"
#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// The message of the EConvertError that the call raises ("" when it raises none).
std::string ConvertErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EConvertError& e) {
        return e.Message();
    }
    return {};
}

// ---- StrToInt

TEST(StrToIntTest, ReadsDecimalNumbersWithLeadingZeros) {
    EXPECT_EQ(StrToInt("0001234"), 1234);
    EXPECT_EQ(StrToInt("1234"), 1234);
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("0000000"), 0);
    EXPECT_EQ(StrToInt("21999"), 21999);
}

TEST(StrToIntTest, ReadsAnOptionalSign) {
    EXPECT_EQ(StrToInt("-5"), -5);
    EXPECT_EQ(StrToInt("+5"), 5);
    EXPECT_EQ(StrToInt("-0"), 0);
    EXPECT_EQ(StrToInt("-0001"), -1);
}

TEST(StrToIntTest, AcceptsTheWhole32BitRange) {
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("0000000002147483647"), 2147483647);
}

TEST(StrToIntTest, OverflowIsNotAValidIntegerValue) {
    EXPECT_EQ(ConvertErrorOf([] { StrToInt("2147483648"); }), "'2147483648' is not a valid integer value");
    EXPECT_EQ(ConvertErrorOf([] { StrToInt("-2147483649"); }), "'-2147483649' is not a valid integer value");
    EXPECT_EQ(ConvertErrorOf([] { StrToInt("99999999999999999999999"); }),
              "'99999999999999999999999' is not a valid integer value");
}

TEST(StrToIntTest, EmptyTextIsNotAValidIntegerValue) {
    EXPECT_EQ(ConvertErrorOf([] { StrToInt(""); }), "'' is not a valid integer value");
}

TEST(StrToIntTest, SurroundingJunkIsNotAValidIntegerValue) {
    for (const char* text :
         {" 12", "12 ", "12a", "a12", "1 2", "-", "+", "--1", "+-1", "1.0", "1,0", "0x1F", "$1F", "１２", "12\t"}) {
        EXPECT_EQ(ConvertErrorOf([text] { StrToInt(text); }),
                  std::string("'") + text + "' is not a valid integer value")
            << text;
    }
}

TEST(StrToIntTest, MessageCarriesCyrillicTextUnchanged) {
    EXPECT_EQ(ConvertErrorOf([] { StrToInt("пять"); }), "'пять' is not a valid integer value");
}

TEST(StrToIntTest, TryAndDefaultVariants) {
    std::int32_t value = 7;
    EXPECT_FALSE(TryStrToInt("x", value));
    EXPECT_EQ(value, 7);
    EXPECT_TRUE(TryStrToInt("42", value));
    EXPECT_EQ(value, 42);
    EXPECT_EQ(StrToIntDef("abc", 30), 30);
    EXPECT_EQ(StrToIntDef("12", 30), 12);
    EXPECT_EQ(IntToStr(-12), "-12");
}

TEST(StrToIntTest, ErrorIsAnException) {
    try {
        StrToInt("x");
        FAIL() << "no error raised";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "'x' is not a valid integer value");
    }
}

// ---- StrToTime

class StrToTimeTest : public ::testing::Test {
protected:
    const TFormatSettings ru = TFormatSettings::Russian();
    const TFormatSettings en = TFormatSettings::English();
};

TEST_F(StrToTimeTest, ReadsHoursMinutesAndSeconds) {
    EXPECT_EQ(StrToTime("00:04:30", ru), EncodeTime(0, 4, 30, 0));
    EXPECT_EQ(StrToTime("0:04:30", ru), EncodeTime(0, 4, 30, 0));
    EXPECT_EQ(StrToTime("01:00:00", ru), OneHour);
    EXPECT_EQ(StrToTime("00:00:00", ru), 0.0);
    EXPECT_EQ(StrToTime("23:59:59", ru), EncodeTime(23, 59, 59, 0));
    EXPECT_EQ(StrToTime("12:30", ru), EncodeTime(12, 30, 0, 0));
    EXPECT_EQ(StrToTime("7", ru), EncodeTime(7, 0, 0, 0));
    EXPECT_EQ(StrToTime(" 1 : 02 : 03 ", ru), EncodeTime(1, 2, 3, 0));
}

TEST_F(StrToTimeTest, ReadsAFractionOfASecondAfterTheDecimalSeparator) {
    EXPECT_EQ(StrToTime("00:00:01,5", ru), EncodeTime(0, 0, 1, 500));
    EXPECT_EQ(StrToTime("00:00:01.25", en), EncodeTime(0, 0, 1, 250));
    EXPECT_EQ(StrToTime("00:00:01.0071", en), EncodeTime(0, 0, 1, 7));
}

TEST_F(StrToTimeTest, UsesTheLocaleTimeSeparator) {
    TFormatSettings s = ru;
    s.TimeSeparator = ".";
    EXPECT_EQ(StrToTime("10.15.00", s), EncodeTime(10, 15, 0, 0));
    TDateTime v = 0;
    EXPECT_FALSE(TryStrToTime("10:15:00", v, s));
}

TEST_F(StrToTimeTest, ReadsAmAndPm) {
    EXPECT_EQ(StrToTime("1:05:00 PM", en), EncodeTime(13, 5, 0, 0));
    EXPECT_EQ(StrToTime("12:30 am", en), EncodeTime(0, 30, 0, 0));
    EXPECT_EQ(StrToTime("12:00 PM", en), EncodeTime(12, 0, 0, 0));
    EXPECT_EQ(StrToTime("PM 3:00", en), EncodeTime(15, 0, 0, 0));
    TDateTime v = 0;
    EXPECT_FALSE(TryStrToTime("13:00 PM", v, en));
    EXPECT_FALSE(TryStrToTime("0:00 AM", v, en));
}

TEST_F(StrToTimeTest, TextThatIsNotATimeIsNotAValidTime) {
    for (const char* text : {"", "abc", "24:00:00", "12:60", "12:00:60", "12:", "12:00:", "12:00 x", "1 2",
                             "01.05.2009 12:00:00", "-1:00", "12:00:00,"}) {
        EXPECT_EQ(ConvertErrorOf([&] { StrToTime(text, ru); }), std::string("'") + text + "' is not a valid time")
            << text;
    }
}

TEST_F(StrToTimeTest, UsesTheCurrentSettingsByDefault) {
    TFormatSettings s = ru;
    s.TimeSeparator = "-";
    const TFormatSettingsScope scope(s);
    EXPECT_EQ(StrToTime("00-04-30"), EncodeTime(0, 4, 30, 0));
}

// ---- StrToDate and StrToDateTime

class StrToDateTimeTest : public ::testing::Test {
protected:
    const TFormatSettings ru = TFormatSettings::Russian();
    const TFormatSettings en = TFormatSettings::English();
};

TEST_F(StrToDateTimeTest, ReadsTheDateInTheOrderOfTheShortDateFormat) {
    EXPECT_EQ(StrToDate("01.05.2009", ru), EncodeDate(2009, 5, 1));
    EXPECT_EQ(StrToDate("1.5.2009", ru), EncodeDate(2009, 5, 1));
    EXPECT_EQ(StrToDate("5/1/2009", en), EncodeDate(2009, 5, 1));
    TFormatSettings iso = ru;
    iso.ShortDateFormat = "yyyy-MM-dd";
    iso.DateSeparator = "-";
    EXPECT_EQ(StrToDate("2009-05-01", iso), EncodeDate(2009, 5, 1));
}

TEST_F(StrToDateTimeTest, ReadsADateFollowedByATime) {
    EXPECT_EQ(StrToDateTime("01.05.2009 13:05:09", ru), EncodeDateTime(2009, 5, 1, 13, 5, 9, 0));
    EXPECT_EQ(StrToDateTime("01.09.2009 0:00:00", ru), EncodeDate(2009, 9, 1));
    EXPECT_EQ(StrToDateTime("01.05.2009", ru), EncodeDate(2009, 5, 1));
    EXPECT_EQ(StrToDateTime("5/1/2009 1:05:09 PM", en), EncodeDateTime(2009, 5, 1, 13, 5, 9, 0));
    EXPECT_EQ(StrToDateTime("  01.05.2009   13:05  ", ru), EncodeDateTime(2009, 5, 1, 13, 5, 0, 0));
}

TEST_F(StrToDateTimeTest, ReadsATimeAloneOnDayZero) {
    EXPECT_EQ(StrToDateTime("13:05:09", ru), EncodeTime(13, 5, 9, 0));
}

TEST_F(StrToDateTimeTest, TwoDigitYearsUseTheCenturyWindow) {
    TFormatSettings s = ru;
    s.TwoDigitYearCenturyWindow = 0; // the current century
    int year = 0, m = 0, d = 0;
    DecodeDate(Now(), year, m, d);
    EXPECT_EQ(StrToDate("01.05.09", s), EncodeDate(year / 100 * 100 + 9, 5, 1));
    // With the default window of 50 years, a two-digit year lies within 50 years before this year
    // or at most 49 years after it.
    int y2 = 0;
    DecodeDate(StrToDate("01.05.09", ru), y2, m, d);
    EXPECT_EQ(y2 % 100, 9);
    EXPECT_GE(y2, year - 50);
    EXPECT_LT(y2, year + 50);
}

TEST_F(StrToDateTimeTest, DateWithoutYearIsInTheCurrentYear) {
    int year = 0, m = 0, d = 0;
    DecodeDate(Now(), year, m, d);
    EXPECT_EQ(StrToDate("01.05", ru), EncodeDate(year, 5, 1));
}

TEST_F(StrToDateTimeTest, TextThatIsNotADateAndTimeIsNotValid) {
    for (const char* text : {"", "abc", "32.05.2009", "29.02.2009", "01.13.2009", "01.05.2009 25:00", "01.05.2009 x",
                             "01.05.2009 13:05:09 junk", "01/05/2009"}) {
        EXPECT_EQ(ConvertErrorOf([&] { StrToDateTime(text, ru); }),
                  std::string("'") + text + "' is not a valid date and time")
            << text;
    }
    EXPECT_EQ(ConvertErrorOf([&] { StrToDate("01.05.2009 12:00", ru); }), "'01.05.2009 12:00' is not a valid date");
}

TEST_F(StrToDateTimeTest, FormattedTextReadsBack) {
    const TDateTime v = EncodeDateTime(2009, 9, 1, 23, 59, 58, 0);
    EXPECT_EQ(StrToDateTime(DateTimeToStr(v, ru), ru), v);
    EXPECT_EQ(StrToDateTime(DateTimeToStr(v, en), en), v);
    EXPECT_EQ(StrToDateTime(FormatDateTime("dd.mm.yyyy hh:mm:ss", v, ru), ru), v);
}

} // namespace
