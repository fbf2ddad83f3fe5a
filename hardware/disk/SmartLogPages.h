// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "hardware/disk/SmartData.h"

namespace drivetherm {

// The two log pages beside the SMART attribute table that carry a drive's temperature, each
// 512 bytes: the SCT status page of an ATA drive and the SMART / Health Information log page of
// an NVMe controller. Pure functions over the bytes the drive answered.

// SCT status (SMART READ LOG of log E0h): the format version in the word at offset 0 (2 or 3
// are the layouts known), the drive's current temperature as a signed byte at offset 200,
// 80h meaning "not valid".
inline constexpr std::uint8_t kSctStatusLogAddress = 0xE0;
inline constexpr std::size_t kSctStatusTemperatureOffset = 200;
inline constexpr std::uint8_t kSctTemperatureInvalid = 0x80;

// The current temperature of an SCT status page in °C, or nothing: for another format
// version, a temperature marked invalid, and one of 0 °C or below (no disk runs there, and 0
// means no reading to the fan loop).
std::optional<std::uint8_t> temperatureFromSctStatus(
    std::span<const std::uint8_t, kSmartDataSize> page);

// The NVMe SMART / Health Information log page (log identifier 02h): the composite
// temperature of the controller in kelvin, a little-endian word at offset 1.
inline constexpr std::uint8_t kNvmeHealthLogIdentifier = 0x02;
inline constexpr std::size_t kNvmeCompositeTemperatureOffset = 1;
inline constexpr unsigned kKelvinAtZeroCelsius = 273;

// The composite temperature of a health log page in °C, or nothing: 0 K means the controller
// does not report it, and a value at or below freezing or above 255 °C is no reading either.
std::optional<std::uint8_t> temperatureFromNvmeHealthLog(
    std::span<const std::uint8_t, kSmartDataSize> page);

}  // namespace drivetherm
