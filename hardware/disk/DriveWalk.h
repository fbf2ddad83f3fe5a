// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hardware/IOReturn.h"
#include "hardware/disk/RegistryEntry.h"

namespace drivetherm {

class DeviceRegistry;

// The walk over the machine's disks that both the drive list of the settings window and the
// daemon's disk selection use, so that every name the window offers resolves in the daemon.
class DriveWalk {
public:
    // All of it goes through `registry` (nullptr: a machine whose disks cannot be searched),
    // which the caller keeps alive.
    explicit DriveWalk(DeviceRegistry* registry) : registry_(registry) {}

    // Finds the block-storage devices (class "IOBlockStorageDevice", matching "SMART Capable" =
    // true) into `*iterator`. Returns the registry's status unchanged: kIOReturnSuccess, or the
    // failure (kIOReturnNoDevice without a registry or when `iterator` is null).
    kern_return_t FindStorageMedia(RegistryIterator* iterator);

    // The model strings of the SMART-capable disks the iterator yields, in its order: one entry
    // per disk, not sorted, not de-duplicated (two disks of one model give two equal entries).
    // A device without a driver or media child, a BSD name or a model is passed over. Consumes
    // the iterator; never fails, possibly empty.
    std::vector<std::string> GetDriveNameArray(RegistryIterator& iterator);

    // The model string of the disk with this BSD name, from its disk description, or nothing.
    std::optional<std::string> volumeNameWithBSDPath(const std::string& bsdName);

    // The BSD name ("disk1") of the first SMART-capable disk whose model string is exactly
    // `driveName`, or nothing: for an empty name, when the registry cannot be searched, and when
    // no disk matches. A second disk of the same model is never chosen.
    std::optional<std::string> GetBSDNameForDriveName(const std::string& driveName);

private:
    DeviceRegistry* registry_;
};

}  // namespace drivetherm
