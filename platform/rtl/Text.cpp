#include "platform/rtl/Text.h"

#include <cstring>
#include <locale.h>
#include <string.h>

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// Decodes the code point at text[i] and advances i; an invalid byte is returned as itself with
// valid = false.
char32_t Decode(const std::string& text, std::size_t& i, bool& valid) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    valid = true;
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int length = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07;
    } else {
        valid = false;
        ++i;
        return b0;
    }
    if (i + static_cast<std::size_t>(length) > text.size()) {
        valid = false;
        ++i;
        return b0;
    }
    for (int k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            valid = false;
            ++i;
            return b0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i += static_cast<std::size_t>(length);
    return cp;
}

char32_t ToLower(char32_t c) {
    if (c < 0x80) {
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    }
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return c + 32;
    }
    if (c == 0x130) {
        return 'i';
    }
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
        return c % 2 == 0 ? c + 1 : c;
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
        return c % 2 == 1 ? c + 1 : c;
    }
    if (c == 0x178) {
        return 0xFF;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) {
        return c + 32;
    }
    if (c == 0x386) {
        return 0x3AC;
    }
    if (c >= 0x388 && c <= 0x38A) {
        return c + 37;
    }
    if (c == 0x38C) {
        return 0x3CC;
    }
    if (c == 0x38E || c == 0x38F) {
        return c + 63;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 80;
    }
    if (c >= 0x410 && c <= 0x42F) {
        return c + 32;
    }
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F)) {
        return c % 2 == 0 ? c + 1 : c;
    }
    if (c == 0x4C0) {
        return 0x4CF;
    }
    if (c >= 0x4C1 && c <= 0x4CE) {
        return c % 2 == 1 ? c + 1 : c;
    }
    return c;
}

char32_t ToUpper(char32_t c) {
    if (c < 0x80) {
        return (c >= 'a' && c <= 'z') ? c - 32 : c;
    }
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        return c - 32;
    }
    if (c == 0xFF) {
        return 0x178;
    }
    if (c == 0x131) {
        return 'I';
    }
    if ((c >= 0x101 && c <= 0x137) || (c >= 0x14B && c <= 0x177)) {
        return c % 2 == 1 ? c - 1 : c;
    }
    if ((c >= 0x13A && c <= 0x148) || (c >= 0x17A && c <= 0x17E)) {
        return c % 2 == 0 ? c - 1 : c;
    }
    if (c == 0x3C2) {
        return 0x3A3;
    }
    if (c >= 0x3B1 && c <= 0x3C9) {
        return c - 32;
    }
    if (c == 0x3AC) {
        return 0x386;
    }
    if (c >= 0x3AD && c <= 0x3AF) {
        return c - 37;
    }
    if (c == 0x3CC) {
        return 0x38C;
    }
    if (c == 0x3CD || c == 0x3CE) {
        return c - 63;
    }
    if (c >= 0x430 && c <= 0x44F) {
        return c - 32;
    }
    if (c >= 0x450 && c <= 0x45F) {
        return c - 80;
    }
    if ((c >= 0x461 && c <= 0x481) || (c >= 0x48B && c <= 0x4BF) || (c >= 0x4D1 && c <= 0x52F)) {
        return c % 2 == 1 ? c - 1 : c;
    }
    if (c == 0x4CF) {
        return 0x4C0;
    }
    if (c >= 0x4C2 && c <= 0x4CE) {
        return c % 2 == 0 ? c - 1 : c;
    }
    return c;
}

template <class Map> std::string MapCase(const std::string& text, Map map) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = i;
        bool valid = true;
        const char32_t cp = Decode(text, i, valid);
        if (!valid) {
            out += text[start];
        } else if (cp < 0x80) {
            out += static_cast<char>(map(cp));
        } else {
            out += Utf8(map(cp));
        }
    }
    return out;
}

// The user's collation, read once.
locale_t CollationLocale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_COLLATE_MASK, "", static_cast<locale_t>(nullptr));
        return l != static_cast<locale_t>(nullptr) ? l
                                                   : newlocale(LC_COLLATE_MASK, "C", static_cast<locale_t>(nullptr));
    }();
    return locale;
}

int Sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

} // namespace

std::string Utf8(char32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::u32string DecodeUtf8(const std::string& text) {
    std::u32string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = i;
        bool valid = true;
        const char32_t cp = Decode(text, i, valid);
        out += valid ? cp : static_cast<char32_t>(0xDC00 + static_cast<unsigned char>(text[start]));
    }
    return out;
}

std::string Trim(const std::string& text) {
    return TrimLeft(TrimRight(text));
}

std::string TrimLeft(const std::string& text) {
    std::size_t b = 0;
    while (b < text.size() && IsBlank(text[b])) {
        ++b;
    }
    return text.substr(b);
}

std::string TrimRight(const std::string& text) {
    std::size_t e = text.size();
    while (e > 0 && IsBlank(text[e - 1])) {
        --e;
    }
    return text.substr(0, e);
}

std::string AnsiLowerCase(const std::string& text) {
    return MapCase(text, ToLower);
}

std::string AnsiUpperCase(const std::string& text) {
    return MapCase(text, ToUpper);
}

bool SameText(const std::string& a, const std::string& b) {
    return AnsiLowerCase(a) == AnsiLowerCase(b);
}

int AnsiCompareStr(const std::string& a, const std::string& b) {
    const locale_t locale = CollationLocale();
    if (locale == static_cast<locale_t>(nullptr)) {
        return Sign(a.compare(b));
    }
    const int r = strcoll_l(a.c_str(), b.c_str(), locale);
    return r != 0 ? Sign(r) : Sign(a.compare(b));
}

int AnsiCompareText(const std::string& a, const std::string& b) {
    return AnsiCompareStr(AnsiLowerCase(a), AnsiLowerCase(b));
}
