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
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// The packed arguments and value of one call. Most calls fit the few bytes held in place; longer ones take one
// block of the heap, kept for the next call the record holds, so a full log allocates next to nothing.
class TPackedValues {
public:
    TPackedValues() = default;
    TPackedValues(const TPackedValues&) = delete;
    TPackedValues& operator=(const TPackedValues&) = delete;
    TPackedValues(TPackedValues&& other) noexcept { *this = std::move(other); }
    TPackedValues& operator=(TPackedValues&& other) noexcept {
        std::memcpy(m_inline, other.m_inline, sizeof m_inline);
        m_heap = std::move(other.m_heap);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_size = std::exchange(other.m_size, 0);
        return *this;
    }

    void clear() { m_size = 0; }
    std::size_t size() const { return m_size; }
    const char* data() const { return m_heap ? m_heap.get() : m_inline; }
    std::string_view view() const { return {data(), m_size}; }
    void reserve(std::size_t capacity) {
        if (capacity <= (m_heap ? m_capacity : sizeof m_inline))
            return;
        auto block = std::make_unique<char[]>(capacity);
        std::memcpy(block.get(), data(), m_size);
        m_heap = std::move(block);
        m_capacity = static_cast<std::uint32_t>(capacity);
    }
    void append(const void* bytes, std::size_t count) {
        reserve(std::max<std::size_t>(m_size + count, 2 * m_size));
        std::memcpy((m_heap ? m_heap.get() : m_inline) + m_size, bytes, count);
        m_size += static_cast<std::uint32_t>(count);
    }
    TPackedValues& operator+=(char c) {
        append(&c, 1);
        return *this;
    }

private:
    char m_inline[32];
    std::uint32_t m_capacity = 0; // of the heap block
    std::uint32_t m_size = 0;
    std::unique_ptr<char[]> m_heap;
};

struct TCallRecord {
    std::int64_t start = 0;    // clock ticks (TCallLog::Now)
    std::int64_t duration = 0; // clock ticks: TCallLog::Nanoseconds turns them into time
    HRESULT result = 0;
    std::int16_t slot = 0;
    // The arguments in order, then (a successful read only) the value read; packed by TCallLog::Put.
    TPackedValues values;
};

// One argument or value of a record, unpacked.
struct TLoggedValue {
    MemberType type = MemberType::Long;
    VARTYPE vt = VT_EMPTY; // VARIANTs only
    std::int64_t integer = 0;
    double real = 0;
    std::u16string text;
};

class TCallLog {
public:
    static constexpr std::size_t kCapacity = 100000;

    TCallLog();

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

    // A new record for a call of `slot` (the oldest goes when the log is full). The reference stays valid until
    // kCapacity further records have been begun. Its start is set by Start.
    TCallRecord& Begin(int slot);
    static void Start(TCallRecord& record) { record.start = Now(); }
    // The call has returned: its duration and result code.
    void Finish(TCallRecord& record, HRESULT result);

    static void Put(TPackedValues& values, LONG value);
    static void Put(TPackedValues& values, double value);
    static void Put(TPackedValues& values, BSTR value);
    static void Put(TPackedValues& values, const VARIANT& value);
    static std::size_t PackedSize(LONG) { return 1 + sizeof(LONG); }
    static std::size_t PackedSize(double) { return 1 + sizeof(double); }
    static std::size_t PackedSize(BSTR value) { return 1 + sizeof(std::uint32_t) + 2 * SysStringLen(value); }
    static std::vector<TLoggedValue> Unpack(std::string_view values);

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
    std::vector<TCallRecord> m_records;
    std::size_t m_oldest = 0; // where At(0) is
    std::size_t m_write = 0;  // where the next record goes
    std::uint64_t m_first = 0;
    std::uint64_t m_next = 0;
    std::int64_t m_totalDuration = 0;
    bool m_recording = true;
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
            m_record->values.reserve((TCallLog::PackedSize(args) + ... + 0));
            (TCallLog::Put(m_record->values, args), ...);
            TCallLog::Start(*m_record);
        }
    }
    HRESULT Finish(HRESULT result) {
        if (m_record)
            CallLog().Finish(*m_record, result);
        return result;
    }
    template <class T> HRESULT Finish(HRESULT result, const T& value) {
        if (m_record) {
            CallLog().Finish(*m_record, result);
            if (result >= 0)
                TCallLog::Put(m_record->values, value);
        }
        return result;
    }

private:
    TCallRecord* m_record;
};

// Texts of logged values: a long in decimal, a double in the shortest form that reads back to the same value, a
// BSTR in double quotes, a VARIANT as its type and value ("VT_I4 5").
std::string LoggedValueText(const TLoggedValue& value);
std::string VarTypeName(VARTYPE vt);
// The record's arguments as "Name=value, ..." with the member table's names; its value or, for a failure, the
// code in hexadecimal and its system text.
std::string CallArgumentsText(const TCallRecord& record);
std::string CallResultText(const TCallRecord& record);
// "0x800706BA The RPC server is unavailable." (the system text when there is one).
std::string ResultCodeText(HRESULT code);

// Writes the held records as CSV: UTF-8, a header row, one call a line, fields quoted as RFC 4180 asks.
void WriteCallLogCsv(const TCallLog& log, std::ostream& out);
