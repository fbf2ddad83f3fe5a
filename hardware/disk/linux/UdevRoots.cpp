// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/UdevRoots.h"

#include <filesystem>

namespace drivetherm {

UdevRoots UdevRoots::forSysfsRoot(const std::string& sysfsRoot,
                                  const std::string& deviceDirectory) {
    UdevRoots roots;
    const std::filesystem::path root = std::filesystem::path(sysfsRoot).lexically_normal();
    if (root != "/sys" && root != "/sys/") {
        // "DIR/" names DIR too: the siblings are those of the directory, not of an empty name.
        const std::filesystem::path base =
            root.has_filename() ? root.parent_path() : root.parent_path().parent_path();
        roots.sysfs = sysfsRoot;
        roots.dev = (base / "dev").string();
        roots.udevData = (base / "run" / "udev" / "data").string();
    }
    if (!deviceDirectory.empty()) roots.dev = deviceDirectory;
    return roots;
}

bool UdevRoots::isSystem() const {
    const std::filesystem::path root = std::filesystem::path(sysfs).lexically_normal();
    return root == "/sys" || root == "/sys/";
}

}  // namespace drivetherm
