// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>

#include "common/Clock.h"
#include "hardware/disk/RegistryEntry.h"
#include "hardware/disk/SmartData.h"
#include "hardware/disk/SmartDevice.h"
#include "hardware/disk/SmartDevicePlugIn.h"

namespace drivetherm {

// One open SMART device: the SMART-capable registry entry (empty marks a free slot), the
// plug-in created for it and the SMART interface obtained from the plug-in. The slot owns all
// three until closeSmartDevice.
struct SmartDeviceSlot {
    RegistryEntry service;
    std::unique_ptr<SmartDevicePlugIn> plugInInterface;
    std::unique_ptr<SmartDevice> smartInterface;
};

inline constexpr int kSmartDeviceTableSize = 20;
// Read attempts before a drive that keeps timing out counts as unreadable, one second apart.
inline constexpr int kSmartReadAttempts = 6;
// What one attempt may take, the drive's command time-out included: the pause after a failed
// attempt is what is left of it, so six attempts on a drive that never answers cost six
// seconds.
inline constexpr std::chrono::milliseconds kSmartAttemptPeriod{1000};
// Longest disk name taken: longer ones find no entry.
inline constexpr std::size_t kMaxDiskNameLength = 1024;

// Whether a registry entry can report SMART data: it has a "SMART Capable" property (whatever
// its value), or it is an ATA block-storage device whose "Device Characteristics" give
// "ATA Features" with bit 0x20 set (a missing number counts as 0).
bool isSmartCapable(const RegistryEntry& entry);

class DeviceRegistry;
class SmartDeviceBackend;

// The SMART temperature reader: finds a disk's SMART-capable device in the registry, opens its
// SMART interface through the backend into a slot of its table, reads the data block with a
// bounded retry and takes the temperature from it. Used from one thread.
class SmartReader {
public:
    // `registry` finds the disks, `backend` opens their SMART interfaces (either may be null: no
    // disk can then be read), `clock` paces the retries. The caller keeps all three alive.
    SmartReader(DeviceRegistry* registry, SmartDeviceBackend* backend, Clock& clock = systemClock())
        : registry_(registry), backend_(backend), clock_(clock) {}

    SmartReader(const SmartReader&) = delete;
    SmartReader& operator=(const SmartReader&) = delete;

    // Opens the SMART interface of a disk. `name` is a BSD name ("disk0", "disk0s2"), a device
    // path ("/dev/disk1", "/dev/rdisk1") or anything else the registry knows as a path (on Linux
    // also "sda" and "/dev/sda"); `type` must be "ATA". Walks up from the entry found to the first
    // SMART-capable one. Returns the slot index, or -1 with errno: EINVAL (wrong type), EMFILE
    // (table full), ENOENT (no entry for the name), ENODEV (no SMART-capable ancestor). A slot
    // whose plug-in or interface could not be obtained is still returned; reads fail on it.
    int openSmartDevice(const char* name, const char* type);

    // Reads the 512-byte SMART block of an open slot: up to six attempts, one second apart, while
    // the drive times out or does not respond (the pause after an attempt is the rest of its
    // second, so time spent waiting on the drive counts against it). 0 on success; -1 with errno
    // EBUSY (another client holds the drive, no retry), ETIMEDOUT (six time-outs), EAGAIN (the
    // drive sleeps and was left asleep), EIO (any other failure, or no SMART interface) or EBADF
    // (no such open slot).
    int readSmartData(int slot, SmartDataBlock& buffer);

    // Releases the slot's interface, plug-in and entry and frees the slot. Returns 0; -1 with
    // errno EBADF for an index outside the table.
    int closeSmartDevice(int slot);

    // The SMART temperature of a disk in °C, or 0 when there is none: open, read, scan, close.
    // An ATA disk's comes from attribute 194; else from attribute 190 where it holds a plausible
    // temperature; else from its SCT status page (one more command, to a drive that has SCT and
    // just answered). An NVMe controller's is the composite temperature of its health log. A
    // sleeping disk is asked nothing at any step. Never throws; a drive that keeps timing out
    // costs six seconds.
    std::uint8_t readDriveTemperature(const char* name);

    // Where the last readDriveTemperature found its temperature (None when it gave 0).
    TemperatureSource lastTemperatureSource() const { return lastSource_; }

    // The table of open SMART devices, all free at start. A slot index (0 to 19) is the handle
    // openSmartDevice returns.
    std::array<SmartDeviceSlot, kSmartDeviceTableSize>& smartDeviceTable() { return table_; }

private:
    SmartDeviceSlot* slotAt(int slot);
    DriveTemperature temperatureOf(SmartDevice& device, const SmartDataBlock& block);

    DeviceRegistry* registry_;
    SmartDeviceBackend* backend_;
    Clock& clock_;
    std::array<SmartDeviceSlot, kSmartDeviceTableSize> table_;
    TemperatureSource lastSource_ = TemperatureSource::None;
};

}  // namespace drivetherm
