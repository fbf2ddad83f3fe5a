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

const char* temperatureSourceName(TemperatureSource source) {
    switch (source) {
        case TemperatureSource::None:
            return "none";
        case TemperatureSource::Attribute194:
            return "attribute 194";
        case TemperatureSource::Attribute190:
            return "attribute 190";
        case TemperatureSource::SctStatus:
            return "SCT status";
        case TemperatureSource::NvmeHealthLog:
            return "NVMe health log";
    }
    return "none";
}

DriveTemperature temperatureFromAttributes(std::span<const std::uint8_t, kSmartDataSize> data) {
    if (const auto offset = smartAttributeOffset(data, kSmartTemperatureAttribute)) {
        const std::uint8_t celsius = data[*offset + kSmartAttributeRawOffset];
        if (celsius != 0) return {celsius, TemperatureSource::Attribute194};
    }
    if (const auto offset = smartAttributeOffset(data, kSmartAirflowTemperatureAttribute)) {
        const std::uint8_t celsius = data[*offset + kSmartAttributeRawOffset];
        const std::uint8_t next = data[*offset + kSmartAttributeRawOffset + 1];
        if (celsius != 0 && celsius <= kHighestPlausibleAirflowTemperature && next == 0)
            return {celsius, TemperatureSource::Attribute190};
    }
    return {};
}

std::uint8_t temperatureFromSmartData(std::span<const std::uint8_t, kSmartDataSize> data) {
    return temperatureFromAttributes(data).celsius;
}

std::uint8_t smartDataChecksum(std::span<const std::uint8_t, kSmartDataSize> data) {
    const unsigned sum = std::accumulate(data.begin(), data.end() - 1, 0u);
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

}  // namespace drivetherm
