// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/DaemonOptions.h"

#include <charconv>

namespace drivetherm {

std::optional<DaemonOptions> parseDaemonOptions(const std::vector<std::string>& arguments,
                                                const std::string& defaultMachineFile,
                                                std::string& error) {
    DaemonOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < arguments.size()) return arguments[++i];
            error = "option " + name + " needs a value (see --help)";
            return std::nullopt;
        };
        auto takesNoValue = [&]() {
            if (!inlineValue) return true;
            error = "option " + name + " takes no value (see --help)";
            return false;
        };

        if (name == "-h" || name == "--help") {
            if (!takesNoValue()) return std::nullopt;
            options.showHelp = true;
        } else if (name == "--version") {
            if (!takesNoValue()) return std::nullopt;
            options.showVersion = true;
        } else if (name == "-v" || name == "--verbose") {
            if (!takesNoValue()) return std::nullopt;
            options.verbose = true;
        } else if (name == "--dry-run") {
            if (!takesNoValue()) return std::nullopt;
            options.dryRun = true;
        } else if (name == "--bus") {
            auto v = value();
            if (!v) return std::nullopt;
            if (v->empty()) {
                error = "--bus needs \"system\", \"session\" or a D-Bus address such as "
                        "unix:path=/run/x";
                return std::nullopt;
            }
            options.bus = *v;
        } else if (name == "--hardware") {
            auto v = value();
            if (!v) return std::nullopt;
            if (*v == "linux") {
                options.hardware = DaemonOptions::Hardware::Linux;
            } else if (*v == "sim") {
                options.hardware = DaemonOptions::Hardware::Simulated;
                options.machineFile = defaultMachineFile;
            } else if (v->rfind("sim:", 0) == 0 && v->size() > 4) {
                options.hardware = DaemonOptions::Hardware::Simulated;
                options.machineFile = v->substr(4);
            } else {
                error = "--hardware must be \"linux\", \"sim\" or \"sim:FILE\", not \"" + *v + "\"";
                return std::nullopt;
            }
        } else if (name == "--state-dir") {
            auto v = value();
            if (!v) return std::nullopt;
            if (v->empty() || (*v)[0] != '/') {
                error = "--state-dir needs an absolute directory, not \"" + *v + "\"";
                return std::nullopt;
            }
            options.stateDirectory = *v;
        } else if (name == "--sysfs-root") {
            auto v = value();
            if (!v) return std::nullopt;
            if (v->empty()) {
                error = "--sysfs-root needs a directory";
                return std::nullopt;
            }
            options.sysfsRoot = *v;
        } else if (name == "--dev-dir") {
            auto v = value();
            if (!v) return std::nullopt;
            if (v->empty()) {
                error = "--dev-dir needs a directory";
                return std::nullopt;
            }
            options.deviceDirectory = *v;
        } else if (name == "--tick-interval") {
            auto v = value();
            if (!v) return std::nullopt;
            long ms = 0;
            const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), ms);
            if (ec != std::errc() || end != v->data() + v->size() || ms < 10 || ms > 60000) {
                error = "--tick-interval needs a whole number of milliseconds from 10 to 60000, "
                        "not \"" + *v + "\"";
                return std::nullopt;
            }
            options.tickInterval = std::chrono::milliseconds(ms);
        } else {
            error = "unknown option \"" + arguments[i] + "\" (see --help)";
            return std::nullopt;
        }
    }
    return options;
}

std::string daemonUsage(const std::string& programName) {
    return "Usage: " + programName + " [options]\n"
           "Holds fan 1 at a speed that follows the internal disk's SMART temperature.\n"
           "\n"
           "  --bus system|session|ADDRESS  the D-Bus bus to serve on (default: system)\n"
           "  --hardware linux|sim|sim:FILE the real machine (default), the shipped simulated\n"
           "                                machine, or the one described in FILE\n"
           "  --state-dir DIR               where the settings file lives\n"
           "                                (default: /var/lib/drivetherm)\n"
           "  --sysfs-root DIR              root of the sysfs tree (default: /sys)\n"
           "  --dev-dir DIR                 directory of the device nodes (default: /dev)\n"
           "  --tick-interval MS            length of one tick (default: 1000)\n"
           "  --dry-run                     read and compute everything, write no fan speed\n"
           "  -v, --verbose                 log each temperature check and speed change\n"
           "  -h, --help                    show this text\n"
           "      --version                 show the version\n";
}

}  // namespace drivetherm
