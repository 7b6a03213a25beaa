#include "server/core/TimeText.h"

#include <gtest/gtest.h>

using namespace navilonix::server;

// The tests run with TZ=UTC, so local time and UTC agree.

TEST(TimeText, DateTimesFollowTheConventionsGiven) {
    const UnixTime t = fromUtcCivil(CivilTime{2009, 5, 1, 8, 5, 9});
    EXPECT_EQ(formatDateTime(t, TextFormat{}), "01.05.2009 08:05:09");
    EXPECT_EQ(formatDateTime(t, TextFormat{DateOrder::MonthDayYear, '/', ':'}), "05/01/2009 08:05:09");
    EXPECT_EQ(formatDateTime(t, TextFormat{DateOrder::YearMonthDay, '-', '.'}), "2009-05-01 08.05.09");
}

TEST(TimeText, DurationsMayExceedADayButTimesOfDayStopBeforeMidnight) {
    EXPECT_EQ(formatDuration(0, TextFormat{}), "0:00:00");
    EXPECT_EQ(formatDuration(3 * 86400 + 61, TextFormat{}), "72:01:01");
    EXPECT_EQ(formatTimeOfDay(270, TextFormat{}), "0:04:30");
    EXPECT_EQ(formatTimeOfDay(3 * 86400, TextFormat{}), "23:59:59");
}

TEST(TimeText, TheConsolesPeriodTextsParse) {
    EXPECT_EQ(parseDateTime("01.05.2009 00:00:00", TextFormat{}), fromUtcCivil(CivilTime{2009, 5, 1}));
    EXPECT_EQ(parseDateTime("1.9.2009 7:30", TextFormat{}), fromUtcCivil(CivilTime{2009, 9, 1, 7, 30, 0}));
    EXPECT_EQ(parseDateTime("05/01/2009 10:00:00", TextFormat{DateOrder::MonthDayYear, '/', ':'}),
              fromUtcCivil(CivilTime{2009, 5, 1, 10, 0, 0}));
}

TEST(TimeText, TextsThatAreNoDateTimeAreRefused) {
    for (const char* text : {"", "31.02.2009 00:00:00", "01.13.2009", "01.05.2009 24:00:00", "tomorrow",
                             "01.05.2009 10", "01.05.2009 10:00:00 x", "1.5"})
        EXPECT_FALSE(parseDateTime(text, TextFormat{})) << text;
}

TEST(TimeText, OleDatesCountDaysFromTheEndOf1899) {
    EXPECT_DOUBLE_EQ(toOleDate(0), 25569.0);
    EXPECT_DOUBLE_EQ(toOleDate(fromUtcCivil(CivilTime{2009, 5, 1, 12, 0, 0})), 39934.5);
}

TEST(TimeText, CivilConversionsRoundTrip) {
    for (UnixTime t : {UnixTime{0}, UnixTime{951782400}, UnixTime{1241136000}, UnixTime{4102444799}})
        EXPECT_EQ(fromUtcCivil(toUtcCivil(t)), t);
    const CivilTime leap = toUtcCivil(951782400); // 2000-02-29
    EXPECT_EQ(leap.month, 2);
    EXPECT_EQ(leap.day, 29);
}
