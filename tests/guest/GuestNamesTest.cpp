// SPDX-License-Identifier: GPL-2.0-or-later
// Names that are not whole ATA disks, given to the SMART reader on a real kernel: each ends in
// the outcome the reader promises for it, opens nothing outside the device directory and
// returns promptly.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "tests/guest/GuestFixture.h"

namespace drivetherm::guest {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Longer than this and a name made the reader wait on a drive (six time-outs cost six seconds).
constexpr std::chrono::seconds kPrompt{3};

class GuestNames : public GuestFixture {
protected:
    // Opens `name`, expecting -1 and `error`; then the full temperature read, expecting 0.
    void expectRefused(const std::string& name, int error) {
        syscalls_.clear();
        const auto start = std::chrono::steady_clock::now();
        errno = 0;
        const int slot = reader_.openSmartDevice(name.c_str(), "ATA");
        const int actual = errno;
        if (slot >= 0) reader_.closeSmartDevice(slot);
        EXPECT_EQ(slot, -1) << "\"" << name << "\" opened a SMART device";
        EXPECT_EQ(actual, error) << "\"" << name << "\": errno " << actual;
        EXPECT_EQ(reader_.readDriveTemperature(name.c_str()), 0) << name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, kPrompt) << name;
        EXPECT_THAT(syscalls_.deviceNodesOpened(), IsEmpty())
            << "\"" << name << "\" opened a device node";
        for (const auto& open : syscalls_.opens())
            EXPECT_TRUE(open.path.starts_with("/sys/") || open.path.starts_with("/dev/"))
                << open.path;
    }
};

TEST_F(GuestNames, DevNullIsNoDiskAndNothingIsOpened) {
    expectRefused("/dev/null", ENOENT);
    expectRefused("null", ENOENT);
}

TEST_F(GuestNames, NamesThatClimbOutOfTheDeviceDirectoryFindNothingAndOpenNothing) {
    const GuestDisk& first = machine_.disks().at(0);
    const std::vector<std::string> names{"/dev/../dev/" + first.kernelName,
                                         "../" + first.kernelName,
                                         "/dev/disk0/..",
                                         "disk0/../disk1",
                                         "/dev/" + first.kernelName + "/..",
                                         first.kernelName + "/../" + first.kernelName,
                                         ".."};
    for (const std::string& name : names) expectRefused(name, ENOENT);
}

TEST_F(GuestNames, NamesOfNoDiskFindNothing) {
    const GuestDisk& first = machine_.disks().at(0);
    const std::string beyond = "disk" + std::to_string(machine_.disks().size());
    const std::vector<std::string> names{beyond,
                                         "/dev/" + beyond,
                                         "/dev/sdz",
                                         "",
                                         "/sys/class/block/" + first.kernelName,
                                         "/dev/" + first.kernelName + "/"};
    for (const std::string& name : names) expectRefused(name, ENOENT);
}

TEST_F(GuestNames, APartitionIsReadThroughItsWholeDisk) {
    const GuestDisk* disk = machine_.diskWithSerial(machine_.partitionedSerial());
    ASSERT_NE(disk, nullptr) << "no disk has the serial " << machine_.partitionedSerial();
    ASSERT_THAT(disk->partitions, ElementsAre(disk->kernelName + "1"))
        << "the image's partition table was not read";
    SmartDataBlock whole{};
    ASSERT_TRUE(readBlock(machine_.bsdNameOf(*disk), whole));
    for (const std::string& name : {disk->kernelName + "1", "/dev/" + disk->kernelName + "1",
                                    machine_.bsdNameOf(*disk) + "s1"}) {
        syscalls_.clear();
        SmartDataBlock block{};
        ASSERT_TRUE(readBlock(name, block)) << name;
        EXPECT_EQ(block, whole) << name;
        // SMART belongs to the drive: the partition's own node is never opened for it.
        EXPECT_THAT(syscalls_.deviceNodesOpened(), ElementsAre("/dev/" + disk->kernelName)) << name;
    }
    // The slice of a disk without partitions does not exist.
    expectRefused(machine_.bsdNameOf(*disk) + "s2", ENOENT);
}

TEST_F(GuestNames, TheCdRomIsNoSmartDiskAndIsNotOpened) {
    const GuestDisk* cdrom = machine_.firstNonAtaDisk();
    ASSERT_NE(cdrom, nullptr) << "this machine has no CD-ROM drive";
    ASSERT_TRUE(cdrom->kernelName.starts_with("sr")) << cdrom->kernelName;
    // A whole disk to the registry, but no ATA device that supports SMART lies above it.
    for (const std::string& name :
         {cdrom->kernelName, "/dev/" + cdrom->kernelName, machine_.bsdNameOf(*cdrom)})
        expectRefused(name, ENODEV);
}

TEST_F(GuestNames, AnotherDeviceTypeThanAtaIsRefusedBeforeAnyLookUp) {
    syscalls_.clear();
    errno = 0;
    EXPECT_EQ(reader_.openSmartDevice("disk0", "SCSI"), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_THAT(syscalls_.opens(), IsEmpty());
}

}  // namespace
}  // namespace drivetherm::guest
