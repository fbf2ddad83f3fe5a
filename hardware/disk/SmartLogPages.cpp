// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/SmartLogPages.h"

namespace drivetherm {

std::optional<std::uint8_t> temperatureFromSctStatus(
    std::span<const std::uint8_t, kSmartDataSize> page) {
    const unsigned version = page[0] | (page[1] << 8);
    if (version != 2 && version != 3) return std::nullopt;
    const std::uint8_t raw = page[kSctStatusTemperatureOffset];
    if (raw == kSctTemperatureInvalid) return std::nullopt;
    const auto celsius = static_cast<std::int8_t>(raw);
    if (celsius <= 0) return std::nullopt;
    return static_cast<std::uint8_t>(celsius);
}

std::optional<std::uint8_t> temperatureFromNvmeHealthLog(
    std::span<const std::uint8_t, kSmartDataSize> page) {
    const unsigned kelvin =
        page[kNvmeCompositeTemperatureOffset] | (page[kNvmeCompositeTemperatureOffset + 1] << 8);
    if (kelvin <= kKelvinAtZeroCelsius || kelvin - kKelvinAtZeroCelsius > 255) return std::nullopt;
    return static_cast<std::uint8_t>(kelvin - kKelvinAtZeroCelsius);
}

}  // namespace drivetherm
