// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontends/FrontendOptions.h"

#include "common/CommandLine.h"

namespace drivetherm {

std::vector<std::string> FrontendOptions::passOn() const {
    std::vector<std::string> options{"--bus", bus};
    const std::vector<std::string> machineOptions = machine.passOn();
    options.insert(options.end(), machineOptions.begin(), machineOptions.end());
    return options;
}

std::optional<FrontendOptions> parseFrontendOptions(const std::vector<std::string>& arguments,
                                                    FrontendOptions::Program program,
                                                    const std::string& defaultMachineFile,
                                                    std::string& error) {
    const bool monitor = program == FrontendOptions::Program::Monitor;
    FrontendOptions options;
    CommandLine line(arguments, error);
    const auto flag = [&](bool& target) {
        if (!line.flag()) return false;
        target = true;
        return true;
    };
    while (line.next()) {
        const std::string& name = line.name();
        const auto value = [&] { return line.value(); };
        if (name == "-h" || name == "--help") {
            if (!flag(options.showHelp)) return std::nullopt;
        } else if (name == "--version") {
            if (!flag(options.showVersion)) return std::nullopt;
        } else if (name == "--bus") {
            if (!line.busValue(options.bus)) return std::nullopt;
        } else if (line.isMachineOption()) {
            if (!line.machineValue(options.machine, defaultMachineFile)) return std::nullopt;
        } else if (monitor && name == "--poll-interval") {
            const auto v = value();
            if (!v) return std::nullopt;
            const auto ms = wholeNumber(*v, 10, 3600 * 1000);
            if (!ms) {
                error = "--poll-interval needs milliseconds from 10 to 3600000, not \"" + *v + "\"";
                return std::nullopt;
            }
            options.pollInterval = std::chrono::milliseconds(*ms);
        } else if (monitor && name == "--tray-wait") {
            const auto v = value();
            if (!v) return std::nullopt;
            const auto seconds = wholeNumber(*v, 0, 600);
            if (!seconds) {
                error = "--tray-wait needs seconds from 0 to 600, not \"" + *v + "\"";
                return std::nullopt;
            }
            options.trayWait = std::chrono::seconds(*seconds);
        } else if (!monitor && name == "--quit-after-first-paint") {
            if (!flag(options.quitAfterFirstPaint)) return std::nullopt;
        } else if (!monitor && name == "--screenshot") {
            const auto v = value();
            if (!v) return std::nullopt;
            if (v->empty()) {
                error = "--screenshot needs a file to save the picture in";
                return std::nullopt;
            }
            options.screenshot = *v;
        } else {
            return line.unknown();
        }
    }
    return options;
}

std::string frontendUsage(FrontendOptions::Program program, const std::string& programName) {
    const bool monitor = program == FrontendOptions::Program::Monitor;
    std::string text = "Usage: " + programName + " [OPTION]...\n";
    text += monitor ? "Shows the disk's temperature and the fan's speed in the system tray.\n"
                    : "Sets how the fan follows the disk's temperature.\n";
    text +=
        "\n"
        "  --bus system|session|ADDRESS  the bus the fan daemon is on (default: system)\n"
        "  --hardware linux|sim|sim:FILE this machine's disks, or the simulated machine's\n"
        "                                (default: linux)\n"
        "  --sysfs-root DIR              root of the sysfs tree (default: /sys)\n"
        "  --dev-dir DIR                 directory of the device nodes (default: /dev)\n";
    if (monitor) {
        text +=
            "  --poll-interval MS            how often the title is updated (default: 5000)\n"
            "  --tray-wait SECONDS           how long to wait for a system tray before saying so\n"
            "                                (default: 5)\n";
    } else {
        text +=
            "  --quit-after-first-paint      print the start-up time in ms when the window is\n"
            "                                first drawn, then quit\n"
            "  --screenshot FILE             save the window to FILE (PNG) once drawn, then quit\n";
    }
    text +=
        "  -h, --help                    this text\n"
        "      --version                 the version\n";
    return text;
}

}  // namespace drivetherm
