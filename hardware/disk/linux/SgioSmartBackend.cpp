// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/SgioSmartBackend.h"

#include <string>

#include "common/Log.h"
#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/linux/SgioSmartDevice.h"
#include "hardware/disk/linux/UdevNames.h"

namespace drivetherm {
namespace {

class SgioPlugIn final : public SmartDevicePlugIn {
public:
    SgioPlugIn(SgioSyscalls& syscalls, std::string devicePath, std::string runtimeStatusPath,
               unsigned passThroughLength)
        : syscalls_(syscalls),
          devicePath_(std::move(devicePath)),
          runtimeStatusPath_(std::move(runtimeStatusPath)),
          passThroughLength_(passThroughLength) {}

    std::unique_ptr<SmartDevice> queryInterface() override {
        return std::make_unique<SgioSmartDevice>(syscalls_, devicePath_, runtimeStatusPath_,
                                                 passThroughLength_);
    }

private:
    SgioSyscalls& syscalls_;
    std::string devicePath_;
    std::string runtimeStatusPath_;
    unsigned passThroughLength_;
};

}  // namespace

SgioSmartBackend::SgioSmartBackend(const UdevRoots& roots, SgioSyscalls& syscalls,
                                   unsigned passThroughLength)
    : roots_(roots), syscalls_(syscalls), passThroughLength_(passThroughLength == 12 ? 12 : 16) {}

kern_return_t SgioSmartBackend::createPlugInInterface(const RegistryEntry& service,
                                                      std::unique_ptr<SmartDevicePlugIn>& plugIn) {
    plugIn.reset();
    DeviceRegistry* registry = service.registry();
    if (registry == nullptr) return kIOReturnBadArgument;
    const auto name = registry->property(service, "Kernel Name");
    if (!name || name->string() == nullptr) return kIOReturnUnsupported;
    const std::string& kernelName = *name->string();
    if (!isSafeDeviceName(kernelName)) {
        log::warning("sgio", "refusing disk name \"%s\": not a plain device name",
                     printableText(kernelName).c_str());
        return kIOReturnBadArgument;
    }
    plugIn = std::make_unique<SgioPlugIn>(
        syscalls_, roots_.dev + "/" + kernelName,
        roots_.sysfs + "/class/block/" + kernelName + "/device/power/runtime_status",
        passThroughLength_);
    return kIOReturnSuccess;
}

}  // namespace drivetherm
