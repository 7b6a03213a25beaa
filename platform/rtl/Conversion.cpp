#include "platform/rtl/Conversion.h"

#include "platform/rtl/Exceptions.h"

bool TryStrToInt(const std::string& text, std::int32_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size()) {
        return false;
    }
    // Accumulated as a magnitude; the limit is 2147483648 for a negative number, 2147483647 otherwise.
    const std::uint64_t limit = negative ? 2147483648ULL : 2147483647ULL;
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return false;
        }
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
        if (magnitude > limit) {
            return false;
        }
    }
    value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                     : static_cast<std::int32_t>(magnitude);
    return true;
}

std::int32_t StrToInt(const std::string& text) {
    std::int32_t value = 0;
    if (!TryStrToInt(text, value)) {
        throw EConvertError(Format("'%s' is not a valid integer value", text.c_str()));
    }
    return value;
}

std::int32_t StrToIntDef(const std::string& text, std::int32_t defaultValue) {
    std::int32_t value = 0;
    return TryStrToInt(text, value) ? value : defaultValue;
}

std::string IntToStr(std::int64_t value) {
    return std::to_string(value);
}
