#include "platform/ole/ErrorText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ErrorText, KnowsTheUsualWordingWithALineEnd) {
    EXPECT_STREQ(SystemErrorText(MakeHResult(0x800706BAu)), "The RPC server is unavailable.\n");
    EXPECT_STREQ(SystemErrorText(REGDB_E_CLASSNOTREG), "Class not registered\n");
    EXPECT_EQ(SystemErrorText(MakeHResult(0x8FFF1234u)), nullptr);
}

TEST(ErrorText, FormatMessageAllocatesABufferForLocalFree) {
    char* text = nullptr;
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, static_cast<DWORD>(E_FAIL),
                       LANG_USER_DEFAULT, reinterpret_cast<char*>(&text), 0, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text, n), "Unspecified error\n");
    EXPECT_EQ(LocalFree(text), nullptr);
}

TEST(ErrorText, FormatMessageWithoutTextWritesNothing) {
    char* text = nullptr;
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0x8FFF1234u,
                             LANG_USER_DEFAULT, reinterpret_cast<char*>(&text), 0, nullptr),
              0u);
    EXPECT_EQ(text, nullptr);
}

TEST(ErrorText, FormatMessageCutsToAFixedBuffer) {
    char buffer[8];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(E_FAIL), 0, buffer,
                                   sizeof buffer, nullptr);
    EXPECT_EQ(n, 7u);
    EXPECT_STREQ(buffer, "Unspeci");
}

} // namespace
