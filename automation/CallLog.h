// The call log: every member call the wrapper forwards to the server, with its arguments, its value or result
// code and its duration. The wrapper records into it (Navilonix_OCX.cpp); the console shows and saves it. The log
// holds the last kCapacity calls and drops the oldest beyond that.
#pragma once

#include "automation/Navilonix_tlb.h"
#include "platform/ole/Variant.h"

#include <chrono>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif
#include <cstdint>
#include <cstring>
#include <deque>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One logged call. Its arguments and (a successful read only) the value read are packed by TCallLog::Put into the
// log's arena; `values` points there and stays valid as long as the log holds the record.
struct TCallRecord {
    std::int64_t start = 0;    // clock ticks (TCallLog::Now)
    std::int64_t duration = 0; // clock ticks: TCallLog::Nanoseconds turns them into time
    const char* values = nullptr;
    std::uint32_t valuesSize = 0;
    HRESULT result = 0;
    std::int16_t slot = 0; // the member, by its slot in the member table
    std::string_view Values() const { return {values, valuesSize}; }
};

// One argument or value of a record, unpacked.
struct TLoggedValue {
    TMemberType type = TMemberType::Long;
    VARTYPE vt = VT_EMPTY; // VARIANTs only
    std::int64_t integer = 0;
    double real = 0;
    std::u16string text;
};

// The records are a ring of kCapacity fixed-size entries; their packed values go to an arena of blocks written one
// after the other, so recording copies the values once and allocates only when a block fills. A block is reused or
// freed once every record with values in it has left the log.
class TCallLog {
public:
    static constexpr std::size_t kCapacity = 100000;
    static constexpr std::size_t kBlockSize = 64 * 1024; // values longer than this get a block of their own
    static constexpr std::size_t kSpareBlocks = 16;      // blocks kept for reuse once their calls have gone

    TCallLog();
    TCallLog(const TCallLog&) = delete;
    TCallLog& operator=(const TCallLog&) = delete;

    bool Recording() const { return m_recording; }
    void SetRecording(bool recording) { m_recording = recording; }
    // Forgets every record; the sequence numbers go on.
    void Clear();

    // Records held, oldest first: At(0) has sequence number FirstSequence().
    std::size_t Count() const { return static_cast<std::size_t>(m_next - m_first); }
    const TCallRecord& At(std::size_t index) const {
        const std::size_t at = m_oldest + index;
        return m_records[at < kCapacity ? at : at - kCapacity];
    }
    std::uint64_t FirstSequence() const { return m_first; }
    std::uint64_t NextSequence() const { return m_next; }
    // The sum of the held records' durations, clock ticks.
    std::int64_t TotalDuration() const { return m_totalDuration; }
    // The bytes the arena has allocated for values.
    std::size_t ArenaBytes() const;

    // A new record for a call of `slot` (the oldest goes when the log is full). The reference stays valid until
    // kCapacity further records have been begun. Its start is set by Start.
    TCallRecord& Begin(int slot);
    static void Start(TCallRecord& record) { record.start = Now(); }
    // The call has returned: its duration and result code.
    void Finish(TCallRecord& record, HRESULT result);

    // Packs `values` (each a LONG, double, BSTR or VARIANT) as the record's values; done once per record.
    template <class... V> void Keep(TCallRecord& record, const V&... values) {
        char* const begin = Reserve((PackedBound(values) + ...));
        char* end = begin;
        ((end = Put(end, values)), ...);
        record.values = begin;
        record.valuesSize = static_cast<std::uint32_t>(end - begin);
        m_cursor = end;
        m_cursorBlock->last = m_next - 1;
    }

    // Packing: each value is a tag, then its content. PackedBound is the most bytes Put writes for the value; Put
    // writes it at `at` and returns the end.
    enum Tag : char { kLong = 'L', kDouble = 'D', kBstr = 'S', kNarrowBstr = 's', kVariant = 'V' };
    static constexpr std::size_t PackedBound(LONG) { return 1 + 5; }
    static constexpr std::size_t PackedBound(double) { return 1 + sizeof(double); }
    static std::size_t PackedBound(BSTR value);
    static std::size_t PackedBound(const VARIANT& value);
    // A count seven bits a byte, low bits first.
    static char* PutCount(char* at, std::uint64_t count) {
        for (; count >= 0x80; count >>= 7)
            *at++ = static_cast<char>(count | 0x80);
        *at++ = static_cast<char>(count);
        return at;
    }
    // An integer zigzagged (0, -1, 1, -2, ... as 0, 1, 2, 3, ...), so that small numbers of either sign are short.
    static char* PutInteger(char* at, std::int64_t value) {
        return PutCount(at, (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63));
    }
    static char* Put(char* at, LONG value) {
        *at++ = kLong;
        return PutInteger(at, value);
    }
    static char* Put(char* at, double value) {
        *at++ = kDouble;
        std::memcpy(at, &value, sizeof value);
        return at + sizeof value;
    }
    static char* Put(char* at, BSTR value);
    static char* Put(char* at, const VARIANT& value);
    static std::vector<TLoggedValue> Unpack(std::string_view values);
    // A VARIANT as the log would show it.
    static TLoggedValue Logged(const VARIANT& value);

    // The clock the log times calls with: the processor's time-stamp counter where there is one (reading it costs
    // a fraction of a system clock read), else the steady clock in nanoseconds.
    static std::int64_t Now() {
#if defined(__x86_64__) || defined(__i386__)
        return static_cast<std::int64_t>(__rdtsc());
#else
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
#endif
    }
    // Ticks of Now as nanoseconds.
    static double Nanoseconds(std::int64_t ticks);
    static std::int64_t WallClockMs(std::int64_t start);

private:
    // A block of the arena, mapped from the system on its own: blocks come and go as the ring wraps, and taking
    // them from the heap would have the allocator sort its small free pieces each time (a tree rebuild leaves
    // many), which cost more than the log's own work.
    struct Unmap {
        std::size_t size;
        void operator()(char* bytes) const;
    };
    struct Block {
        std::unique_ptr<char, Unmap> bytes{nullptr, Unmap{0}};
        std::uint64_t last = 0; // the newest sequence number that may have values here
        std::size_t Size() const { return bytes.get_deleter().size; }
    };

    // Room for `bound` bytes at m_cursor.
    char* Reserve(std::size_t bound) {
        return bound <= static_cast<std::size_t>(m_blockEnd - m_cursor) ? m_cursor : NewBlock(bound);
    }
    char* NewBlock(std::size_t bound);
    // Frees the blocks no held record has values in, keeping up to kSpareBlocks of the usual size.
    void Reclaim();

    std::vector<TCallRecord> m_records;
    std::size_t m_oldest = 0; // where At(0) is
    std::size_t m_write = 0;  // where the next record goes
    std::uint64_t m_first = 0;
    std::uint64_t m_next = 0;
    std::int64_t m_totalDuration = 0;
    bool m_recording = true;
    std::deque<Block> m_blocks; // oldest first; the last one is being written
    Block* m_cursorBlock = nullptr;
    char* m_cursor = nullptr;
    char* m_blockEnd = nullptr;
    std::vector<Block> m_spares;
};

// The console's one log.
TCallLog& CallLog();

// Times and records one call: arguments before it, the result code (and a read's value) after it. Does nothing
// while the log is paused.
class TCallScope {
public:
    explicit TCallScope(int slot) : m_record(CallLog().Recording() ? &CallLog().Begin(slot) : nullptr) {}
    TCallScope(const TCallScope&) = delete;
    TCallScope& operator=(const TCallScope&) = delete;

    // The arguments (none for a read); the call is timed from here.
    template <class... A> void Arguments(const A&... args) {
        if (m_record) {
            if constexpr (sizeof...(A) > 0)
                CallLog().Keep(*m_record, args...);
            TCallLog::Start(*m_record);
        }
    }
    HRESULT Finish(HRESULT result) {
        if (m_record)
            CallLog().Finish(*m_record, result);
        return result;
    }
    // A read's: its value is kept when the read succeeded (a read has no arguments, so it is the record's only value).
    template <class T> HRESULT Finish(HRESULT result, const T& value) {
        if (m_record) {
            CallLog().Finish(*m_record, result);
            if (result >= 0)
                CallLog().Keep(*m_record, value);
        }
        return result;
    }

private:
    TCallRecord* m_record;
};

// Texts of logged values: a long in decimal, a double in the shortest form that reads back to the same value, a
// BSTR in double quotes, a VARIANT as its type and value ("VT_I4 5").
std::string LoggedValueText(const TLoggedValue& value);
// A VARIANT's value without its type ("5" of "VT_I4 5"); empty for a type without a value shown.
std::string VariantValueText(const TLoggedValue& value);
std::string VarTypeName(VARTYPE vt);
// The record's arguments as "Name=value, ..." with the member table's names; its value or, for a failure, the
// code in hexadecimal and its system text.
std::string CallArgumentsText(const TCallRecord& record);
std::string CallResultText(const TCallRecord& record);
// "0x800706BA The RPC server is unavailable." (the system text when there is one).
std::string ResultCodeText(HRESULT code);

// Writes the held records as CSV: UTF-8, a header row, one call a line, fields quoted as RFC 4180 asks.
void WriteCallLogCsv(const TCallLog& log, std::ostream& out);
