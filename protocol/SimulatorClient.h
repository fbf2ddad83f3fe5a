// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "protocol/BusClient.h"
#include "protocol/DaemonProtocol.h"

namespace drivetherm {

// The simulated machine's inside while the daemon runs on it (SimulatorInterface): reads an SMC
// key as the daemon's reads see it, sets the sensors and the drives' temperatures and faults,
// and counts the SMART reads that reached a drive. drivethermctl's "simulate" commands and the
// integration tests use it.
//
// A change the daemon refuses raises DaemonRefused, any other failed call DaemonConnectionLost;
// either carries the daemon's (or the bus's) own message.
class SimulatorClient {
public:
    // An SMC key: status 0 when it exists, its four-character type and its bytes.
    struct Key {
        std::uint32_t status = 0;
        std::string type;
        std::vector<std::uint8_t> bytes;
    };

    // Connects to `bus` ("system", "session" or an address); none, with `error` set to one line,
    // when the bus cannot be reached.
    static std::unique_ptr<SimulatorClient> connect(const std::string& bus, std::string& error);

    explicit SimulatorClient(sd_bus* bus);  // takes over the reference

    Key readKey(const std::string& key);
    void setSensorTemperature(const std::string& key, double celsius);
    void setDriveTemperature(const std::string& disk, std::uint8_t celsius);
    void setDriveFault(const std::string& disk, const std::string& fault);
    // -1 when the machine has no such drive.
    int driveReadCount(const std::string& disk);

private:
    BusClient bus_;
};

}  // namespace drivetherm
