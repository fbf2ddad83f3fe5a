// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

namespace drivetherm {

// Where the Linux disk backends look: the sysfs tree, the device directory and udev's
// database. Every path they touch is built from these, so tests run on a fake tree.
struct UdevRoots {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
    std::string udevData = "/run/udev/data";

    // The system's roots for "/sys"; for a fake tree at DIR, its siblings DIR/../dev and
    // DIR/../run/udev/data, as they lie on a real root filesystem. A non-empty
    // `deviceDirectory` replaces the device directory either way.
    static UdevRoots forSysfsRoot(const std::string& sysfsRoot,
                                  const std::string& deviceDirectory = {});

    // Whether these are the running system's own roots (then libudev answers).
    bool isSystem() const;
};

}  // namespace drivetherm
