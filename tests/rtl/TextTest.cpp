#include "platform/rtl/Text.h"

#include <gtest/gtest.h>

namespace {

TEST(TextTest, TrimRemovesBlanksAndControlCharacters) {
    EXPECT_EQ(Trim("  Moscow \t\r\n"), "Moscow");
    EXPECT_EQ(TrimLeft("  a b  "), "a b  ");
    EXPECT_EQ(TrimRight("  a b  "), "  a b");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim(" Москва "), "Москва");
    // A non-breaking space is a character, not a blank.
    EXPECT_EQ(Trim("\u00A0x\u00A0"), "\u00A0x\u00A0");
}

TEST(TextTest, CaseMappingCoversLatinCyrillicAndGreek) {
    EXPECT_EQ(AnsiLowerCase("Group ABC"), "group abc");
    EXPECT_EQ(AnsiUpperCase("Group abc"), "GROUP ABC");
    EXPECT_EQ(AnsiLowerCase("ГРУЗОВИКИ Ёё"), "грузовики ёё");
    EXPECT_EQ(AnsiUpperCase("грузовики ёё"), "ГРУЗОВИКИ ЁЁ");
    EXPECT_EQ(AnsiLowerCase("ÄÖÜ ΣΩ"), "äöü σω");
    EXPECT_EQ(AnsiUpperCase("äöü σω"), "ÄÖÜ ΣΩ");
    EXPECT_EQ(AnsiLowerCase("ЇІЄЎ"), "їієў");
    EXPECT_EQ(AnsiLowerCase("°’ 1"), "°’ 1");
}

TEST(TextTest, CaseMappingKeepsInvalidBytes) {
    const std::string bad = "A\xFF\xC0z";
    EXPECT_EQ(AnsiLowerCase(bad), "a\xFF\xC0z");
}

TEST(TextTest, SameTextIgnoresCase) {
    EXPECT_TRUE(SameText("Москва", "МОСКВА"));
    EXPECT_FALSE(SameText("Москва", "Москв"));
}

TEST(TextTest, CompareIsATotalOrder) {
    EXPECT_LT(AnsiCompareStr("A", "B"), 0);
    EXPECT_GT(AnsiCompareStr("b", "a"), 0);
    EXPECT_EQ(AnsiCompareStr("Москва", "Москва"), 0);
    EXPECT_NE(AnsiCompareStr("a", "A"), 0);
    EXPECT_EQ(AnsiCompareText("a", "A"), 0);
    EXPECT_LT(AnsiCompareStr("Абв", "Где"), 0);
}

TEST(TextTest, Utf8EncodesCodePoints) {
    EXPECT_EQ(Utf8(U'A'), "A");
    EXPECT_EQ(Utf8(0xB0), "°");
    EXPECT_EQ(Utf8(0x2019), "’");
    EXPECT_EQ(Utf8(0x1F600), "\xF0\x9F\x98\x80");
    EXPECT_EQ(DecodeUtf8("°’"), std::u32string(U"\u00B0\u2019"));
}

} // namespace
