#include "platform/rtl/FormatSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

#include <locale.h>

namespace {

bool LocaleInstalled(const char* name) {
    const locale_t l = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (l == static_cast<locale_t>(nullptr)) {
        return false;
    }
    freelocale(l);
    return true;
}

// The test command installs the locales and sets NAVILONIX_REQUIRE_LOCALES: a missing one is a failure there, and
// a skip elsewhere.
bool RequireLocales() {
    const char* required = std::getenv("NAVILONIX_REQUIRE_LOCALES");
    return required && *required && std::string_view(required) != "0";
}

TEST(FormatSettingsTest, RussianSettings) {
    const TFormatSettings s = TFormatSettings::Russian();
    EXPECT_EQ(s.DecimalSeparator, ",");
    EXPECT_EQ(s.ThousandSeparator, "\u00A0");
    EXPECT_EQ(s.DateSeparator, ".");
    EXPECT_EQ(s.TimeSeparator, ":");
    EXPECT_EQ(s.ShortDateFormat, "dd.MM.yyyy");
    EXPECT_EQ(s.LongTimeFormat, "H:mm:ss");
    EXPECT_EQ(s.TimeAMString, "");
}

TEST(FormatSettingsTest, InvariantSettingsAreTheDefault) {
    const TFormatSettings s = TFormatSettings::Invariant();
    EXPECT_EQ(s, TFormatSettings{});
    EXPECT_EQ(s.DecimalSeparator, ".");
    EXPECT_EQ(s.ThousandSeparator, ",");
    EXPECT_EQ(s.DateSeparator, "/");
    EXPECT_EQ(s.TimeSeparator, ":");
}

TEST(FormatSettingsTest, PosixPatternsBecomeFormatDateTimePatterns) {
    EXPECT_EQ(TFormatSettings::PatternFromPosix("%d.%m.%Y"), "dd.MM.yyyy");
    EXPECT_EQ(TFormatSettings::PatternFromPosix("%m/%d/%y"), "MM/dd/yy");
    EXPECT_EQ(TFormatSettings::PatternFromPosix("%T"), "HH:nn:ss");
    EXPECT_EQ(TFormatSettings::PatternFromPosix("%H:%M:%S"), "HH:nn:ss");
    EXPECT_EQ(TFormatSettings::PatternFromPosix("%I:%M:%S %p"), "hh:nn:ss AMPM");
    EXPECT_EQ(TFormatSettings::PatternFromPosix("%Y-%m-%d"), "yyyy-MM-dd");
    EXPECT_EQ(TFormatSettings::PatternFromPosix("%e.%-m.%Y"), "d.M.yyyy");
    EXPECT_EQ(TFormatSettings::PatternFromPosix("%Y年%m月%d日"), "yyyy年MM月dd日");
    EXPECT_EQ(TFormatSettings::PatternFromPosix("%d de %B"), "dd \"d\"\"e\" MMMM");
    EXPECT_EQ(TFormatSettings::PatternFromPosix("%H h %M"), "HH \"h\" nn");
}

TEST(FormatSettingsTest, CLocaleGivesPointDecimalAndNoGrouping) {
    const TFormatSettings s = TFormatSettings::FromLocale("C");
    EXPECT_EQ(s.DecimalSeparator, ".");
    EXPECT_EQ(s.ThousandSeparator, "");
    EXPECT_EQ(s.ShortDateFormat, "MM/dd/yy");
    EXPECT_EQ(s.DateSeparator, "/");
    EXPECT_EQ(s.LongTimeFormat, "HH:nn:ss");
    EXPECT_EQ(s.ShortTimeFormat, "HH:nn");
    EXPECT_EQ(s.TimeSeparator, ":");
}

TEST(FormatSettingsTest, MissingLocaleGivesInvariantSettings) {
    EXPECT_EQ(TFormatSettings::FromLocale("xx_NO.Such-Locale"), TFormatSettings::Invariant());
}

TEST(FormatSettingsTest, RussianLocaleWhenInstalled) {
    if (!LocaleInstalled("ru_RU.UTF-8")) {
        if (RequireLocales())
            FAIL() << "ru_RU.UTF-8 is not installed; scripts/install-deps.sh generates it";
        GTEST_SKIP() << "ru_RU.UTF-8 is not installed";
    }
    const TFormatSettings s = TFormatSettings::FromLocale("ru_RU.UTF-8");
    EXPECT_EQ(s.DecimalSeparator, ",");
    // glibc gives a narrow (U+202F) or plain (U+00A0) non-breaking space, depending on its version.
    EXPECT_TRUE(s.ThousandSeparator == "\u00A0" || s.ThousandSeparator == "\u202F") << s.ThousandSeparator;
    EXPECT_EQ(s.DateSeparator, ".");
    EXPECT_EQ(s.ShortDateFormat, "dd.MM.yyyy");
    EXPECT_EQ(s.TimeSeparator, ":");
    EXPECT_EQ(s.LongTimeFormat, "HH:nn:ss");
    EXPECT_EQ(s.TimeAMString, "");
    EXPECT_EQ(s.LongMonthNames[4], "Май");
}

TEST(FormatSettingsTest, EnglishLocaleWhenInstalled) {
    if (!LocaleInstalled("en_US.UTF-8")) {
        if (RequireLocales())
            FAIL() << "en_US.UTF-8 is not installed; scripts/install-deps.sh generates it";
        GTEST_SKIP() << "en_US.UTF-8 is not installed";
    }
    const TFormatSettings s = TFormatSettings::FromLocale("en_US.UTF-8");
    EXPECT_EQ(s.DecimalSeparator, ".");
    EXPECT_EQ(s.ThousandSeparator, ",");
    EXPECT_EQ(s.ShortDateFormat, "MM/dd/yyyy");
    EXPECT_EQ(s.DateSeparator, "/");
    EXPECT_EQ(s.LongTimeFormat, "hh:nn:ss AMPM");
    EXPECT_EQ(s.ShortTimeFormat, "hh:nn AMPM");
    EXPECT_EQ(s.TimeAMString, "AM");
    EXPECT_EQ(s.TimePMString, "PM");
}

TEST(FormatSettingsTest, CurrentSettingsCanBeReplacedAndRestored) {
    const TFormatSettings before = CurrentFormatSettings();
    {
        const TFormatSettingsScope scope(TFormatSettings::Russian());
        EXPECT_EQ(CurrentFormatSettings(), TFormatSettings::Russian());
        {
            const TFormatSettingsScope inner(TFormatSettings::English());
            EXPECT_EQ(CurrentFormatSettings(), TFormatSettings::English());
        }
        EXPECT_EQ(CurrentFormatSettings(), TFormatSettings::Russian());
    }
    EXPECT_EQ(CurrentFormatSettings(), before);
}

} // namespace
