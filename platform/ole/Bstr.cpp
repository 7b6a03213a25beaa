#include "platform/ole/Bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Layout: a 32-bit byte count, then the characters, then a terminating zero character.
constexpr std::size_t kPrefix = sizeof(std::uint32_t);

BSTR Allocate(std::size_t byteLength) {
    if (byteLength > std::numeric_limits<std::uint32_t>::max() - kPrefix - 2)
        return nullptr;
    auto* block = static_cast<char*>(std::malloc(kPrefix + byteLength + 2));
    if (!block)
        return nullptr;
    const auto len32 = static_cast<std::uint32_t>(byteLength);
    std::memcpy(block, &len32, kPrefix);
    block[kPrefix + byteLength] = 0;
    block[kPrefix + byteLength + 1] = 0;
    return reinterpret_cast<BSTR>(block + kPrefix);
}

std::size_t Length(const OLECHAR* text) {
    std::size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

} // namespace

BSTR SysAllocString(const OLECHAR* text) {
    if (!text)
        return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(Length(text)));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    BSTR s = Allocate(static_cast<std::size_t>(length) * sizeof(OLECHAR));
    if (!s)
        return nullptr;
    if (text)
        std::memcpy(s, text, static_cast<std::size_t>(length) * sizeof(OLECHAR));
    else
        std::memset(s, 0, static_cast<std::size_t>(length) * sizeof(OLECHAR));
    return s;
}

BSTR SysAllocStringByteLen(const char* bytes, UINT byteLength) {
    BSTR s = Allocate(byteLength);
    if (!s)
        return nullptr;
    if (bytes)
        std::memcpy(s, bytes, byteLength);
    else
        std::memset(s, 0, byteLength);
    return s;
}

UINT SysStringByteLen(BSTR text) {
    if (!text)
        return 0;
    std::uint32_t len32 = 0;
    std::memcpy(&len32, reinterpret_cast<const char*>(text) - kPrefix, kPrefix);
    return len32;
}

UINT SysStringLen(BSTR text) {
    return SysStringByteLen(text) / sizeof(OLECHAR);
}

void SysFreeString(BSTR text) {
    if (text)
        std::free(reinterpret_cast<char*>(text) - kPrefix);
}

int SysReAllocString(BSTR* target, const OLECHAR* text) {
    if (!target)
        return 0;
    BSTR fresh = SysAllocString(text);
    if (text && !fresh)
        return 0;
    SysFreeString(*target);
    *target = fresh;
    return 1;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    const auto n = text.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0 || (c & 0xF0) == 0xE0 || (c & 0xF8) == 0xF0) {
            const std::size_t need = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
            char32_t v = need == 2 ? (c & 0x1F) : need == 3 ? (c & 0x0F) : (c & 0x07);
            std::size_t k = 1;
            for (; k < need && i + k < n; ++k) {
                const auto cc = static_cast<unsigned char>(text[i + k]);
                if ((cc & 0xC0) != 0x80)
                    break;
                v = (v << 6) | (cc & 0x3F);
            }
            if (k == need) {
                const char32_t minimum = need == 2 ? 0x80 : need == 3 ? 0x800 : 0x10000;
                if (v >= minimum && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF))
                    cp = v;
                len = need;
            } else {
                len = k;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

BSTR SysAllocStringUtf8(std::string_view text) {
    const std::u16string wide = Utf8ToUtf16(text);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string BstrToUtf8(BSTR text) {
    return Utf16ToUtf8(BstrView(text));
}
