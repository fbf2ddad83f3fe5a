// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace drivetherm {

// What drivethermctl was asked to do, from its command line:
//   [--bus system|session|ADDRESS] COMMAND [OPERAND]...
// where COMMAND is status, get KEY, set KEY VALUE, temp, watch [SECONDS] or simulate ....
// Everything after the command is its operands, so a value may start with a dash.
struct CtlOptions {
    // The program's exit statuses; scripts tell the failures apart by them.
    enum Exit { kOk = 0, kNotRunning = 1, kUsage = 2, kRefused = 3, kLost = 4 };

    std::string bus = "system";  // "system", "session" or a D-Bus address
    std::string command;         // empty when none was given
    std::vector<std::string> operands;
    double watchSeconds = 1.0;  // watch: the time between two readings
    bool showHelp = false;      // -h or --help before any command
};

// Parses argv without the program name, checking each command's operands (the number, the
// setting's name, watch's interval; simulate checks its own). On a command line that cannot be
// carried out returns nothing with `error` set to one line for the user.
std::optional<CtlOptions> parseCtlOptions(const std::vector<std::string>& arguments,
                                          std::string& error);

// The text of --help.
const char* ctlUsage();

}  // namespace drivetherm
