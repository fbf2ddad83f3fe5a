// SPDX-License-Identifier: GPL-2.0-or-later
// The SMART reader against the guest's emulated ATA disks: the commands that go down SG_IO,
// what the kernel answers, and the block that comes back, checked byte for byte against the
// reference reader (smartctl) in the same guest.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "hardware/disk/DiskAccess.h"
#include "hardware/disk/SmartData.h"
#include "hardware/disk/linux/LinuxDisks.h"
#include "hardware/disk/linux/SgioCommand.h"
#include "tests/guest/GuestFixture.h"
#include "tests/guest/GuestSmartctl.h"

namespace drivetherm::guest {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// The CDB of one 28-bit ATA command in the size this run uses, laid out by hand from the SAT
// tables: 85h (16) carries each register in the low byte of a pair, A1h (12) one byte each.
std::vector<std::uint8_t> expectedCdb(unsigned length, std::uint8_t protocolByte,
                                      std::uint8_t flags, std::uint8_t features, std::uint8_t count,
                                      std::uint8_t lbaMid, std::uint8_t lbaHigh,
                                      std::uint8_t command) {
    if (length == 12)
        return {0xA1,   protocolByte, flags, features, count, 0x00,
                lbaMid, lbaHigh,      0x00,  command,  0x00,  0x00};
    return {0x85, protocolByte, flags,  0x00, features, 0x00, count,   0x00,
            0x00, 0x00,         lbaMid, 0x00, lbaHigh,  0x00, command, 0x00};
}

std::string describe(const std::vector<RecordingSyscalls::Exchange>& exchanges) {
    std::string text;
    for (const auto& exchange : exchanges) {
        text += "\n  cdb " + hexBytes(exchange.cdb) + " -> ioctl " +
                std::to_string(exchange.result) + " errno " + std::to_string(exchange.error) +
                " status " + std::to_string(exchange.status) + " host " +
                std::to_string(exchange.hostStatus) + " driver " +
                std::to_string(exchange.driverStatus) + " sense [" + hexBytes(exchange.sense) + "]";
    }
    return text;
}

// The attribute ids of the 30 entries, in order, zeros included.
std::vector<unsigned> attributeIds(const SmartDataBlock& block) {
    std::vector<unsigned> ids;
    for (std::size_t entry = 0; entry < kSmartAttributeCount; ++entry)
        ids.push_back(block[kSmartAttributeTableOffset + kSmartAttributeEntrySize * entry]);
    return ids;
}

class GuestSmart : public GuestFixture {};

TEST_F(GuestSmart, ThePowerModeCheckAnswersActive) {
    for (const GuestDisk* disk : ataDisks()) {
        syscalls_.clear();
        SmartDataBlock block{};
        ASSERT_TRUE(readBlock(machine_.bsdNameOf(*disk), block));
        const auto& exchanges = syscalls_.exchanges();
        ASSERT_FALSE(exchanges.empty());
        const auto& check = exchanges.front();
        // CHECK POWER MODE, non-data, with the registers asked back.
        EXPECT_EQ(check.cdb,
                  expectedCdb(machine_.cdbLength(), 0x06, 0x20, 0x00, 0x00, 0x00, 0x00, 0xE5))
            << describe(exchanges);
        // Descriptor sense with the ATA Status Return descriptor (09h) at byte 8: its count
        // register (descriptor byte 5) is FFh, active or idle.
        ASSERT_GE(check.sense.size(), 22u) << describe(exchanges);
        EXPECT_EQ(check.sense[0] & 0x7F, 0x72) << describe(exchanges);
        EXPECT_EQ(check.sense[8], 0x09) << describe(exchanges);
        EXPECT_EQ(check.sense[8 + 5], 0xFF) << describe(exchanges);
        const auto sense = parseSense(check.sense);
        ASSERT_TRUE(sense && sense->ata) << describe(exchanges);
        EXPECT_EQ(sense->ata->sectorCount, 0xFF);
        EXPECT_FALSE(isStandbyPowerMode(sense->ata->sectorCount));
    }
}

TEST_F(GuestSmart, SmartEnableAndReadDataTravelInTheRunsPassThroughSize) {
    for (const GuestDisk* disk : ataDisks()) {
        syscalls_.clear();
        SmartDataBlock block{};
        ASSERT_TRUE(readBlock(machine_.bsdNameOf(*disk), block));
        const unsigned length = machine_.cdbLength();
        std::vector<std::vector<std::uint8_t>> cdbs;
        for (const auto& exchange : syscalls_.exchanges()) cdbs.push_back(exchange.cdb);
        EXPECT_THAT(cdbs,
                    ElementsAre(expectedCdb(length, 0x06, 0x20, 0x00, 0x00, 0x00, 0x00, 0xE5),
                                // SMART ENABLE OPERATIONS: non-data, signature 4Fh/C2h.
                                expectedCdb(length, 0x06, 0x00, 0xD8, 0x00, 0x4F, 0xC2, 0xB0),
                                // SMART READ DATA: PIO data-in, one block, length in the count.
                                expectedCdb(length, 0x08, 0x0E, 0xD0, 0x01, 0x4F, 0xC2, 0xB0)))
            << describe(syscalls_.exchanges());
        for (const auto& exchange : syscalls_.exchanges()) {
            EXPECT_EQ(exchange.result, 0) << describe(syscalls_.exchanges());
            EXPECT_EQ(exchange.hostStatus, 0) << describe(syscalls_.exchanges());
        }
        EXPECT_EQ(syscalls_.exchanges().back().transferLength, kSmartDataSize);
        EXPECT_EQ(syscalls_.exchanges().back().direction, SG_DXFER_FROM_DEV);
        EXPECT_EQ(syscalls_.openDescriptors(), 0) << "the disk is closed with the slot";
        // A whole block came back: revision 1 and a checksum that makes the 512 bytes sum to 0.
        EXPECT_EQ(block[0] | (block[1] << 8), 1);
        EXPECT_EQ(block[511], smartDataChecksum(block));
    }
}

TEST_F(GuestSmart, TwelveAndSixteenByteCommandsReadTheSameBlock) {
    for (const GuestDisk* disk : ataDisks()) {
        SmartDataBlock blocks[2]{};
        const unsigned lengths[2] = {16, 12};
        for (int i = 0; i < 2; ++i) {
            RecordingSyscalls syscalls;
            SgioSmartBackend backend(UdevRoots{}, syscalls, lengths[i]);
            SmartReader reader(&registry_, &backend);
            ASSERT_TRUE(readBlock(reader, machine_.bsdNameOf(*disk), blocks[i]));
            for (const auto& exchange : syscalls.exchanges()) {
                EXPECT_EQ(exchange.cdb.size(), lengths[i]) << describe(syscalls.exchanges());
                EXPECT_EQ(exchange.cdb[0], lengths[i] == 16 ? 0x85 : 0xA1)
                    << describe(syscalls.exchanges());
            }
        }
        EXPECT_EQ(blocks[0], blocks[1]) << disk->kernelName;
        EXPECT_NE(blocks[0], SmartDataBlock{}) << "the block stayed empty";
    }
}

TEST_F(GuestSmart, TheBlockHoldsTheEmulatedTableWhereTheReaderLooks) {
    for (const GuestDisk* disk : ataDisks()) {
        SmartDataBlock block{};
        ASSERT_TRUE(readBlock(machine_.bsdNameOf(*disk), block));
        // QEMU's fixed table: seven attributes from offset 2, 12 bytes each, then empty entries.
        std::vector<unsigned> ids{1, 3, 4, 5, 9, 12, 190};
        ids.resize(kSmartAttributeCount, 0);
        EXPECT_THAT(attributeIds(block), ElementsAreArray(ids));
        // Attribute 190 (airflow temperature) holds 31 °C in its first raw byte, at the offset
        // where the reader takes the temperature from attribute 194.
        ASSERT_EQ(smartAttributeOffset(block, 190), 2u + 12u * 6u);
        EXPECT_EQ(block[2 + 12 * 6 + kSmartAttributeRawOffset], 31);
        EXPECT_EQ(smartAttributeOffset(block, kSmartTemperatureAttribute), std::nullopt);
    }
}

TEST_F(GuestSmart, TheBlockAgreesWithSmartctlAttributeByAttribute) {
    for (const GuestDisk* disk : ataDisks()) {
        SmartDataBlock block{};
        ASSERT_TRUE(readBlock(machine_.bsdNameOf(*disk), block));
        const SmartctlTable table = runSmartctlAttributes("/dev/" + disk->kernelName);
        ASSERT_FALSE(table.attributes.empty()) << "smartctl printed no attribute table:\n"
                                               << table.output;
        std::vector<unsigned> smartctlIds;
        for (const SmartctlAttribute& attribute : table.attributes) {
            smartctlIds.push_back(attribute.id);
            const auto offset =
                smartAttributeOffset(block, static_cast<std::uint8_t>(attribute.id));
            ASSERT_TRUE(offset) << "attribute " << attribute.id << " is not in the block";
            const std::uint8_t* entry = &block[*offset];
            EXPECT_EQ(entry[1] | (entry[2] << 8), attribute.flags) << "flags of " << attribute.id;
            EXPECT_EQ(entry[3], attribute.value) << "value of " << attribute.id;
            EXPECT_EQ(entry[4], attribute.worst) << "worst of " << attribute.id;
            std::uint64_t raw = 0;
            for (int byte = 5; byte >= 0; --byte)
                raw = (raw << 8) | entry[kSmartAttributeRawOffset + byte];
            EXPECT_EQ(raw, attribute.raw) << "raw value of " << attribute.id;
        }
        std::vector<unsigned> blockIds = attributeIds(block);
        blockIds.erase(std::remove(blockIds.begin(), blockIds.end(), 0u), blockIds.end());
        EXPECT_EQ(blockIds, smartctlIds) << table.output;
    }
}

TEST_F(GuestSmart, ADiskWithAttribute190AndNo194IsFollowedByIt) {
    const auto disks = ataDisks();
    ASSERT_FALSE(disks.empty());
    // The daemon's own composition of the Linux disks, with the system calls unrecorded.
    LinuxDisks linuxDisks;
    DiskAccess access(&linuxDisks.registry(), &linuxDisks.smartBackend());
    for (const GuestDisk* disk : disks) {
        const SmartctlTable table = runSmartctlAttributes("/dev/" + disk->kernelName);
        const auto airflow = std::find_if(table.attributes.begin(), table.attributes.end(),
                                          [](const SmartctlAttribute& a) { return a.id == 190; });
        ASSERT_NE(airflow, table.attributes.end()) << table.output;
        const auto expected = static_cast<unsigned>(airflow->raw & 0xFF);
        EXPECT_EQ(expected, 31u) << "QEMU's fixed table";

        const std::string name = machine_.bsdNameOf(*disk);
        EXPECT_EQ(access.reader().readDriveTemperature(name.c_str()), expected) << name;
        EXPECT_EQ(access.reader().lastTemperatureSource(), TemperatureSource::Attribute190);
        syscalls_.clear();
        EXPECT_EQ(reader_.readDriveTemperature(name.c_str()), expected);
        // Found in the table: the SCT status page, which this drive lacks, is not asked for.
        EXPECT_EQ(syscalls_.exchanges().size(), 3u) << describe(syscalls_.exchanges());
    }
}

TEST_F(GuestSmart, EveryNameOfADiskOpensThatDisksNodeAlone) {
    for (const GuestDisk* disk : ataDisks()) {
        const std::string bsd = machine_.bsdNameOf(*disk);
        const std::string number = bsd.substr(4);
        for (const std::string& name : {bsd, "/dev/disk" + number, "/dev/rdisk" + number,
                                        disk->kernelName, "/dev/" + disk->kernelName}) {
            syscalls_.clear();
            SmartDataBlock block{};
            ASSERT_TRUE(readBlock(name, block)) << name;
            EXPECT_THAT(syscalls_.deviceNodesOpened(), ElementsAre("/dev/" + disk->kernelName))
                << name;
        }
    }
}

}  // namespace
}  // namespace drivetherm::guest
