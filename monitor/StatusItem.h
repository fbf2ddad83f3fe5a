// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "monitor/StatusTitle.h"

namespace drivetherm {

// Where the monitor's title goes: the tray icon and its tool tip.
class StatusItem {
public:
    virtual ~StatusItem() = default;
    virtual void setTitle(const StatusTitle& title) = 0;
};

}  // namespace drivetherm
