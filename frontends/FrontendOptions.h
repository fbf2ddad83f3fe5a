// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/MachineChoice.h"

namespace drivetherm {

// The command line of the settings window and of the tray monitor. With none, both talk to the
// daemon on the system bus and list this machine's disks; the options point them at another
// bus and at the simulated machine, as the daemon's own options do.
struct FrontendOptions {
    enum class Program { Settings, Monitor };

    std::string bus = "system";  // "system", "session" or a D-Bus address
    MachineChoice machine;       // the machine whose drives the window lists
    // Monitor: how often the title is brought up to date.
    std::chrono::milliseconds pollInterval{5000};
    // Monitor: how long to wait for a system tray to appear before giving up (a monitor started
    // at login may be up before the desktop's panel).
    std::chrono::milliseconds trayWait{5000};
    // Settings: report the time from the program's start to the window's first paint on
    // standard output and quit (for the start-up figure).
    bool quitAfterFirstPaint = false;
    // Settings: save the window as a PNG picture at its first paint and quit.
    std::string screenshot;
    bool showHelp = false;
    bool showVersion = false;

    // The options another front end needs to reach the same daemon and machine.
    std::vector<std::string> passOn() const;
};

// Parses argv (without the program name). On a bad option returns nothing with `error` set to
// one line for the user.
std::optional<FrontendOptions> parseFrontendOptions(const std::vector<std::string>& arguments,
                                                    FrontendOptions::Program program,
                                                    const std::string& defaultMachineFile,
                                                    std::string& error);

// The text of --help.
std::string frontendUsage(FrontendOptions::Program program, const std::string& programName);

}  // namespace drivetherm
