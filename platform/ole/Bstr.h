// The automation string: length-prefixed UTF-16, allocated and released only through these functions.
#pragma once

#include "platform/ole/Guid.h"

#include <string>
#include <string_view>
#include <utility>

using BSTR = OLECHAR*;

// A null BSTR is a valid empty string everywhere.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
BSTR SysAllocStringByteLen(const char* bytes, UINT byteLength);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);
void SysFreeString(BSTR text);
int SysReAllocString(BSTR* target, const OLECHAR* text);

// UTF-8 <-> UTF-16 without loss; malformed UTF-8 bytes become U+FFFD, lone surrogates likewise.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
BSTR SysAllocStringUtf8(std::string_view text);
std::string BstrToUtf8(BSTR text);
inline std::u16string_view BstrView(BSTR text) {
    return {text ? text : u"", SysStringLen(text)};
}

// Owns one BSTR and frees it; the RAII counterpart of SysAllocString / SysFreeString. Its members are named like the
// standard owners', as ComPtr's are.
class BStr {
public:
    BStr() = default;
    explicit BStr(BSTR owned) : m_bstr(owned) {}
    explicit BStr(std::string_view utf8) : m_bstr(SysAllocStringUtf8(utf8)) {}
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;
    BStr(BStr&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
    BStr& operator=(BStr&& other) noexcept {
        if (this != &other) {
            SysFreeString(m_bstr);
            m_bstr = std::exchange(other.m_bstr, nullptr);
        }
        return *this;
    }
    ~BStr() { SysFreeString(m_bstr); }

    BSTR get() const { return m_bstr; }
    // For out-arguments: frees the held string and hands out the slot.
    BSTR* out() {
        SysFreeString(m_bstr);
        m_bstr = nullptr;
        return &m_bstr;
    }
    BSTR release() { return std::exchange(m_bstr, nullptr); }
    UINT length() const { return SysStringLen(m_bstr); }
    std::string utf8() const { return BstrToUtf8(m_bstr); }
    std::u16string_view view() const { return BstrView(m_bstr); }

private:
    BSTR m_bstr = nullptr;
};
