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
// The airflow temperature, which many solid-state disks report instead of 194; its first raw
// byte is degrees Celsius on the drives that use it so, something else on a few others.
inline constexpr std::uint8_t kSmartAirflowTemperatureAttribute = 190;
// Highest first raw byte of attribute 190 taken as a temperature: a disk gives up long before
// water boils, so a larger value is some other count.
inline constexpr std::uint8_t kHighestPlausibleAirflowTemperature = 100;

// Where a drive's temperature came from.
enum class TemperatureSource { None, Attribute194, Attribute190, SctStatus, NvmeHealthLog };

// "attribute 194", "attribute 190", "SCT status", "NVMe health log" or "none".
const char* temperatureSourceName(TemperatureSource source);

// A drive's temperature in °C (0: none) and where it was found.
struct DriveTemperature {
    std::uint8_t celsius = 0;
    TemperatureSource source = TemperatureSource::None;
    bool operator==(const DriveTemperature&) const = default;
};

// Offset in the block of the first of the 30 entries whose id is `id`, or nothing. Entries
// past the 30th are never looked at, whatever they hold.
std::optional<std::size_t> smartAttributeOffset(std::span<const std::uint8_t, kSmartDataSize> data,
                                                std::uint8_t id);

// The disk's temperature from its attribute table: the first raw byte of the first entry 194;
// where that is missing or 0, the first raw byte of the first entry 190 when it is a plausible
// temperature (1 to 100 °C, with the second raw byte 0, so that a wider counter is not taken
// for one). Nothing (0, None) otherwise.
DriveTemperature temperatureFromAttributes(std::span<const std::uint8_t, kSmartDataSize> data);

// The °C of temperatureFromAttributes, 0 when the table holds no temperature (the same as no
// reading).
std::uint8_t temperatureFromSmartData(std::span<const std::uint8_t, kSmartDataSize> data);

// The checksum byte that makes all 512 bytes sum to 0 modulo 256.
std::uint8_t smartDataChecksum(std::span<const std::uint8_t, kSmartDataSize> data);

}  // namespace drivetherm
