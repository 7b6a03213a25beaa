#include "automation/CallLog.h"

#include "platform/ole/ErrorText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <ostream>
#include <thread>

#include <sys/mman.h>

namespace {

// A text is packed in one of two forms: one byte a character when all its characters are ASCII or lie in one block
// of 128 (Cyrillic, Greek, Latin-1 and most other alphabets), else its UTF-16 as it is. Both copy at about the
// speed of a plain copy and keep every UTF-16 unit, lone surrogates too.
constexpr char kLong = TCallLog::kLong;
constexpr char kDouble = TCallLog::kDouble;
constexpr char kBstr = TCallLog::kBstr;
constexpr char kNarrowBstr = TCallLog::kNarrowBstr;
constexpr char kVariant = TCallLog::kVariant;

// Writes `units` to `out` one byte each: ASCII as it is, a unit of the block from `block` (a multiple of 128 chosen
// at the first unit beyond ASCII, 0 until then) as 0x80 plus its place in the block. False when a unit is in
// neither.
bool PutNarrowEach(const char16_t* units, std::size_t count, char16_t& block, char* out) {
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t unit = units[i];
        if (unit >= 0x80 && block == 0)
            block = static_cast<char16_t>(unit & 0xFF80);
        if (unit < 0x80)
            out[i] = static_cast<char>(unit);
        else if (static_cast<char16_t>(unit - block) < 0x80)
            out[i] = static_cast<char>(0x80 + (unit - block));
        else
            return false;
    }
    return true;
}

bool PutNarrow(const char16_t* units, std::size_t count, char16_t& block, char* out) {
#if defined(__SSE2__)
    // Sixteen units at a time: ASCII stays, the units of the block move by 0x80 - block, any other unit fails.
    const __m128i beyondAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    __m128i start = _mm_set1_epi16(static_cast<short>(block));
    __m128i shift = _mm_set1_epi16(static_cast<short>(0x80 - block));
    // The eight units as bytes in 16-bit lanes; `asciiMask` and `narrowMask` have two bits set for each unit that
    // is ASCII and each unit that is ASCII or in the block.
    const auto narrow = [&](__m128i eight, unsigned& asciiMask, unsigned& narrowMask) {
        const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(eight, beyondAscii), zero);
        const __m128i inBlock = _mm_cmpeq_epi16(_mm_and_si128(_mm_sub_epi16(eight, start), beyondAscii), zero);
        asciiMask = static_cast<unsigned>(_mm_movemask_epi8(ascii));
        narrowMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(ascii, inBlock)));
        return _mm_or_si128(_mm_and_si128(ascii, eight), _mm_andnot_si128(ascii, _mm_add_epi16(eight, shift)));
    };
    const auto sixteen = [&](const char16_t* from, char* to) __attribute__((always_inline)) {
        while (true) {
            unsigned asciiLow = 0;
            unsigned asciiHigh = 0;
            unsigned narrowLow = 0;
            unsigned narrowHigh = 0;
            const __m128i low = narrow(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)), asciiLow, narrowLow);
            const __m128i high =
                narrow(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 8)), asciiHigh, narrowHigh);
            if ((narrowLow & narrowHigh) == 0xFFFF) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(low, high));
                return true;
            }
            if (block != 0)
                return false; // a unit outside the block
            // The first unit beyond ASCII chooses the block, and the sixteen are tried again.
            const unsigned first = static_cast<unsigned>(__builtin_ctz(~(asciiLow | asciiHigh << 16))) / 2;
            block = static_cast<char16_t>(from[first] & 0xFF80);
            start = _mm_set1_epi16(static_cast<short>(block));
            shift = _mm_set1_epi16(static_cast<short>(0x80 - block));
        }
    };
    if (count < 16)
        return PutNarrowEach(units, count, block, out);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16)
        if (!sixteen(units + i, out + i))
            return false;
    // The last sixteen again, for the units left over.
    return i == count || sixteen(units + count - 16, out + count - 16);
#else
    return PutNarrowEach(units, count, block, out);
#endif
}

std::size_t TextBound(BSTR text) {
    return 1 + 5 + sizeof(char16_t) + 2 * std::size_t{SysStringLen(text)};
}

// A text as its tag, its length in units, then (one byte a character) its block and its bytes or its UTF-16.
char* PutText(char* at, BSTR text) {
    const std::u16string_view units = BstrView(text);
    char* const tag = at;
    char* const blockAt = TCallLog::PutCount(at + 1, units.size());
    char16_t block = 0;
    if (PutNarrow(units.data(), units.size(), block, blockAt + sizeof block)) {
        *tag = kNarrowBstr;
        std::memcpy(blockAt, &block, sizeof block);
        return blockAt + sizeof block + units.size();
    }
    *tag = kBstr;
    std::memcpy(blockAt, units.data(), units.size() * sizeof(char16_t));
    return blockAt + units.size() * sizeof(char16_t);
}

char* PutRaw(char* at, const void* value, std::size_t size) {
    std::memcpy(at, value, size);
    return at + size;
}

// Reads what the Put functions wrote; a value cut short reads as failed, never beyond the end.
class TReader {
public:
    explicit TReader(std::string_view values) : m_values(values) {}
    bool AtEnd() const { return m_at >= m_values.size(); }
    bool Failed() const { return m_failed; }
    char Tag() { return AtEnd() ? '\0' : m_values[m_at++]; }
    template <class T> T Raw() {
        T value{};
        if (m_at + sizeof value <= m_values.size())
            std::memcpy(&value, m_values.data() + m_at, sizeof value);
        else
            m_failed = true;
        m_at += sizeof value;
        return value;
    }
    std::uint64_t Count() {
        std::uint64_t count = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (AtEnd()) {
                m_failed = true;
                break;
            }
            const auto byte = static_cast<unsigned char>(m_values[m_at++]);
            count |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                break;
        }
        return count;
    }
    std::int64_t Integer() {
        const std::uint64_t bits = Count();
        return static_cast<std::int64_t>(bits >> 1) ^ -static_cast<std::int64_t>(bits & 1);
    }
    // A text in either form, after its tag.
    std::u16string Text(char tag) {
        const auto count = static_cast<std::size_t>(Count());
        std::u16string text;
        if (tag == kNarrowBstr) {
            const auto block = Raw<char16_t>();
            if (m_failed || count > m_values.size() - std::min(m_at, m_values.size()))
                return Fail();
            text.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                const auto byte = static_cast<unsigned char>(m_values[m_at + i]);
                text[i] = byte < 0x80 ? char16_t{byte} : static_cast<char16_t>(block + (byte - 0x80));
            }
            m_at += count;
        } else if (tag == kBstr) {
            if (m_failed || count > (m_values.size() - std::min(m_at, m_values.size())) / sizeof(char16_t))
                return Fail();
            text.resize(count);
            std::memcpy(text.data(), m_values.data() + m_at, count * sizeof(char16_t));
            m_at += count * sizeof(char16_t);
        } else {
            return Fail();
        }
        return text;
    }

private:
    std::u16string Fail() {
        m_failed = true;
        return {};
    }

    std::string_view m_values;
    std::size_t m_at = 0;
    bool m_failed = false;
};

// What the log keeps of a variant besides its type: an integer, a real number, a text, or nothing.
enum class TKept { Integer, Real, Text, Nothing };

TKept KeptOf(VARTYPE vt) {
    switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_BOOL:
    case VT_ERROR:
        return TKept::Integer;
    case VT_R4:
    case VT_R8:
    case VT_DATE:
        return TKept::Real;
    case VT_BSTR:
        return TKept::Text;
    default:
        return TKept::Nothing;
    }
}

std::string DoubleText(double value) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::string Quoted(const std::u16string& text) {
    return "\"" + Utf16ToUtf8(text) + "\"";
}

// One CSV field: quoted when it holds a comma, a quote or a line break, with its quotes doubled.
std::string CsvField(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// Ties the ticks of TCallLog::Now to the steady and the system clock: both are read at the first use, and the
// rate of ticks is measured over at least 50 ms from there. A rate from 50 ms is off by about one part in ten
// thousand, which shows on long calls (a Sleep of 8 s logged as 7,999.5 ms) and in the times of day an hour later
// (a third of a second), so it is measured again over the whole span whenever that span has doubled.
class TClock {
public:
    static TClock& Instance() {
        static TClock clock;
        return clock;
    }
    double TicksPerNanosecond() {
        if (m_rate > 0 && TCallLog::Now() - m_ticks < 2 * m_rateSpan)
            return m_rate;
        auto elapsed = std::chrono::steady_clock::now() - m_steady;
        if (elapsed < std::chrono::milliseconds(50)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50) - elapsed);
            elapsed = std::chrono::steady_clock::now() - m_steady;
        }
        const std::int64_t ticks = TCallLog::Now() - m_ticks;
        const double rate = static_cast<double>(ticks) / static_cast<double>(std::chrono::nanoseconds(elapsed).count());
        if (rate > 0) {
            m_rate = rate;
            m_rateSpan = ticks;
        } else if (!(m_rate > 0)) {
            m_rate = 1;
            m_rateSpan = INT64_MAX / 2;
        }
        return m_rate;
    }
    std::int64_t WallClockMs(std::int64_t ticks) {
        return m_wallMs + static_cast<std::int64_t>(static_cast<double>(ticks - m_ticks) / TicksPerNanosecond() / 1e6);
    }

private:
    TClock()
        : m_ticks(TCallLog::Now()), m_steady(std::chrono::steady_clock::now()),
          m_wallMs(
              std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
                  .count()) {}
    std::int64_t m_ticks;
    std::chrono::steady_clock::time_point m_steady;
    std::int64_t m_wallMs;
    double m_rate = 0;
    std::int64_t m_rateSpan = 0; // the ticks over which m_rate was measured
};

} // namespace

TCallLog& CallLog() {
    static TCallLog log;
    return log;
}

TCallLog::TCallLog() {
    TClock::Instance(); // the clock's starting point comes before the first record
}

void TCallLog::Clear() {
    m_first = m_next;
    m_oldest = m_write;
    m_totalDuration = 0;
    Reclaim();
}

TCallRecord& TCallLog::Begin(int slot) {
    // The whole ring at the first call, written through once, so that later calls never wait for the system to
    // supply a fresh page; records never move, so a call in progress keeps its reference.
    if (m_records.empty())
        m_records.resize(kCapacity);
    if (m_next - m_first == kCapacity) {
        m_totalDuration -= m_records[m_oldest].duration;
        m_oldest = m_oldest + 1 == kCapacity ? 0 : m_oldest + 1;
        ++m_first;
    }
    TCallRecord& record = m_records[m_write];
    m_write = m_write + 1 == kCapacity ? 0 : m_write + 1;
    ++m_next;
    record = TCallRecord{};
    record.slot = static_cast<std::int16_t>(slot);
    return record;
}

void TCallLog::Unmap::operator()(char* bytes) const {
    munmap(bytes, size);
}

char* TCallLog::NewBlock(std::size_t bound) {
    Reclaim();
    if (bound <= static_cast<std::size_t>(m_blockEnd - m_cursor))
        return m_cursor;
    Block block;
    if (bound <= kBlockSize && !m_spares.empty()) {
        block = std::move(m_spares.back());
        m_spares.pop_back();
    } else {
        const std::size_t size = std::max(bound, kBlockSize);
        void* bytes = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (bytes == MAP_FAILED)
            throw std::bad_alloc();
        block.bytes = std::unique_ptr<char, Unmap>(static_cast<char*>(bytes), Unmap{size});
    }
    m_blocks.push_back(std::move(block));
    m_cursorBlock = &m_blocks.back();
    m_cursor = m_cursorBlock->bytes.get();
    m_blockEnd = m_cursor + m_cursorBlock->Size();
    return m_cursor;
}

void TCallLog::Reclaim() {
    while (!m_blocks.empty() && m_blocks.front().last < m_first) {
        Block& block = m_blocks.front();
        if (&block == m_cursorBlock && block.Size() == kBlockSize) {
            // Nothing held is in the block being written: it is written again from its beginning.
            m_cursor = block.bytes.get();
            return;
        }
        if (&block == m_cursorBlock) {
            m_cursorBlock = nullptr;
            m_cursor = m_blockEnd = nullptr;
        }
        if (block.Size() == kBlockSize && m_spares.size() < kSpareBlocks)
            m_spares.push_back(std::move(block));
        m_blocks.pop_front();
    }
}

std::size_t TCallLog::ArenaBytes() const {
    std::size_t bytes = 0;
    for (const Block& block : m_blocks)
        bytes += block.Size();
    for (const Block& block : m_spares)
        bytes += block.Size();
    return bytes;
}

void TCallLog::Finish(TCallRecord& record, HRESULT result) {
    record.duration = Now() - record.start;
    record.result = result;
    m_totalDuration += record.duration;
}

std::int64_t TCallLog::WallClockMs(std::int64_t start) {
    return TClock::Instance().WallClockMs(start);
}

double TCallLog::Nanoseconds(std::int64_t ticks) {
#if defined(__x86_64__) || defined(__i386__)
    return static_cast<double>(ticks) / TClock::Instance().TicksPerNanosecond();
#else
    return static_cast<double>(ticks);
#endif
}

std::size_t TCallLog::PackedBound(BSTR value) {
    return TextBound(value);
}

std::size_t TCallLog::PackedBound(const VARIANT& value) {
    return 1 + sizeof(VARTYPE) + (value.vt == VT_BSTR ? TextBound(value.bstrVal) : 10);
}

char* TCallLog::Put(char* at, BSTR value) {
    return PutText(at, value);
}

char* TCallLog::Put(char* at, const VARIANT& value) {
    *at++ = kVariant;
    at = PutRaw(at, &value.vt, sizeof value.vt);
    switch (value.vt) {
    case VT_I2:
        return TCallLog::PutInteger(at, value.iVal);
    case VT_I4:
    case VT_INT:
        return TCallLog::PutInteger(at, value.lVal);
    case VT_I1:
        return TCallLog::PutInteger(at, value.cVal);
    case VT_UI1:
        return TCallLog::PutInteger(at, value.bVal);
    case VT_UI2:
        return TCallLog::PutInteger(at, value.uiVal);
    case VT_UI4:
    case VT_UINT:
        return TCallLog::PutInteger(at, value.ulVal);
    case VT_I8:
    case VT_UI8:
        return TCallLog::PutInteger(at, value.llVal);
    case VT_BOOL:
        return TCallLog::PutInteger(at, value.boolVal);
    case VT_ERROR:
        return TCallLog::PutInteger(at, value.scode);
    case VT_R4: {
        const double real = value.fltVal;
        return PutRaw(at, &real, sizeof real);
    }
    case VT_R8:
    case VT_DATE:
        return PutRaw(at, &value.dblVal, sizeof value.dblVal);
    case VT_BSTR:
        return PutText(at, value.bstrVal);
    default:
        return at; // the type alone
    }
}

std::vector<TLoggedValue> TCallLog::Unpack(std::string_view values) {
    std::vector<TLoggedValue> out;
    TReader reader(values);
    while (!reader.AtEnd()) {
        TLoggedValue value;
        const char tag = reader.Tag();
        switch (tag) {
        case kLong:
            value.type = TMemberType::Long;
            value.integer = reader.Integer();
            break;
        case kDouble:
            value.type = TMemberType::Double;
            value.real = reader.Raw<double>();
            break;
        case kBstr:
        case kNarrowBstr:
            value.type = TMemberType::Bstr;
            value.text = reader.Text(tag);
            break;
        case kVariant:
            value.type = TMemberType::Variant;
            value.vt = reader.Raw<VARTYPE>();
            switch (KeptOf(value.vt)) {
            case TKept::Integer:
                value.integer = reader.Integer();
                break;
            case TKept::Real:
                value.real = reader.Raw<double>();
                break;
            case TKept::Text:
                value.text = reader.Text(reader.Tag());
                break;
            case TKept::Nothing:
                break;
            }
            break;
        default:
            return out; // not written by Put
        }
        if (reader.Failed())
            return out;
        out.push_back(std::move(value));
    }
    return out;
}

TLoggedValue TCallLog::Logged(const VARIANT& value) {
    std::string packed(PackedBound(value), '\0');
    packed.resize(static_cast<std::size_t>(Put(packed.data(), value) - packed.data()));
    std::vector<TLoggedValue> values = Unpack(packed);
    return values.empty() ? TLoggedValue{} : std::move(values.front());
}

std::string VarTypeName(VARTYPE vt) {
    static const struct {
        VARTYPE vt;
        const char* name;
    } names[] = {{VT_EMPTY, "VT_EMPTY"},     {VT_NULL, "VT_NULL"}, {VT_I2, "VT_I2"},
                 {VT_I4, "VT_I4"},           {VT_R4, "VT_R4"},     {VT_R8, "VT_R8"},
                 {VT_DATE, "VT_DATE"},       {VT_BSTR, "VT_BSTR"}, {VT_DISPATCH, "VT_DISPATCH"},
                 {VT_ERROR, "VT_ERROR"},     {VT_BOOL, "VT_BOOL"}, {VT_VARIANT, "VT_VARIANT"},
                 {VT_UNKNOWN, "VT_UNKNOWN"}, {VT_I1, "VT_I1"},     {VT_UI1, "VT_UI1"},
                 {VT_UI2, "VT_UI2"},         {VT_UI4, "VT_UI4"},   {VT_I8, "VT_I8"},
                 {VT_UI8, "VT_UI8"},         {VT_INT, "VT_INT"},   {VT_UINT, "VT_UINT"}};
    constexpr VARTYPE kArray = 0x2000;
    std::string prefix;
    if (vt & VT_BYREF)
        prefix += "VT_BYREF|";
    if (vt & kArray)
        prefix += "VT_ARRAY|";
    const VARTYPE base = vt & 0x0FFF;
    for (const auto& entry : names)
        if (entry.vt == base)
            return prefix + entry.name;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "VT_%u", static_cast<unsigned>(base));
    return prefix + buffer;
}

std::string VariantValueText(const TLoggedValue& value) {
    switch (KeptOf(value.vt)) {
    case TKept::Real:
        return DoubleText(value.real);
    case TKept::Text:
        return Quoted(value.text);
    case TKept::Integer:
        return std::to_string(value.integer);
    case TKept::Nothing:
        break;
    }
    return {}; // the type alone
}

std::string LoggedValueText(const TLoggedValue& value) {
    switch (value.type) {
    case TMemberType::Long:
        return std::to_string(value.integer);
    case TMemberType::Double:
        return DoubleText(value.real);
    case TMemberType::Bstr:
        return Quoted(value.text);
    case TMemberType::Variant: {
        const std::string text = VariantValueText(value);
        return text.empty() ? VarTypeName(value.vt) : VarTypeName(value.vt) + " " + text;
    }
    }
    return {};
}

std::string ResultCodeText(HRESULT code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    std::string text = hex;
    if (const std::string system = SystemErrorLine(code); !system.empty())
        text += " " + system;
    return text;
}

std::string CallArgumentsText(const TCallRecord& record) {
    const TMemberInfo* member = FindNavilonixMember(record.slot);
    // A read sends no arguments: its one value is the one read.
    if (!member || member->kind == TMemberKind::Read)
        return {};
    const std::vector<TLoggedValue> values = TCallLog::Unpack(record.Values());
    std::string text;
    for (int i = 0; i < member->paramCount && i < static_cast<int>(values.size()); ++i) {
        if (i > 0)
            text += ", ";
        text += std::string(member->params[i].name) + "=" + LoggedValueText(values[static_cast<std::size_t>(i)]);
    }
    return text;
}

std::string CallResultText(const TCallRecord& record) {
    if (record.result < 0)
        return ResultCodeText(record.result);
    const TMemberInfo* member = FindNavilonixMember(record.slot);
    if (!member || member->kind != TMemberKind::Read)
        return record.result == 0 ? std::string("S_OK") : ResultCodeText(record.result);
    const std::vector<TLoggedValue> values = TCallLog::Unpack(record.Values());
    return values.empty() ? std::string() : LoggedValueText(values.back());
}

void WriteCallLogCsv(const TCallLog& log, std::ostream& out) {
    out << "Время,Слот,Член,Аргументы,Результат,Код,Длительность (мкс)\r\n";
    for (std::size_t i = 0; i < log.Count(); ++i) {
        const TCallRecord& record = log.At(i);
        const std::int64_t ms = TCallLog::WallClockMs(record.start);
        const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
        std::tm local{};
        localtime_r(&seconds, &local);
        char time[48];
        std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(ms % 1000));
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(record.result));
        char duration[32];
        std::snprintf(duration, sizeof duration, "%.3f", TCallLog::Nanoseconds(record.duration) / 1000.0);
        const TMemberInfo* member = FindNavilonixMember(record.slot);
        out << time << ',' << record.slot << ',' << CsvField(member ? std::string(member->name) : std::string()) << ','
            << CsvField(CallArgumentsText(record)) << ',' << CsvField(CallResultText(record)) << ',' << code << ','
            << duration << "\r\n";
    }
}
