// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hardware/IOReturn.h"

namespace drivetherm {

// A look inside the simulated machine while the daemon runs on it, for tests and people.
class SimulatorControl {
public:
    virtual ~SimulatorControl() = default;
    // The simulated SMC's key as a read would see it; status 0 when it exists.
    virtual kern_return_t readKey(const std::string& key, std::string& type,
                                  std::vector<std::uint8_t>& bytes) = 0;
    // False when there is no "sp78" sensor of that name.
    virtual bool setSensorTemperature(const std::string& key, double celsius) = 0;
    // False when there is no such drive.
    virtual bool setDriveTemperature(const std::string& bsdName, std::uint8_t celsius) = 0;
    // False when there is no such drive or fault.
    virtual bool setDriveFault(const std::string& bsdName, const std::string& fault) = 0;
    // SMART data reads that reached the drive; -1 when there is no such drive. Lets a test prove
    // that a query did not touch the disk.
    virtual int driveReadCount(const std::string& bsdName) = 0;
};

}  // namespace drivetherm
