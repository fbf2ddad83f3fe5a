// SPDX-License-Identifier: GPL-2.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DiskFakes.h"
#include "LinuxFakes.h"
#include "hardware/disk/DriveWalk.h"
#include "hardware/disk/SmartReader.h"
#include "hardware/disk/linux/SgioSmartBackend.h"
#include "hardware/disk/linux/UdevDeviceRegistry.h"

namespace drivetherm {
namespace {

using test::FakeSysfs;
using test::ScriptedSyscalls;
using ::testing::ElementsAre;

// udev's properties of a SATA disk that supports SMART.
std::map<std::string, std::string> sataDisk(const std::string& encodedModel) {
    return {{"ID_ATA", "1"},
            {"ID_ATA_FEATURE_SET_SMART", "1"},
            {"ID_ATA_FEATURE_SET_SMART_ENABLED", "1"},
            {"ID_MODEL_ENC", encodedModel},
            {"ID_BUS", "ata"}};
}

class UdevDeviceRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { syscalls_.diskPrefix = (sysfs_.root() / "dev").string() + "/"; }
    void TearDown() override { EXPECT_EQ(registry_.outstandingReferences(), 0u); }

    // The path of the disk node the last read opened, relative to the fake root.
    std::string openedDisk() const {
        std::string opened;
        for (const auto& call : syscalls_.calls)
            if (call.what == "open" && call.path.starts_with(syscalls_.diskPrefix))
                opened = call.path.substr(syscalls_.diskPrefix.size());
        return opened;
    }

    void answerReads(const SmartDataBlock& block) {
        syscalls_.answers[test::kCheckPowerMode] = {ScriptedSyscalls::powerMode(0xFF)};
        syscalls_.answers[test::kSmartEnable] = {{}};
        syscalls_.answers[test::kSmartRead] = {ScriptedSyscalls::smartData(block)};
    }

    FakeSysfs sysfs_;
    ManualClock clock_;
    UdevDeviceRegistry registry_{sysfs_.roots(), clock_};
    ScriptedSyscalls syscalls_;
    SgioSmartBackend backend_{sysfs_.roots(), syscalls_};
    SmartReader reader_{&registry_, &backend_, clock_};
    DriveWalk walk_{&registry_};
};

TEST_F(UdevDeviceRegistryTest, WholeDisksAreNumberedInKernelNameOrderAndListedByModel) {
    sysfs_.addDisk({.name = "sdb",
                    .major_minor = "8:16",
                    .udev = sataDisk("WDC\\x20WD10EZEX-08M2NA0\\x20\\x20")});
    sysfs_.addDisk({.name = "sdaa", .major_minor = "65:160", .udev = sataDisk("ST31000528AS")});
    sysfs_.addDisk({.name = "sda",
                    .major_minor = "8:0",
                    .udev = sataDisk("APPLE\\x20HDD\\x20HTS541010A9E682")});
    sysfs_.addDisk({.name = "loop0", .major_minor = "7:0", .isVirtual = true});
    // No udev database entry: ATA by its sysfs vendor, but nothing says it supports SMART.
    sysfs_.addDisk({.name = "sdc",
                    .major_minor = "8:32",
                    .model = "SAMSUNG HD501LJ \n",
                    .vendor = "ATA     \n"});
    // A USB stick udev knows, without SMART.
    sysfs_.addDisk({.name = "sdd",
                    .major_minor = "8:48",
                    .udev = {{"ID_MODEL_ENC", "Flash\\x20Disk"}, {"ID_BUS", "usb"}}});

    RegistryIterator iterator;
    ASSERT_EQ(walk_.FindStorageMedia(&iterator), kIOReturnSuccess);
    EXPECT_THAT(walk_.GetDriveNameArray(iterator),
                ElementsAre("APPLE HDD HTS541010A9E682", "WDC WD10EZEX-08M2NA0", "ST31000528AS"));
    EXPECT_EQ(walk_.GetBSDNameForDriveName("APPLE HDD HTS541010A9E682"), "disk0");
    EXPECT_EQ(walk_.GetBSDNameForDriveName("WDC WD10EZEX-08M2NA0"), "disk1");
    EXPECT_EQ(walk_.GetBSDNameForDriveName("SAMSUNG HD501LJ"), std::nullopt);
    EXPECT_EQ(walk_.GetBSDNameForDriveName("ST31000528AS"), "disk4");
    EXPECT_EQ(walk_.volumeNameWithBSDPath("disk2"), "SAMSUNG HD501LJ");
    EXPECT_EQ(walk_.volumeNameWithBSDPath("disk3"), "Flash Disk");
    EXPECT_EQ(walk_.volumeNameWithBSDPath("disk5"), std::nullopt) << "the loop device is no disk";

    const RegistryEntry sdc = registry_.entryFromPath("sdc");
    ASSERT_TRUE(sdc);
    RegistryEntry device =
        registry_.parentEntry(registry_.parentEntry(sdc, kIOServicePlane), kIOServicePlane);
    EXPECT_TRUE(registry_.conformsTo(device, kIOATABlockStorageDeviceClass));
    EXPECT_FALSE(isSmartCapable(device));
    const RegistryEntry sdd = registry_.entryFromPath("/dev/sdd");
    device = registry_.parentEntry(registry_.parentEntry(sdd, kIOServicePlane), kIOServicePlane);
    EXPECT_TRUE(registry_.conformsTo(device, kIOBlockStorageDeviceClass));
    EXPECT_FALSE(registry_.conformsTo(device, kIOATABlockStorageDeviceClass));
}

TEST_F(UdevDeviceRegistryTest, WithoutUdevsDatabaseTheDrivesOwnIdentifyDataTellsSmartSupport) {
    // The ATA Information page QEMU's IDE disk gave a real kernel, and the same page of a
    // drive that does not support SMART (word 82 bit 0 cleared).
    std::string supports;
    {
        std::ifstream file(DRIVETHERM_TEST_DATA "/disk/ata-information-qemu-ide-disk.hex");
        std::string line;
        while (std::getline(file, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream bytes(line.substr(line.find(':') + 1));
            for (unsigned byte = 0; bytes >> std::hex >> byte;) supports += static_cast<char>(byte);
        }
    }
    ASSERT_EQ(supports.size(), 572u);
    std::string lacks = supports;
    lacks[60 + 2 * 82] = static_cast<char>(lacks[60 + 2 * 82] & ~0x01);

    const std::string ata = "ATA     \n";
    sysfs_.addDisk({.name = "sda",
                    .major_minor = "8:0",
                    .model = "DRIVETHERM GUEST\n",
                    .vendor = ata,
                    .ataInformation = supports});
    sysfs_.addDisk({.name = "sdb",
                    .major_minor = "8:16",
                    .model = "NO SMART HERE   \n",
                    .vendor = ata,
                    .ataInformation = lacks});
    // udev's word wins where udev identified the disk: it found no SMART on this one.
    sysfs_.addDisk({.name = "sdc",
                    .major_minor = "8:32",
                    .udev = {{"ID_ATA", "1"}, {"ID_MODEL_ENC", "Udev\\x20Says\\x20No"}},
                    .model = "Udev Says No    \n",
                    .vendor = ata,
                    .ataInformation = supports});
    answerReads(test::blockWith({{194, 33}}));

    RegistryIterator iterator;
    ASSERT_EQ(walk_.FindStorageMedia(&iterator), kIOReturnSuccess);
    EXPECT_THAT(walk_.GetDriveNameArray(iterator), ElementsAre("DRIVETHERM GUEST"));
    EXPECT_EQ(walk_.GetBSDNameForDriveName("DRIVETHERM GUEST"), "disk0");
    EXPECT_EQ(reader_.readDriveTemperature("disk0"), 33);
    errno = 0;
    EXPECT_EQ(reader_.openSmartDevice("disk1", "ATA"), -1);
    EXPECT_EQ(errno, ENODEV);
    errno = 0;
    EXPECT_EQ(reader_.openSmartDevice("disk2", "ATA"), -1);
    EXPECT_EQ(errno, ENODEV);
}

TEST_F(UdevDeviceRegistryTest, ACdRomDriveIsAWholeDiskButNeverSmartCapable) {
    sysfs_.addDisk({.name = "sda", .major_minor = "8:0", .udev = sataDisk("First")});
    // The properties udev gave QEMU's ATAPI CD-ROM drive on a real kernel: ATA, but no SMART.
    sysfs_.addDisk({.name = "sr0",
                    .major_minor = "11:0",
                    .udev = {{"ID_CDROM", "1"},
                             {"ID_ATA", "1"},
                             {"ID_TYPE", "cd"},
                             {"ID_BUS", "ata"},
                             {"ID_MODEL_ENC", "QEMU\\x20DVD-ROM\\x20\\x20\\x20"},
                             {"ID_SERIAL_SHORT", "QM00003"}},
                    .model = "QEMU DVD-ROM    \n",
                    .vendor = "QEMU    \n"});
    answerReads(test::blockWith({{194, 30}}));

    RegistryIterator iterator;
    ASSERT_EQ(walk_.FindStorageMedia(&iterator), kIOReturnSuccess);
    EXPECT_THAT(walk_.GetDriveNameArray(iterator), ElementsAre("First"));
    EXPECT_EQ(walk_.volumeNameWithBSDPath("disk1"), "QEMU DVD-ROM");
    EXPECT_EQ(walk_.GetBSDNameForDriveName("QEMU DVD-ROM"), std::nullopt);
    for (const char* name : {"disk1", "sr0", "/dev/sr0"}) {
        SCOPED_TRACE(name);
        syscalls_.calls.clear();
        errno = 0;
        EXPECT_EQ(reader_.openSmartDevice(name, "ATA"), -1);
        EXPECT_EQ(errno, ENODEV);
        EXPECT_EQ(syscalls_.count("open"), 0);
    }
}

TEST_F(UdevDeviceRegistryTest, EveryNameFormReadsTheSameDisk) {
    sysfs_.addDisk(
        {.name = "sda", .major_minor = "8:0", .udev = sataDisk("First"), .partitions = {1, 2}});
    sysfs_.addDisk({.name = "sdb", .major_minor = "8:16", .udev = sataDisk("Second")});
    answerReads(test::blockWith({{194, 36}}));
    const std::string devRoot = sysfs_.roots().dev;
    struct Case {
        std::string name;
        const char* disk;
    };
    const Case cases[] = {
        {"disk1", "sdb"},
        {"/dev/disk1", "sdb"},
        {"/dev/rdisk1", "sdb"},
        {"sdb", "sdb"},
        {"/dev/sdb", "sdb"},
        {devRoot + "/sdb", "sdb"},
        {"IOService:/sdb/IOBlockStorageDriver/disk1", "sdb"},
        {"disk0s2", "sda"},
        {"sda2", "sda"},
        {"/dev/sda1", "sda"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        syscalls_.calls.clear();
        EXPECT_EQ(reader_.readDriveTemperature(c.name.c_str()), 36);
        EXPECT_EQ(openedDisk(), c.disk);
    }
}

TEST_F(UdevDeviceRegistryTest, AGivenDeviceDirectoryIsWhereDisksAreNamedAndOpened) {
    sysfs_.addDisk({.name = "sda", .major_minor = "8:0", .udev = sataDisk("First")});
    answerReads(test::blockWith({{194, 41}}));
    const std::string nodes = (sysfs_.root() / "nodes").string();
    const UdevRoots roots = UdevRoots::forSysfsRoot(sysfs_.sys().string(), nodes);
    EXPECT_EQ(roots.sysfs, sysfs_.sys().string());
    EXPECT_EQ(roots.dev, nodes);
    EXPECT_EQ(roots.udevData, sysfs_.roots().udevData);

    UdevDeviceRegistry registry(roots, clock_);
    SgioSmartBackend backend(roots, syscalls_);
    SmartReader reader(&registry, &backend, clock_);
    syscalls_.diskPrefix = nodes + "/";
    EXPECT_TRUE(registry.entryFromPath(nodes + "/sda"));
    EXPECT_FALSE(registry.entryFromPath(sysfs_.roots().dev + "/sda"));
    EXPECT_EQ(reader.readDriveTemperature("disk0"), 41);
    EXPECT_EQ(openedDisk(), "sda");
    EXPECT_EQ(registry.outstandingReferences(), 0u);
}

TEST_F(UdevDeviceRegistryTest, NamesThatCouldLeaveTheDeviceDirectoryFindNoDisk) {
    sysfs_.addDisk({.name = "sda", .major_minor = "8:0", .udev = sataDisk("First")});
    // A link in class/block that leads out of the sysfs tree is not followed.
    std::filesystem::create_directories(sysfs_.root() / "outside" / "sdx");
    FakeSysfs::write(sysfs_.root() / "outside" / "sdx" / "uevent",
                     "DEVTYPE=disk\nMAJOR=8\nMINOR=99\n");
    std::filesystem::create_directory_symlink(sysfs_.root() / "outside" / "sdx",
                                              sysfs_.sys() / "class" / "block" / "sdx");
    answerReads(test::blockWith({{194, 36}}));

    const std::string devRoot = sysfs_.roots().dev;
    for (const std::string& name :
         {std::string("../sda"), std::string("/dev/../dev/sda"), devRoot + "/../dev/sda",
          std::string("sda/.."), std::string("/etc/passwd"), std::string("sdx"),
          std::string("disk1"), std::string(2000, 's')}) {
        SCOPED_TRACE(name.substr(0, 40));
        syscalls_.calls.clear();
        errno = 0;
        EXPECT_EQ(reader_.openSmartDevice(name.c_str(), "ATA"), -1);
        EXPECT_EQ(errno, ENOENT);
        EXPECT_EQ(syscalls_.count("open"), 0);
    }
    EXPECT_FALSE(registry_.entryFromPath(std::string("sda\0/../../etc", 14)));
    EXPECT_FALSE(registry_.serviceMatchingBsdName(std::string("disk0\0", 6)));
}

TEST_F(UdevDeviceRegistryTest, ADiskPluggedInOrRemovedShowsAtTheNextLookUp) {
    sysfs_.addDisk({.name = "sda", .major_minor = "8:0", .udev = sataDisk("First")});
    EXPECT_EQ(walk_.GetBSDNameForDriveName("Second"), std::nullopt);
    sysfs_.addDisk({.name = "sdb", .major_minor = "8:16", .udev = sataDisk("Second")});
    EXPECT_EQ(walk_.GetBSDNameForDriveName("Second"), "disk1");

    // Descriptions asked for on their own reuse the last listing for a second.
    std::filesystem::remove(sysfs_.sys() / "class" / "block" / "sdb");
    EXPECT_EQ(walk_.volumeNameWithBSDPath("disk1"), "Second");
    clock_.advance(std::chrono::seconds(1));
    EXPECT_EQ(walk_.volumeNameWithBSDPath("disk1"), std::nullopt);
    EXPECT_EQ(walk_.GetBSDNameForDriveName("Second"), std::nullopt);
}

TEST_F(UdevDeviceRegistryTest, ATreeThatCannotBeListedIsNoDiskAtAll) {
    std::filesystem::remove_all(sysfs_.sys() / "class");
    RegistryIterator iterator;
    EXPECT_EQ(walk_.FindStorageMedia(&iterator), kIOReturnError);
    EXPECT_EQ(walk_.GetBSDNameForDriveName("First"), std::nullopt);
    EXPECT_EQ(reader_.readDriveTemperature("disk0"), 0);
}

TEST_F(UdevDeviceRegistryTest, ADiskThatTimesOutTwiceIsReadOnTheThirdAttemptAndABusyOneAtNone) {
    sysfs_.addDisk({.name = "sda", .major_minor = "8:0", .udev = sataDisk("First")});
    answerReads(test::blockWith({{194, 44}}));
    syscalls_.answers[test::kSmartRead].push_front(ScriptedSyscalls::hostTimeout());
    syscalls_.answers[test::kSmartRead].push_front(ScriptedSyscalls::hostTimeout());
    EXPECT_EQ(reader_.readDriveTemperature("disk0"), 44);
    EXPECT_EQ(clock_.sleeps(), 2);
    syscalls_.answers[test::kSmartRead] = {ScriptedSyscalls::failsWith(EBUSY)};
    EXPECT_EQ(reader_.readDriveTemperature("disk0"), 0);
    EXPECT_EQ(clock_.sleeps(), 2) << "a busy disk is not retried";
    EXPECT_EQ(syscalls_.count("open"), syscalls_.count("close"));
}

}  // namespace
}  // namespace drivetherm
