// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/SystemHardware.h"

#include "hardware/disk/DiskAccess.h"
#include "hardware/smc/FanHandBack.h"
#include "hardware/smc/SmcSession.h"

namespace drivetherm {

int SystemHardware::openSmcConnection() {
    return smc_.openSmcConnection();
}

void SystemHardware::closeSmcConnection() {
    smc_.closeSmcConnection();
}

double SystemHardware::readSmcTemperature(const char* key) {
    return smc_.readSmcTemperature(key);
}

int SystemHardware::readSmcFanSpeed(const char* key) {
    return smc_.readSmcFanSpeed(key);
}

kern_return_t SystemHardware::writeSmcFanSpeed(const char* key, int rpm) {
    if (fans_ && noteWrites_) fans_->noteWrite(key);
    return smc_.writeSmcFanSpeed(key, rpm);
}

int SystemHardware::readSmcFanCount() {
    return smc_.readSmcFanCount();
}

std::string SystemHardware::readSmcFanLabel(int fan) {
    return smc_.readSmcFanLabel(fan);
}

bool SystemHardware::readFanOwnLimits(int fan, int& minimum, int& maximum) {
    if (fans_) return fans_->ownLimits(fan, minimum, maximum);
    minimum = smc_.readSmcFanSpeed(smcFanKey(fan, "Mn").c_str());
    maximum = smc_.readSmcFanSpeed(smcFanKey(fan, "Mx").c_str());
    return minimum >= 0 && maximum >= 0;
}

void SystemHardware::handBackFans() {
    if (fans_ && noteWrites_) fans_->handBack();
}

std::uint8_t SystemHardware::readDriveTemperature(const char* diskName) {
    return disks_.reader().readDriveTemperature(diskName);
}

std::string SystemHardware::driveTemperatureSource() {
    const TemperatureSource source = disks_.reader().lastTemperatureSource();
    return source == TemperatureSource::None ? std::string() : temperatureSourceName(source);
}

std::optional<std::string> SystemHardware::bsdNameForDriveName(const std::string& driveName) {
    return disks_.walk().GetBSDNameForDriveName(driveName);
}

}  // namespace drivetherm
