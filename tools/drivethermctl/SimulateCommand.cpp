// SPDX-License-Identifier: GPL-2.0-or-later
#include "tools/drivethermctl/SimulateCommand.h"

#include <charconv>
#include <cmath>

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

bool isFault(const std::string& fault) {
    for (const char* known :
         {"none", "timeout", "not-responding", "busy", "no-attribute", "absent"}) {
        if (fault == known) return true;
    }
    return false;
}

}  // namespace

std::optional<SimulateCommand::Request> SimulateCommand::parse(
    const std::vector<std::string>& operands, std::string& error) {
    using What = Request::What;
    const std::string what = operands.empty() ? "" : operands[0];
    Request request{What::ReadKey, operands.size() > 1 ? operands[1] : "", 0, ""};
    if (what == "read-key" && operands.size() == 2) return request;
    if (operands.size() == 3) {
        if (what == "sensor" && parseNumber(operands[2], request.celsius)) {
            request.what = What::Sensor;
            return request;
        }
        if (what == "drive-temperature" && parseNumber(operands[2], request.celsius) &&
            request.celsius >= 0 && request.celsius <= 255) {
            request.what = What::DriveTemperature;
            return request;
        }
        if (what == "drive-fault" && isFault(operands[2])) {
            request.what = What::DriveFault;
            request.fault = operands[2];
            return request;
        }
    }
    error = "cannot understand \"simulate " + what + "\"; see drivethermctl --help";
    return std::nullopt;
}

int SimulateCommand::run(const std::string& bus, const Request& request) {
    std::string error;
    const auto simulator = SimulatorClient::connect(bus, error);
    if (!simulator) {
        std::fprintf(err_, "drivethermctl: %s\n", error.c_str());
        return CtlOptions::kNotRunning;
    }
    using What = Request::What;
    try {
        switch (request.what) {
            case What::ReadKey: {
                const SimulatorClient::Key key = simulator->readKey(request.name);
                std::fprintf(out_, "%s [%-4s] status %08x bytes", request.name.c_str(),
                             key.type.c_str(), key.status);
                for (const std::uint8_t byte : key.bytes) std::fprintf(out_, " %02x", byte);
                std::fprintf(out_, "\n");
                break;
            }
            case What::Sensor:
                simulator->setSensorTemperature(request.name, request.celsius);
                break;
            case What::DriveTemperature:
                simulator->setDriveTemperature(request.name,
                                               static_cast<std::uint8_t>(request.celsius));
                break;
            case What::DriveFault:
                simulator->setDriveFault(request.name, request.fault);
                break;
        }
    } catch (const DaemonInvalidValue& e) {
        std::fprintf(err_, "drivethermctl: %s\n", e.what());
        return CtlOptions::kUsage;
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
