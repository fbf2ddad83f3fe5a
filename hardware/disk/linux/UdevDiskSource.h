// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace drivetherm {

// One device of the block subsystem as the registry needs it.
struct UdevBlockDevice {
    std::string sysname;        // kernel name: "sda", "sda1", "nvme0n1"
    std::string devtype;        // "disk" or "partition"
    bool isVirtual = false;     // loop, zram, device-mapper: not a drive
    std::string parentSysname;  // a partition's whole disk
    int partitionNumber = 0;    // a partition's number, 0 when unknown
    std::map<std::string, std::string>
        properties;                     // the kernel's and udev's (ID_ATA, ID_MODEL_ENC, ...)
    std::optional<std::string> vendor;  // sysfs device/vendor, raw
    std::optional<std::string> model;   // sysfs device/model, raw
    std::optional<std::string>
        ataInformation;  // sysfs device/vpd_pg89 (binary), where udev has no ID_ATA
};

// Lists the block devices: libudev on the running system, a tree of files in tests.
class UdevDiskSource {
public:
    virtual ~UdevDiskSource() = default;
    // Replaces `devices` with what is there now; false when the subsystem cannot be listed.
    virtual bool scan(std::vector<UdevBlockDevice>& devices) = 0;
};

}  // namespace drivetherm
