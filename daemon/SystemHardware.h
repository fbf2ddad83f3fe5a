// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>

#include "daemon/DaemonHardware.h"

namespace drivetherm {

class DiskAccess;
class SmcSession;

// The control loop's view of the machine, forwarded to the hardware layer: the SMC through its
// session, the disks through their access object.
class SystemHardware final : public DaemonHardware {
public:
    // Both must outlive this object.
    SystemHardware(SmcSession& smc, DiskAccess& disks) : smc_(smc), disks_(disks) {}

    // Called with the key before each fan write while the connection is open, so the fans'
    // original settings can be remembered and handed back when the daemon stops.
    void setBeforeFanWrite(std::function<void(const char* key)> hook) {
        beforeFanWrite_ = std::move(hook);
    }

    int openSmcConnection() override;
    void closeSmcConnection() override;
    double readSmcTemperature(const char* key) override;
    int readSmcFanSpeed(const char* key) override;
    kern_return_t writeSmcFanSpeed(const char* key, int rpm) override;
    std::uint8_t readDriveTemperature(const char* diskName) override;
    std::string driveTemperatureSource() override;
    std::optional<std::string> bsdNameForDriveName(const std::string& driveName) override;

private:
    SmcSession& smc_;
    DiskAccess& disks_;
    std::function<void(const char*)> beforeFanWrite_;
};

}  // namespace drivetherm
