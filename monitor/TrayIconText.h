// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>
#include <vector>

#include "monitor/StatusTitle.h"

namespace drivetherm {

// What of the title goes into a tray icon, which may be as small as 16 pixels: the temperature
// alone ("45°", the unit letter and the fan speed are in the tool tip and the menu), a dash while
// the daemon is not running (the fan is not off: there is only no reading), and nothing (the
// program's icon) for the program's name at start.
struct TrayIconText {
    std::vector<std::string> lines;
    // The title's type size against the readings' (1 for 12, 0.75 for the 9 of the notice).
    double relativeSize = 1.0;
    // Drawn subdued: there is no reading.
    bool subdued = false;
    // Drawn in the warning colour: the disk is above the upper threshold.
    bool hot = false;

    static TrayIconText forTitle(const StatusTitle& title);
};

}  // namespace drivetherm
