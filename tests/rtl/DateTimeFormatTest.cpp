#include "platform/rtl/DateTimeFormat.h"

#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class DateTimeFormatTest : public ::testing::Test {
protected:
    const TFormatSettings ru = TFormatSettings::Russian();
    const TFormatSettings en = TFormatSettings::English();
    const TFormatSettings inv = TFormatSettings::Invariant();
};

TEST_F(DateTimeFormatTest, DayZeroIsThe30thOfDecember1899) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2009, 5, 1), 39934.0);
    EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
}

TEST_F(DateTimeFormatTest, TimeIsTheFractionOfADay) {
    EXPECT_EQ(EncodeTime(0, 1, 0, 0), OneMinute);
    EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    EXPECT_DOUBLE_EQ(EncodeTime(1, 0, 0, 0), OneHour);
    EXPECT_EQ(EncodeTime(0, 1, 0, 0), 0.0006944444444444445);
}

TEST_F(DateTimeFormatTest, EncodeRejectsInvalidDatesAndTimes) {
    TDateTime value = 0;
    EXPECT_FALSE(TryEncodeDate(2009, 2, 29, value));
    EXPECT_TRUE(TryEncodeDate(2008, 2, 29, value));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, value));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, value));
    EXPECT_FALSE(TryEncodeDate(2009, 13, 1, value));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, value));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, value));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, value));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, value));
    EXPECT_FALSE(TryEncodeTime(0, 0, 60, 0, value));
    EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, value));
    EXPECT_THROW(EncodeDate(2009, 4, 31), EConvertError);
    EXPECT_THROW(EncodeTime(25, 0, 0, 0), EConvertError);
}

TEST_F(DateTimeFormatTest, DecodeGivesBackWhatWasEncoded) {
    const TDateTime v = EncodeDateTime(2009, 9, 1, 13, 5, 9, 250);
    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
    DecodeDateTime(v, y, m, d, h, n, s, ms);
    EXPECT_EQ(y, 2009);
    EXPECT_EQ(m, 9);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(h, 13);
    EXPECT_EQ(n, 5);
    EXPECT_EQ(s, 9);
    EXPECT_EQ(ms, 250);
    for (int year : {1, 4, 100, 1600, 1899, 1900, 1904, 2000, 2024, 2100, 9999}) {
        for (int month = 1; month <= 12; ++month) {
            DecodeDate(EncodeDate(year, month, DaysInMonth(year, month)), y, m, d);
            EXPECT_EQ(y, year);
            EXPECT_EQ(m, month);
            EXPECT_EQ(d, DaysInMonth(year, month));
        }
    }
}

TEST_F(DateTimeFormatTest, DecodeRoundsToTheNearestMillisecond) {
    int h = 0, n = 0, s = 0, ms = 0;
    DecodeTime(EncodeTime(0, 4, 29, 999) + 0.6 * OneMillisecond, h, n, s, ms);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(s, 30);
    EXPECT_EQ(ms, 0);
    // 23:59:59.9996 rounds to the next day's midnight.
    int y = 0, mo = 0, d = 0;
    const TDateTime late = EncodeDate(2009, 12, 31) + (MSecsPerDay - 0.4) / MSecsPerDay;
    DecodeDateTime(late, y, mo, d, h, n, s, ms);
    EXPECT_EQ(y, 2010);
    EXPECT_EQ(mo, 1);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(h, 0);
}

TEST_F(DateTimeFormatTest, NegativeValuesCountTheDayBackAndTheTimeForward) {
    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0, ms = 0;
    DecodeDateTime(-1.25, y, m, d, h, n, s, ms);
    EXPECT_EQ(y, 1899);
    EXPECT_EQ(m, 12);
    EXPECT_EQ(d, 29);
    EXPECT_EQ(h, 6);
    EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
}

TEST_F(DateTimeFormatTest, DayOfWeekStartsOnSunday) {
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7); // a Saturday
    EXPECT_EQ(DayOfWeek(EncodeDate(2009, 5, 1)), 6);   // a Friday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 10)), 1);  // a Sunday
    EXPECT_EQ(DayOfWeek(-1.0), 6);                     // 29.12.1899, a Friday
}

TEST_F(DateTimeFormatTest, RecordTimePatternTakesMonthsBeforeAndMinutesAfterTheHour) {
    const TDateTime v = EncodeDateTime(2009, 5, 1, 13, 7, 9, 0);
    EXPECT_EQ(FormatDateTime("dd.mm.yy - hh:mm:ss", v, ru), "01.05.09 - 13:07:09");
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy hh:mm:ss", v, ru), "01.05.2009 13:07:09");
    EXPECT_EQ(FormatDateTime("DD.MM.YYYY HH:MM:SS", v, ru), "01.05.2009 13:07:09");
}

TEST_F(DateTimeFormatTest, ColonIsTheLocaleTimeSeparatorAndSlashTheDateSeparator) {
    TFormatSettings s = ru;
    s.TimeSeparator = ".";
    s.DateSeparator = "-";
    const TDateTime v = EncodeDateTime(2009, 5, 1, 8, 0, 5, 0);
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy hh:mm:ss", v, s), "01.05.2009 08.00.05");
    EXPECT_EQ(FormatDateTime("yyyy/mm/dd", v, s), "2009-05-01");
    EXPECT_EQ(FormatDateTime("m/d/yy", v, en), "5/1/09");
}

TEST_F(DateTimeFormatTest, SingleLettersWriteNoLeadingZero) {
    const TDateTime v = EncodeDateTime(2009, 5, 1, 8, 4, 5, 7);
    EXPECT_EQ(FormatDateTime("d.m.yyyy h:n:s", v, ru), "1.5.2009 8:4:5");
    EXPECT_EQ(FormatDateTime("h:m", v, ru), "8:4");
    EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", v, inv), "08:04:05.007");
    EXPECT_EQ(FormatDateTime("z", v, inv), "7");
}

TEST_F(DateTimeFormatTest, QuotedTextAndOtherCharactersAreCopied) {
    const TDateTime v = EncodeDateTime(2009, 5, 1, 8, 4, 5, 0);
    EXPECT_EQ(FormatDateTime("'day' d \"at\" h", v, inv), "day 1 at 8");
    EXPECT_EQ(FormatDateTime("dd.mm.yyyy 'г.'", v, ru), "01.05.2009 г.");
    EXPECT_EQ(FormatDateTime("dd - ", v, ru), "01 - ");
}

TEST_F(DateTimeFormatTest, TwelveHourClockWithAmPm) {
    const TDateTime morning = EncodeTime(0, 30, 0, 0);
    const TDateTime afternoon = EncodeTime(13, 5, 0, 0);
    const TDateTime noon = EncodeTime(12, 0, 0, 0);
    EXPECT_EQ(FormatDateTime("h:nn AMPM", morning, en), "12:30 AM");
    EXPECT_EQ(FormatDateTime("h:nn AMPM", afternoon, en), "1:05 PM");
    EXPECT_EQ(FormatDateTime("h:nn ampm", noon, en), "12:00 PM");
    EXPECT_EQ(FormatDateTime("hh:nn am/pm", afternoon, en), "01:05 pm");
    EXPECT_EQ(FormatDateTime("h:nn AM/PM", morning, en), "12:30 AM");
    EXPECT_EQ(FormatDateTime("h a/p", afternoon, en), "1 p");
    EXPECT_EQ(FormatDateTime("hh:nn", afternoon, en), "13:05");
}

TEST_F(DateTimeFormatTest, NamesAndLocaleFormats) {
    const TDateTime v = EncodeDateTime(2009, 5, 1, 13, 5, 9, 0);
    EXPECT_EQ(FormatDateTime("ddd dddd mmm mmmm", v, en), "Fri Friday May May");
    EXPECT_EQ(FormatDateTime("dddd, d mmmm", v, ru), "пятница, 1 Май");
    EXPECT_EQ(FormatDateTime("ddddd", v, ru), "01.05.2009");
    EXPECT_EQ(FormatDateTime("ddddd", v, en), "5/1/2009");
    EXPECT_EQ(FormatDateTime("t", v, ru), "13:05");
    EXPECT_EQ(FormatDateTime("tt", v, ru), "13:05:09");
    EXPECT_EQ(FormatDateTime("tt", v, en), "1:05:09 PM");
    EXPECT_EQ(FormatDateTime("c", v, ru), "01.05.2009 13:05:09");
    EXPECT_EQ(FormatDateTime("c", EncodeDate(2009, 5, 1), ru), "01.05.2009");
    EXPECT_EQ(FormatDateTime("", v, inv), "05/01/2009 13:05:09");
    EXPECT_EQ(DateToStr(v, ru), "01.05.2009");
    EXPECT_EQ(TimeToStr(v, ru), "13:05:09");
    EXPECT_EQ(DateTimeToStr(v, en), "5/1/2009 1:05:09 PM");
}

TEST_F(DateTimeFormatTest, UsesTheCurrentSettingsByDefault) {
    TFormatSettings s = ru;
    s.TimeSeparator = "-";
    const TFormatSettingsScope scope(s);
    EXPECT_EQ(FormatDateTime("hh:mm", EncodeTime(7, 30, 0, 0)), "07-30");
}

TEST_F(DateTimeFormatTest, NowIsAValidDate) {
    int y = 0, m = 0, d = 0;
    DecodeDate(Now(), y, m, d);
    EXPECT_GE(y, 2020);
    EXPECT_EQ(Today(), std::floor(Today()));
    EXPECT_LE(Today(), Now());
}

} // namespace
