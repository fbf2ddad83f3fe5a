// SPDX-License-Identifier: GPL-2.0-or-later
#include "tools/drivetherm-smc/SmcTool.h"

#include <cstring>
#include <stdexcept>

#include "common/DataPaths.h"
#include "hardware/FanHandBack.h"
#include "hardware/SmcAccess.h"
#include "hardware/SmcDiagnostics.h"
#include "hardware/linux/ApplesmcDriver.h"
#include "hardware/sim/SimSmcDriver.h"


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

// Installs a driver for the length of one command and closes whatever is still open at the end,
// so that a failing action never leaves the process-wide connection behind.
class DriverScope {
public:
    explicit DriverScope(SmcDriver* driver) { setSmcDriver(driver); }
    ~DriverScope() {
        closeSmcConnection();
        setSmcDriver(nullptr);
    }
    DriverScope(const DriverScope&) = delete;
    DriverScope& operator=(const DriverScope&) = delete;
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

    std::unique_ptr<SmcDriver> driver;
    try {
        driver = makeDriver(options);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    if (!driver) return 1;
    DriverScope scope(driver.get());
    return runAction(options);
}

std::unique_ptr<SmcDriver> SmcTool::makeDriver(const SmcToolOptions& options) {
    // The tool shows keys as the SMC holds them, fraction bits included.
    if (options.hardware == "linux") {
        return std::make_unique<ApplesmcDriver>(options.sysfsRoot, posixApplesmcFiles(),
                                                ApplesmcDriver::Reads::SmcBytes);
    }
    const std::string path =
        options.hardware == "sim" ? defaultMachineFile() : options.hardware.substr(4);
    return std::make_unique<SimSmcDriver>(SimSmcController::fromMachineFile(path));
}

int SmcTool::noSmc(const SmcToolOptions& options) {
    return fail(options.hardware == "linux"
                    ? "no SMC under " + options.sysfsRoot +
                          "/devices/platform/applesmc.768 (is the applesmc module loaded?)"
                    : "the simulated SMC refused the connection (see the machine file's smc.faults)");
}

int SmcTool::runAction(const SmcToolOptions& options) {
    // Releasing opens and closes the connection itself.
    if (options.action == SmcToolOptions::Action::ReleaseFans) return releaseFans(options);
    if (openSmcConnection() != 0) return noSmc(options);
    switch (options.action) {
        case SmcToolOptions::Action::List: {
            // The listing shows an unreadable key count as an empty list; say why instead.
            SmcValue count;
            if (const kern_return_t status = readSmcKey("#KEY", count); status != kIOReturnSuccess) {
                return fail("the number of keys (key #KEY) cannot be read" + statusText(status));
            }
            listAllSmcKeys(out_);
            return 0;
        }
        case SmcToolOptions::Action::Fans: {
            SmcValue count;
            if (const kern_return_t status = readSmcKey("FNum", count); status != kIOReturnSuccess) {
                return fail("the number of fans (key FNum) cannot be read" + statusText(status));
            }
            printFanReport(out_);
            return 0;
        }
        case SmcToolOptions::Action::Read:
            return readKey(options);
        case SmcToolOptions::Action::Write:
            return writeKey(options);
        case SmcToolOptions::Action::ReleaseFans:
        case SmcToolOptions::Action::Help:
        case SmcToolOptions::Action::Version:
            break;
    }
    return 0;
}

int SmcTool::readKey(const SmcToolOptions& options) {
    SmcValue value;
    const kern_return_t status = readSmcKey(options.key.c_str(), value);
    if (status != kIOReturnSuccess) {
        return fail("reading " + options.key + " failed" + statusText(status));
    }
    printSmcValue(value, out_);
    if (value.valueSize == 0) return fail("the SMC holds no key \"" + options.key + "\"");
    return 0;
}

int SmcTool::writeKey(const SmcToolOptions& options) {
    SmcValue current;
    kern_return_t status = readSmcKey(options.key.c_str(), current);
    if (status != kIOReturnSuccess) {
        return fail("reading " + options.key + " before writing it failed" + statusText(status));
    }
    if (current.valueSize == 0) return fail("the SMC holds no key \"" + options.key + "\"");
    if (current.valueSize != options.bytes.size()) {
        return fail(options.key + " holds " + std::to_string(current.valueSize) + " byte(s) of type \"" +
                    current.valueType + "\" but -w gave " + std::to_string(options.bytes.size()) +
                    "; give " + std::to_string(current.valueSize * 2) + " hex digits");
    }

    SmcValue value;
    std::memcpy(value.keyName, options.key.c_str(), 4);
    value.valueSize = static_cast<std::uint32_t>(options.bytes.size());
    std::memcpy(value.valueBytes, options.bytes.data(), options.bytes.size());
    status = writeSmcKey(value);
    if (status == kIOReturnNotWritable) {
        return fail("this SMC does not let " + options.key + " be written");
    }
    if (status != kIOReturnSuccess) {
        return fail("writing " + options.key + " failed" + statusText(status));
    }
    return 0;
}

int SmcTool::releaseFans(const SmcToolOptions& options) {
    unsigned wasForced = 0;
    const kern_return_t status = releaseAllFans(&wasForced);
    if (status == kIOReturnNoDevice) return noSmc(options);
    if (status != kIOReturnSuccess) {
        return fail("returning the fans to automatic control failed" + statusText(status));
    }
    std::fprintf(out_, "Every fan is under automatic control (the forced mask was %04x).\n", wasForced);
    return 0;
}

}  // namespace drivetherm
