// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <map>

#include "hardware/IOReturn.h"
#include "hardware/smc/FanLimitsFile.h"

namespace drivetherm {

class SmcSession;

// Gives the fans back to the SMC when the daemon stops: every fan the daemon wrote returns to
// the SMC's automatic control with the speed limits it had before the first write. Everything is
// said at the SMC level (the "F%dMn"/"F%dMx" keys and the "FS! " mask), so it works on every
// backend: on the applesmc transport "FS! " is each fan's `fanN_manual` bit, and a maximum the
// daemon never really changed there (it forces instead) needs no restoring.
//
// With a FanLimitsFile the limits outlive the process: they are stored before the first write
// to a fan, taken up again by the next start or by drivetherm-smc --release-fans after a crash,
// and the file is removed once every fan is handed back.
class FanHandBack {
public:
    // The fans are read and written through `smc`, which must outlive this object, as must
    // `file` (none: the limits live in memory only).
    explicit FanHandBack(SmcSession& smc, const FanLimitsFile* file = nullptr)
        : smc_(smc), file_(file) {}

    // Takes up the fans the file remembers: a daemon that did not hand them back (a crash). Their
    // limits there are the true ones; the SMC may hold the dead daemon's speeds, and may still
    // force them, so they are handed back as forced fans. Reads no SMC.
    void takeUpRemembered();

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

    // Whether some fan is remembered since the last complete hand-back.
    bool pending() const { return !fans_.empty(); }
    // The fans remembered, with their own limits.
    std::map<int, FanLimits> remembered() const;

private:
    struct Fan {
        FanLimits limits;     // -1 while unknown
        bool forced = false;  // its maximum or target was written: forced mode on applesmc
    };

    Fan& remember(int number);

    SmcSession& smc_;
    const FanLimitsFile* file_;
    std::map<int, Fan> fans_;
};

// Returns every fan to the SMC's automatic control by clearing the whole "FS! " mask, whether or
// not anything was left to undo (after a crash, for instance). Opens and closes the connection.
// `wasForced` receives the mask found before. kIOReturnSuccess also when the SMC has no mask
// (no fan can be forced then).
kern_return_t releaseAllFans(SmcSession& smc, unsigned* wasForced = nullptr);

// Gives the fans `file` remembers their own limits back (a daemon that crashed left its last
// speed as their minimum) and removes the file. Opens and closes the connection. False when some
// limit could not be given back; the file then stays for the next try.
bool handBackRemembered(SmcSession& smc, const FanLimitsFile& file);

}  // namespace drivetherm
