// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/TemperatureText.h"

#include <array>
#include <charconv>

namespace drivetherm {
namespace {

// U+00B0 DEGREE SIGN in UTF-8.
constexpr const char* kDegree = "\xC2\xB0";

// "%.0f" without the C library's locale: the nearest whole number, exact halves to even.
std::string wholeNumber(double value) {
    // A float's largest value has 39 digits; a double made from one never needs more.
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, 0);
    return std::string(buffer.data(), result.ptr);
}

}  // namespace

std::string temperatureText(float celsius, bool fahrenheit) {
    if (!fahrenheit) return wholeNumber(static_cast<double>(celsius)) + " " + kDegree + "C";
    const double f = static_cast<double>(celsius) / 5 * 9 + 32;
    const double shown = static_cast<double>(static_cast<float>(f));
    return wholeNumber(shown) + " " + kDegree + "F";
}

}  // namespace drivetherm
