// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <vector>

#include "hardware/IOReturn.h"

namespace drivetherm {

class SmcSession;

// Gives the fans back to the SMC when the daemon stops: every fan the daemon wrote returns to
// the SMC's automatic control with the speed limits it had before the first write. Everything is
// said at the SMC level (the "F%dMn"/"F%dMx" keys and the "FS! " mask), so it works on every
// backend: on the applesmc transport "FS! " is each fan's `fanN_manual` bit, and a maximum the
// daemon never really changed there (it forces instead) needs no restoring.
class FanHandBack {
public:
    // The fans are read and written through `smc`, which must outlive this object.
    explicit FanHandBack(SmcSession& smc) : smc_(smc) {}

    // The fan's own minimum and maximum in rpm, as the SMC reported them before the first write:
    // remembered, or read now (the connection must be open) and remembered, so that the fan is
    // handed back with them even if nothing is ever written to it. False when they cannot be
    // read; the next call reads again.
    bool ownLimits(int fan, int& minimum, int& maximum);

    // Called before each fan write ("F%dMn", "F%dMx", "F%dTg") while the connection is open. On
    // the first write to a fan it reads and remembers that fan's minimum and maximum; a write of
    // the maximum or the target marks the fan as forced. Other keys are ignored.
    void noteWrite(const char* key);

    // Opens the connection, returns every fan the daemon forced to automatic control (the forced
    // bits of other fans stay as they are), restores the remembered limits, and closes. Does
    // nothing when no fan is remembered. Failures are logged; the next call tries again.
    void handBack();

    // Whether some fan has been written since the last hand-back.
    bool pending() const { return !fans_.empty(); }

private:
    struct Fan {
        int number;
        int minimum;  // rpm; -1 while unknown
        int maximum;
        bool forced;  // its maximum or target was written: forced mode on applesmc
    };

    Fan& remember(int number);

    SmcSession& smc_;
    std::vector<Fan> fans_;
};

// Returns every fan to the SMC's automatic control by clearing the whole "FS! " mask, whether or
// not anything was left to undo (after a crash, for instance). Opens and closes the connection.
// `wasForced` receives the mask found before. kIOReturnSuccess also when the SMC has no mask
// (no fan can be forced then).
kern_return_t releaseAllFans(SmcSession& smc, unsigned* wasForced = nullptr);

}  // namespace drivetherm
