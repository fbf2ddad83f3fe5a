// SPDX-License-Identifier: GPL-2.0-or-later
// What one temperature read and one drive walk cost: on the simulated machine (the logic
// alone), and on the Linux registry over a fake sysfs tree (the logic plus reading the tree).
#include <benchmark/benchmark.h>

#include <string>

#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/DriveWalk.h"
#include "hardware/disk/SmartDeviceBackend.h"
#include "hardware/disk/SmartReader.h"
#include "hardware/disk/linux/SgioSmartBackend.h"
#include "hardware/disk/linux/UdevDeviceRegistry.h"
#include "hardware/disk/sim/SimDriveBay.h"
#include "tests/unit/disk/DiskFakes.h"
#include "tests/unit/disk/LinuxFakes.h"

namespace drivetherm {
namespace {

nlohmann::json simDrives(int count) {
    auto drives = nlohmann::json::array();
    for (int i = 0; i < count; ++i)
        drives.push_back({{"bsdName", "disk" + std::to_string(i)}, {"model", "Model " + std::to_string(i)},
                          {"smart", i % 2 ? "ata-features" : "property"}, {"temperature", 30 + i}});
    for (auto& drive : drives)
        if (drive["smart"] == "ata-features") drive["ataFeatures"] = 0x21;
    return drives;
}

void BM_ReadDriveTemperatureSim(benchmark::State& state) {
    auto bay = SimDriveBay::fromJson(simDrives(2), "bench");
    bay->install();
    for (auto _ : state) benchmark::DoNotOptimize(readDriveTemperature("disk0"));
    setDeviceRegistry(nullptr);
    setSmartDeviceBackend(nullptr);
}
BENCHMARK(BM_ReadDriveTemperatureSim);

void BM_DriveWalkSim(benchmark::State& state) {
    auto bay = SimDriveBay::fromJson(simDrives(static_cast<int>(state.range(0))), "bench");
    bay->install();
    for (auto _ : state) {
        RegistryIterator iterator;
        FindStorageMedia(&iterator);
        benchmark::DoNotOptimize(GetDriveNameArray(iterator));
    }
    setDeviceRegistry(nullptr);
    setSmartDeviceBackend(nullptr);
}
BENCHMARK(BM_DriveWalkSim)->Arg(1)->Arg(16);

void BM_LookUpLastDriveSim(benchmark::State& state) {
    auto bay = SimDriveBay::fromJson(simDrives(16), "bench");
    bay->install();
    for (auto _ : state) benchmark::DoNotOptimize(GetBSDNameForDriveName("Model 15"));
    setDeviceRegistry(nullptr);
    setSmartDeviceBackend(nullptr);
}
BENCHMARK(BM_LookUpLastDriveSim);

// A fake tree of `count` SATA disks that udev has seen.
void addLinuxDisks(test::FakeSysfs& sysfs, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string name = std::string("sd") + static_cast<char>('a' + i);
        sysfs.addDisk({.name = name, .major_minor = "8:" + std::to_string(16 * i),
                       .udev = {{"ID_ATA", "1"}, {"ID_ATA_FEATURE_SET_SMART", "1"},
                                {"ID_MODEL_ENC", "Model\\x20" + std::to_string(i) + "\\x20\\x20"}},
                       .model = "Model " + std::to_string(i), .vendor = "ATA     "});
    }
}

void BM_DriveWalkLinuxTree(benchmark::State& state) {
    test::FakeSysfs sysfs;
    addLinuxDisks(sysfs, static_cast<int>(state.range(0)));
    UdevDeviceRegistry registry(sysfs.roots());
    setDeviceRegistry(&registry);
    for (auto _ : state) {
        RegistryIterator iterator;
        FindStorageMedia(&iterator);
        benchmark::DoNotOptimize(GetDriveNameArray(iterator));
    }
    setDeviceRegistry(nullptr);
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
    syscalls.answers[test::kSmartRead] = {test::ScriptedSyscalls::smartData(test::blockWith({{194, 40}}))};
    SgioSmartBackend backend(sysfs.roots(), syscalls);
    setDeviceRegistry(&registry);
    setSmartDeviceBackend(&backend);
    for (auto _ : state) {
        benchmark::DoNotOptimize(readDriveTemperature("disk0"));
        syscalls.calls.clear();
    }
    setSmartDeviceBackend(nullptr);
    setDeviceRegistry(nullptr);
}
BENCHMARK(BM_ReadDriveTemperatureLinuxTree)->Arg(1)->Arg(16)->Unit(benchmark::kMicrosecond);

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
