// The call log's storage: texts come back exactly as they were sent, in either packed form and at any length; the
// ring keeps the latest calls with their texts intact as it wraps, and the arena gives back what the dropped calls
// held.
#include "automation/CallLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace {

const int kPropertyName = FindNavilonixMember("set_PropertyName")->slot;
const int kGoToCarLastPosition = FindNavilonixMember("GoToCarLastPosition")->slot;

// Logs one call of set_PropertyName with `text` and returns the text the log gives back.
std::u16string RoundTrip(TCallLog& log, const std::u16string& text) {
    const BStr sent(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    TCallRecord& record = log.Begin(kPropertyName);
    log.Keep(record, sent.get());
    const std::vector<TLoggedValue> values = TCallLog::Unpack(record.Values());
    if (values.size() != 1 || values[0].type != TMemberType::Bstr) {
        ADD_FAILURE() << "the text did not unpack";
        return {};
    }
    return values[0].text;
}

// A text of `length` units made by repeating `pattern`.
std::u16string Repeated(std::u16string_view pattern, std::size_t length) {
    std::u16string text;
    while (text.size() < length)
        text += pattern;
    text.resize(length);
    return text;
}

TEST(CallLogStorage, TextsOfEveryKindComeBackUnitForUnit) {
    TCallLog log;
    const std::u16string texts[] = {
        u"",
        u"g12.grp",
        u"Группа 1234",                                                // one block beyond ASCII, shorter than 16
        u"/home/user/.local/share/NavilonixServer/Points/Склад.chp",   // ASCII, then the block at the end
        u"Ёлка ёжик ЁЖИК ёлка — ",                                     // a dash outside the Cyrillic block
        u"Café crème brûlée, naïve façade, déjà vu, Straße",           // Latin-1
        u"Αθήνα Ελλάδα Αθήνα Ελλάδα Αθήνα Ελλάδα",                     // Greek
        u"Москва Αθήνα Москва Αθήνα Москва Αθήνα",                     // two blocks
        u"北京市朝阳区建国路八十八号北京市朝阳区建国路八十八号",       // beyond any one block
        u"flag 🚩 and a pair \xD83D\xDE80 in the middle of ASCII text", // surrogate pairs
        u"lone \xD800 high and \xDC00 low surrogates, kept as they are",
        u"only \xD800 and \xD801, high halves in one block",
        Repeated(u"Ж", 17),                       // every unit beyond ASCII
        Repeated(u"abcdefghijklmnop", 33) + u"я", // the block chosen by the last unit
        Repeated(u"Журнал вызовов, ", 200000),    // longer than a block of the arena
    };
    for (const std::u16string& text : texts)
        EXPECT_EQ(RoundTrip(log, text), text) << Utf16ToUtf8(text.substr(0, 60));
}

TEST(CallLogStorage, TextsAreShownAndSavedAsUtf8WithTheirQuoting) {
    TCallLog log;
    const BStr file("Склад, \"北\"\r\n🚩");
    TCallRecord& record = log.Begin(kGoToCarLastPosition);
    log.Keep(record, file.get(), LONG{-7});
    log.Finish(record, S_OK);
    EXPECT_EQ(CallArgumentsText(record), "GroupFile=\"Склад, \"北\"\r\n🚩\", Device=-7");
    std::ostringstream csv;
    WriteCallLogCsv(log, csv);
    EXPECT_NE(csv.str().find(",GoToCarLastPosition,\"GroupFile=\"\"Склад, \"\"北\"\"\r\n🚩\"\", Device=-7\",S_OK,"),
              std::string::npos)
        << csv.str();
}

TEST(CallLogStorage, TheRingKeepsTheLatestCallsWithTheirTextsAndReusesTheArena) {
    TCallLog log;
    // Every call's values the same size, so that the rounds of the ring are alike.
    const auto text = [](std::size_t call) {
        char number[16];
        std::snprintf(number, sizeof number, "%07zu", call);
        return Utf8ToUtf16(std::string("/home/user/.local/share/Points/Склад ") + number + ".chp");
    };
    const auto device = [](std::size_t call) { return static_cast<LONG>(2000000 + call); };
    std::size_t call = 0;
    const auto logCalls = [&](std::size_t count) {
        for (std::size_t end = call + count; call < end; ++call) {
            const std::u16string sent = text(call);
            const BStr value(SysAllocStringLen(sent.data(), static_cast<UINT>(sent.size())));
            TCallRecord& record = log.Begin(kGoToCarLastPosition);
            log.Keep(record, value.get(), device(call));
            TCallLog::Start(record); // timed from here, as the wrapper's calls are
            log.Finish(record, S_OK);
        }
    };
    const auto expectHeld = [&](std::size_t index) {
        const std::size_t sent = call - log.Count() + index;
        const std::vector<TLoggedValue> values = TCallLog::Unpack(log.At(index).Values());
        ASSERT_EQ(values.size(), 2u) << index;
        EXPECT_EQ(values[0].text, text(sent)) << index;
        EXPECT_EQ(values[1].integer, device(sent)) << index;
    };

    logCalls(TCallLog::kCapacity + 123);
    ASSERT_EQ(log.Count(), TCallLog::kCapacity);
    EXPECT_EQ(log.FirstSequence(), 123u);
    const std::size_t arenaAfterOneRound = log.ArenaBytes();
    // Three more rounds of the ring: the oldest calls' blocks are used again, so the arena does not grow.
    logCalls(3 * TCallLog::kCapacity + 4567);
    ASSERT_EQ(log.Count(), TCallLog::kCapacity);
    EXPECT_LE(log.ArenaBytes(), arenaAfterOneRound + 2 * TCallLog::kBlockSize);
    for (const std::size_t index : {std::size_t{0}, std::size_t{1}, TCallLog::kCapacity / 2, TCallLog::kCapacity - 1})
        expectHeld(index);

    // A text larger than a block takes a block of its own, given back once its call has left the log.
    RoundTrip(log, Repeated(u"Журнал ", 10 * TCallLog::kBlockSize));
    EXPECT_GT(log.ArenaBytes(), arenaAfterOneRound + 10 * TCallLog::kBlockSize);
    logCalls(2 * TCallLog::kCapacity); // the calls after it may share its block
    EXPECT_LE(log.ArenaBytes(), arenaAfterOneRound + 2 * TCallLog::kBlockSize);
    expectHeld(0);

    // Cleared, the log keeps at most the block being written and the spare ones.
    log.Clear();
    EXPECT_EQ(log.Count(), 0u);
    EXPECT_LE(log.ArenaBytes(), (1 + TCallLog::kSpareBlocks) * TCallLog::kBlockSize);
    logCalls(10);
    ASSERT_EQ(log.Count(), 10u);
    expectHeld(0);
    expectHeld(9);
}

} // namespace
