// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "daemon/DaemonHardware.h"

namespace drivetherm {

class DiskAccess;
class FanHandBack;
class SmcSession;

// The control loop's view of the machine, forwarded to the hardware layer: the SMC through its
// session, the disks through their access object.
class SystemHardware final : public DaemonHardware {
public:
    // Both must outlive this object.
    SystemHardware(SmcSession& smc, DiskAccess& disks) : smc_(smc), disks_(disks) {}

    // Where the fans' own limits are remembered and from where the fans are handed back. With
    // `noteWrites` every fan write is noted there first (a dry run writes nothing, so there is
    // nothing to note and nothing to hand back). Without a keeper the limits are read afresh.
    void keepFansWith(FanHandBack* fans, bool noteWrites) {
        fans_ = fans;
        noteWrites_ = noteWrites;
    }

    int openSmcConnection() override;
    void closeSmcConnection() override;
    double readSmcTemperature(const char* key) override;
    int readSmcFanSpeed(const char* key) override;
    kern_return_t writeSmcFanSpeed(const char* key, int rpm) override;
    int readSmcFanCount() override;
    std::string readSmcFanLabel(int fan) override;
    bool readFanOwnLimits(int fan, int& minimum, int& maximum) override;
    void handBackFans() override;
    std::uint8_t readDriveTemperature(const char* diskName) override;
    std::string driveTemperatureSource() override;
    std::optional<std::string> bsdNameForDriveName(const std::string& driveName) override;

private:
    SmcSession& smc_;
    DiskAccess& disks_;
    FanHandBack* fans_ = nullptr;
    bool noteWrites_ = false;
};

}  // namespace drivetherm
