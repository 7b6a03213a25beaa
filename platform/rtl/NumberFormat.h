// Digit-placeholder number patterns ("#,##0.0", "0000000", "0.0°").
#pragma once

#include "platform/rtl/FormatSettings.h"

#include <string>

// Formats value with a digit-placeholder pattern:
// - "0" a digit that is always written, "#" a digit written only when significant;
// - "." the decimal point (the first one; written as settings.DecimalSeparator, and only when a decimal
//   digit follows it);
// - "," before the decimal point groups the integer digits by threes with settings.ThousandSeparator;
// - text in single or double quotes, and every other character, is copied where it stands;
// - the first integer place takes all the integer digits the pattern has no places for;
// - up to three sections "positive;negative;zero": a negative value with a negative section is written
//   by that section without a sign; a value that rounds to zero with a zero section by that section.
// The value is rounded half away from zero to the pattern's decimal places, on its decimal
// representation (15 significant digits, as a double holds them), so 0.05, 0.15 and 2.675 round up.
// A negative value gets a leading "-" unless it rounds to zero. Not-a-number and infinities are written
// "NAN", "INF" and "-INF". An empty pattern writes the value as FloatToStr does.
std::string FormatFloat(const std::string& pattern, double value,
                        const TFormatSettings& settings = CurrentFormatSettings());

// The value with up to 15 significant digits, trailing zeros removed, with settings.DecimalSeparator
// and without grouping ("1234,5", "0,1", "-3"); exponent notation ("1,5E20") outside 1E-5 .. 1E15.
std::string FloatToStr(double value, const TFormatSettings& settings = CurrentFormatSettings());
