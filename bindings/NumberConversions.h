// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace drivetherm {

// Conversions between numbers and text shared by the key-value layer, the slider and the graph.
// None of them depends on the process locale: the settings window runs with the user's locale
// (a decimal comma in many of them), while the texts here are always written with a point.

// A double truncated toward zero to a 32-bit (64-bit) signed integer. Out-of-range values saturate
// at the type's limits and NaN gives 0, so no caller ever converts a non-finite value (which the
// language leaves undefined).
std::int32_t truncateToInt32(double value);
std::int64_t truncateToInt64(double value);

// The number at the start of a text, read the way a user-visible text field reads it: leading
// blanks skipped, an optional sign, digits with an optional point and exponent. Anything after the
// number is ignored; a text that does not start with a number reads as 0.0.
double doubleFromText(std::string_view text);

// The number formatted like printf("%g"): six significant digits, trailing zeros dropped,
// exponent form for large and small magnitudes ("55", "37.5", "1.23457e+06").
std::string gFormat(double value);

// The shortest text that reads back as the same double ("58", "50.7").
std::string shortestFormat(double value);

}  // namespace drivetherm
