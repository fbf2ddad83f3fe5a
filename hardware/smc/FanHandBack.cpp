// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/FanHandBack.h"

#include <cstring>
#include <string>

#include "common/Log.h"
#include "hardware/smc/SmcSession.h"

namespace drivetherm {
namespace {

// The fan a speed key addresses ("F1Mn" → 1), or -1 for any other key.
int fanOfSpeedKey(const char* key) {
    if (key == nullptr || std::strlen(key) != 4 || key[0] != 'F' || key[1] < '0' || key[1] > '9') {
        return -1;
    }
    const char* suffix = key + 2;
    if (std::strcmp(suffix, "Mn") != 0 && std::strcmp(suffix, "Mx") != 0 &&
        std::strcmp(suffix, "Tg") != 0) {
        return -1;
    }
    return key[1] - '0';
}

kern_return_t writeForcedMask(SmcSession& smc, unsigned mask) {
    SmcValue value;
    std::memcpy(value.keyName, "FS! ", 5);
    value.valueSize = 2;
    value.valueBytes[0] = static_cast<std::uint8_t>(mask >> 8);
    value.valueBytes[1] = static_cast<std::uint8_t>(mask & 0xFF);
    return smc.writeSmcKey(value);
}

// The "FS! " mask. `present` is false when the SMC holds no two-byte mask: no fan can be forced.
kern_return_t readForcedMask(SmcSession& smc, unsigned& mask, bool& present) {
    SmcValue value;
    const kern_return_t status = smc.readSmcKey("FS! ", value);
    present = status == kIOReturnSuccess && value.valueSize == 2;
    mask = present ? (value.valueBytes[0] << 8) | value.valueBytes[1] : 0;
    return status;
}

}  // namespace

void FanHandBack::takeUpRemembered() {
    if (!file_) return;
    for (const auto& [number, limits] : file_->load()) {
        Fan& fan = fans_[number];
        if (fan.limits.minimum < 0) fan.limits.minimum = limits.minimum;
        if (fan.limits.maximum < 0) fan.limits.maximum = limits.maximum;
        // The dead daemon may have forced it: handed back, it is not forced.
        fan.forced = true;
    }
}

std::map<int, FanLimits> FanHandBack::remembered() const {
    std::map<int, FanLimits> fans;
    for (const auto& [number, fan] : fans_) fans[number] = fan.limits;
    return fans;
}

FanHandBack::Fan& FanHandBack::remember(int number) {
    Fan& fan = fans_[number];
    const FanLimits before = fan.limits;
    // Until a read succeeds, try again before each write: if the first read failed, the write
    // after it most likely failed too and the limits are still the original ones.
    if (fan.limits.minimum < 0)
        fan.limits.minimum = smc_.readSmcFanSpeed(smcFanKey(number, "Mn").c_str());
    if (fan.limits.maximum < 0)
        fan.limits.maximum = smc_.readSmcFanSpeed(smcFanKey(number, "Mx").c_str());
    // Stored before the write that follows, so that a crash right after it loses nothing.
    if (fan.limits != before && file_) file_->save(remembered());
    return fan;
}

bool FanHandBack::ownLimits(int fan, int& minimum, int& maximum) {
    if (fan < 0 || fan > 9) return false;
    const FanLimits& known = remember(fan).limits;
    minimum = known.minimum;
    maximum = known.maximum;
    return minimum >= 0 && maximum >= 0;
}

void FanHandBack::noteWrite(const char* key) {
    const int number = fanOfSpeedKey(key);
    if (number < 0) return;
    Fan& fan = remember(number);
    if (key[2] != 'M' || key[3] != 'n') fan.forced = true;
}

void FanHandBack::handBack() {
    if (fans_.empty()) return;
    if (smc_.openSmcConnection() != 0) {
        log::error("smc", "cannot hand the fans back: the SMC did not open");
        return;
    }
    bool complete = true;
    for (const auto& [number, fan] : fans_) {
        // The maximum first: on a backend where a maximum is held by forcing the fan, restoring
        // it forces, and clearing the mask below must come after. A fan never forced never had
        // its maximum written.
        const std::string maxKey = smcFanKey(number, "Mx");
        const int maximum = fan.limits.maximum;
        if (fan.forced && maximum >= 0 && smc_.readSmcFanSpeed(maxKey.c_str()) != maximum &&
            smc_.writeSmcFanSpeed(maxKey.c_str(), maximum) != kIOReturnSuccess) {
            log::error("smc", "cannot restore the maximum speed of fan %d (%d rpm)", number,
                       maximum);
            complete = false;
        }
    }

    unsigned mask = 0;
    bool present = false;
    if (readForcedMask(smc_, mask, present) != kIOReturnSuccess) {
        log::error("smc", "cannot read which fans are forced (FS! read failed)");
        complete = false;
    } else if (present) {
        // Only the fans the daemon forced: another program may hold another fan, or this one in
        // floor mode, where the daemon never forces it.
        unsigned released = mask;
        for (const auto& [number, fan] : fans_) {
            if (fan.forced) released &= ~(1u << number);
        }
        if (released != mask && writeForcedMask(smc_, released) != kIOReturnSuccess) {
            log::error("smc", "cannot return the fans to automatic control (FS! write failed)");
            complete = false;
        }
    }

    for (const auto& [number, fan] : fans_) {
        const std::string minKey = smcFanKey(number, "Mn");
        const int minimum = fan.limits.minimum;
        if (minimum < 0) {
            log::warning("smc", "fan %d: its minimum speed was never read, so it stays as it is",
                         number);
        } else if (smc_.readSmcFanSpeed(minKey.c_str()) != minimum &&
                   smc_.writeSmcFanSpeed(minKey.c_str(), minimum) != kIOReturnSuccess) {
            log::error("smc", "cannot restore the minimum speed of fan %d (%d rpm)", number,
                       minimum);
            complete = false;
        } else {
            log::info("smc", "fan %d is back under automatic control (minimum %d rpm)", number,
                      minimum);
        }
    }
    smc_.closeSmcConnection();
    // The file goes with the last fan: what it knew is in the SMC again.
    if (complete && (!file_ || file_->save({}))) fans_.clear();
}

kern_return_t releaseAllFans(SmcSession& smc, unsigned* wasForced) {
    if (smc.openSmcConnection() != 0) return kIOReturnNoDevice;
    unsigned mask = 0;
    bool present = false;
    kern_return_t status = readForcedMask(smc, mask, present);
    if (status == kIOReturnSuccess && present) {
        // Written even when it reads 0 already: afterwards every fan is known to be automatic.
        status = writeForcedMask(smc, 0);
    }
    if (wasForced != nullptr) *wasForced = mask;
    smc.closeSmcConnection();
    return status;
}

bool handBackRemembered(SmcSession& smc, const FanLimitsFile& file) {
    FanHandBack remembered(smc, &file);
    remembered.takeUpRemembered();
    remembered.handBack();
    return !remembered.pending();
}

}  // namespace drivetherm
