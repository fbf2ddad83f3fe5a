// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/MachineChoice.h"

namespace drivetherm {

// The daemon's command line. Production needs no option; the others serve tests,
// demonstrations and unusual set-ups.
struct DaemonOptions {
    std::string bus = "system";  // "system", "session" or a D-Bus address
    MachineChoice machine;
    std::string stateDirectory = "/var/lib/drivetherm";
    std::chrono::milliseconds tickInterval{1000};
    bool dryRun = false;
    bool verbose = false;
    bool showHelp = false;
    bool showVersion = false;
};

// Parses argv (without the program name). On a bad option returns nothing and sets `error` to
// one line that says what was wrong and what to do.
std::optional<DaemonOptions> parseDaemonOptions(const std::vector<std::string>& arguments,
                                                const std::string& defaultMachineFile,
                                                std::string& error);

// The text of --help.
std::string daemonUsage(const std::string& programName);

}  // namespace drivetherm
