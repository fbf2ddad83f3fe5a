// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/SmcCodec.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace drivetherm {

std::uint32_t packSmcCode(const char* text) {
    std::uint32_t code = 0;
    bool ended = false;
    for (int i = 0; i < 4; ++i) {
        // Stop at the NUL of a short text instead of reading beyond it.
        if (!ended && text[i] == '\0') ended = true;
        const auto c = ended ? 0u : static_cast<std::uint8_t>(text[i]);
        code = (code << 8) | c;
    }
    return code;
}

void unpackSmcCode(std::uint32_t code, char text[5]) {
    text[0] = static_cast<char>((code >> 24) & 0xFF);
    text[1] = static_cast<char>((code >> 16) & 0xFF);
    text[2] = static_cast<char>((code >> 8) & 0xFF);
    text[3] = static_cast<char>(code & 0xFF);
    text[4] = '\0';
}

std::uint32_t decodeSmcUnsigned(const std::uint8_t* bytes, int size) {
    if (size <= 0) return 0;
    // Shifting the accumulator keeps the low 32 bits of a longer value without the undefined
    // shifts of a per-byte "b << 8 × position".
    std::uint32_t value = 0;
    for (int i = 0; i < std::min(size, 32); ++i) value = (value << 8) | bytes[i];
    return value;
}

float decodeFpe2(const std::uint8_t* bytes, int size) {
    if (size <= 0) return 0.0f;
    // A one-byte value has no fraction byte; never read past what the caller holds.
    const int low = size >= 2 ? bytes[1] : 0;
    return static_cast<float>(bytes[0] * 64 + (low >> 2));
}

void encodeFpe2(int rpm, std::uint8_t bytes[2]) {
    // rpm × 4 in 32-bit two's complement, computed unsigned so that a huge rpm wraps instead of
    // overflowing; the quotient truncates toward zero as the SMC's own encoder does.
    const auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(rpm) * 4u);
    bytes[0] = static_cast<std::uint8_t>((v / 256) & 0xFF);
    bytes[1] = static_cast<std::uint8_t>(v & 0xFF);
}

double decodeSp78(const std::uint8_t bytes[2]) {
    const int raw = static_cast<std::int8_t>(bytes[0]) * 256 + bytes[1];
    return std::floor(raw / 4.0) * 0.015625;
}

void encodeSp78(double celsius, std::uint8_t bytes[2]) {
    double scaled = std::isfinite(celsius) ? std::round(celsius * 256.0) : 0.0;
    scaled = std::clamp(scaled, -32768.0, 32767.0);
    const auto raw = static_cast<std::uint16_t>(static_cast<std::int16_t>(scaled));
    bytes[0] = static_cast<std::uint8_t>(raw >> 8);
    bytes[1] = static_cast<std::uint8_t>(raw & 0xFF);
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool parseSmcHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes,
                      std::size_t maxBytes) {
    if (text.size() % 2 != 0 || text.size() / 2 > maxBytes) return false;
    std::vector<std::uint8_t> parsed;
    parsed.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        parsed.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    bytes = std::move(parsed);
    return true;
}

}  // namespace drivetherm
