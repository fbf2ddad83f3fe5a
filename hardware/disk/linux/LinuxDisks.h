// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

#include "hardware/disk/linux/SgioSmartBackend.h"
#include "hardware/disk/linux/UdevDeviceRegistry.h"

namespace drivetherm {

// The disks of a Linux machine for the SMART reader and the drive walk: the udev registry and
// the SG_IO backend over the same roots.
class LinuxDisks {
public:
    // "/sys" is the running system (libudev); another directory is a fake tree whose device
    // directory and udev database are its siblings (UdevRoots::forSysfsRoot). A non-empty
    // `deviceDirectory` is where the device nodes are opened instead.
    explicit LinuxDisks(const std::string& sysfsRoot = "/sys",
                        const std::string& deviceDirectory = {});

    LinuxDisks(const LinuxDisks&) = delete;
    LinuxDisks& operator=(const LinuxDisks&) = delete;

    UdevDeviceRegistry& registry() { return registry_; }
    SgioSmartBackend& smartBackend() { return smart_; }

private:
    UdevRoots roots_;
    UdevDeviceRegistry registry_;
    SgioSmartBackend smart_;
};

}  // namespace drivetherm
