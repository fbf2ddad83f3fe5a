// SPDX-License-Identifier: GPL-2.0-or-later
// The guest's disks as the device registry, the drive list and the disk selection see them,
// against what the kernel (and udev, in the runs where it ran) shows of the same disks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hardware/disk/DriveWalk.h"
#include "tests/guest/GuestFixture.h"

namespace drivetherm::guest {
namespace {

using ::testing::ElementsAreArray;

class GuestDisks : public GuestFixture {
protected:
    // The registry's storage devices in its order: kernel name, BSD name of the whole-disk media
    // and whether the device counts as SMART-capable.
    struct Listed {
        std::string kernelName;
        std::string bsdName;
        bool smartCapable = false;
        bool operator==(const Listed&) const = default;
    };
    std::vector<Listed> listed() {
        std::vector<Listed> result;
        RegistryIterator iterator;
        EXPECT_EQ(walk_.FindStorageMedia(&iterator), kIOReturnSuccess);
        for (RegistryEntry device = iterator.next(); device; device = iterator.next()) {
            Listed entry;
            if (const auto name = registry_.property(device, "Kernel Name"); name && name->string())
                entry.kernelName = *name->string();
            RegistryEntry driver = registry_.childEntry(device, kIOServicePlane);
            RegistryEntry media = registry_.childEntry(driver, kIOServicePlane);
            if (const auto bsd = registry_.property(media, kBsdNameKey); bsd && bsd->string())
                entry.bsdName = *bsd->string();
            entry.smartCapable = isSmartCapable(device);
            result.push_back(entry);
        }
        return result;
    }
};

TEST_F(GuestDisks, TheDisksAreTheOnesTheEmulatorWasGivenAndUdevsDatabaseIsThereExactlyWhenSaid) {
    for (const GuestDisk* disk : ataDisks()) {
        // The kernel's own view of the drive QEMU emulates: its rotation rate decides whether
        // the block layer counts it as rotating.
        if (disk->expectedRotation != 0) {
            EXPECT_EQ(disk->rotational, disk->expectedRotation != 1) << disk->kernelName;
        }
        ASSERT_FALSE(disk->majorMinor.empty()) << disk->kernelName;
        const auto database = readTextFile("/run/udev/data/b" + disk->majorMinor);
        if (machine_.withUdev()) {
            ASSERT_TRUE(database) << "udev recorded nothing for " << disk->kernelName;
            EXPECT_NE(database->find("E:ID_ATA_FEATURE_SET_SMART=1\n"), std::string::npos)
                << *database;
            EXPECT_NE(database->find("E:ID_MODEL_ENC="), std::string::npos) << *database;
            EXPECT_NE(database->find("E:ID_SERIAL_SHORT=" + disk->serial + "\n"), std::string::npos)
                << *database;
            if (disk->expectedRotation > 1) {
                const std::string rate =
                    "E:ID_ATA_ROTATION_RATE_RPM=" + std::to_string(disk->expectedRotation) + "\n";
                EXPECT_NE(database->find(rate), std::string::npos) << *database;
            }
        } else {
            EXPECT_FALSE(database) << "udev's database exists in a run without udev: " << *database;
        }
    }
}

TEST_F(GuestDisks, TheRegistryNamesEveryWholeDiskDiskNInKernelNameOrder) {
    ASSERT_FALSE(machine_.disks().empty()) << "the guest's kernel shows no disk";
    std::vector<Listed> expected;
    for (const GuestDisk& disk : machine_.disks())
        expected.push_back({disk.kernelName, machine_.bsdNameOf(disk), disk.isAta()});
    const auto actual = listed();
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].kernelName, expected[i].kernelName) << "entry " << i;
        EXPECT_EQ(actual[i].bsdName, "disk" + std::to_string(i)) << expected[i].kernelName;
    }
}

TEST_F(GuestDisks, EveryAtaDiskIsSmartCapableAndNothingElseIs) {
    const auto actual = listed();
    ASSERT_EQ(actual.size(), machine_.disks().size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        const GuestDisk& disk = machine_.disks()[i];
        // QEMU's hard disks support SMART and say so in IDENTIFY DEVICE; its CD-ROM does not.
        EXPECT_EQ(actual[i].smartCapable, disk.isAta())
            << disk.kernelName << " (vendor \"" << disk.vendor << "\", "
            << (machine_.withUdev() ? "with" : "without") << " udev)";
    }
}

TEST_F(GuestDisks, EachDiskCarriesTheFullModelWithUdevAndTheKernelsSixteenCharactersWithout) {
    for (const GuestDisk* disk : ataDisks()) {
        ASSERT_TRUE(disk->expectedModel);
        // The kernel's SCSI view of an ATA disk keeps only the first 16 characters of its model.
        EXPECT_EQ(disk->sysfsModel, withoutTrailingBlanks(disk->expectedModel->substr(0, 16)));
        EXPECT_EQ(walk_.volumeNameWithBSDPath(machine_.bsdNameOf(*disk)),
                  machine_.listedModelOf(*disk))
            << disk->kernelName;
    }
    if (const GuestDisk* other = machine_.firstNonAtaDisk()) {
        EXPECT_EQ(walk_.volumeNameWithBSDPath(machine_.bsdNameOf(*other)), other->sysfsModel)
            << other->kernelName;
    }
}

TEST_F(GuestDisks, TheDriveListAndTheDiskSelectionAgree) {
    std::vector<std::string> expected;
    for (const GuestDisk& disk : machine_.disks())
        if (disk.isAta()) expected.push_back(machine_.listedModelOf(disk));
    ASSERT_EQ(expected.size(), machine_.expectedSerials().size())
        << "not every emulated ATA disk is in /sys";

    RegistryIterator iterator;
    ASSERT_EQ(walk_.FindStorageMedia(&iterator), kIOReturnSuccess);
    const std::vector<std::string> names = walk_.GetDriveNameArray(iterator);
    EXPECT_THAT(names, ElementsAreArray(expected));

    // Every name the list offers resolves to the disk it came from.
    for (const GuestDisk* disk : ataDisks()) {
        EXPECT_EQ(walk_.GetBSDNameForDriveName(machine_.listedModelOf(*disk)),
                  machine_.bsdNameOf(*disk))
            << machine_.listedModelOf(*disk);
        // The other run's form of the model (cut or whole) is not this run's name of the disk.
        const std::string other = machine_.otherRunModelOf(*disk);
        if (other != machine_.listedModelOf(*disk)) {
            EXPECT_EQ(walk_.GetBSDNameForDriveName(other), std::nullopt) << other;
        }
    }
    if (const GuestDisk* cdrom = machine_.firstNonAtaDisk()) {
        EXPECT_EQ(walk_.GetBSDNameForDriveName(cdrom->sysfsModel), std::nullopt)
            << "a drive without SMART is never chosen";
    }
    EXPECT_EQ(walk_.GetBSDNameForDriveName("No Such Drive"), std::nullopt);
    EXPECT_EQ(walk_.GetBSDNameForDriveName(""), std::nullopt);
}

}  // namespace
}  // namespace drivetherm::guest
