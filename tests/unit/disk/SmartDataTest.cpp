// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <numeric>

#include "DiskFakes.h"
#include "hardware/disk/SmartData.h"

namespace drivetherm {
namespace {

// A block with attribute `id` (raw byte `raw`) in entry `entry`, counting from 0; entry 30 and
// beyond lie past the table.
SmartDataBlock blockWithEntry(std::size_t entry, std::uint8_t id, std::uint8_t raw) {
    SmartDataBlock block{};
    const std::size_t offset = kSmartAttributeTableOffset + kSmartAttributeEntrySize * entry;
    block[offset] = id;
    block[offset + kSmartAttributeRawOffset] = raw;
    return block;
}

TEST(SmartData, TheTemperatureIsFoundInEveryOneOfTheThirtyEntriesAndNoFurther) {
    struct Case {
        std::size_t entry;
        std::uint8_t expected;
    };
    const Case cases[] = {{0, 40}, {1, 40}, {15, 40}, {29, 40}, {30, 0}, {31, 0}, {40, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(temperatureFromSmartData(blockWithEntry(c.entry, 194, 40)), c.expected);
    }
    EXPECT_EQ(smartAttributeOffset(blockWithEntry(29, 194, 40), 194), 350u);
}

TEST(SmartData, OnlyTheFirstEntry194CountsAndNoOtherAttribute) {
    struct Case {
        const char* what;
        SmartDataBlock block;
        std::uint8_t expected;
    };
    const Case cases[] = {
        {"190 before 194", test::blockWith({{190, 47}, {194, 35}}), 35},
        {"194 before 190", test::blockWith({{194, 35}, {190, 47}}), 35},
        {"only 190", test::blockWith({{190, 47}}), 0},
        {"two entries 194", test::blockWith({{1, 9}, {194, 31}, {194, 52}}), 31},
        {"raw byte 0", test::blockWith({{194, 0}}), 0},
        {"raw byte 255", test::blockWith({{194, 255}}), 255},
        {"an empty table", SmartDataBlock{}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(temperatureFromSmartData(c.block), c.expected);
    }
}

TEST(SmartData, TheChecksumMakesTheBlockSumToZero) {
    for (std::uint8_t raw : {0, 1, 38, 200}) {
        SmartDataBlock block = test::blockWith({{9, 0x77}, {194, raw}});
        block[kSmartDataSize - 1] = smartDataChecksum(block);
        EXPECT_EQ(std::accumulate(block.begin(), block.end(), 0u) % 256, 0u);
    }
}

}  // namespace
}  // namespace drivetherm
