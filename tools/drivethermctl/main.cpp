// SPDX-License-Identifier: GPL-2.0-or-later
// drivethermctl: read and change the fan daemon's settings, read the disk's temperature and the
// fan's speed, watch them live; look inside the simulated machine.
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/DbusDaemonClient.h"
#include "tools/drivethermctl/CtlOptions.h"
#include "tools/drivethermctl/DaemonCommands.h"
#include "tools/drivethermctl/SimulateCommand.h"

using namespace drivetherm;

int main(int argc, char** argv) {
    std::string error;
    const auto options = parseCtlOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "drivethermctl: %s\n", error.c_str());
        return CtlOptions::kUsage;
    }
    if (options->showHelp || options->command.empty()) {
        std::fputs(ctlUsage(), options->showHelp ? stdout : stderr);
        return options->showHelp ? CtlOptions::kOk : CtlOptions::kUsage;
    }
    const std::string& command = options->command;
    const std::vector<std::string>& operands = options->operands;
    if (command == "simulate") return SimulateCommand(stdout, stderr).run(options->bus, operands);

    DaemonProxy daemon = DbusDaemonClient::bind(options->bus);
    if (daemon.isNone()) {
        std::fprintf(stderr,
                     "drivethermctl: the fan daemon is not running on the %s bus (start it with: "
                     "systemctl start drivethermd)\n",
                     options->bus.c_str());
        return CtlOptions::kNotRunning;
    }
    DaemonCommands commands(daemon, stdout, stderr);
    try {
        if (command == "status") {
            commands.status();
        } else if (command == "get") {
            commands.get(operands[0]);
        } else if (command == "set") {
            if (!commands.set(operands[0], operands[1])) return CtlOptions::kUsage;
        } else if (command == "temp") {
            commands.temp();
        } else {
            commands.watch(options->watchSeconds);
        }
    } catch (const DaemonRefused& e) {
        std::fprintf(stderr, "drivethermctl: %s\n", e.what());
        return CtlOptions::kRefused;
    } catch (const DaemonError& e) {
        std::fprintf(stderr, "drivethermctl: %s\n", e.what());
        return CtlOptions::kLost;
    }
    return CtlOptions::kOk;
}
