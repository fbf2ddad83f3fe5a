// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>
#include <vector>

namespace drivetherm {

// Which machine a program works on: this computer's SMC and disks through the Linux backends,
// or a simulated machine described by a file. Every program takes the same three options for
// it (--hardware, --sysfs-root, --dev-dir; CommandLine::machineValue reads them), and the
// hardware layer's Machine::open turns the choice into the machine itself.
struct MachineChoice {
    enum class Kind { Linux, Simulated };

    Kind kind = Kind::Linux;
    std::string machineFile;         // Simulated: the machine description
    std::string sysfsRoot = "/sys";  // Linux: the root of the sysfs tree
    std::string deviceDirectory;     // Linux: empty for /dev, or the dev/ beside a fake tree

    bool simulated() const { return kind == Kind::Simulated; }
    // The options that make another program choose the same machine.
    std::vector<std::string> passOn() const;
};

}  // namespace drivetherm
