// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/LinuxDisks.h"

#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/SmartDeviceBackend.h"

namespace drivetherm {

LinuxDisks::LinuxDisks(const std::string& sysfsRoot, const std::string& deviceDirectory)
    : roots_(UdevRoots::forSysfsRoot(sysfsRoot, deviceDirectory)), registry_(roots_), smart_(roots_) {}

LinuxDisks::~LinuxDisks() {
    if (deviceRegistry() == &registry_) setDeviceRegistry(nullptr);
    if (smartDeviceBackend() == &smart_) setSmartDeviceBackend(nullptr);
}

void LinuxDisks::install() {
    setDeviceRegistry(&registry_);
    setSmartDeviceBackend(&smart_);
}

}  // namespace drivetherm
