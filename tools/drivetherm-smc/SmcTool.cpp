// SPDX-License-Identifier: GPL-2.0-or-later
#include "tools/drivetherm-smc/SmcTool.h"

#include <cstring>
#include <stdexcept>

#include "hardware/machine/Machine.h"
#include "hardware/smc/FanHandBack.h"
#include "hardware/smc/SmcDiagnostics.h"
#include "hardware/smc/SmcSession.h"

namespace drivetherm {
namespace {

constexpr const char* kProgram = "drivetherm-smc";

std::string hexStatus(kern_return_t status) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(status));
    return text;
}

// " (status e00002c1: ...)": the status and, where it helps, what to do about it.
std::string statusText(kern_return_t status) {
    std::string text = " (status " + hexStatus(status);
    if (status == kIOReturnNotPrivileged) text += ": run it as root";
    return text + ")";
}

std::string baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Closes whatever is still open at the end of one command, so that a failing action never
// leaves the connection behind.
class ConnectionScope {
public:
    explicit ConnectionScope(SmcSession& smc) : smc_(smc) {}
    ~ConnectionScope() { smc_.closeSmcConnection(); }
    ConnectionScope(const ConnectionScope&) = delete;
    ConnectionScope& operator=(const ConnectionScope&) = delete;

private:
    SmcSession& smc_;
};

}  // namespace

int SmcTool::fail(const std::string& message) {
    std::fprintf(err_, "%s: %s\n", kProgram, message.c_str());
    return 1;
}

int SmcTool::run(int argc, const char* const* argv) {
    const SmcToolOptions::Parsed parsed = SmcToolOptions::parse(argc, argv);
    if (!parsed.ok) {
        std::fprintf(err_, "%s: %s\n", kProgram, parsed.error.c_str());
        return 2;
    }
    const SmcToolOptions& options = parsed.options;
    if (options.action == SmcToolOptions::Action::Help) {
        printSmcToolUsage(argc > 0 ? baseName(argv[0]).c_str() : kProgram, out_);
        return 0;
    }
    if (options.action == SmcToolOptions::Action::Version) {
        std::fprintf(out_, "Apple System Management Control (SMC) tool %s\n", kSmcToolVersion);
        return 0;
    }

    std::unique_ptr<Machine> machine;
    try {
        // The tool shows keys as the SMC holds them, fraction bits included.
        machine = Machine::open(options.machine, Machine::SmcReads::KeysOwnBytes);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    SmcSession smc(&machine->smcDriver(), out_);
    ConnectionScope scope(smc);
    return runAction(options, smc);
}

int SmcTool::noSmc(const SmcToolOptions& options, const SmcSession& smc) {
    if (options.machine.simulated()) {
        return fail("the simulated SMC refused the connection (see the machine file's smc.faults)");
    }
    const std::string directory = options.machine.sysfsRoot + "/devices/platform/applesmc.768";
    if (smc.lastOpenFailure() != SmcOpenResult::Step::NoService) {
        return fail("the SMC under " + directory +
                    " does not answer; see the kernel's log (\"dmesg | grep applesmc\")");
    }
    return fail("no SMC under " + directory + " (is the applesmc module loaded?)");
}

int SmcTool::runAction(const SmcToolOptions& options, SmcSession& smc) {
    // Releasing opens and closes the connection itself.
    if (options.action == SmcToolOptions::Action::ReleaseFans) return releaseFans(options, smc);
    if (smc.openSmcConnection() != 0) return noSmc(options, smc);
    switch (options.action) {
        case SmcToolOptions::Action::List: {
            // The listing shows an unreadable key count as an empty list; say why instead.
            SmcValue count;
            if (const kern_return_t status = smc.readSmcKey("#KEY", count);
                status != kIOReturnSuccess) {
                return fail("the number of keys (key #KEY) cannot be read" + statusText(status));
            }
            listAllSmcKeys(smc, out_);
            return 0;
        }
        case SmcToolOptions::Action::Fans: {
            SmcValue count;
            if (const kern_return_t status = smc.readSmcKey("FNum", count);
                status != kIOReturnSuccess) {
                return fail("the number of fans (key FNum) cannot be read" + statusText(status));
            }
            printFanReport(smc, out_);
            return 0;
        }
        case SmcToolOptions::Action::Read:
            return readKey(options, smc);
        case SmcToolOptions::Action::Write:
            return writeKey(options, smc);
        case SmcToolOptions::Action::ReleaseFans:
        case SmcToolOptions::Action::Help:
        case SmcToolOptions::Action::Version:
            break;
    }
    return 0;
}

int SmcTool::readKey(const SmcToolOptions& options, SmcSession& smc) {
    SmcValue value;
    const kern_return_t status = smc.readSmcKey(options.key.c_str(), value);
    if (status != kIOReturnSuccess) {
        return fail("reading " + options.key + " failed" + statusText(status));
    }
    printSmcValue(value, out_);
    if (value.valueSize == 0) return fail("the SMC holds no key \"" + options.key + "\"");
    return 0;
}

int SmcTool::writeKey(const SmcToolOptions& options, SmcSession& smc) {
    SmcValue current;
    kern_return_t status = smc.readSmcKey(options.key.c_str(), current);
    if (status != kIOReturnSuccess) {
        return fail("reading " + options.key + " before writing it failed" + statusText(status));
    }
    if (current.valueSize == 0) return fail("the SMC holds no key \"" + options.key + "\"");
    if (current.valueSize != options.bytes.size()) {
        return fail(options.key + " holds " + std::to_string(current.valueSize) +
                    " byte(s) of type \"" + current.valueType + "\" but -w gave " +
                    std::to_string(options.bytes.size()) + "; give " +
                    std::to_string(current.valueSize * 2) + " hex digits");
    }

    SmcValue value;
    std::memcpy(value.keyName, options.key.c_str(), 4);
    value.valueSize = static_cast<std::uint32_t>(options.bytes.size());
    std::memcpy(value.valueBytes, options.bytes.data(), options.bytes.size());
    status = smc.writeSmcKey(value);
    if (status == kIOReturnNotWritable) {
        return fail("this SMC does not let " + options.key + " be written");
    }
    if (status != kIOReturnSuccess) {
        return fail("writing " + options.key + " failed" + statusText(status));
    }
    return 0;
}

int SmcTool::releaseFans(const SmcToolOptions& options, SmcSession& smc) {
    unsigned wasForced = 0;
    const kern_return_t status = releaseAllFans(smc, &wasForced);
    if (status == kIOReturnNoDevice) return noSmc(options, smc);
    if (status != kIOReturnSuccess) {
        return fail("returning the fans to automatic control failed" + statusText(status));
    }
    std::fprintf(out_, "Every fan is under automatic control (the forced mask was %04x).\n",
                 wasForced);

    // After a crash of the daemon the SMC holds its last speed as the fan's minimum; the fan's
    // own limits are in the daemon's state directory.
    const FanLimitsFile file(options.stateDirectory);
    const auto remembered = file.load();
    if (remembered.empty()) return 0;
    if (!handBackRemembered(smc, file)) {
        return fail("the fans' own speed limits remembered in " + file.path() +
                    " could not all be given back; run it again, or reboot");
    }
    for (const auto& [fan, limits] : remembered) {
        if (limits.minimum >= 0) {
            std::fprintf(out_, "Fan %d has its own minimum speed of %d rpm again.\n", fan,
                         limits.minimum);
        }
    }
    return 0;
}

}  // namespace drivetherm
