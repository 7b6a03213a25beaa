#include "automation/CallLog.h"

#include "platform/ole/ErrorText.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <ostream>
#include <thread>

namespace {

// Tags of the packed values.
enum : char { kLong = 'L', kDouble = 'D', kBstr = 'S', kVariant = 'V' };

template <class T> void PutRaw(TPackedValues& values, const T& value) {
    values.append(&value, sizeof value);
}

template <class T> T GetRaw(std::string_view values, std::size_t& at) {
    T value{};
    if (at + sizeof value <= values.size())
        std::memcpy(&value, values.data() + at, sizeof value);
    at += sizeof value;
    return value;
}

void PutText(TPackedValues& values, const char16_t* text, std::uint32_t length) {
    PutRaw(values, length);
    values.append(text, length * sizeof(char16_t));
}

std::u16string GetText(std::string_view values, std::size_t& at) {
    const auto length = GetRaw<std::uint32_t>(values, at);
    std::u16string text;
    if (at + length * sizeof(char16_t) <= values.size()) {
        text.resize(length);
        std::memcpy(text.data(), values.data() + at, length * sizeof(char16_t));
    }
    at += length * sizeof(char16_t);
    return text;
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
// rate of ticks is measured over at least 50 ms from there.
class TClock {
public:
    static TClock& Instance() {
        static TClock clock;
        return clock;
    }
    double TicksPerNanosecond() {
        if (m_rate > 0)
            return m_rate;
        auto elapsed = std::chrono::steady_clock::now() - m_steady;
        if (elapsed < std::chrono::milliseconds(50)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50) - elapsed);
            elapsed = std::chrono::steady_clock::now() - m_steady;
        }
        const std::int64_t ticks = TCallLog::Now() - m_ticks;
        m_rate = static_cast<double>(ticks) / static_cast<double>(std::chrono::nanoseconds(elapsed).count());
        if (!(m_rate > 0))
            m_rate = 1;
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
}

TCallRecord& TCallLog::Begin(int slot) {
    if (m_records.empty())
        m_records.reserve(kCapacity); // records never move: a call in progress keeps its reference
    if (m_next - m_first == kCapacity) {
        m_totalDuration -= m_records[m_oldest].duration;
        m_oldest = m_oldest + 1 == kCapacity ? 0 : m_oldest + 1;
        ++m_first;
    }
    if (m_write == m_records.size())
        m_records.emplace_back();
    TCallRecord& record = m_records[m_write];
    m_write = m_write + 1 == kCapacity ? 0 : m_write + 1;
    ++m_next;
    record.slot = static_cast<std::int16_t>(slot);
    record.values.clear();
    record.result = 0;
    record.duration = 0;
    return record;
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

void TCallLog::Put(TPackedValues& values, LONG value) {
    values += kLong;
    PutRaw(values, value);
}

void TCallLog::Put(TPackedValues& values, double value) {
    values += kDouble;
    PutRaw(values, value);
}

void TCallLog::Put(TPackedValues& values, BSTR value) {
    values += kBstr;
    PutText(values, value ? value : u"", SysStringLen(value));
}

void TCallLog::Put(TPackedValues& values, const VARIANT& value) {
    values += kVariant;
    PutRaw(values, value.vt);
    switch (value.vt) {
    case VT_I2:
        PutRaw(values, std::int64_t{value.iVal});
        break;
    case VT_I4:
    case VT_INT:
        PutRaw(values, std::int64_t{value.lVal});
        break;
    case VT_I1:
        PutRaw(values, std::int64_t{value.cVal});
        break;
    case VT_UI1:
        PutRaw(values, std::int64_t{value.bVal});
        break;
    case VT_UI2:
        PutRaw(values, std::int64_t{value.uiVal});
        break;
    case VT_UI4:
    case VT_UINT:
        PutRaw(values, std::int64_t{value.ulVal});
        break;
    case VT_I8:
    case VT_UI8:
        PutRaw(values, value.llVal);
        break;
    case VT_BOOL:
        PutRaw(values, std::int64_t{value.boolVal});
        break;
    case VT_ERROR:
        PutRaw(values, std::int64_t{value.scode});
        break;
    case VT_R4:
        PutRaw(values, double{value.fltVal});
        break;
    case VT_R8:
    case VT_DATE:
        PutRaw(values, value.dblVal);
        break;
    case VT_BSTR:
        PutText(values, value.bstrVal ? value.bstrVal : u"", SysStringLen(value.bstrVal));
        break;
    default:
        break; // the type alone
    }
}

std::vector<TLoggedValue> TCallLog::Unpack(std::string_view values) {
    std::vector<TLoggedValue> out;
    std::size_t at = 0;
    while (at < values.size()) {
        TLoggedValue value;
        switch (values[at++]) {
        case kLong:
            value.type = MemberType::Long;
            value.integer = GetRaw<LONG>(values, at);
            break;
        case kDouble:
            value.type = MemberType::Double;
            value.real = GetRaw<double>(values, at);
            break;
        case kBstr:
            value.type = MemberType::Bstr;
            value.text = GetText(values, at);
            break;
        case kVariant:
            value.type = MemberType::Variant;
            value.vt = GetRaw<VARTYPE>(values, at);
            switch (value.vt) {
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
                value.integer = GetRaw<std::int64_t>(values, at);
                break;
            case VT_R4:
            case VT_R8:
            case VT_DATE:
                value.real = GetRaw<double>(values, at);
                break;
            case VT_BSTR:
                value.text = GetText(values, at);
                break;
            default:
                break;
            }
            break;
        default:
            return out; // not written by Put
        }
        out.push_back(std::move(value));
    }
    return out;
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

std::string LoggedValueText(const TLoggedValue& value) {
    switch (value.type) {
    case MemberType::Long:
        return std::to_string(value.integer);
    case MemberType::Double:
        return DoubleText(value.real);
    case MemberType::Bstr:
        return Quoted(value.text);
    case MemberType::Variant:
        switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return VarTypeName(value.vt);
        case VT_R4:
        case VT_R8:
        case VT_DATE:
            return VarTypeName(value.vt) + " " + DoubleText(value.real);
        case VT_BSTR:
            return VarTypeName(value.vt) + " " + Quoted(value.text);
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
            return VarTypeName(value.vt) + " " + std::to_string(value.integer);
        default:
            return VarTypeName(value.vt);
        }
    }
    return {};
}

std::string ResultCodeText(HRESULT code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    std::string text = hex;
    if (const char* system = SystemErrorText(code)) {
        std::string trimmed = system;
        while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == '\n' || trimmed.back() == ' '))
            trimmed.pop_back();
        text += " " + trimmed;
    }
    return text;
}

std::string CallArgumentsText(const TCallRecord& record) {
    const MemberInfo* member = FindNavilonixMember(record.slot);
    // A read sends no arguments: its one value is the one read.
    if (!member || member->kind == MemberKind::Read)
        return {};
    const std::vector<TLoggedValue> values = TCallLog::Unpack(record.values.view());
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
    const MemberInfo* member = FindNavilonixMember(record.slot);
    if (!member || member->kind != MemberKind::Read)
        return record.result == 0 ? std::string("S_OK") : ResultCodeText(record.result);
    const std::vector<TLoggedValue> values = TCallLog::Unpack(record.values.view());
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
        const MemberInfo* member = FindNavilonixMember(record.slot);
        out << time << ',' << record.slot << ',' << CsvField(member ? std::string(member->name) : std::string()) << ','
            << CsvField(CallArgumentsText(record)) << ',' << CsvField(CallResultText(record)) << ',' << code << ','
            << duration << "\r\n";
    }
}
