// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/DaemonOptions.h"

#include "common/CommandLine.h"

namespace drivetherm {

std::optional<DaemonOptions> parseDaemonOptions(const std::vector<std::string>& arguments,
                                                const std::string& defaultMachineFile,
                                                std::string& error) {
    DaemonOptions options;
    CommandLine line(arguments, error);
    while (line.next()) {
        const std::string& name = line.name();
        if (name == "-h" || name == "--help") {
            if (!line.flag()) return std::nullopt;
            options.showHelp = true;
        } else if (name == "--version") {
            if (!line.flag()) return std::nullopt;
            options.showVersion = true;
        } else if (name == "-v" || name == "--verbose") {
            if (!line.flag()) return std::nullopt;
            options.verbose = true;
        } else if (name == "--dry-run") {
            if (!line.flag()) return std::nullopt;
            options.dryRun = true;
        } else if (name == "--bus") {
            if (!line.busValue(options.bus)) return std::nullopt;
        } else if (line.isMachineOption()) {
            if (!line.machineValue(options.machine, defaultMachineFile)) return std::nullopt;
        } else if (name == "--state-dir") {
            const auto v = line.value();
            if (!v) return std::nullopt;
            if (v->empty() || (*v)[0] != '/') {
                error = "--state-dir needs an absolute directory, not \"" + *v + "\"";
                return std::nullopt;
            }
            options.stateDirectory = *v;
        } else if (name == "--tick-interval") {
            const auto v = line.value();
            if (!v) return std::nullopt;
            const auto ms = wholeNumber(*v, 10, 60000);
            if (!ms) {
                error =
                    "--tick-interval needs a whole number of milliseconds from 10 to 60000, "
                    "not \"" +
                    *v + "\"";
                return std::nullopt;
            }
            options.tickInterval = std::chrono::milliseconds(*ms);
        } else {
            return line.unknown();
        }
    }
    return options;
}

std::string daemonUsage(const std::string& programName) {
    return "Usage: " + programName +
           " [options]\n"
           "Holds fan 1 at a speed that follows the internal disk's SMART temperature.\n"
           "\n"
           "  --bus system|session|ADDRESS  the D-Bus bus to serve on (default: system)\n"
           "  --hardware linux|sim|sim:FILE the real machine (default), the shipped simulated\n"
           "                                machine, or the one described in FILE\n"
           "  --state-dir DIR               where the settings file lives\n"
           "                                (default: /var/lib/drivetherm)\n"
           "  --sysfs-root DIR              root of the sysfs tree (default: /sys)\n"
           "  --dev-dir DIR                 directory of the device nodes (default: /dev, or\n"
           "                                the dev/ beside a --sysfs-root tree)\n"
           "  --tick-interval MS            length of one tick (default: 1000)\n"
           "  --dry-run                     read and compute everything, write no fan speed\n"
           "  -v, --verbose                 log each temperature check and speed change\n"
           "  -h, --help                    show this text\n"
           "      --version                 show the version\n";
}

}  // namespace drivetherm
