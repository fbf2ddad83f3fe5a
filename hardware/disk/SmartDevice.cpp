// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/SmartDevice.h"

namespace drivetherm {
const char* smartOutcomeName(SmartOutcome outcome) {
    switch (outcome) {
        case SmartOutcome::Success:
            return "success";
        case SmartOutcome::Timeout:
            return "time-out";
        case SmartOutcome::NotResponding:
            return "not responding";
        case SmartOutcome::ExclusiveAccess:
            return "exclusive access";
        case SmartOutcome::Standby:
            return "standby";
        case SmartOutcome::OtherError:
            return "error";
    }
    return "unknown";
}

bool endsAttempt(SmartOutcome outcome) {
    return outcome == SmartOutcome::Timeout || outcome == SmartOutcome::NotResponding ||
           outcome == SmartOutcome::ExclusiveAccess;
}

}  // namespace drivetherm
