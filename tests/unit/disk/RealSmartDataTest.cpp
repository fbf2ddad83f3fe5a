// SPDX-License-Identifier: GPL-2.0-or-later
// SMART blocks captured from real drives, read through the whole path: the simulated bay with
// the block as its smartData, and the Linux registry with SG_IO answering the block.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "DiskFakes.h"
#include "LinuxFakes.h"
#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/SmartLogPages.h"
#include "hardware/disk/SmartReader.h"
#include "hardware/disk/linux/SgioCommand.h"
#include "hardware/disk/linux/SgioSmartBackend.h"
#include "hardware/disk/linux/UdevDeviceRegistry.h"
#include "hardware/disk/sim/SimDriveBay.h"
#include "hardware/machine/MachineFile.h"
#include "hardware/machine/MachineSections.h"

namespace drivetherm {
namespace {

// "000-015: 10 00 ..." lines after "#" comments.
SmartDataBlock readHexBlock(const std::string& name) {
    std::ifstream file(std::string(DRIVETHERM_TEST_DATA "/disk/") + name);
    EXPECT_TRUE(file) << name;
    SmartDataBlock block{};
    std::size_t at = 0;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream bytes(line.substr(line.find(':') + 1));
        unsigned byte = 0;
        while (bytes >> std::hex >> byte) {
            if (at < block.size()) block[at] = static_cast<std::uint8_t>(byte);
            ++at;
        }
    }
    EXPECT_EQ(at, kSmartDataSize) << name;
    return block;
}

struct Capture {
    const char* file;
    std::uint8_t temperature;
    bool has190;
};

const Capture kCaptures[] = {
    {"smart-raw-wd-wd5000aaks.hex", 40, false},
    {"smart-raw-samsung-hd501lj.hex", 47, true},  // attribute 190 holds 47 too
    {"smart-raw-wd-wd2500js.hex", 38, true},      // attribute 190 holds 38 too
};

// The capture with attribute 194's id cleared, as a disk that reports only attribute 190 (many
// solid-state disks do) would answer.
SmartDataBlock without194(SmartDataBlock block) {
    const auto offset = smartAttributeOffset(block, kSmartTemperatureAttribute);
    if (offset) block[*offset] = 0;
    return block;
}

// What the reader makes of a capture: 194, else the 190 beside it, else nothing.
DriveTemperature expectedOf(const Capture& capture, bool remove194) {
    if (!remove194) return {capture.temperature, TemperatureSource::Attribute194};
    if (capture.has190) return {capture.temperature, TemperatureSource::Attribute190};
    return {};
}

TEST(RealSmartData, TheSimulatedDriveReportsTheTemperatureOfARealBlock) {
    ManualClock clock;
    for (const Capture& capture : kCaptures) {
        SCOPED_TRACE(capture.file);
        for (bool remove194 : {false, true}) {
            SmartDataBlock block = readHexBlock(capture.file);
            EXPECT_EQ(smartAttributeOffset(block, 190).has_value(), capture.has190);
            if (remove194) block = without194(block);
            std::string hex;
            for (const std::uint8_t byte : block) hex += hexBytes({&byte, 1}) + " ";
            const nlohmann::json drive = {
                {"bsdName", "disk0"}, {"model", "Real"}, {"smart", "property"}, {"smartData", hex}};
            const nlohmann::json machine = {{"drives", nlohmann::json::array({drive})}};
            const auto bay = readDrivesSection(MachineFile::parse(machine.dump(), "real.json"));
            SmartReader reader(bay.get(), bay.get(), clock);
            const DriveTemperature expected = expectedOf(capture, remove194);
            EXPECT_EQ(reader.readDriveTemperature("disk0"), expected.celsius);
            EXPECT_EQ(reader.lastTemperatureSource(), expected.source);
            EXPECT_EQ(bay->temperature("disk0").value_or(0), expected.celsius);
        }
    }
}

TEST(RealSmartData, TheLinuxDiskReportsTheTemperatureOfARealBlock) {
    test::FakeSysfs sysfs;
    sysfs.addDisk(
        {.name = "sda",
         .major_minor = "8:0",
         .udev = {{"ID_ATA", "1"}, {"ID_ATA_FEATURE_SET_SMART", "1"}, {"ID_MODEL_ENC", "Real"}}});
    ManualClock clock;
    UdevDeviceRegistry registry(sysfs.roots(), clock);
    test::ScriptedSyscalls syscalls;
    syscalls.diskPrefix = sysfs.roots().dev + "/";
    SgioSmartBackend backend(sysfs.roots(), syscalls);
    SmartReader reader(&registry, &backend, clock);
    for (const Capture& capture : kCaptures) {
        SCOPED_TRACE(capture.file);
        for (bool remove194 : {false, true}) {
            const SmartDataBlock block = readHexBlock(capture.file);
            syscalls.answers[test::kCheckPowerMode] = {test::ScriptedSyscalls::powerMode(0xFF)};
            syscalls.answers[test::kSmartEnable] = {{}};
            syscalls.answers[test::kSmartRead] = {
                test::ScriptedSyscalls::smartData(remove194 ? without194(block) : block)};
            const DriveTemperature expected = expectedOf(capture, remove194);
            EXPECT_EQ(reader.readDriveTemperature("disk0"), expected.celsius);
            EXPECT_EQ(reader.lastTemperatureSource(), expected.source);
        }
    }
}

TEST(RealSmartData, TheCapturedHealthLogGivesItsCompositeTemperature) {
    const SmartDataBlock page = readHexBlock("nvme-health-qemu.hex");
    EXPECT_EQ(temperatureFromNvmeHealthLog(page), 50);
    std::string hex;
    for (const std::uint8_t byte : page) hex += hexBytes({&byte, 1}) + " ";
    const nlohmann::json drive = {{"bsdName", "disk0"},
                                  {"model", "QEMU NVMe Ctrl"},
                                  {"smart", "property"},
                                  {"interface", "nvme"},
                                  {"smartData", hex}};
    const auto bay = readDrivesSection(
        MachineFile::parse(nlohmann::json{{"drives", {drive}}}.dump(), "nvme.json"));
    ManualClock clock;
    SmartReader reader(bay.get(), bay.get(), clock);
    EXPECT_EQ(reader.readDriveTemperature("disk0"), 50);
    EXPECT_EQ(reader.lastTemperatureSource(), TemperatureSource::NvmeHealthLog);
}

}  // namespace
}  // namespace drivetherm
