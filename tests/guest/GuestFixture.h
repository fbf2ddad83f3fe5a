// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/DriveWalk.h"
#include "hardware/disk/SmartReader.h"
#include "hardware/disk/linux/SgioSmartBackend.h"
#include "hardware/disk/linux/UdevDeviceRegistry.h"
#include "tests/guest/GuestMachine.h"
#include "tests/guest/RecordingSyscalls.h"

namespace drivetherm::guest {

// The guest's real disks behind the system's registry (libudev over /sys) and an SG_IO backend
// whose every system call is recorded, set to the pass-through size the run asks for; the SMART
// reader and the drive walk over them.
class GuestFixture : public ::testing::Test {
protected:
    // The ATA disks the harness described, each found by its serial; fails the check when one
    // is missing, since then the machine is not the one the checks were written for.
    std::vector<const GuestDisk*> ataDisks() {
        std::vector<const GuestDisk*> found;
        for (const std::string& serial : machine_.expectedSerials()) {
            const GuestDisk* disk = machine_.diskWithSerial(serial);
            EXPECT_NE(disk, nullptr) << "no disk of the guest has the serial " << serial;
            if (disk != nullptr) found.push_back(disk);
        }
        return found;
    }

    // The whole disk's SMART block read through one open slot of `reader`, or a failed expectation.
    bool readBlock(SmartReader& reader, const std::string& name, SmartDataBlock& block) {
        const int slot = reader.openSmartDevice(name.c_str(), "ATA");
        EXPECT_GE(slot, 0) << name << ": open failed, errno " << errno;
        if (slot < 0) return false;
        const int read = reader.readSmartData(slot, block);
        const int error = errno;
        reader.closeSmartDevice(slot);
        EXPECT_EQ(read, 0) << name << ": read failed, errno " << error;
        return read == 0;
    }
    bool readBlock(const std::string& name, SmartDataBlock& block) {
        return readBlock(reader_, name, block);
    }

    GuestMachine machine_ = GuestMachine::fromEnvironment();
    UdevDeviceRegistry registry_{UdevRoots{}};
    RecordingSyscalls syscalls_;
    SgioSmartBackend backend_{UdevRoots{}, syscalls_, machine_.cdbLength()};
    SmartReader reader_{&registry_, &backend_};
    DriveWalk walk_{&registry_};
};

}  // namespace drivetherm::guest
