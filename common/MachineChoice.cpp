// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/MachineChoice.h"

namespace drivetherm {

std::vector<std::string> MachineChoice::passOn() const {
    if (simulated()) return {"--hardware", "sim:" + machineFile};
    std::vector<std::string> options{"--hardware", "linux"};
    if (sysfsRoot != "/sys") options.insert(options.end(), {"--sysfs-root", sysfsRoot});
    if (!deviceDirectory.empty()) options.insert(options.end(), {"--dev-dir", deviceDirectory});
    return options;
}

}  // namespace drivetherm
