// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/Clock.h"
#include "hardware/disk/DriveWalk.h"
#include "hardware/disk/SmartReader.h"

namespace drivetherm {

class DeviceRegistry;
class SmartDeviceBackend;

// Everything a program does with the machine's disks, over one device registry and one SMART
// backend: the SMART reader with its table of open devices, and the drive walk that lists the
// disks by model and finds one by its model. Built by whoever runs the disks (the daemon, the
// settings window, a test) from the machine it works on.
class DiskAccess {
public:
    // The caller keeps `registry`, `backend` and `clock` alive; either of the first two may be
    // null (no disks can be found, or none can be read).
    DiskAccess(DeviceRegistry* registry, SmartDeviceBackend* backend, Clock& clock = systemClock())
        : reader_(registry, backend, clock), walk_(registry) {}

    SmartReader& reader() { return reader_; }
    DriveWalk& walk() { return walk_; }

private:
    SmartReader reader_;
    DriveWalk walk_;
};

}  // namespace drivetherm
