// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/SmartData.h"

#include <numeric>

namespace drivetherm {

std::optional<std::size_t> smartAttributeOffset(std::span<const std::uint8_t, kSmartDataSize> data,
                                                std::uint8_t id) {
    for (std::size_t entry = 0; entry < kSmartAttributeCount; ++entry) {
        const std::size_t offset = kSmartAttributeTableOffset + kSmartAttributeEntrySize * entry;
        if (data[offset] == id) return offset;
    }
    return std::nullopt;
}

std::uint8_t temperatureFromSmartData(std::span<const std::uint8_t, kSmartDataSize> data) {
    const auto offset = smartAttributeOffset(data, kSmartTemperatureAttribute);
    return offset ? data[*offset + kSmartAttributeRawOffset] : 0;
}

std::uint8_t smartDataChecksum(std::span<const std::uint8_t, kSmartDataSize> data) {
    const unsigned sum = std::accumulate(data.begin(), data.end() - 1, 0u);
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

}  // namespace drivetherm
