// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/SystemHardware.h"

#include "hardware/disk/DriveWalk.h"
#include "hardware/disk/SmartReader.h"
#include "hardware/smc/SmcAccess.h"

namespace drivetherm {

int SystemHardware::openSmcConnection() { return drivetherm::openSmcConnection(); }

void SystemHardware::closeSmcConnection() { drivetherm::closeSmcConnection(); }

double SystemHardware::readSmcTemperature(const char* key) {
    return drivetherm::readSmcTemperature(key);
}

int SystemHardware::readSmcFanSpeed(const char* key) { return drivetherm::readSmcFanSpeed(key); }

kern_return_t SystemHardware::writeSmcFanSpeed(const char* key, int rpm) {
    if (beforeFanWrite_) beforeFanWrite_(key);
    return drivetherm::writeSmcFanSpeed(key, rpm);
}

std::uint8_t SystemHardware::readDriveTemperature(const char* diskName) {
    return drivetherm::readDriveTemperature(diskName);
}

std::optional<std::string> SystemHardware::bsdNameForDriveName(const std::string& driveName) {
    return GetBSDNameForDriveName(driveName);
}

}  // namespace drivetherm
