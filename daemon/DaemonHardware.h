// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "hardware/IOReturn.h"

namespace drivetherm {

// Everything the control loop asks of the machine: the SMC's typed accessors, what it says about
// its fans, the fans' own limits and their hand-back, the disk's SMART temperature and the drive
// lookup by model name. SystemHardware forwards to the hardware layer
// (the SMC session and the disk access of the machine the daemon runs on); tests give the loop
// a fake.
class DaemonHardware {
public:
    virtual ~DaemonHardware() = default;

    // 0 on success, 1 on failure (the SMC layer has printed why).
    virtual int openSmcConnection() = 0;
    virtual void closeSmcConnection() = 0;
    // °C; 0.0 means no reading.
    virtual double readSmcTemperature(const char* key) = 0;
    // rpm; -1 means no reading.
    virtual int readSmcFanSpeed(const char* key) = 0;
    virtual kern_return_t writeSmcFanSpeed(const char* key, int rpm) = 0;
    // The number of fans ("FNum"); -1 when it cannot be read.
    virtual int readSmcFanCount() = 0;
    // The fan's name from "F%dID" ("HDD", "Exhaust"); "" when it has none or it cannot be read.
    virtual std::string readSmcFanLabel(int fan) = 0;
    // The fan's own minimum and maximum in rpm, as the SMC reported them before the daemon first
    // wrote them: remembered from before (across a restart, too), or read now and remembered.
    // False when they cannot be read. The connection must be open.
    virtual bool readFanOwnLimits(int fan, int& minimum, int& maximum) = 0;
    // Gives every fan the daemon wrote back to the SMC's own control, with its own limits. Opens
    // and closes the connection itself.
    virtual void handBackFans() = 0;
    // °C, 0 to 255; 0 means no reading.
    virtual std::uint8_t readDriveTemperature(const char* diskName) = 0;
    // Where the last readDriveTemperature found its reading ("attribute 190"), for the log;
    // empty when it gave none or nobody says.
    virtual std::string driveTemperatureSource() { return {}; }
    // The BSD name ("disk1") of the first SMART-capable drive whose model string equals
    // `driveName`, or nothing.
    virtual std::optional<std::string> bsdNameForDriveName(const std::string& driveName) = 0;
};

}  // namespace drivetherm
