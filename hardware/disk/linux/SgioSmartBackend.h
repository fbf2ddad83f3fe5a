// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>

#include "hardware/disk/SmartDeviceBackend.h"
#include "hardware/disk/linux/SgioSyscalls.h"
#include "hardware/disk/linux/UdevRoots.h"

namespace drivetherm {

// SMART plug-ins for the entries of a UdevDeviceRegistry: the entry's "Kernel Name" ("sda")
// names the disk node under the device directory and its power status under sysfs; its
// "Command Set" chooses the device: NVMe admin commands for "NVMe", ATA PASS-THROUGH over SG_IO
// for every other disk. A name
// that is not one plain path component gives no plug-in, so nothing outside those
// directories is ever opened.
//
// Every disk starts with ATA PASS-THROUGH of `passThroughLength` bytes: 16, falling back to 12
// for good when a bridge refuses it (the daemon's setting), or 12 from the first command on, so
// that checks against a real kernel can send the 12-byte form on its own.
class SgioSmartBackend final : public SmartDeviceBackend {
public:
    explicit SgioSmartBackend(const UdevRoots& roots = {},
                              SgioSyscalls& syscalls = systemSgioSyscalls(),
                              unsigned passThroughLength = 16);

    kern_return_t createPlugInInterface(const RegistryEntry& service,
                                        std::unique_ptr<SmartDevicePlugIn>& plugIn) override;

private:
    UdevRoots roots_;
    SgioSyscalls& syscalls_;
    unsigned passThroughLength_;
};

}  // namespace drivetherm
