// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/drivethermctl/DaemonCommands.h"

namespace drivetherm {

// What drivethermctl was asked to do, from its command line:
//   [--bus system|session|ADDRESS] [--json] COMMAND [OPERAND]... [--json]
// where COMMAND is status, get KEY, set KEY VALUE, temp, watch [SECONDS] or simulate ....
// Everything after the command is its operands, so a value may start with a dash; only
// --json, for the commands that answer in JSON, may follow the command too.
struct CtlOptions {
    // The program's exit statuses; scripts tell the failures apart by them.
    enum Exit { kOk = 0, kNotRunning = 1, kUsage = 2, kRefused = 3, kLost = 4 };

    std::string bus = "system";  // "system", "session" or a D-Bus address
    std::string command;         // empty when none was given
    std::vector<std::string> operands;
    const CtlSetting* setting = nullptr;  // get and set: the setting
    SettingValue value;                   // set: the new value
    double watchSeconds = 1.0;            // watch: the time between two readings
    bool json = false;                    // status, get and watch answer in JSON lines
    bool showHelp = false;                // -h or --help before any command
    bool showVersion = false;             // --version before any command
};

// Parses argv without the program name, checking each command's operands (the number, the
// setting's name and the value's kind, watch's interval; simulate checks its own) before
// anything is sent to the daemon. On a command line that cannot be carried out returns nothing
// with `error` set to one line for the user.
std::optional<CtlOptions> parseCtlOptions(const std::vector<std::string>& arguments,
                                          std::string& error);

// The text of --help.
const char* ctlUsage();

}  // namespace drivetherm
