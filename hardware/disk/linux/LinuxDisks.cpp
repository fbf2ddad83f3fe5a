// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/LinuxDisks.h"

namespace drivetherm {

LinuxDisks::LinuxDisks(const std::string& sysfsRoot, const std::string& deviceDirectory)
    : roots_(UdevRoots::forSysfsRoot(sysfsRoot, deviceDirectory)),
      registry_(roots_),
      smart_(roots_) {}

}  // namespace drivetherm
