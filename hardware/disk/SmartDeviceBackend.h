// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>

#include "hardware/IOReturn.h"
#include "hardware/disk/RegistryEntry.h"
#include "hardware/disk/SmartDevicePlugIn.h"

namespace drivetherm {

// Makes SMART plug-ins for registry entries. Backends: SG_IO on Linux (linux/), the
// simulated machine's drive bay (sim/), fakes in tests.
class SmartDeviceBackend {
public:
    virtual ~SmartDeviceBackend() = default;
    // kIOReturnSuccess and the plug-in for `service` (an entry of the registry the reader walks),
    // or the status of the failure (the plug-in is then empty).
    virtual kern_return_t createPlugInInterface(const RegistryEntry& service,
                                                std::unique_ptr<SmartDevicePlugIn>& plugIn) = 0;
};

}  // namespace drivetherm
