// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/FanHandBack.h"

#include <algorithm>
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

FanHandBack::Fan& FanHandBack::remember(int number) {
    auto fan =
        std::find_if(fans_.begin(), fans_.end(), [&](const Fan& f) { return f.number == number; });
    if (fan == fans_.end()) fan = fans_.insert(fans_.end(), Fan{number, -1, -1, false});
    // Until a read succeeds, try again before each write: if the first read failed, the write
    // after it most likely failed too and the limits are still the original ones.
    if (fan->minimum < 0) fan->minimum = smc_.readSmcFanSpeed(smcFanKey(number, "Mn").c_str());
    if (fan->maximum < 0) fan->maximum = smc_.readSmcFanSpeed(smcFanKey(number, "Mx").c_str());
    return *fan;
}

bool FanHandBack::ownLimits(int fan, int& minimum, int& maximum) {
    if (fan < 0 || fan > 9) return false;
    const Fan& known = remember(fan);
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
    for (const Fan& fan : fans_) {
        // The maximum first: on a backend where a maximum is held by forcing the fan, restoring
        // it forces, and clearing the mask below must come after. A fan never forced never had
        // its maximum written.
        const std::string maxKey = smcFanKey(fan.number, "Mx");
        if (fan.forced && fan.maximum >= 0 && smc_.readSmcFanSpeed(maxKey.c_str()) != fan.maximum &&
            smc_.writeSmcFanSpeed(maxKey.c_str(), fan.maximum) != kIOReturnSuccess) {
            log::error("smc", "cannot restore the maximum speed of fan %d (%d rpm)", fan.number,
                       fan.maximum);
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
        for (const Fan& fan : fans_) {
            if (fan.forced) released &= ~(1u << fan.number);
        }
        if (released != mask && writeForcedMask(smc_, released) != kIOReturnSuccess) {
            log::error("smc", "cannot return the fans to automatic control (FS! write failed)");
            complete = false;
        }
    }

    for (const Fan& fan : fans_) {
        const std::string minKey = smcFanKey(fan.number, "Mn");
        if (fan.minimum < 0) {
            log::warning("smc", "fan %d: its minimum speed was never read, so it stays as it is",
                         fan.number);
        } else if (smc_.readSmcFanSpeed(minKey.c_str()) != fan.minimum &&
                   smc_.writeSmcFanSpeed(minKey.c_str(), fan.minimum) != kIOReturnSuccess) {
            log::error("smc", "cannot restore the minimum speed of fan %d (%d rpm)", fan.number,
                       fan.minimum);
            complete = false;
        } else {
            log::info("smc", "fan %d is back under automatic control (minimum %d rpm)", fan.number,
                      fan.minimum);
        }
    }
    smc_.closeSmcConnection();
    if (complete) fans_.clear();
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

}  // namespace drivetherm
