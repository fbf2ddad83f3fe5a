// SPDX-License-Identifier: GPL-2.0-or-later
#include "pane/InstalledDrives.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "frontends/FrontendOptions.h"
#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/SmartDeviceBackend.h"
#include "hardware/disk/linux/LinuxDisks.h"
#include "hardware/disk/sim/SimDriveBay.h"

namespace drivetherm {

std::unique_ptr<InstalledDrives> InstalledDrives::install(const FrontendOptions& options) {
    std::unique_ptr<InstalledDrives> drives(new InstalledDrives());
    if (!options.machine.simulated()) {
        drives->linux_ = std::make_unique<LinuxDisks>(options.machine.sysfsRoot, options.machine.deviceDirectory);
        drives->linux_->install();
        return drives;
    }
    const std::string& path = options.machine.machineFile;
    std::ifstream in(path);
    if (!in) throw std::runtime_error(path + ": cannot read the machine file");
    nlohmann::json machine;
    try {
        machine = nlohmann::json::parse(in);
    } catch (const nlohmann::json::parse_error&) {
        throw std::runtime_error(path + ": not a JSON machine description");
    }
    const nlohmann::json none;
    const nlohmann::json& list =
        machine.is_object() && machine.contains("drives") ? machine["drives"] : none;
    drives->simulated_ = SimDriveBay::fromJson(list, path);
    drives->simulated_->install();
    return drives;
}

InstalledDrives::~InstalledDrives() {
    // LinuxDisks takes itself out; the simulated bay does not.
    if (simulated_) {
        if (deviceRegistry() == simulated_.get()) setDeviceRegistry(nullptr);
        if (smartDeviceBackend() == simulated_.get()) setSmartDeviceBackend(nullptr);
    }
}

}  // namespace drivetherm
