// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "common/Clock.h"
#include "hardware/disk/TreeRegistry.h"
#include "hardware/disk/linux/UdevDiskSource.h"
#include "hardware/disk/linux/UdevRoots.h"

namespace drivetherm {

// The device registry of a Linux machine: its whole disks, numbered disk0, disk1, ... in the
// natural order of their kernel names, each as the chain the drive walk expects:
//
//   device "sda"   IOATABlockStorageDevice when udev says ID_ATA=1 or sysfs vendor is "ATA",
//                  else IOBlockStorageDevice; "SMART Capable" = true when
//                  ID_ATA_FEATURE_SET_SMART=1 or, where udev has not identified the disk,
//                  when the IDENTIFY data in sysfs device/vpd_pg89 says SMART is supported;
//                  "Kernel Name" = "sda"; "Device Characteristics" with "Product Name" (the
//                  model) and "ATA Features" (0x20 when the drive supports SMART)
//   device "nvme0n1"  a namespace of an NVMe controller: IOBlockStorageDevice, "SMART
//                  Capable" = true (every controller keeps its health log), "Command Set" =
//                  "NVMe", "Kernel Name", "Device Characteristics" with "Product Name"
//   └ driver       IOBlockStorageDriver
//     └ media      IOMedia, "BSD Name" = "disk0"
//       └ scheme   IOPartitionScheme, when the disk has partitions
//         └ media  IOMedia, "BSD Name" = "disk0s1" for partition 1
//
// The model string (the disk description's DADeviceModel) is ID_MODEL_ENC decoded, or sysfs
// device/model, trailing blanks removed. Besides BSD names, the kernel names ("sda", "sda1"),
// the device paths ("/dev/sda") and the plane paths ("IOService:/sda/...") find their media.
// Loop, zram and other virtual block devices are left out (so is the shared node the kernel
// makes for an NVMe namespace reached through several controllers, under
// devices/virtual/nvme-subsystem).
//
// The natural order puts NVMe namespaces before SATA disks: "nvme0n1" < "nvme0n2" < "nvme1n1" <
// "sda" (the letters "nvme" before "sd"), so a Mac with an NVMe drive and a SATA disk names the
// NVMe drive disk0, and the daemon follows it while no drive is chosen.
//
// The list is read afresh at every look-up that starts from the top, so a disk plugged in or
// removed shows at the next check; disk descriptions asked for right after a look-up (the
// walk) reuse that reading for a second.
class UdevDeviceRegistry final : public TreeRegistry {
public:
    // libudev for the system's roots, the files of the tree otherwise.
    explicit UdevDeviceRegistry(const UdevRoots& roots = {}, Clock& clock = systemClock());
    UdevDeviceRegistry(std::unique_ptr<UdevDiskSource> source, const UdevRoots& roots,
                       Clock& clock = systemClock());

    // The tree for a list of block devices (pure; the registry serves what this builds).
    static std::shared_ptr<RegistryTree> buildTree(const std::vector<UdevBlockDevice>& devices,
                                                   const UdevRoots& roots);

protected:
    kern_return_t willLookUp(LookUp kind) override;

private:
    kern_return_t refresh();

    std::unique_ptr<UdevDiskSource> source_;
    UdevRoots roots_;
    Clock& clock_;
    std::optional<std::chrono::steady_clock::time_point> lastScan_;
    bool scanFailed_ = false;
};

}  // namespace drivetherm
