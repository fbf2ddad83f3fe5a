// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace drivetherm {

// The 512-byte block a drive answers SMART READ DATA with: a 2-byte revision, then 30
// attribute entries of 12 bytes from offset 2, ..., and a checksum in the last byte.
inline constexpr std::size_t kSmartDataSize = 512;
using SmartDataBlock = std::array<std::uint8_t, kSmartDataSize>;

inline constexpr std::size_t kSmartAttributeCount = 30;
inline constexpr std::size_t kSmartAttributeTableOffset = 2;
inline constexpr std::size_t kSmartAttributeEntrySize = 12;
// Inside an entry: the attribute id, then flags and values, then the 6-byte raw value.
inline constexpr std::size_t kSmartAttributeRawOffset = 5;
// The drive's temperature; the first raw byte is degrees Celsius.
inline constexpr std::uint8_t kSmartTemperatureAttribute = 194;

// Offset in the block of the first of the 30 entries whose id is `id`, or nothing. Entries
// past the 30th are never looked at, whatever they hold.
std::optional<std::size_t> smartAttributeOffset(std::span<const std::uint8_t, kSmartDataSize> data,
                                                std::uint8_t id);

// The first raw byte of the first temperature entry: the disk's temperature in °C, or 0 when
// the table has no temperature entry (the same as no reading).
std::uint8_t temperatureFromSmartData(std::span<const std::uint8_t, kSmartDataSize> data);

// The checksum byte that makes all 512 bytes sum to 0 modulo 256.
std::uint8_t smartDataChecksum(std::span<const std::uint8_t, kSmartDataSize> data);

}  // namespace drivetherm
