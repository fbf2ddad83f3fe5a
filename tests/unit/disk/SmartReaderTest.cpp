// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "DiskFakes.h"
#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/SmartReader.h"

namespace drivetherm {
namespace {

using test::FakeDriveScript;
using test::Smart;
using test::TestDisk;

class SmartReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry_.setTree(test::buildTree({
            {.bsdName = "disk0",
             .model = "APPLE HDD HTS541010A9E682",
             .partitions = {"disk0s1", "disk0s2"}},
            {.bsdName = "disk1",
             .model = "WDC WD10EZEX-08M2NA0",
             .smart = Smart::AtaFeatures,
             .ataFeatures = 0x21},
            {.bsdName = "disk2", .model = "No SMART", .smart = Smart::None},
            {.bsdName = "disk3", .model = "Says false", .smart = Smart::PropertyFalse},
            {.bsdName = "disk4",
             .model = "Old ATA",
             .smart = Smart::AtaFeatures,
             .ataFeatures = 0x1F},
        }));
    }

    void TearDown() override {
        for (int slot = 0; slot < kSmartDeviceTableSize; ++slot) reader_.closeSmartDevice(slot);
        EXPECT_EQ(registry_.outstandingReferences(), 0u) << "the reader kept a registry reference";
        EXPECT_EQ(backend_.log.interfacesAlive, 0);
        EXPECT_EQ(backend_.log.plugInsAlive, 0);
    }

    // The "Test Drive" of the device an open slot holds.
    std::string driveIn(int slot) {
        const auto name = registry_.property(
            reader_.smartDeviceTable()[static_cast<std::size_t>(slot)].service, "Test Drive");
        return name && name->string() ? *name->string() : "";
    }

    TreeRegistry registry_;
    test::FakeSmartBackend backend_;
    ManualClock clock_;
    SmartReader reader_{&registry_, &backend_, clock_};
};

struct NameCase {
    const char* name;
    const char* drive;  // "" when the open must fail
    int error;
};

TEST_F(SmartReaderTest, OpenSmartDeviceFindsTheDiskBehindEveryNameForm) {
    const std::string longName(kMaxDiskNameLength + 1, 'x');
    const NameCase cases[] = {
        {"disk0", "disk0", 0},
        {"/dev/disk1", "disk1", 0},
        {"/dev/rdisk1", "disk1", 0},
        {"disk0s2", "disk0", 0},      // a partition walks up to its disk
        {"alias-disk1", "disk1", 0},  // anything else is a registry path
        {"IOService:/port-disk1/device-disk1/driver/disk1", "disk1", 0},
        {"IOService:/port-disk1", "", ENODEV},  // nothing SMART-capable above a port
        {"disk9", "", ENOENT},
        {"/dev/rdisk9", "", ENOENT},
        {"dev/disk1", "", ENOENT},  // not a device path: looked up as a path
        {"", "", ENOENT},
        {"IOService:/port-disk1/../port-disk0", "", ENOENT},
        {longName.c_str(), "", ENOENT},
        {nullptr, "", ENOENT},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name ? std::string(c.name).substr(0, 60) : "(null)");
        errno = 0;
        const int slot = reader_.openSmartDevice(c.name, "ATA");
        if (c.error == 0) {
            ASSERT_GE(slot, 0) << "errno " << errno;
            EXPECT_EQ(driveIn(slot), c.drive);
            reader_.closeSmartDevice(slot);
        } else {
            EXPECT_EQ(slot, -1);
            EXPECT_EQ(errno, c.error);
        }
        EXPECT_EQ(registry_.outstandingReferences(), 0u);
    }
}

TEST_F(SmartReaderTest, TheWalkUpStopsAtTheFirstSmartCapableEntry) {
    struct Case {
        const char* name;
        bool opens;
    };
    const Case cases[] = {
        {"disk1", true},   // ATA features 0x21
        {"disk3", true},   // a "SMART Capable" property counts whatever its value
        {"disk4", false},  // ATA features 0x1F: nothing capable up to the root
        {"disk2", false},  // neither property nor ATA class
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        errno = 0;
        const int slot = reader_.openSmartDevice(c.name, "ATA");
        if (c.opens) {
            ASSERT_GE(slot, 0);
            EXPECT_EQ(driveIn(slot), c.name);
            reader_.closeSmartDevice(slot);
        } else {
            EXPECT_EQ(slot, -1);
            EXPECT_EQ(errno, ENODEV);
        }
    }
}

TEST_F(SmartReaderTest, AWrongDeviceTypeFailsWithoutTouchingTheTable) {
    for (const char* type : {"SCSI", "ata", "ATA ", "", static_cast<const char*>(nullptr)}) {
        errno = 0;
        EXPECT_EQ(reader_.openSmartDevice("disk0", type), -1);
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_EQ(registry_.outstandingReferences(), 0u);
    for (const auto& slot : reader_.smartDeviceTable()) EXPECT_FALSE(slot.service);
}

TEST_F(SmartReaderTest, AFullTableRefusesAndAClosedSlotIsTakenNext) {
    for (int expected = 0; expected < kSmartDeviceTableSize; ++expected)
        ASSERT_EQ(reader_.openSmartDevice("disk0", "ATA"), expected);
    errno = 0;
    EXPECT_EQ(reader_.openSmartDevice("disk0", "ATA"), -1);
    EXPECT_EQ(errno, EMFILE);
    EXPECT_EQ(reader_.closeSmartDevice(7), 0);
    EXPECT_EQ(reader_.openSmartDevice("disk1", "ATA"), 7);
    EXPECT_EQ(driveIn(7), "disk1");
}

TEST_F(SmartReaderTest, ReadSmartDataRetriesTimeOutsOneSecondApart) {
    using O = SmartOutcome;
    struct Case {
        const char* what;
        std::deque<SmartOutcome> outcomes;
        int result;
        int error;
        int reads;
        int sleeps;
        int readTakesMs = 0;  // how long each read waits on the drive
        int sleptMs = -1;     // -1: a whole second per pause
    };
    const Case cases[] = {
        {"success", {O::Success}, 0, 0, 1, 0},
        // The command time-out counts against the attempt's second: a hung drive costs six
        // seconds in all, not six plus the time-outs.
        {"six time-outs that each wait out their second",
         {O::Timeout},
         -1,
         ETIMEDOUT,
         6,
         0,
         1000,
         0},
        {"six time-outs of 400 ms", {O::Timeout}, -1, ETIMEDOUT, 6, 6, 400, 3600},
        {"two time-outs, then success", {O::Timeout, O::Timeout, O::Success}, 0, 0, 3, 2},
        {"not responding three times",
         {O::NotResponding, O::NotResponding, O::NotResponding, O::Success},
         0,
         0,
         4,
         3},
        {"time-out and not responding mixed",
         {O::Timeout, O::NotResponding, O::Timeout, O::Timeout, O::NotResponding, O::Success},
         0,
         0,
         6,
         5},
        {"six time-outs", {O::Timeout}, -1, ETIMEDOUT, 6, 6},
        {"a seventh attempt is never made",
         {O::Timeout, O::Timeout, O::Timeout, O::Timeout, O::Timeout, O::Timeout, O::Success},
         -1,
         ETIMEDOUT,
         6,
         6},
        {"exclusive access", {O::ExclusiveAccess}, -1, EBUSY, 1, 0},
        {"exclusive access after a time-out", {O::Timeout, O::ExclusiveAccess}, -1, EBUSY, 2, 1},
        {"another error", {O::OtherError}, -1, EIO, 1, 0},
        {"asleep", {O::Standby}, -1, EAGAIN, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        backend_.drives["disk0"].outcomes = c.outcomes;
        backend_.log = {};
        clock_ = ManualClock();
        backend_.duringRead = [&] { clock_.advance(std::chrono::milliseconds(c.readTakesMs)); };
        const int slot = reader_.openSmartDevice("disk0", "ATA");
        ASSERT_GE(slot, 0);
        SmartDataBlock buffer{};
        errno = 0;
        EXPECT_EQ(reader_.readSmartData(slot, buffer), c.result);
        if (c.result != 0) {
            EXPECT_EQ(errno, c.error);
        }
        EXPECT_EQ(backend_.log.reads, c.reads);
        EXPECT_EQ(backend_.log.enables, c.reads) << "SMART is enabled before every attempt";
        EXPECT_EQ(clock_.sleeps(), c.sleeps);
        EXPECT_EQ(clock_.slept(),
                  std::chrono::milliseconds(c.sleptMs >= 0 ? c.sleptMs : 1000 * c.sleeps));
        reader_.closeSmartDevice(slot);
    }
}

TEST_F(SmartReaderTest, ASlotWithoutSmartInterfaceOpensButCannotBeRead) {
    for (bool failPlugIn : {true, false}) {
        SCOPED_TRACE(failPlugIn ? "no plug-in" : "no interface from the plug-in");
        backend_.failPlugIn = failPlugIn;
        backend_.failInterface = !failPlugIn;
        const int slot = reader_.openSmartDevice("disk0", "ATA");
        ASSERT_GE(slot, 0);
        SmartDataBlock buffer{};
        errno = 0;
        EXPECT_EQ(reader_.readSmartData(slot, buffer), -1);
        EXPECT_EQ(errno, EIO);
        EXPECT_EQ(backend_.log.reads, 0);
        EXPECT_EQ(reader_.closeSmartDevice(slot), 0);
        EXPECT_EQ(reader_.readDriveTemperature("disk0"), 0);
    }
}

TEST_F(SmartReaderTest, ReadingOrClosingASlotThatIsNotOpenIsRefused) {
    SmartDataBlock buffer{};
    for (int slot : {-1, 0, kSmartDeviceTableSize, 1000}) {
        errno = 0;
        EXPECT_EQ(reader_.readSmartData(slot, buffer), -1);
        EXPECT_EQ(errno, EBADF);
    }
    EXPECT_EQ(reader_.closeSmartDevice(0), 0);
    EXPECT_EQ(reader_.closeSmartDevice(kSmartDeviceTableSize), -1);
}

TEST_F(SmartReaderTest, ReadDriveTemperatureTakesAttribute194AndClosesTheSlot) {
    using O = SmartOutcome;
    struct Case {
        const char* what;
        const char* name;
        std::deque<SmartOutcome> outcomes;
        SmartDataBlock block;
        std::uint8_t expected;
    };
    const Case cases[] = {
        {"plain", "disk0", {O::Success}, test::blockWith({{9, 0x10}, {194, 38}}), 38},
        {"after two time-outs",
         "/dev/rdisk0",
         {O::Timeout, O::Timeout, O::Success},
         test::blockWith({{194, 41}}),
         41},
        {"busy", "disk0", {O::ExclusiveAccess}, test::blockWith({{194, 38}}), 0},
        {"asleep", "disk0", {O::Standby}, test::blockWith({{194, 38}}), 0},
        {"through a partition", "disk0s1", {O::Success}, test::blockWith({{194, 45}}), 45},
        {"no such disk", "disk7", {O::Success}, test::blockWith({{194, 38}}), 0},
        {"not SMART-capable", "disk2", {O::Success}, test::blockWith({{194, 38}}), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        backend_.drives["disk0"] = {c.outcomes, c.block};
        backend_.drives["disk2"] = {c.outcomes, c.block};
        EXPECT_EQ(reader_.readDriveTemperature(c.name), c.expected);
        for (const auto& slot : reader_.smartDeviceTable())
            EXPECT_FALSE(slot.service) << "slot left open";
        EXPECT_EQ(registry_.outstandingReferences(), 0u);
        EXPECT_EQ(backend_.log.interfacesAlive, 0);
    }
}

TEST_F(SmartReaderTest, TheTemperatureComesFrom194Then190ThenTheSctStatusOrTheHealthLog) {
    using S = TemperatureSource;
    SmartDataBlock sct{};
    sct[0] = 3;
    sct[200] = 36;
    SmartDataBlock invalidSct = sct;
    invalidSct[200] = 0x80;
    SmartDataBlock healthLog{};
    healthLog[1] = 0x3D;  // 317 K
    healthLog[2] = 0x01;
    struct Case {
        const char* what;
        FakeDriveScript drive;
        DriveTemperature expected;
        int sctReads;
    };
    const Case cases[] = {
        {"194, SCT unasked",
         {.block = test::blockWith({{194, 38}}), .sctStatus = sct},
         {38, S::Attribute194},
         0},
        {"190, SCT unasked",
         {.block = test::blockWith({{190, 33}}), .sctStatus = sct},
         {33, S::Attribute190},
         0},
        {"neither: SCT",
         {.block = test::blockWith({{9, 7}}), .sctStatus = sct},
         {36, S::SctStatus},
         1},
        {"SCT not valid", {.block = test::blockWith({{9, 7}}), .sctStatus = invalidSct}, {}, 1},
        {"no SCT", {.block = test::blockWith({{9, 7}})}, {}, 0},
        {"asleep: nothing", {.outcomes = {SmartOutcome::Standby}, .sctStatus = sct}, {}, 0},
        {"NVMe",
         {.block = healthLog, .format = SmartDataFormat::NvmeHealthLog, .sctStatus = sct},
         {44, S::NvmeHealthLog},
         0},
        {"NVMe not reporting", {.format = SmartDataFormat::NvmeHealthLog}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        backend_.drives["disk0"] = c.drive;
        backend_.log = {};
        EXPECT_EQ(reader_.readDriveTemperature("disk0"), c.expected.celsius);
        EXPECT_EQ(reader_.lastTemperatureSource(), c.expected.source);
        EXPECT_EQ(backend_.log.sctReads, c.sctReads);
    }
}

TEST_F(SmartReaderTest, WithoutARegistryThereIsNoDisk) {
    SmartReader reader(nullptr, &backend_, clock_);
    errno = 0;
    EXPECT_EQ(reader.openSmartDevice("disk0", "ATA"), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(reader.readDriveTemperature("disk0"), 0);
}

}  // namespace
}  // namespace drivetherm
