// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace drivetherm {

// Keys ("F1Mn") and data types ("fpe2") travel in the parameter record as one 32-bit code:
// the first character is the most significant byte. At most four characters are read; a
// shorter text is padded with zero bytes, so a mistyped key can never read past its end.
std::uint32_t packSmcCode(const char* text);

// The inverse of packSmcCode: the code's bytes from most to least significant, then a NUL.
// A zero byte inside the code ends the text early.
void unpackSmcCode(std::uint32_t code, char text[5]);

// "ui8 ", "ui16", "ui32": the big-endian unsigned value of the first `size` bytes; 0 when
// `size` is 0 or less. Longer values keep their low 32 bits, and at most the 32 bytes a record
// carries are read.
std::uint32_t decodeSmcUnsigned(const std::uint8_t* bytes, int size);

// "fpe2" (fan speeds): 14 integer bits and 2 fraction bits. The fraction bits are dropped, so the
// result is whole rpm. The first byte is read unsigned: the full range 0 to 16383 rpm, never a
// negative speed. 0.0 when `size` is 0 or less.
float decodeFpe2(const std::uint8_t* bytes, int size);

// rpm as a two-byte "fpe2" value: rpm × 4, big-endian. Exact for 0 to 16383 rpm; outside that
// range the value wraps (writeSmcFanSpeed clamps before it encodes).
void encodeFpe2(int rpm, std::uint8_t bytes[2]);

// "sp78" (temperatures): signed, 8 fraction bits, read at the 1/64 °C the SMC resolves; the two
// lowest bits are dropped.
double decodeSp78(const std::uint8_t bytes[2]);

// °C as a two-byte "sp78" value, rounded to 1/256 °C and limited to what the type holds
// (-128 to just under 128 °C). Used by the simulated controller and the applesmc transport.
void encodeSp78(double celsius, std::uint8_t bytes[2]);

// Parses hex text ("1f40", case-insensitive, no separators) into bytes. False for an odd number
// of digits, a character that is not a hex digit, or more than `maxBytes` bytes.
bool parseSmcHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes,
                      std::size_t maxBytes = 32);

}  // namespace drivetherm
