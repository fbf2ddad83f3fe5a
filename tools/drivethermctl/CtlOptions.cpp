// SPDX-License-Identifier: GPL-2.0-or-later
#include "tools/drivethermctl/CtlOptions.h"

#include <algorithm>
#include <charconv>

#include "common/CommandLine.h"

namespace drivetherm {

std::optional<CtlOptions> parseCtlOptions(const std::vector<std::string>& arguments,
                                          std::string& error) {
    CtlOptions options;
    CommandLine line(arguments, error);
    while (line.next()) {
        const std::string& name = line.name();
        if (name == "--bus") {
            if (!line.busValue(options.bus)) return std::nullopt;
        } else if (name == "--json") {
            if (!line.flag()) return std::nullopt;
            options.json = true;
        } else if (name == "-h" || name == "--help") {
            options.showHelp = true;
            return options;
        } else if (name == "--version") {
            options.showVersion = true;
            return options;
        } else {
            options.command = line.given();
            options.operands = line.remaining();
        }
    }
    if (options.command.empty()) return options;

    const std::string& command = options.command;
    std::vector<std::string>& operands = options.operands;
    const bool answersInJson = command == "status" || command == "get" || command == "watch";
    // Not from set's or simulate's operands: there it could be a value.
    if (command != "set" && command != "simulate") {
        const auto json = std::remove(operands.begin(), operands.end(), "--json");
        options.json = options.json || json != operands.end();
        operands.erase(json, operands.end());
    }
    const bool known =
        (command == "status" && operands.empty()) || (command == "temp" && operands.empty()) ||
        (command == "get" && operands.size() == 1) || (command == "set" && operands.size() == 2) ||
        (command == "watch" && operands.size() <= 1) ||
        (command == "simulate" && operands.size() >= 2);
    if (!known) {
        error = "cannot understand \"" + command + "\" with " + std::to_string(operands.size()) +
                " operand(s); see drivethermctl --help";
        return std::nullopt;
    }
    if (options.json && !answersInJson) {
        error = "--json goes with status, get and watch, not with " + command;
        return std::nullopt;
    }
    if (command == "get" || command == "set") {
        options.setting = DaemonCommands::find(operands[0]);
        if (!options.setting) {
            error = "no setting is called \"" + operands[0] + "\"; see drivethermctl --help";
            return std::nullopt;
        }
    }
    if (command == "set") {
        const auto value = DaemonCommands::parseValue(*options.setting, operands[1], error);
        if (!value) return std::nullopt;
        options.value = *value;
    }
    if (command == "watch" && operands.size() == 1) {
        const std::string& text = operands[0];
        double& seconds = options.watchSeconds;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (ec != std::errc() || end != text.data() + text.size() || !(seconds >= 0.1) ||
            seconds > 3600) {
            error = "watch needs seconds from 0.1 to 3600";
            return std::nullopt;
        }
    }
    return options;
}

const char* ctlUsage() {
    return "Usage: drivethermctl [--bus system|session|ADDRESS] [--json] COMMAND\n"
           "Reads and changes the settings of the fan daemon (drivethermd).\n"
           "\n"
           "  status            every setting and a fresh reading\n"
           "  get KEY           one setting\n"
           "  set KEY VALUE     change one setting (root, or as polkit allows)\n"
           "  temp              a fresh reading: temperature and fan speed\n"
           "  watch [SECONDS]   a reading every SECONDS (default 1) until Ctrl-C\n"
           "\n"
           "On the simulated machine (drivethermd --hardware sim):\n"
           "  simulate read-key KEY                  an SMC key as a read sees it\n"
           "  simulate sensor KEY CELSIUS            set a temperature sensor\n"
           "  simulate drive-temperature DISK CELSIUS  set a disk's SMART temperature\n"
           "  simulate drive-fault DISK FAULT        none, timeout, not-responding, busy,\n"
           "                                         no-attribute or absent\n"
           "\n"
           "KEY is one of baseRpm (rpm), lowerThreshold and upperThreshold (degrees Celsius),\n"
           "fahrenheit, pinToBase and useAmbientTemp (true or false), HDDName (a drive's model,\n"
           "\"\" for the default disk), fanIndex (the SMC's fan to drive, 0 to 9, or auto).\n"
           "\n"
           "  --json            status, get and watch answer in JSON, one object a line\n"
           "  --version         show the version\n"
           "\n"
           "Exit status: 0 done, 1 daemon not running, 2 command line not understood,\n"
           "3 refused, 4 daemon lost during the command. See drivethermctl(1).\n";
}

}  // namespace drivetherm
