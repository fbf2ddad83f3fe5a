// SPDX-License-Identifier: GPL-2.0-or-later
#include "bindings/NumberConversions.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace drivetherm {

namespace {

template <class Int>
Int truncateTo(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double truncated = std::trunc(value);
    // The limits of Int are exactly representable as powers of two (the lowest) or one below a
    // power of two (the highest, which rounds up in a double), so compare against the power.
    constexpr double lowest = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double pastHighest = -lowest;
    if (truncated < lowest) {
        return std::numeric_limits<Int>::min();
    }
    if (truncated >= pastHighest) {
        return std::numeric_limits<Int>::max();
    }
    return static_cast<Int>(truncated);
}

std::string toChars(double value, std::chars_format format, int precision) {
    std::array<char, 64> buffer{};
    const auto result =
        precision < 0
            ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), value)
            : std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format, precision);
    return std::string(buffer.data(), result.ptr);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::int32_t truncateToInt32(double value) {
    return truncateTo<std::int32_t>(value);
}

std::int64_t truncateToInt64(double value) {
    return truncateTo<std::int64_t>(value);
}

double doubleFromText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\f' || text[i] == '\v')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t numberStart = i;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    // An exponent counts only when digits follow it: "5e" is the number 5 followed by a letter.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            ++j;
        }
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j])) {
                ++j;
            }
            i = j;
        }
    }
    double magnitude = 0.0;
    const auto result = std::from_chars(text.data() + numberStart, text.data() + i, magnitude,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow and underflow; tell them apart by the
        // exponent's sign the way strtod does (HUGE_VAL or 0).
        const std::string_view number = text.substr(numberStart, i - numberStart);
        const auto e = number.find_first_of("eE");
        const bool tiny =
            e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
        magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (result.ec != std::errc()) {
        return 0.0;
    }
    return negative ? -magnitude : magnitude;
}

std::string gFormat(double value) {
    return toChars(value, std::chars_format::general, 6);
}

std::string shortestFormat(double value) {
    return toChars(value, std::chars_format::general, -1);
}

}  // namespace drivetherm
