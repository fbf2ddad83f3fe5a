// SPDX-License-Identifier: GPL-2.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "LinuxFakes.h"
#include "hardware/disk/SmartLogPages.h"
#include "hardware/disk/linux/NvmeSmartDevice.h"

namespace drivetherm {
namespace {

using test::NvmeAnswer;
using test::ScriptedSyscalls;

class NvmeSmartDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        sysfs_.addDisk({.name = "nvme0n1", .major_minor = "259:0", .nvme = true});
        syscalls_.diskPrefix = devicePath();
    }

    std::string devicePath() const { return (sysfs_.root() / "dev" / "nvme0n1").string(); }
    // The PCI function's, through the namespace's controller.
    std::string statusPath() const {
        return (sysfs_.sys() / "class/block/nvme0n1/device/device/power/runtime_status").string();
    }
    NvmeSmartDevice device() { return NvmeSmartDevice(syscalls_, devicePath(), statusPath()); }

    test::FakeSysfs sysfs_;
    ScriptedSyscalls syscalls_;
};

TEST_F(NvmeSmartDeviceTest, TheHealthLogIsOneGetLogPageForTheWholeController) {
    SmartDataBlock page{};
    page[1] = 0x3F;  // 319 K
    page[2] = 0x01;
    syscalls_.nvmeAnswers = {{0, 0, std::vector<std::uint8_t>(page.begin(), page.end())}};
    {
        NvmeSmartDevice disk = device();
        SmartDataBlock data{};
        EXPECT_EQ(disk.enableOperations(true), SmartOutcome::Success);
        EXPECT_EQ(disk.readData(data), SmartOutcome::Success);
        EXPECT_EQ(temperatureFromNvmeHealthLog(data), 46);
        EXPECT_EQ(disk.dataFormat(), SmartDataFormat::NvmeHealthLog);
    }
    ASSERT_EQ(syscalls_.adminCommands.size(), 1u) << "no command readies an NVMe drive";
    const nvme_admin_cmd& command = syscalls_.adminCommands[0];
    EXPECT_EQ(command.opcode, 0x02);
    EXPECT_EQ(command.nsid, 0xFFFFFFFFu);
    // Log 02h, retaining asynchronous events, 128 dwords (127 in the upper half).
    EXPECT_EQ(command.cdw10, 0x007F8002u);
    EXPECT_EQ(command.data_len, 512u);
    EXPECT_EQ(command.timeout_ms, 1000u);
    EXPECT_EQ(syscalls_.count("open"), syscalls_.count("close")) << "every descriptor is closed";
}

TEST_F(NvmeSmartDeviceTest, FailuresOfTheControllerBecomeTheReadersOutcomes) {
    struct Case {
        const char* what;
        NvmeAnswer answer;
        int openError;
        SmartOutcome outcome;
        std::size_t commands;
    };
    const Case cases[] = {
        {"cancelled after its time-out", {-1, EINTR, {}}, 0, SmartOutcome::Timeout, 1},
        {"host aborted", {0x371, 0, {}}, 0, SmartOutcome::Timeout, 1},
        {"invalid log page", {0x4009, 0, {}}, 0, SmartOutcome::OtherError, 1},
        {"gone", {-1, ENODEV, {}}, 0, SmartOutcome::NotResponding, 1},
        {"no permission", {-1, EACCES, {}}, 0, SmartOutcome::OtherError, 1},
        // A failed readying ends the attempt: its read sends nothing.
        {"node missing", {}, ENOENT, SmartOutcome::NotResponding, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        syscalls_.adminCommands.clear();
        syscalls_.nvmeAnswers = {c.answer};
        syscalls_.openErrors.clear();
        if (c.openError != 0) syscalls_.openErrors[devicePath()] = c.openError;
        NvmeSmartDevice disk = device();
        SmartDataBlock data{};
        disk.enableOperations(true);
        EXPECT_EQ(disk.readData(data), c.outcome);
        EXPECT_EQ(data, SmartDataBlock{}) << "a failed read leaves the buffer alone";
        EXPECT_EQ(syscalls_.adminCommands.size(), c.commands);
    }
}

}  // namespace
}  // namespace drivetherm
