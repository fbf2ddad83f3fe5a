// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>
#include <vector>

#include "monitor/StatusTitle.h"

namespace drivetherm {

// What of the title fits into a tray icon of 22 pixels: the reading as two short lines
// ("45°" over "2000"), "off" while the daemon is not running, and nothing (the program's icon)
// for the program's name at start. The full title is the icon's tool tip.
struct TrayIconText {
    std::vector<std::string> lines;
    // The title's type size against the readings' (1 for 12, 0.75 for the 9 of the notice).
    double relativeSize = 1.0;
    // Drawn subdued: there is no reading.
    bool subdued = false;

    static TrayIconText forTitle(const StatusTitle& title);
};

}  // namespace drivetherm
