// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>

namespace drivetherm {

// One key's value as the SMC layer hands it around: filled by readSmcKey, given to writeSmcKey.
// The caller owns it; readSmcKey clears it completely before filling it.
struct SmcValue {
    char keyName[5] = {};              // the four key characters and a NUL
    std::uint32_t valueSize = 0;       // number of significant bytes in valueBytes
    char valueType[5] = {};            // the data type ("fpe2", "sp78", "ui8 "...), NUL-terminated
    std::uint8_t valueBytes[32] = {};  // most significant byte first
};

}  // namespace drivetherm
