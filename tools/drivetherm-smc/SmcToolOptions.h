// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/MachineChoice.h"

namespace drivetherm {

// What drivetherm-smc was asked to do, parsed from its command line:
//   -h | -v | -l | -f | -k KEY [-r] | -k KEY -w HEXBYTES | --release-fans [--state-dir DIR]
//   [--hardware linux|sim|sim:FILE] [--sysfs-root DIR] [--dev-dir DIR]
struct SmcToolOptions {
    enum class Action { Help, Version, List, Fans, Read, Write, ReleaseFans };

    Action action = Action::Help;
    std::string key;                  // -k: four characters
    std::vector<std::uint8_t> bytes;  // -w: the value, most significant byte first
    MachineChoice machine;            // --hardware, --sysfs-root, --dev-dir
    // --state-dir: where drivethermd remembers the fans' own limits, for --release-fans.
    std::string stateDirectory = "/var/lib/drivetherm";

    // The outcome of parsing: either options or one line saying what is wrong with the command
    // line (the program exits with status 2 then).
    struct Parsed;
    static Parsed parse(int argc, const char* const* argv);
};

struct SmcToolOptions::Parsed {
    bool ok = false;
    std::string error;
    SmcToolOptions options;
};

}  // namespace drivetherm
