// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>

namespace drivetherm {

// Status codes of the hardware layer. They keep the values the SMC and SMART callers have always
// compared against, so a status printed with "%08x" reads the same on every backend.
using kern_return_t = std::int32_t;

inline constexpr kern_return_t kIOReturnSuccess = 0;
inline constexpr kern_return_t kIOReturnError = static_cast<kern_return_t>(0xE00002BC);
inline constexpr kern_return_t kIOReturnNoDevice = static_cast<kern_return_t>(0xE00002C0);
inline constexpr kern_return_t kIOReturnNotPrivileged = static_cast<kern_return_t>(0xE00002C1);
inline constexpr kern_return_t kIOReturnBadArgument = static_cast<kern_return_t>(0xE00002C2);
inline constexpr kern_return_t kIOReturnExclusiveAccess = static_cast<kern_return_t>(0xE00002C5);
inline constexpr kern_return_t kIOReturnUnsupported = static_cast<kern_return_t>(0xE00002C7);
inline constexpr kern_return_t kIOReturnNotWritable = static_cast<kern_return_t>(0xE00002CA);
inline constexpr kern_return_t kIOReturnIOError = static_cast<kern_return_t>(0xE00002CB);
inline constexpr kern_return_t kIOReturnNotFound = static_cast<kern_return_t>(0xE00002F0);
inline constexpr kern_return_t kIOReturnTimeout = static_cast<kern_return_t>(0xE00002D6);
inline constexpr kern_return_t kIOReturnNotResponding = static_cast<kern_return_t>(0xE00002ED);
inline constexpr kern_return_t kIOReturnNotOpen = static_cast<kern_return_t>(0xE00002CD);

}  // namespace drivetherm
