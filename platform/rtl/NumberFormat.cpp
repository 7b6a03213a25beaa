#include "platform/rtl/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// A decimal number 0.d1d2d3... × 10^Exponent; Digits has no leading or trailing zeros, empty for zero.
struct TDecimal {
    std::string Digits;
    int Exponent = 0;

    bool IsZero() const { return Digits.empty(); }
};

void StripTrailingZeros(TDecimal& d) {
    while (!d.Digits.empty() && d.Digits.back() == '0') {
        d.Digits.pop_back();
    }
    if (d.Digits.empty()) {
        d.Exponent = 0;
    }
}

// The decimal representation of |value|: 15 significant digits (what a double reliably holds, so that
// binary artefacts such as 0.15 = 0.1499999999999999944... disappear), or the shortest representation
// that reads back as the same double for values of 1E15 and more, whose integer digits must all show.
TDecimal ToDecimal(double value) {
    TDecimal d;
    value = std::fabs(value);
    if (value == 0.0) {
        return d;
    }
    char buffer[64];
    std::to_chars_result r;
    if (value < 1e15) {
        r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    } else {
        r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    }
    const std::string text(buffer, r.ptr);
    const std::size_t e = text.find('e');
    for (std::size_t i = 0; i < e; ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            d.Digits += text[i];
        }
    }
    d.Exponent = std::atoi(text.c_str() + e + 1) + 1;
    std::size_t lead = 0;
    while (lead < d.Digits.size() && d.Digits[lead] == '0') {
        ++lead;
        --d.Exponent;
    }
    d.Digits.erase(0, lead);
    StripTrailingZeros(d);
    return d;
}

// Rounds half away from zero to the given number of decimal places.
TDecimal RoundTo(TDecimal d, int decimals) {
    if (d.IsZero()) {
        return d;
    }
    const long keep = static_cast<long>(d.Exponent) + decimals;
    if (keep < 0) {
        return TDecimal{};
    }
    if (static_cast<std::size_t>(keep) >= d.Digits.size()) {
        return d;
    }
    const bool up = d.Digits[static_cast<std::size_t>(keep)] >= '5';
    d.Digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        std::size_t i = d.Digits.size();
        while (i > 0 && d.Digits[i - 1] == '9') {
            d.Digits[i - 1] = '0';
            --i;
        }
        if (i == 0) {
            d.Digits.insert(d.Digits.begin(), '1');
            ++d.Exponent;
        } else {
            ++d.Digits[i - 1];
        }
    }
    StripTrailingZeros(d);
    return d;
}

// The integer digits ("" for none) and the decimal digits of a decimal number.
std::string IntegerDigits(const TDecimal& d) {
    if (d.Exponent <= 0) {
        return {};
    }
    std::string s = d.Digits.substr(0, static_cast<std::size_t>(d.Exponent));
    s.resize(static_cast<std::size_t>(d.Exponent), '0');
    return s;
}

std::string FractionDigits(const TDecimal& d) {
    if (d.Exponent >= 0) {
        return static_cast<std::size_t>(d.Exponent) < d.Digits.size()
                   ? d.Digits.substr(static_cast<std::size_t>(d.Exponent))
                   : std::string();
    }
    return std::string(static_cast<std::size_t>(-d.Exponent), '0') + d.Digits;
}

// What a section of a pattern asks for.
struct TSection {
    std::string Text;
    int IntegerPlaces = 0;
    int DecimalPlaces = 0;
    int MinIntegerDigits = 0;
    int MinDecimalDigits = 0;
    bool Grouping = false;
};

TSection ScanSection(const std::string& text) {
    TSection s;
    s.Text = text;
    bool point = false;
    int firstZero = -1;
    char quote = 0;
    for (const char c : text) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
            continue;
        }
        switch (c) {
        case '\'':
        case '"':
            quote = c;
            break;
        case '0':
        case '#':
            if (point) {
                ++s.DecimalPlaces;
                if (c == '0') {
                    s.MinDecimalDigits = s.DecimalPlaces;
                }
            } else {
                if (c == '0' && firstZero < 0) {
                    firstZero = s.IntegerPlaces;
                }
                ++s.IntegerPlaces;
            }
            break;
        case '.':
            point = true;
            break;
        case ',':
            if (!point) {
                s.Grouping = true;
            }
            break;
        default:
            break;
        }
    }
    s.MinIntegerDigits = firstZero < 0 ? 0 : s.IntegerPlaces - firstZero;
    return s;
}

std::vector<std::string> SplitSections(const std::string& pattern) {
    std::vector<std::string> sections(1);
    char quote = 0;
    for (const char c : pattern) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            sections.emplace_back();
            continue;
        }
        sections.back() += c;
    }
    return sections;
}

// The digits of `value` before and after the point, padded with zeros to the section's least counts.
void PaddedDigits(const TSection& section, const TDecimal& value, std::string& integer, std::string& fraction) {
    integer = IntegerDigits(value);
    if (static_cast<int>(integer.size()) < section.MinIntegerDigits) {
        integer.insert(0, static_cast<std::size_t>(section.MinIntegerDigits) - integer.size(), '0');
    }
    fraction = FractionDigits(value);
    if (static_cast<int>(fraction.size()) < section.MinDecimalDigits) {
        fraction.resize(static_cast<std::size_t>(section.MinDecimalDigits), '0');
    }
}

std::string ApplySection(const TSection& section, const TDecimal& value, bool minus, const TFormatSettings& settings) {
    std::string integer;
    std::string fraction;
    PaddedDigits(section, value, integer, fraction);
    const int n = static_cast<int>(integer.size());

    std::string out;
    if (minus) {
        out += '-';
    }
    auto putIntegerDigit = [&](int index) {
        out += integer[static_cast<std::size_t>(index)];
        const int power = n - 1 - index;
        if (section.Grouping && power > 0 && power % 3 == 0) {
            out += settings.ThousandSeparator;
        }
    };
    auto putAllIntegerDigitsUpTo = [&](int power) {
        for (int i = 0; i <= n - 1 - power; ++i) {
            putIntegerDigit(i);
        }
    };

    int power = section.IntegerPlaces - 1; // of the next integer place
    bool firstPlace = true;
    bool point = false;
    int decimalIndex = 0;
    char quote = 0;
    for (const char c : section.Text) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                out += c;
            }
            continue;
        }
        switch (c) {
        case '\'':
        case '"':
            quote = c;
            break;
        case '0':
        case '#':
            if (!point) {
                if (firstPlace) {
                    putAllIntegerDigitsUpTo(power);
                    firstPlace = false;
                } else if (power < n) {
                    putIntegerDigit(n - 1 - power);
                }
                --power;
            } else {
                if (decimalIndex < static_cast<int>(fraction.size())) {
                    out += fraction[static_cast<std::size_t>(decimalIndex)];
                }
                ++decimalIndex;
            }
            break;
        case '.':
            if (!point) {
                point = true;
                if (section.IntegerPlaces == 0) {
                    putAllIntegerDigitsUpTo(0);
                }
                if (!fraction.empty()) {
                    out += settings.DecimalSeparator;
                }
            }
            break;
        case ',':
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

std::string NonFinite(double value) {
    if (std::isnan(value)) {
        return "NAN";
    }
    return value < 0 ? "-INF" : "INF";
}

} // namespace

std::string FloatToStr(double value, const TFormatSettings& settings) {
    if (!std::isfinite(value)) {
        return NonFinite(value);
    }
    TDecimal d = ToDecimal(value);
    if (d.IsZero()) {
        return "0";
    }
    // 15 significant digits at most.
    if (d.Digits.size() > 15) {
        d = RoundTo(d, 15 - d.Exponent);
    }
    std::string out = value < 0 ? "-" : "";
    if (d.Exponent > 15 || d.Exponent < -4) {
        out += d.Digits[0];
        if (d.Digits.size() > 1) {
            out += settings.DecimalSeparator;
            out += d.Digits.substr(1);
        }
        out += "E" + std::to_string(d.Exponent - 1);
        return out;
    }
    const std::string integer = IntegerDigits(d);
    const std::string fraction = FractionDigits(d);
    out += integer.empty() ? "0" : integer;
    if (!fraction.empty()) {
        out += settings.DecimalSeparator;
        out += fraction;
    }
    return out;
}

std::string FormatFloat(const std::string& pattern, double value, const TFormatSettings& settings) {
    if (!std::isfinite(value)) {
        return NonFinite(value);
    }
    if (pattern.empty()) {
        return FloatToStr(value, settings);
    }
    const std::vector<std::string> sections = SplitSections(pattern);
    const TDecimal exact = ToDecimal(value);
    const TSection first = ScanSection(sections[0]);
    const TDecimal rounded = RoundTo(exact, first.DecimalPlaces);

    if (rounded.IsZero() && sections.size() >= 3 && !sections[2].empty()) {
        return ApplySection(ScanSection(sections[2]), TDecimal{}, false, settings);
    }
    if (value < 0 && sections.size() >= 2 && !sections[1].empty()) {
        const TSection negative = ScanSection(sections[1]);
        return ApplySection(negative, RoundTo(exact, negative.DecimalPlaces), false, settings);
    }
    return ApplySection(first, rounded, value < 0 && !rounded.IsZero(), settings);
}
