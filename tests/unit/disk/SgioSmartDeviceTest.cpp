// SPDX-License-Identifier: GPL-2.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "DiskFakes.h"
#include "LinuxFakes.h"
#include "hardware/disk/linux/SgioSmartDevice.h"

namespace drivetherm {
namespace {

using test::kCheckPowerMode;
using test::kSmartEnable;
using test::kSmartRead;
using test::kSmartReadLog;
using test::ScriptedSyscalls;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class SgioSmartDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        sysfs_.addDisk({.name = "sda", .major_minor = "8:0"});
        syscalls_.diskPrefix = devicePath();
    }

    std::string devicePath() const { return (sysfs_.root() / "dev" / "sda").string(); }
    std::string statusPath() const {
        return (sysfs_.sys() / "class" / "block" / "sda" / "device" / "power" / "runtime_status")
            .string();
    }
    std::string ataInformationPath() const {
        return (sysfs_.sys() / "class" / "block" / "sda" / "device" / "vpd_pg89").string();
    }
    SgioSmartDevice device() {
        return SgioSmartDevice(syscalls_, devicePath(), statusPath(), ataInformationPath());
    }

    test::FakeSysfs sysfs_;
    ScriptedSyscalls syscalls_;
};

TEST_F(SgioSmartDeviceTest, AnAwakeDiskIsAskedItsPowerModeThenEnabledThenRead) {
    const SmartDataBlock block = test::blockWith({{194, 37}});
    syscalls_.answers[kCheckPowerMode] = {ScriptedSyscalls::powerMode(0xFF)};
    syscalls_.answers[kSmartEnable] = {{}};
    syscalls_.answers[kSmartRead] = {ScriptedSyscalls::smartData(block)};
    {
        SgioSmartDevice disk = device();
        SmartDataBlock data{};
        EXPECT_EQ(disk.enableOperations(true), SmartOutcome::Success);
        EXPECT_EQ(disk.readData(data), SmartOutcome::Success);
        EXPECT_EQ(data, block);
        EXPECT_EQ(disk.enableOperations(true), SmartOutcome::Success);
        EXPECT_EQ(disk.readData(data), SmartOutcome::Success);
    }
    EXPECT_THAT(syscalls_.ataCommands(),
                ElementsAre(kCheckPowerMode, kSmartEnable, kSmartRead, kSmartEnable, kSmartRead))
        << "the power mode is asked once per opening";
    EXPECT_EQ(syscalls_.calls[0].path, statusPath());
    EXPECT_EQ(syscalls_.calls[3].path, devicePath());
    const auto& read = syscalls_.calls[6];
    EXPECT_EQ(read.direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(read.length, 512u);
    EXPECT_EQ(syscalls_.count("open"), syscalls_.count("close")) << "every descriptor is closed";
}

TEST_F(SgioSmartDeviceTest, ASleepingDiskIsSentNothingThatWouldWakeIt) {
    struct Case {
        const char* what;
        const char* runtimeStatus;
        std::uint8_t powerMode;
        bool opensDisk;
    };
    const Case cases[] = {
        {"runtime-suspended", "suspended", 0xFF, false},
        {"standby", "active", 0x00, true},
        {"standby_y", "active", 0x01, true},
        {"spun down in NV cache mode", "active", 0x40, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sysfs_.setRuntimeStatus("sda", c.runtimeStatus);
        syscalls_.calls.clear();
        syscalls_.answers[kCheckPowerMode] = {ScriptedSyscalls::powerMode(c.powerMode)};
        syscalls_.answers[kSmartRead] = {ScriptedSyscalls::smartData(test::blockWith({{194, 37}}))};
        {
            SgioSmartDevice disk = device();
            SmartDataBlock data{};
            EXPECT_EQ(disk.enableOperations(true), SmartOutcome::Standby);
            EXPECT_EQ(disk.readData(data), SmartOutcome::Standby);
            EXPECT_EQ(data, SmartDataBlock{});
        }
        if (c.opensDisk)
            EXPECT_THAT(syscalls_.ataCommands(), ElementsAre(kCheckPowerMode));
        else
            EXPECT_THAT(syscalls_.ataCommands(), IsEmpty());
        bool opened = false;
        for (const auto& call : syscalls_.calls) opened |= call.path == devicePath();
        EXPECT_EQ(opened, c.opensDisk);
    }
}

TEST_F(SgioSmartDeviceTest, ABridgeThatRefusesTheLongFormIsSpokenToInTheShortForm) {
    syscalls_.answers[kCheckPowerMode] = {ScriptedSyscalls::refused(),
                                          ScriptedSyscalls::powerMode(0x80)};
    syscalls_.answers[kSmartEnable] = {{}};
    syscalls_.answers[kSmartRead] = {ScriptedSyscalls::smartData(test::blockWith({{194, 29}}))};
    SgioSmartDevice disk = device();
    SmartDataBlock data{};
    EXPECT_EQ(disk.enableOperations(true), SmartOutcome::Success);
    EXPECT_EQ(disk.readData(data), SmartOutcome::Success);
    EXPECT_EQ(temperatureFromSmartData(data), 29);
    std::vector<std::size_t> lengths;
    for (const auto& call : syscalls_.calls)
        if (call.what == "ioctl") lengths.push_back(call.cdb.size());
    EXPECT_THAT(lengths, ElementsAre(16u, 12u, 12u, 12u));
}

TEST_F(SgioSmartDeviceTest, ADeviceSetToTheShortFormNeverSendsTheLongOne) {
    syscalls_.answers[kCheckPowerMode] = {ScriptedSyscalls::powerMode(0xFF)};
    syscalls_.answers[kSmartEnable] = {{}};
    syscalls_.answers[kSmartRead] = {ScriptedSyscalls::smartData(test::blockWith({{194, 41}}))};
    SgioSmartDevice disk(syscalls_, devicePath(), statusPath(), ataInformationPath(), 12);
    SmartDataBlock data{};
    EXPECT_EQ(disk.enableOperations(true), SmartOutcome::Success);
    EXPECT_EQ(disk.readData(data), SmartOutcome::Success);
    EXPECT_EQ(temperatureFromSmartData(data), 41);
    std::vector<std::uint8_t> opcodes;
    for (const auto& call : syscalls_.calls)
        if (call.what == "ioctl") opcodes.push_back(call.cdb.at(0));
    EXPECT_THAT(opcodes, ElementsAre(0xA1, 0xA1, 0xA1));
}

TEST_F(SgioSmartDeviceTest, AnAttemptOnAHungDiskCostsOneCommandTimeOut) {
    struct Case {
        const char* what;
        std::deque<test::SgioAnswer> powerMode;
        std::vector<unsigned> commands;  // over three attempts
    };
    const Case cases[] = {
        // The power state stays unknown, so every attempt asks it again, and nothing else.
        {"nothing answers",
         {ScriptedSyscalls::hostTimeout()},
         {kCheckPowerMode, kCheckPowerMode, kCheckPowerMode}},
        {"only the power check answers",
         {ScriptedSyscalls::powerMode(0xFF)},
         {kCheckPowerMode, kSmartEnable, kSmartEnable, kSmartEnable}},
        {"busy",
         {ScriptedSyscalls::failsWith(EBUSY)},
         {kCheckPowerMode, kCheckPowerMode, kCheckPowerMode}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        syscalls_.calls.clear();
        syscalls_.answers.clear();
        syscalls_.answers[kCheckPowerMode] = c.powerMode;
        syscalls_.answers[kSmartEnable] = {ScriptedSyscalls::hostTimeout()};
        syscalls_.answers[kSmartRead] = {ScriptedSyscalls::hostTimeout()};
        SgioSmartDevice disk = device();
        for (int attempt = 0; attempt < 3; ++attempt) {
            SmartDataBlock data{};
            const SmartOutcome enabled = disk.enableOperations(true);
            EXPECT_NE(enabled, SmartOutcome::Success);
            EXPECT_EQ(disk.readData(data), enabled) << "the read answers as the attempt ended";
        }
        EXPECT_EQ(syscalls_.ataCommands(), c.commands);
        for (const auto& call : syscalls_.calls) {
            if (call.what == "ioctl") {
                EXPECT_EQ(call.timeoutMs, 1000u);
            }
        }
    }
}

TEST_F(SgioSmartDeviceTest, TheSctStatusIsAskedOnlyOfADriveThatMayHaveIt) {
    // The kernel's copy of the IDENTIFY data: page 89h, command ECh, word 206 at byte 472.
    const auto identifyPage = [](bool sct) {
        std::string page(572, '\0');
        page[1] = static_cast<char>(0x89);
        page[56] = static_cast<char>(0xEC);
        page[60 + 2 * 206] = sct ? 0x01 : 0x00;
        return page;
    };
    SmartDataBlock status{};
    status[0] = 3;
    status[200] = 39;
    struct Case {
        const char* what;
        std::optional<std::string> page;
        SmartOutcome outcome;
    };
    const Case cases[] = {
        {"IDENTIFY says SCT", identifyPage(true), SmartOutcome::Success},
        {"IDENTIFY says no SCT", identifyPage(false), SmartOutcome::OtherError},
        {"no copy of IDENTIFY: the drive is asked", std::nullopt, SmartOutcome::Success},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(ataInformationPath());
        if (c.page) test::FakeSysfs::write(ataInformationPath(), *c.page);
        syscalls_.calls.clear();
        syscalls_.answers[kCheckPowerMode] = {ScriptedSyscalls::powerMode(0xFF)};
        syscalls_.answers[kSmartReadLog] = {ScriptedSyscalls::smartData(status)};
        SgioSmartDevice disk = device();
        SmartDataBlock page{};
        EXPECT_EQ(disk.readSctStatus(page), c.outcome);
        if (c.outcome != SmartOutcome::Success) {
            EXPECT_THAT(syscalls_.ataCommands(), IsEmpty());
            continue;
        }
        EXPECT_EQ(page, status);
        ASSERT_THAT(syscalls_.ataCommands(), ElementsAre(kCheckPowerMode, kSmartReadLog));
        EXPECT_EQ(syscalls_.calls.back().cdb[8], 0xE0) << "log address E0h in LBA low";
    }
}

TEST_F(SgioSmartDeviceTest, FailuresOfTheDiskBecomeTheReadersOutcomes) {
    struct Case {
        const char* what;
        std::deque<test::SgioAnswer> read;
        int openError;
        SmartOutcome outcome;
    };
    test::SgioAnswer ataError;
    ataError.status = 0x02;
    ataError.driver = 0x08;
    ataError.sense = {0x72, 0x0B, 0x00, 0x00, 0, 0, 0, 14, 0x09, 0x0C, 0,
                      0x04, 0,    0,    0,    0, 0, 0, 0,  0,    0xA0, 0x51};
    const Case cases[] = {
        {"host time-out", {ScriptedSyscalls::hostTimeout()}, 0, SmartOutcome::Timeout},
        {"busy", {ScriptedSyscalls::failsWith(EBUSY)}, 0, SmartOutcome::ExclusiveAccess},
        {"gone", {ScriptedSyscalls::failsWith(ENODEV)}, 0, SmartOutcome::NotResponding},
        {"ATA error", {ataError}, 0, SmartOutcome::OtherError},
        {"refused in both forms", {ScriptedSyscalls::refused()}, 0, SmartOutcome::OtherError},
        {"node missing", {}, ENOENT, SmartOutcome::NotResponding},
        {"node held exclusively", {}, EBUSY, SmartOutcome::ExclusiveAccess},
        {"no permission", {}, EACCES, SmartOutcome::OtherError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        syscalls_.answers.clear();
        syscalls_.answers[kCheckPowerMode] = {ScriptedSyscalls::powerMode(0xFF)};
        syscalls_.answers[kSmartRead] = c.read;
        syscalls_.openErrors.clear();
        if (c.openError != 0) syscalls_.openErrors[devicePath()] = c.openError;
        SgioSmartDevice disk = device();
        SmartDataBlock data{};
        EXPECT_EQ(disk.readData(data), c.outcome);
        EXPECT_EQ(data, SmartDataBlock{}) << "a failed read leaves the buffer alone";
    }
}

}  // namespace
}  // namespace drivetherm
