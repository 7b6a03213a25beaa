#include "platform/ole/Guid.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPoint = {0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnections = {0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnectionPoints = {0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

bool operator==(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ReadHex(std::string_view text, std::size_t& pos, int digits, std::uint64_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i, ++pos) {
        if (pos >= text.size())
            return false;
        const int d = HexDigit(text[pos]);
        if (d < 0)
            return false;
        value = value * 16 + static_cast<std::uint64_t>(d);
    }
    return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

} // namespace

std::optional<GUID> GuidFromString(std::string_view text) {
    const bool braced = !text.empty() && text.front() == '{';
    if (braced) {
        if (text.size() != 38 || text.back() != '}')
            return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36)
        return std::nullopt;
    GUID g{};
    std::size_t pos = 0;
    std::uint64_t v = 0;
    if (!ReadHex(text, pos, 8, v) || !Expect(text, pos, '-'))
        return std::nullopt;
    g.Data1 = static_cast<std::uint32_t>(v);
    if (!ReadHex(text, pos, 4, v) || !Expect(text, pos, '-'))
        return std::nullopt;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!ReadHex(text, pos, 4, v) || !Expect(text, pos, '-'))
        return std::nullopt;
    g.Data3 = static_cast<std::uint16_t>(v);
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !Expect(text, pos, '-'))
            return std::nullopt;
        if (!ReadHex(text, pos, 2, v))
            return std::nullopt;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    return g;
}

std::string GuidToString(REFGUID g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

void* CoTaskMemAlloc(std::size_t size) {
    return std::malloc(size == 0 ? 1 : size);
}
void CoTaskMemFree(void* p) {
    std::free(p);
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* result) {
    if (!result)
        return E_INVALIDARG;
    const std::string text = GuidToString(clsid);
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (!out) {
        *result = nullptr;
        return E_OUTOFMEMORY;
    }
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<OLECHAR>(text[i]);
    out[text.size()] = 0;
    *result = out;
    return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* result) {
    if (!text || !result)
        return E_INVALIDARG;
    std::string narrow;
    for (const OLECHAR* p = text; *p; ++p) {
        if (*p > 0x7F)
            return MakeHResult(0x800401F3u); // CO_E_CLASSSTRING
        narrow.push_back(static_cast<char>(*p));
    }
    const auto g = GuidFromString(narrow);
    if (!g)
        return MakeHResult(0x800401F3u);
    *result = *g;
    return S_OK;
}
