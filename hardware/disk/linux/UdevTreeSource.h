// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

#include "hardware/disk/linux/UdevDiskSource.h"

namespace drivetherm {

// The block devices of a sysfs tree read as files: <sysfs>/class/block/*, each device's
// "uevent" (the kernel's properties, and those a umockdev testbed records), the udev database
// entry <udevData>/b<major>:<minor> ("E:KEY=VALUE" lines) and device/vendor, device/model,
// device/vpd_pg89.
// For fake trees; nothing outside the sysfs root is followed.
class UdevTreeSource final : public UdevDiskSource {
public:
    UdevTreeSource(std::string sysfsRoot, std::string udevDataDir);

    bool scan(std::vector<UdevBlockDevice>& devices) override;

private:
    std::string sysfsRoot_;
    std::string udevDataDir_;
};

}  // namespace drivetherm
