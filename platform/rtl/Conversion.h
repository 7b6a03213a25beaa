// Text to integer and integer to text.
#pragma once

#include <cstdint>
#include <string>

// A decimal text to a signed 32-bit integer: an optional "+" or "-", then one or more digits (leading
// zeros allowed: "0001234" is 1234), and nothing else: no blanks, no other characters, no hexadecimal.
// A text that is not such a number, or whose value lies outside -2147483648 .. 2147483647, raises
// EConvertError "'%s' is not a valid integer value" with the text in place of %s (an empty text
// included: "'' is not a valid integer value").
std::int32_t StrToInt(const std::string& text);
bool TryStrToInt(const std::string& text, std::int32_t& value);
std::int32_t StrToIntDef(const std::string& text, std::int32_t defaultValue);

std::string IntToStr(std::int64_t value);
