// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace drivetherm {

// The one record exchanged with the System Management Controller, request and reply alike.
// It is a wire format: the offsets below are fixed and checked at compile time.
struct SmcParamRecord {
    std::uint32_t keyCode;       // packed key, host byte order
    std::uint8_t reserved0[24];  // zero in requests, never read from replies
    std::uint32_t valueSize;     // number of significant bytes in valueBytes
    std::uint32_t valueType;     // packed data type code
    std::uint8_t reserved1[6];   // includes the reply's result and status bytes; never read
    std::uint8_t commandCode;    // kSmcCmd*
    std::uint8_t reserved2;
    std::uint32_t keyIndex;       // command 8 only
    std::uint8_t valueBytes[32];  // most significant byte first
};

static_assert(sizeof(SmcParamRecord) == 80);
static_assert(offsetof(SmcParamRecord, keyCode) == 0);
static_assert(offsetof(SmcParamRecord, valueSize) == 28);
static_assert(offsetof(SmcParamRecord, valueType) == 32);
static_assert(offsetof(SmcParamRecord, commandCode) == 42);
static_assert(offsetof(SmcParamRecord, keyIndex) == 44);
static_assert(offsetof(SmcParamRecord, valueBytes) == 48);

inline constexpr std::uint8_t kSmcCmdReadBytes = 5;
inline constexpr std::uint8_t kSmcCmdWriteBytes = 6;
inline constexpr std::uint8_t kSmcCmdReadIndex = 8;
inline constexpr std::uint8_t kSmcCmdReadKeyInfo = 9;

}  // namespace drivetherm
