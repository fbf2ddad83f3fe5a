// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>
#include <vector>

namespace drivetherm {

// The fan the daemon drives and how. The iMacs of 2009 to 2011 have three fans named ODD, HDD
// and CPU, and the one named HDD cools the disk; every later iMac, the Mac minis and the
// MacBooks have a single fan ("Main", "Exhaust") that cools the processor too, and holding that
// one at a fixed speed would take the processor's protection away.
struct FanChoice {
    enum class Mode {
        None,    // nothing is written
        Forced,  // minimum and maximum held at the commanded speed (forced mode on applesmc)
        Floor,   // only the minimum raised; the SMC may still run the fan faster
    };

    // Fan keys carry a single digit.
    static constexpr int kMostFans = 10;
    static constexpr const char* kDiskFanLabel = "HDD";

    int index = -1;  // as the SMC numbers its fans, from 0; -1 with Mode::None
    std::string label;
    Mode mode = Mode::None;

    // The fan to drive among the SMC's fans, given by their names in fan order. `setting` is the
    // stored choice: -1 for the rule, otherwise the index of the fan the user named. The rule: a
    // fan named HDD, driven forced; else fan 1 when there is one (forced); else the only fan, in
    // floor mode. The only fan is never forced, whatever the setting names. `note` receives one
    // line for the log when the setting names no fan of this SMC.
    static FanChoice choose(const std::vector<std::string>& labels, int setting, std::string& note);

    // "forced", "floor" or "none", as the bus says it.
    static const char* modeName(Mode mode);
    const char* modeName() const { return modeName(mode); }

    bool operator==(const FanChoice&) const = default;
};

}  // namespace drivetherm
