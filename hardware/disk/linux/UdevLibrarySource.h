// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "hardware/disk/linux/UdevDiskSource.h"

namespace drivetherm {

// The running system's block devices through libudev: the kernel's properties merged with
// udev's database (ID_ATA, ID_ATA_FEATURE_SET_SMART, ID_MODEL_ENC where udev has run), and the
// sysfs attributes device/vendor, device/model and device/vpd_pg89. Under a umockdev testbed it
// lists the testbed's devices instead.
class UdevLibrarySource final : public UdevDiskSource {
public:
    bool scan(std::vector<UdevBlockDevice>& devices) override;
};

}  // namespace drivetherm
