// SPDX-License-Identifier: GPL-2.0-or-later
#include "pane/InstalledDrives.h"

namespace drivetherm {

std::unique_ptr<InstalledDrives> InstalledDrives::open(const MachineChoice& choice) {
    return std::unique_ptr<InstalledDrives>(new InstalledDrives(Machine::open(choice)));
}

}  // namespace drivetherm
