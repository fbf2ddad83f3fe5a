// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>

#include "common/MachineChoice.h"
#include "hardware/disk/DriveWalk.h"
#include "hardware/machine/Machine.h"

namespace drivetherm {

// The disks the settings window's drive chooser lists: this machine's, or the drives of the
// simulated machine the daemon runs on, so that every name offered is one the daemon finds.
class InstalledDrives {
public:
    // Throws std::runtime_error with one line for the user when the machine file cannot be used
    // (the same line the daemon gives for it).
    static std::unique_ptr<InstalledDrives> open(const MachineChoice& choice);

    InstalledDrives(const InstalledDrives&) = delete;
    InstalledDrives& operator=(const InstalledDrives&) = delete;

    DriveWalk& walk() { return walk_; }

private:
    explicit InstalledDrives(std::unique_ptr<Machine> machine)
        : machine_(std::move(machine)), walk_(&machine_->deviceRegistry()) {}

    std::unique_ptr<Machine> machine_;
    DriveWalk walk_;
};

}  // namespace drivetherm
