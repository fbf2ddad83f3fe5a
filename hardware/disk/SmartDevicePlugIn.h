// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>

#include "hardware/disk/SmartDevice.h"

namespace drivetherm {

// The plug-in a backend creates for one SMART-capable registry entry; the reader asks it for
// the drive's SMART interface. Destroying it releases it (after the interface it gave out).
class SmartDevicePlugIn {
public:
    virtual ~SmartDevicePlugIn() = default;
    // The SMART interface, or nullptr when the drive has none.
    virtual std::unique_ptr<SmartDevice> queryInterface() = 0;
};

}  // namespace drivetherm
