// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>
#include <string>

namespace drivetherm {

class LinuxDisks;
class SimDriveBay;
struct FrontendOptions;

// The disks the settings window's drive chooser lists: this machine's, or the drives of the
// simulated machine the daemon runs on, so that every name offered is one the daemon finds.
// Installed as the process's device registry for the drive walk while the object lives.
class InstalledDrives {
public:
    // Throws std::runtime_error with one line for the user when the machine file cannot be used.
    static std::unique_ptr<InstalledDrives> install(const FrontendOptions& options);
    ~InstalledDrives();

    InstalledDrives(const InstalledDrives&) = delete;
    InstalledDrives& operator=(const InstalledDrives&) = delete;

private:
    InstalledDrives() = default;

    std::unique_ptr<LinuxDisks> linux_;
    std::unique_ptr<SimDriveBay> simulated_;
};

}  // namespace drivetherm
