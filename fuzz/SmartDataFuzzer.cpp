// SPDX-License-Identifier: GPL-2.0-or-later
// The three scans of a drive's answer for its temperature: the SMART attribute table (194, then
// 190), the SCT status page and the NVMe health log page. The input is one 512-byte block (shorter
// inputs are padded with zeros, longer ones cut); each scan must stay inside it and give only what
// its rules allow.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzCheck.h"
#include "hardware/disk/SmartData.h"
#include "hardware/disk/SmartLogPages.h"

namespace {

using namespace drivetherm;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SmartDataBlock block{};
    std::copy_n(data, std::min(size, block.size()), block.begin());

    const DriveTemperature found = temperatureFromAttributes(block);
    const auto at194 = smartAttributeOffset(block, kSmartTemperatureAttribute);
    const auto at190 = smartAttributeOffset(block, kSmartAirflowTemperatureAttribute);
    for (const auto& offset : {at194, at190}) {
        if (offset) {
            check(*offset >= kSmartAttributeTableOffset);
            check(*offset + kSmartAttributeEntrySize <=
                  kSmartAttributeTableOffset + kSmartAttributeCount * kSmartAttributeEntrySize);
        }
    }
    switch (found.source) {
        case TemperatureSource::None:
            check(found.celsius == 0);
            break;
        case TemperatureSource::Attribute194:
            check(at194 && found.celsius != 0 &&
                  found.celsius == block[*at194 + kSmartAttributeRawOffset]);
            break;
        case TemperatureSource::Attribute190:
            check(at190 && found.celsius >= 1 &&
                  found.celsius <= kHighestPlausibleAirflowTemperature &&
                  found.celsius == block[*at190 + kSmartAttributeRawOffset]);
            check(!at194 || block[*at194 + kSmartAttributeRawOffset] == 0);
            break;
        default:
            check(false);
    }
    check(temperatureFromSmartData(block) == found.celsius);

    SmartDataBlock summed = block;
    summed.back() = smartDataChecksum(block);
    unsigned sum = 0;
    for (const std::uint8_t byte : summed) sum += byte;
    check(sum % 256 == 0);

    if (const auto sct = temperatureFromSctStatus(block)) {
        check(*sct >= 1 && *sct <= 127);
        check(*sct == block[kSctStatusTemperatureOffset]);
    }
    if (const auto nvme = temperatureFromNvmeHealthLog(block)) {
        const unsigned kelvin = block[kNvmeCompositeTemperatureOffset] |
                                (block[kNvmeCompositeTemperatureOffset + 1] << 8);
        check(*nvme >= 1 && *nvme + kKelvinAtZeroCelsius == kelvin);
    }
    return 0;
}
