// SPDX-License-Identifier: GPL-2.0-or-later
// What one temperature read and one drive walk cost: on the simulated machine (the logic
// alone), and on the Linux registry over a fake sysfs tree (the logic plus reading the tree).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/DriveWalk.h"
#include "hardware/disk/SmartReader.h"
#include "hardware/disk/linux/SgioSmartBackend.h"
#include "hardware/disk/linux/UdevDeviceRegistry.h"
#include "hardware/disk/sim/SimDriveBay.h"
#include "tests/unit/disk/DiskFakes.h"
#include "tests/unit/disk/LinuxFakes.h"

namespace drivetherm {
namespace {

// A bay of `count` drives "Model 0", "Model 1", ..., every other one telling SMART support by
// its ATA features.
std::unique_ptr<SimDriveBay> simBay(int count) {
    std::vector<SimDrive> drives;
    for (int i = 0; i < count; ++i) {
        SimDrive::Config config;
        config.bsdName = "disk" + std::to_string(i);
        config.model = "Model " + std::to_string(i);
        config.smart = i % 2 ? SimSmartSupport::AtaFeatures : SimSmartSupport::Property;
        config.ataFeatures = i % 2 ? 0x21 : 0;
        config.block = SimDrive::blockAround(static_cast<std::uint8_t>(30 + i));
        drives.emplace_back(std::move(config));
    }
    return std::make_unique<SimDriveBay>(std::move(drives));
}

void BM_ReadDriveTemperatureSim(benchmark::State& state) {
    auto bay = simBay(2);
    SmartReader reader(bay.get(), bay.get());
    for (auto _ : state) benchmark::DoNotOptimize(reader.readDriveTemperature("disk0"));
}
BENCHMARK(BM_ReadDriveTemperatureSim);

void BM_DriveWalkSim(benchmark::State& state) {
    auto bay = simBay(static_cast<int>(state.range(0)));
    DriveWalk walk(bay.get());
    for (auto _ : state) {
        RegistryIterator iterator;
        walk.FindStorageMedia(&iterator);
        benchmark::DoNotOptimize(walk.GetDriveNameArray(iterator));
    }
}
BENCHMARK(BM_DriveWalkSim)->Arg(1)->Arg(16);

void BM_LookUpLastDriveSim(benchmark::State& state) {
    auto bay = simBay(16);
    DriveWalk walk(bay.get());
    for (auto _ : state) benchmark::DoNotOptimize(walk.GetBSDNameForDriveName("Model 15"));
}
BENCHMARK(BM_LookUpLastDriveSim);

// A fake tree of `count` SATA disks that udev has seen.
void addLinuxDisks(test::FakeSysfs& sysfs, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string name = std::string("sd") + static_cast<char>('a' + i);
        sysfs.addDisk({.name = name,
                       .major_minor = "8:" + std::to_string(16 * i),
                       .udev = {{"ID_ATA", "1"},
                                {"ID_ATA_FEATURE_SET_SMART", "1"},
                                {"ID_MODEL_ENC", "Model\\x20" + std::to_string(i) + "\\x20\\x20"}},
                       .model = "Model " + std::to_string(i),
                       .vendor = "ATA     "});
    }
}

void BM_DriveWalkLinuxTree(benchmark::State& state) {
    test::FakeSysfs sysfs;
    addLinuxDisks(sysfs, static_cast<int>(state.range(0)));
    UdevDeviceRegistry registry(sysfs.roots());
    DriveWalk walk(&registry);
    for (auto _ : state) {
        RegistryIterator iterator;
        walk.FindStorageMedia(&iterator);
        benchmark::DoNotOptimize(walk.GetDriveNameArray(iterator));
    }
}
BENCHMARK(BM_DriveWalkLinuxTree)->Arg(1)->Arg(16)->Unit(benchmark::kMicrosecond);

void BM_ReadDriveTemperatureLinuxTree(benchmark::State& state) {
    test::FakeSysfs sysfs;
    addLinuxDisks(sysfs, static_cast<int>(state.range(0)));
    UdevDeviceRegistry registry(sysfs.roots());
    test::ScriptedSyscalls syscalls;
    syscalls.diskPrefix = sysfs.roots().dev + "/";
    syscalls.answers[test::kCheckPowerMode] = {test::ScriptedSyscalls::powerMode(0xFF)};
    syscalls.answers[test::kSmartEnable] = {{}};
    syscalls.answers[test::kSmartRead] = {
        test::ScriptedSyscalls::smartData(test::blockWith({{194, 40}}))};
    SgioSmartBackend backend(sysfs.roots(), syscalls);
    SmartReader reader(&registry, &backend);
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader.readDriveTemperature("disk0"));
        syscalls.calls.clear();
    }
}
BENCHMARK(BM_ReadDriveTemperatureLinuxTree)->Arg(1)->Arg(16)->Unit(benchmark::kMicrosecond);

// One temperature read of a disk of each kind on a fake tree, 0: attribute 194, 1: attribute
// 190, 2: the SCT status page, 3: an NVMe health log. The time is the logic's and the tree's;
// the counters are the system calls the SMART device makes through its seam per read (opens,
// reads and closes of sysfs files and the node, SG_IO or NVMe ioctls), beside which the
// registry's own listing of the tree is the same for every kind.
void BM_ReadDriveTemperatureBySource(benchmark::State& state) {
    const auto kind = state.range(0);
    test::FakeSysfs sysfs;
    test::ScriptedSyscalls syscalls;
    syscalls.diskPrefix = sysfs.roots().dev + "/";
    const std::map<std::string, std::string> udev{
        {"ID_ATA", "1"}, {"ID_ATA_FEATURE_SET_SMART", "1"}, {"ID_MODEL_ENC", "Model"}};
    if (kind == 3) {
        sysfs.addDisk({.name = "nvme0n1", .major_minor = "259:0", .model = "Model", .nvme = true});
        SmartDataBlock page{};
        page[1] = 0x43;
        page[2] = 0x01;
        syscalls.nvmeAnswers = {{0, 0, std::vector<std::uint8_t>(page.begin(), page.end())}};
    } else {
        // The kernel's copy of IDENTIFY: page 89h of an ATA disk, with SCT for the third kind.
        std::string identify(572, '\0');
        identify[1] = static_cast<char>(0x89);
        identify[56] = static_cast<char>(0xEC);
        identify[60 + 2 * 206] = kind == 2 ? 0x01 : 0x00;
        sysfs.addDisk(
            {.name = "sda", .major_minor = "8:0", .udev = udev, .ataInformation = identify});
        const std::uint8_t id = kind == 0 ? 194 : kind == 1 ? 190 : 9;
        syscalls.answers[test::kCheckPowerMode] = {test::ScriptedSyscalls::powerMode(0xFF)};
        syscalls.answers[test::kSmartEnable] = {{}};
        syscalls.answers[test::kSmartRead] = {
            test::ScriptedSyscalls::smartData(test::blockWith({{id, 40}}))};
        SmartDataBlock sct{};
        sct[0] = 3;
        sct[200] = 40;
        syscalls.answers[test::kSmartReadLog] = {test::ScriptedSyscalls::smartData(sct)};
    }
    UdevDeviceRegistry registry(sysfs.roots());
    SgioSmartBackend backend(sysfs.roots(), syscalls);
    SmartReader reader(&registry, &backend);
    std::size_t calls = 0;
    int ioctls = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader.readDriveTemperature("disk0"));
        calls = syscalls.calls.size();
        ioctls = syscalls.count("ioctl") + syscalls.count("nvme");
        syscalls.calls.clear();
        syscalls.adminCommands.clear();
    }
    state.SetLabel(temperatureSourceName(reader.lastTemperatureSource()));
    state.counters["device_syscalls"] = static_cast<double>(calls);
    state.counters["ioctls"] = ioctls;
}
BENCHMARK(BM_ReadDriveTemperatureBySource)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// The running system's block devices through libudev: what every look-up costs the daemon on
// this machine, before any disk is touched.
void BM_ListSystemBlockDevices(benchmark::State& state) {
    UdevDeviceRegistry registry;
    for (auto _ : state) benchmark::DoNotOptimize(registry.serviceMatchingBsdName("disk0"));
}
BENCHMARK(BM_ListSystemBlockDevices)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace drivetherm

BENCHMARK_MAIN();
