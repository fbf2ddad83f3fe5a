// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>

#include "hardware/SmartDeviceBackend.h"
#include "hardware/linux/SgioSyscalls.h"
#include "hardware/linux/UdevRoots.h"

namespace drivetherm {

// SMART plug-ins for the entries of a UdevDeviceRegistry: the entry's "Kernel Name" ("sda")
// names the disk node under the device directory and its power status under sysfs. A name
// that is not one plain path component gives no plug-in, so nothing outside those
// directories is ever opened.
class SgioSmartBackend final : public SmartDeviceBackend {
public:
    explicit SgioSmartBackend(const UdevRoots& roots = {}, SgioSyscalls& syscalls = systemSgioSyscalls());

    kern_return_t createPlugInInterface(const RegistryEntry& service, std::unique_ptr<SmartDevicePlugIn>& plugIn) override;

private:
    UdevRoots roots_;
    SgioSyscalls& syscalls_;
};

}  // namespace drivetherm
