// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <vector>

#include "DiskFakes.h"
#include "hardware/disk/SmartData.h"
#include "hardware/disk/SmartLogPages.h"

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

TEST(SmartData, The194ComesFirstThenAPlausible190) {
    struct Case {
        const char* what;
        SmartDataBlock block;
        DriveTemperature expected;
    };
    constexpr auto k194 = TemperatureSource::Attribute194;
    constexpr auto k190 = TemperatureSource::Attribute190;
    SmartDataBlock wide190 = test::blockWith({{190, 40}});
    wide190[kSmartAttributeTableOffset + kSmartAttributeRawOffset + 1] = 1;
    const Case cases[] = {
        {"190 before 194", test::blockWith({{190, 47}, {194, 35}}), {35, k194}},
        {"194 before 190", test::blockWith({{194, 35}, {190, 47}}), {35, k194}},
        {"two entries 194", test::blockWith({{1, 9}, {194, 31}, {194, 52}}), {31, k194}},
        {"raw byte 255 at 194", test::blockWith({{194, 255}}), {255, k194}},
        {"only 190", test::blockWith({{190, 47}}), {47, k190}},
        {"194 at 0, 190 beside it", test::blockWith({{194, 0}, {190, 33}}), {33, k190}},
        {"190 at 100", test::blockWith({{190, 100}}), {100, k190}},
        {"raw byte 0 at 194", test::blockWith({{194, 0}}), {}},
        {"190 at 101 is no temperature", test::blockWith({{190, 101}}), {}},
        {"190 at 0", test::blockWith({{190, 0}}), {}},
        {"190 as a wider counter", wide190, {}},
        {"an empty table", SmartDataBlock{}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(temperatureFromAttributes(c.block), c.expected);
        EXPECT_EQ(temperatureFromSmartData(c.block), c.expected.celsius);
    }
}

TEST(SmartData, TheLogPagesGiveTheirTemperatureOrNone) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::size_t, std::uint8_t>> bytes;
        std::optional<std::uint8_t> sct;
        std::optional<std::uint8_t> nvme;
    };
    // SCT: format version at 0-1, temperature at 200. NVMe: kelvin at 1-2 (323 K = 50 °C).
    const Case cases[] = {
        {"SCT version 3 at 38 °C", {{0, 3}, {200, 38}}, 38, std::nullopt},
        {"SCT version 2 at 127 °C", {{0, 2}, {200, 127}}, 127, std::nullopt},
        {"SCT temperature not valid", {{0, 3}, {200, 0x80}}, std::nullopt, std::nullopt},
        {"SCT below freezing", {{0, 3}, {200, 0xF6}}, std::nullopt, std::nullopt},
        {"SCT of an unknown layout", {{0, 4}, {200, 38}}, std::nullopt, std::nullopt},
        {"NVMe at 323 K", {{1, 0x43}, {2, 0x01}}, std::nullopt, 50},
        {"NVMe at 274 K", {{1, 0x12}, {2, 0x01}}, std::nullopt, 1},
        {"NVMe not reporting", {}, std::nullopt, std::nullopt},
        {"NVMe at freezing", {{1, 0x11}, {2, 0x01}}, std::nullopt, std::nullopt},
        {"NVMe above 255 °C", {{1, 0x13}, {2, 0x02}}, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SmartDataBlock page{};
        for (const auto& [offset, value] : c.bytes) page[offset] = value;
        EXPECT_EQ(temperatureFromSctStatus(page), c.sct);
        EXPECT_EQ(temperatureFromNvmeHealthLog(page), c.nvme);
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
