// Readable, stable names for the cases of parameterised tests. gtest allows letters, digits and '_' in a name;
// without a name a case is known by its printed value, which for a structure is its bytes, pointers included.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// A text as part of a case name: ASCII letters and digits stay, a blank reads "Blank", a minus sign "Minus", text
// outside ASCII "NonAscii", and any other character becomes '_'. An empty text reads "Empty".
inline std::string NamePart(std::string_view text) {
    if (text.empty())
        return "Empty";
    std::string name;
    bool nonAscii = false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) {
            if (!nonAscii)
                name += "NonAscii";
            nonAscii = true;
            continue;
        }
        nonAscii = false;
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            name += c;
        else if (c == ' ')
            name += "Blank";
        else if (c == '-')
            name += "Minus";
        else
            name += '_';
    }
    return name;
}

inline std::string NamePart(const char* text) {
    return NamePart(std::string_view(text ? text : ""));
}

inline std::string NamePart(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return NamePart(std::string_view(text));
}

inline std::string NamePart(long long value) {
    return NamePart(std::string_view(std::to_string(value)));
}

inline std::string NamePart(long value) {
    return NamePart(static_cast<long long>(value));
}

inline std::string NamePart(int value) {
    return NamePart(static_cast<long long>(value));
}

// The name of a case whose parameter is one text or number.
struct ParamValueName {
    template <class T> std::string operator()(const T& info) const { return NamePart(info.param); }
};
