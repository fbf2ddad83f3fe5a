// SPDX-License-Identifier: GPL-2.0-or-later
// drivethermctl: read and change the fan daemon's settings, read the disk's temperature and the
// fan's speed, watch them live; look inside the simulated machine. Everything on the command
// line is checked before the daemon is asked anything.
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/DbusDaemonClient.h"
#include "tools/drivethermctl/CtlOptions.h"
#include "tools/drivethermctl/DaemonCommands.h"
#include "tools/drivethermctl/SimulateCommand.h"

using namespace drivetherm;

namespace {

int usageError(const std::string& error) {
    std::fprintf(stderr, "drivethermctl: %s\n", error.c_str());
    return CtlOptions::kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = parseCtlOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) return usageError(error);
    if (options->showVersion) {
        std::printf("drivethermctl %s\n", DRIVETHERM_VERSION);
        return CtlOptions::kOk;
    }
    if (options->showHelp || options->command.empty()) {
        std::fputs(ctlUsage(), options->showHelp ? stdout : stderr);
        return options->showHelp ? CtlOptions::kOk : CtlOptions::kUsage;
    }
    const std::string& command = options->command;
    if (command == "simulate") {
        const auto request = SimulateCommand::parse(options->operands, error);
        if (!request) return usageError(error);
        return SimulateCommand(stdout, stderr).run(options->bus, *request);
    }

    DaemonProxy daemon = DbusDaemonClient::bind(options->bus);
    if (daemon.isNone()) {
        // A monitoring agent tells "not running" from a broken command line without reading
        // the message.
        if (options->json && command == "status") std::fputs("{\"running\":false}\n", stdout);
        std::fprintf(stderr,
                     "drivethermctl: the fan daemon is not running on the %s bus (start it with: "
                     "systemctl start drivethermd)\n",
                     options->bus.c_str());
        return CtlOptions::kNotRunning;
    }
    DaemonCommands commands(daemon, stdout, options->json);
    try {
        if (command == "status") {
            commands.status();
        } else if (command == "get") {
            commands.get(*options->setting);
        } else if (command == "set") {
            commands.set(*options->setting, options->value);
        } else if (command == "temp") {
            commands.temp();
        } else {
            commands.watch(options->watchSeconds);
        }
    } catch (const DaemonInvalidValue& e) {
        // A value the daemon does not accept is a bad command line like any other.
        return usageError(e.what());
    } catch (const DaemonRefused& e) {
        std::fprintf(stderr, "drivethermctl: %s\n", e.what());
        return CtlOptions::kRefused;
    } catch (const DaemonError& e) {
        std::fprintf(stderr, "drivethermctl: %s\n", e.what());
        return CtlOptions::kLost;
    }
    return CtlOptions::kOk;
}
