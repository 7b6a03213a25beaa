#include "platform/ole/Bstr.h"

#include <gtest/gtest.h>

namespace {

TEST(Bstr, KeepsLengthPrefixAndTerminator) {
    BSTR s = SysAllocString(u"Привет");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 6u);
    EXPECT_EQ(SysStringByteLen(s), 12u);
    EXPECT_EQ(s[6], u'\0');
    SysFreeString(s);
}

TEST(Bstr, NullIsAnEmptyString) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(BstrToUtf8(nullptr), "");
    EXPECT_TRUE(BstrView(nullptr).empty());
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr); // harmless
}

TEST(Bstr, LengthCountsEmbeddedZeros) {
    const char16_t text[] = {u'a', 0, u'b'};
    BStr s(SysAllocStringLen(text, 3));
    EXPECT_EQ(s.length(), 3u);
    EXPECT_EQ(s.view(), std::u16string_view(text, 3));
}

TEST(Bstr, Utf8RoundTripsCyrillicAndSupplementaryCharacters) {
    const std::string text = "Контрольная точка №5 😀";
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(BStr(text).utf8(), text);
    EXPECT_EQ(Utf8ToUtf16("😀").size(), 2u); // a surrogate pair
}

TEST(Bstr, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("a\xFF"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD"); // overlong form
    const char16_t lone[] = {0xD800, u'x'};
    EXPECT_EQ(Utf16ToUtf8(std::u16string_view(lone, 2)), "\xEF\xBF\xBDx");
}

TEST(Bstr, OwnerFreesAndHandsOver) {
    BStr a("один");
    BSTR* slot = a.out(); // frees the held string
    EXPECT_EQ(*slot, nullptr);
    *slot = SysAllocString(u"два");
    BStr b(std::move(a));
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(b.utf8(), "два");
    BSTR raw = b.release();
    EXPECT_EQ(b.get(), nullptr);
    SysFreeString(raw);
}

TEST(Bstr, ReAllocReplacesTheString) {
    BSTR s = SysAllocString(u"old");
    ASSERT_TRUE(SysReAllocString(&s, u"новая"));
    EXPECT_EQ(BstrToUtf8(s), "новая");
    SysFreeString(s);
}

} // namespace
