// SPDX-License-Identifier: GPL-2.0-or-later
#include "tools/drivetherm-smc/SmcToolOptions.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "common/CommandLine.h"
#include "common/DataPaths.h"
#include "hardware/smc/SmcCodec.h"

namespace drivetherm {
namespace {

using Action = SmcToolOptions::Action;

bool isKeyText(std::string_view key) {
    if (key.size() != 4) return false;
    for (const char c : key) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

SmcToolOptions::Parsed failure(std::string error) {
    SmcToolOptions::Parsed parsed;
    parsed.error = std::move(error);
    return parsed;
}

// The tool's own wording for a machine option CommandLine could not read.
std::string machineOptionError(const CommandLine& line) {
    if (line.name() != "--hardware") return line.name() + " needs a directory";
    const auto& given = line.lastValue();
    if (!given) return "--hardware needs linux, sim or sim:FILE";
    return "--hardware: expected linux, sim or sim:FILE (got \"" + *given + "\")";
}

const char* actionName(Action action) {
    switch (action) {
        case Action::Help:
            return "-h";
        case Action::Version:
            return "-v";
        case Action::List:
            return "-l";
        case Action::Fans:
            return "-f";
        case Action::Read:
            return "-r";
        case Action::Write:
            return "-w";
        case Action::ReleaseFans:
            return "--release-fans";
    }
    return "?";
}

}  // namespace

SmcToolOptions::Parsed SmcToolOptions::parse(int argc, const char* const* argv) {
    SmcToolOptions options;
    std::optional<Action> action;
    bool help = false;
    bool version = false;
    bool haveKey = false;
    bool stateDirectoryGiven = false;
    std::string writeText;

    auto setAction = [&](Action wanted) -> std::optional<std::string> {
        if (action && *action != wanted) {
            return std::string("choose one of -f, -l, -r, -w and --release-fans, not both ") +
                   actionName(*action) + " and " + actionName(wanted);
        }
        action = wanted;
        return std::nullopt;
    };

    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    std::string error;
    // -k and -w take their value as the next argument or attached ("-kF1Mn").
    CommandLine line(arguments, error, "kw");
    while (line.next()) {
        // Flags must be given exactly: "--help=x" is no flag.
        const std::string& arg = line.given();
        std::optional<std::string> conflict;
        if (arg == "-h" || arg == "--help") {
            help = true;
        } else if (arg == "-v" || arg == "--version") {
            version = true;
        } else if (arg == "-l") {
            conflict = setAction(Action::List);
        } else if (arg == "-f") {
            conflict = setAction(Action::Fans);
        } else if (arg == "-r") {
            conflict = setAction(Action::Read);
        } else if (arg == "--release-fans") {
            conflict = setAction(Action::ReleaseFans);
        } else if (line.name() == "-k") {
            const auto key = line.value();
            if (!key) return failure("-k needs a key, such as -k F1Mn");
            options.key = *key;
            if (!isKeyText(options.key)) {
                return failure("-k: a key is four characters, such as F1Mn or \"FS! \" (got \"" +
                               options.key + "\")");
            }
            haveKey = true;
        } else if (line.name() == "-w") {
            const auto value = line.value();
            if (!value) return failure("-w needs a value as hex bytes, such as -w 1f40");
            writeText = *value;
            conflict = setAction(Action::Write);
        } else if (line.name() == "--state-dir") {
            const auto directory = line.value();
            if (!directory || directory->empty() || (*directory)[0] != '/') {
                return failure(
                    "--state-dir needs an absolute directory, such as "
                    "/var/lib/drivetherm");
            }
            options.stateDirectory = *directory;
            stateDirectoryGiven = true;
        } else if (line.isMachineOption()) {
            if (!line.machineValue(options.machine, defaultMachineFile())) {
                return failure(machineOptionError(line));
            }
        } else {
            return failure("unknown option \"" + arg + "\"; -h shows the usage");
        }
        if (conflict) return failure(*conflict);
    }

    SmcToolOptions::Parsed parsed;
    if (help) {
        options.action = Action::Help;
    } else if (version) {
        options.action = Action::Version;
    } else {
        if (!action && haveKey) action = Action::Read;
        if (!action) {
            return failure(
                "nothing to do: give -f, -l, -k KEY -r, -k KEY -w HEX or --release-fans"
                " (-h shows the usage)");
        }
        if ((*action == Action::Read || *action == Action::Write) && !haveKey) {
            return failure(std::string(actionName(*action)) + " needs a key: -k KEY");
        }
        if ((*action != Action::Read && *action != Action::Write) && haveKey) {
            return failure(std::string("-k goes with -r or -w, not with ") + actionName(*action));
        }
        if (*action != Action::ReleaseFans && stateDirectoryGiven) {
            return failure(std::string("--state-dir goes with --release-fans, not with ") +
                           actionName(*action));
        }
        if (*action == Action::Write && !parseSmcHexBytes(writeText, options.bytes)) {
            return failure(
                "-w: expected 1 to 32 bytes as hex, two digits a byte, such as 1f40 (got \"" +
                writeText + "\")");
        }
        if (*action == Action::Write && options.bytes.empty()) {
            return failure(
                "-w: expected 1 to 32 bytes as hex, two digits a byte, such as 1f40 (got \"\")");
        }
        options.action = *action;
    }
    parsed.ok = true;
    parsed.options = std::move(options);
    return parsed;
}

}  // namespace drivetherm
