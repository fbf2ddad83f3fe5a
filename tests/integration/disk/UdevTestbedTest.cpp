// SPDX-License-Identifier: GPL-2.0-or-later
// The Linux disk registry over libudev, against a umockdev testbed of block devices.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <umockdev.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/DriveWalk.h"
#include "hardware/disk/SmartReader.h"
#include "hardware/disk/linux/SgioSmartBackend.h"
#include "hardware/disk/linux/UdevDeviceRegistry.h"
#include "hardware/disk/linux/UdevLibrarySource.h"
#include "hardware/disk/linux/UdevTreeSource.h"
#include "tests/unit/disk/DiskFakes.h"
#include "tests/unit/disk/LinuxFakes.h"

namespace drivetherm {
namespace {

using ::testing::ElementsAre;

// A SATA disk udev has seen (with a partition), a disk known only to sysfs, a USB stick and a
// loop device, as umockdev-record would write them.
constexpr const char* kMachine =
    "P: /devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda\n"
    "N: sda\n"
    "E: DEVNAME=/dev/sda\nE: DEVTYPE=disk\nE: SUBSYSTEM=block\nE: MAJOR=8\nE: MINOR=0\n"
    "E: ID_ATA=1\nE: ID_ATA_FEATURE_SET_SMART=1\nE: ID_ATA_FEATURE_SET_SMART_ENABLED=1\n"
    "E: ID_MODEL_ENC=APPLE\\x20HDD\\x20HTS541010A9E682\\x20\\x20\\x20\n"
    "A: dev=8:0\nA: device/model=APPLE HDD HTS541\nA: device/vendor=ATA     \nA: "
    "device/power/runtime_status=active\n"
    "\n"
    "P: /devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda/sda1\n"
    "N: sda1\nE: DEVNAME=/dev/sda1\nE: DEVTYPE=partition\nE: SUBSYSTEM=block\nE: MAJOR=8\nE: "
    "MINOR=1\nE: PARTN=1\n"
    "A: dev=8:1\nA: partition=1\n"
    "\n"
    "P: /devices/pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0/block/sdb\n"
    "N: sdb\nE: DEVNAME=/dev/sdb\nE: DEVTYPE=disk\nE: SUBSYSTEM=block\nE: MAJOR=8\nE: MINOR=16\n"
    "A: dev=8:16\nA: device/model=SAMSUNG HD501LJ \nA: device/vendor=ATA     \n"
    "\n"
    "P: /devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host2/target2:0:0/2:0:0:0/block/sdc\n"
    "N: sdc\nE: DEVNAME=/dev/sdc\nE: DEVTYPE=disk\nE: SUBSYSTEM=block\nE: MAJOR=8\nE: MINOR=32\n"
    "E: ID_BUS=usb\nE: ID_MODEL_ENC=Flash\\x20Disk\\x20\\x20\n"
    "A: dev=8:32\nA: device/model=Flash Disk  \nA: device/vendor=Generic \n"
    "\n"
    "P: /devices/virtual/block/loop0\n"
    "N: loop0\nE: DEVNAME=/dev/loop0\nE: DEVTYPE=disk\nE: SUBSYSTEM=block\nE: MAJOR=7\nE: "
    "MINOR=0\nA: dev=7:0\n"
    "\n";

// A SATA disk only sysfs knows, with the ATA Information page (binary, "H:" in umockdev's
// format) that a real kernel showed for QEMU's IDE disk: its IDENTIFY data says SMART.
std::string diskWithAtaInformation() {
    std::ifstream file(DRIVETHERM_TEST_DATA "/disk/ata-information-qemu-ide-disk.hex");
    std::string hex;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream bytes(line.substr(line.find(':') + 1));
        for (std::string byte; bytes >> byte;) hex += byte;
    }
    return "P: /devices/pci0000:00/0000:00:1f.2/ata3/host3/target3:0:0/3:0:0:0/block/sdd\n"
           "N: sdd\nE: DEVNAME=/dev/sdd\nE: DEVTYPE=disk\nE: SUBSYSTEM=block\nE: MAJOR=8\nE: "
           "MINOR=48\n"
           "A: dev=8:48\nA: device/model=DRIVETHERM GUEST\nA: device/vendor=ATA     \n"
           "H: device/vpd_pg89=" +
           hex + "\n\n";
}

class UdevTestbedTest : public ::testing::Test {
protected:
    void SetUp() override {
        testbed_ = umockdev_testbed_new();
        if (!umockdev_in_mock_environment())
            GTEST_SKIP() << "umockdev's preload library (libumockdev-preload.so.0) is not active; "
                            "install umockdev or run under umockdev-wrapper";
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed_, kMachine, &error))
            << (error ? error->message : "");
        ASSERT_TRUE(
            umockdev_testbed_add_from_string(testbed_, diskWithAtaInformation().c_str(), &error))
            << (error ? error->message : "");
    }
    void TearDown() override {
        if (testbed_ != nullptr) g_object_unref(testbed_);
    }

    std::string root() const {
        gchar* directory = umockdev_testbed_get_root_dir(testbed_);
        std::string path = directory;
        g_free(directory);
        return path;
    }

    UMockdevTestbed* testbed_ = nullptr;
};

// What both listings must agree on; udev adds bookkeeping properties of its own, so only the
// ID_ ones are compared.
std::string summary(const UdevBlockDevice& device) {
    std::string text =
        device.sysname + " " + device.devtype + (device.isVirtual ? " virtual" : "") +
        " parent=" + device.parentSysname + " partition=" + std::to_string(device.partitionNumber) +
        " vendor=[" + device.vendor.value_or("-") + "] model=[" + device.model.value_or("-") + "]" +
        " ata-information=" +
        (device.ataInformation ? std::to_string(device.ataInformation->size()) : "-");
    for (const auto& [key, value] : device.properties)
        if (key.starts_with("ID_")) text += " " + key + "=" + value;
    return text;
}

std::vector<std::string> summaries(std::vector<UdevBlockDevice> devices) {
    std::vector<std::string> lines;
    for (const auto& device : devices) lines.push_back(summary(device));
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST_F(UdevTestbedTest, LibudevAndTheTreeReaderListTheSameDevices) {
    std::vector<UdevBlockDevice> fromLibudev;
    std::vector<UdevBlockDevice> fromTree;
    ASSERT_TRUE(UdevLibrarySource().scan(fromLibudev));
    ASSERT_TRUE(UdevTreeSource(root() + "/sys", root() + "/run/udev/data").scan(fromTree));
    EXPECT_EQ(fromLibudev.size(), 6u);
    EXPECT_EQ(summaries(fromLibudev), summaries(fromTree));
    const auto sdd = std::find_if(fromLibudev.begin(), fromLibudev.end(),
                                  [](const auto& d) { return d.sysname == "sdd"; });
    ASSERT_NE(sdd, fromLibudev.end());
    ASSERT_TRUE(sdd->ataInformation) << "libudev's listing lacks the binary page";
    EXPECT_EQ(sdd->ataInformation->size(), 572u) << "the page was cut at a NUL byte";
}

TEST_F(UdevTestbedTest, TheSystemRegistryListsAndReadsTheTestbedsDisks) {
    ManualClock clock;
    UdevDeviceRegistry registry({}, clock);
    test::ScriptedSyscalls syscalls;
    syscalls.diskPrefix = "/dev/";
    SgioSmartBackend backend({}, syscalls);
    SmartReader reader(&registry, &backend, clock);
    DriveWalk walk(&registry);

    RegistryIterator iterator;
    ASSERT_EQ(walk.FindStorageMedia(&iterator), kIOReturnSuccess);
    EXPECT_THAT(walk.GetDriveNameArray(iterator),
                ElementsAre("APPLE HDD HTS541010A9E682", "DRIVETHERM GUEST"));
    EXPECT_EQ(walk.volumeNameWithBSDPath("disk1"), "SAMSUNG HD501LJ");
    EXPECT_EQ(walk.volumeNameWithBSDPath("disk2"), "Flash Disk");
    EXPECT_EQ(walk.volumeNameWithBSDPath("disk4"), std::nullopt);
    EXPECT_EQ(walk.GetBSDNameForDriveName("APPLE HDD HTS541010A9E682"), "disk0");
    EXPECT_EQ(walk.GetBSDNameForDriveName("DRIVETHERM GUEST"), "disk3")
        << "SMART support told by its IDENTIFY data";

    syscalls.answers[test::kCheckPowerMode] = {test::ScriptedSyscalls::powerMode(0xFF)};
    syscalls.answers[test::kSmartEnable] = {{}};
    syscalls.answers[test::kSmartRead] = {
        test::ScriptedSyscalls::smartData(test::blockWith({{190, 33}, {194, 35}}))};
    for (const char* name : {"disk0", "/dev/rdisk0", "disk0s1", "sda", "/dev/sda1"}) {
        SCOPED_TRACE(name);
        syscalls.calls.clear();
        EXPECT_EQ(reader.readDriveTemperature(name), 35);
        ASSERT_GE(syscalls.calls.size(), 4u);
        EXPECT_EQ(syscalls.calls[0].path, "/sys/class/block/sda/device/power/runtime_status");
        EXPECT_EQ(syscalls.calls[1].what, "read") << "the testbed's power status file was read";
        EXPECT_EQ(syscalls.calls[3].path, "/dev/sda");
    }
    // The disk only sysfs knows is ATA, but nothing says it can report SMART.
    EXPECT_EQ(reader.readDriveTemperature("disk1"), 0);
    syscalls.calls.clear();
    EXPECT_EQ(reader.readDriveTemperature("disk3"), 35);
    std::vector<std::string> disksOpened;
    for (const auto& call : syscalls.calls)
        if (call.what == "open" && call.path.starts_with("/dev/")) disksOpened.push_back(call.path);
    EXPECT_THAT(disksOpened, ElementsAre("/dev/sdd"));
    EXPECT_EQ(registry.outstandingReferences(), 0u);
}

}  // namespace
}  // namespace drivetherm
