#include "platform/ole/Guid.h"

#include <gtest/gtest.h>

namespace {

const char* const kText = "{7166C02F-CFCE-4856-AB71-40F9329297BB}";

TEST(Guid, ParsesRegistryFormInEitherCaseWithOrWithoutBraces) {
    const auto a = GuidFromString(kText);
    const auto b = GuidFromString("7166c02f-cfce-4856-ab71-40f9329297bb");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, *b);
    EXPECT_EQ(a->Data1, 0x7166C02Fu);
    EXPECT_EQ(a->Data4[0], 0xAB);
    EXPECT_EQ(a->Data4[7], 0xBB);
}

TEST(Guid, FormatsUpperCaseInBraces) {
    EXPECT_EQ(GuidToString(*GuidFromString(kText)), kText);
}

TEST(Guid, RejectsMalformedText) {
    EXPECT_FALSE(GuidFromString(""));
    EXPECT_FALSE(GuidFromString("{7166C02F-CFCE-4856-AB71-40F9329297BB"));
    EXPECT_FALSE(GuidFromString("7166C02F-CFCE-4856-AB71-40F9329297BX"));
    EXPECT_FALSE(GuidFromString("7166C02FCFCE-4856-AB71-40F9329297BB0"));
}

TEST(Guid, StringFromClsidAllocatesWithTheTaskAllocator) {
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(*GuidFromString(kText), &text), S_OK);
    std::u16string wide;
    for (const OLECHAR* p = text; *p; ++p)
        wide.push_back(*p);
    CoTaskMemFree(text);
    EXPECT_EQ(wide, u"{7166C02F-CFCE-4856-AB71-40F9329297BB}");
}

TEST(Guid, ClsidFromStringRefusesNonAsciiText) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(u"{7166C02F-CFCE-4856-AB71-40F9329297BB}", &clsid), S_OK);
    EXPECT_EQ(clsid, *GuidFromString(kText));
    EXPECT_EQ(CLSIDFromString(u"{Ж166C02F-CFCE-4856-AB71-40F9329297BB}", &clsid), MakeHResult(0x800401F3u));
    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), E_INVALIDARG);
}

} // namespace
