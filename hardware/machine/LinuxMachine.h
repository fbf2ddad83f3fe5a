// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

#include "hardware/disk/linux/LinuxDisks.h"
#include "hardware/machine/Machine.h"
#include "hardware/smc/linux/ApplesmcDriver.h"

namespace drivetherm {

// This computer: the SMC through the kernel's applesmc driver, the disks through udev and SG_IO,
// all under one sysfs root ("/sys", or a fake tree in tests).
class LinuxMachine final : public Machine {
public:
    LinuxMachine(const std::string& sysfsRoot, const std::string& deviceDirectory,
                 ApplesmcDriver::Reads reads = ApplesmcDriver::Reads::DedicatedFiles)
        : root_(sysfsRoot),
          smc_(sysfsRoot, posixApplesmcFiles(), reads),
          disks_(sysfsRoot, deviceDirectory) {}

    SmcDriver& smcDriver() override { return smc_; }
    DeviceRegistry& deviceRegistry() override { return disks_.registry(); }
    SmartDeviceBackend& smartBackend() override { return disks_.smartBackend(); }
    std::string describe() const override { return "this machine's SMC and disks"; }
    std::string smcAdvice() const override;
    std::string smcFailure(kern_return_t status) const override;

private:
    std::string root_;
    ApplesmcDriver smc_;
    LinuxDisks disks_;
};

}  // namespace drivetherm
