// SPDX-License-Identifier: GPL-2.0-or-later
#include "tools/drivethermctl/SimulateCommand.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "protocol/SimulatorClient.h"
#include "tools/drivethermctl/CtlOptions.h"

namespace drivetherm {
namespace {

// All of `text` as a finite number.
bool parseNumber(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && stop == end && std::isfinite(value);
}

}  // namespace

int SimulateCommand::run(const std::string& bus, const std::vector<std::string>& operands) {
    std::string error;
    const auto simulator = SimulatorClient::connect(bus, error);
    if (!simulator) {
        std::fprintf(err_, "drivethermctl: %s\n", error.c_str());
        return CtlOptions::kNotRunning;
    }
    const std::string& what = operands[0];
    double value = 0;
    try {
        if (what == "read-key" && operands.size() == 2) {
            const SimulatorClient::Key key = simulator->readKey(operands[1]);
            std::fprintf(out_, "%s [%-4s] status %08x bytes", operands[1].c_str(), key.type.c_str(),
                         key.status);
            for (const std::uint8_t byte : key.bytes) std::fprintf(out_, " %02x", byte);
            std::fprintf(out_, "\n");
        } else if (what == "sensor" && operands.size() == 3 && parseNumber(operands[2], value)) {
            simulator->setSensorTemperature(operands[1], value);
        } else if (what == "drive-temperature" && operands.size() == 3 &&
                   parseNumber(operands[2], value) && value >= 0 && value <= 255) {
            simulator->setDriveTemperature(operands[1], static_cast<std::uint8_t>(value));
        } else if (what == "drive-fault" && operands.size() == 3) {
            simulator->setDriveFault(operands[1], operands[2]);
        } else {
            std::fprintf(err_,
                         "drivethermctl: cannot understand \"simulate %s\"; see drivethermctl "
                         "--help\n",
                         what.c_str());
            return CtlOptions::kUsage;
        }
    } catch (const DaemonRefused& e) {
        std::fprintf(err_, "drivethermctl: the simulated machine did not answer: %s\n", e.what());
        return CtlOptions::kRefused;
    } catch (const DaemonError& e) {
        std::fprintf(err_, "drivethermctl: the simulated machine did not answer: %s\n", e.what());
        return CtlOptions::kLost;
    }
    return CtlOptions::kOk;
}

}  // namespace drivetherm
