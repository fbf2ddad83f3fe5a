// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/SgioSmartBackend.h"

#include <string>

#include "common/Log.h"
#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/linux/NvmeSmartDevice.h"
#include "hardware/disk/linux/SgioSmartDevice.h"
#include "hardware/disk/linux/UdevNames.h"

namespace drivetherm {
namespace {

// The files of one disk a SMART device works with.
struct DiskFiles {
    std::string node;            // "/dev/sda"
    std::string runtimeStatus;   // the power status of the device that sleeps
    std::string ataInformation;  // the kernel's copy of an ATA disk's IDENTIFY data
};

class SgioPlugIn final : public SmartDevicePlugIn {
public:
    SgioPlugIn(SgioSyscalls& syscalls, DiskFiles files, bool nvme, unsigned passThroughLength)
        : syscalls_(syscalls),
          files_(std::move(files)),
          nvme_(nvme),
          passThroughLength_(passThroughLength) {}

    std::unique_ptr<SmartDevice> queryInterface() override {
        if (nvme_)
            return std::make_unique<NvmeSmartDevice>(syscalls_, files_.node, files_.runtimeStatus);
        return std::make_unique<SgioSmartDevice>(syscalls_, files_.node, files_.runtimeStatus,
                                                 files_.ataInformation, passThroughLength_);
    }

private:
    SgioSyscalls& syscalls_;
    DiskFiles files_;
    bool nvme_;
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
    const auto commandSet = registry->property(service, kCommandSetKey);
    const bool nvme =
        commandSet && commandSet->string() && *commandSet->string() == kNvmeCommandSet;
    // An ATA disk's "device" is its SCSI device, which libata runtime-suspends; a namespace's is
    // its NVMe controller, whose own "device" is the PCI function that sleeps.
    const std::string device = roots_.sysfs + "/class/block/" + kernelName + "/device";
    DiskFiles files{roots_.dev + "/" + kernelName,
                    device + (nvme ? "/device" : "") + "/power/runtime_status",
                    device + "/vpd_pg89"};
    plugIn = std::make_unique<SgioPlugIn>(syscalls_, std::move(files), nvme, passThroughLength_);
    return kIOReturnSuccess;
}

}  // namespace drivetherm
