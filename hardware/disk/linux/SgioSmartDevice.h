// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <span>
#include <string>

#include "hardware/disk/SmartDevice.h"
#include "hardware/disk/linux/SgioCommand.h"
#include "hardware/disk/linux/SgioSyscalls.h"

namespace drivetherm {

// The SMART interface of one Linux disk: ATA commands in SCSI ATA PASS-THROUGH (16) over the
// SG_IO ioctl, falling back to (12) for good once a bridge refuses (16).
//
// A sleeping disk is left asleep: before the first command the device's runtime power status
// in sysfs is read ("suspended" means the kernel has put it to rest, and even opening it could
// wake it), then CHECK POWER MODE asks the drive itself, which does not spin it up. A disk in
// standby answers every operation with Standby and is sent nothing else.
//
// The disk is opened (read-only, non-blocking) at the first operation and closed when the
// interface is released.
class SgioSmartDevice final : public SmartDevice {
public:
    // `devicePath` is the disk's node ("/dev/sda"), `runtimeStatusPath` its
    // ".../device/power/runtime_status"; both already checked by the caller. A
    // `passThroughLength` of 12 sends the 12-byte form from the first command on.
    SgioSmartDevice(SgioSyscalls& syscalls, std::string devicePath, std::string runtimeStatusPath,
                    unsigned passThroughLength = 16);
    ~SgioSmartDevice() override;

    SgioSmartDevice(const SgioSmartDevice&) = delete;
    SgioSmartDevice& operator=(const SgioSmartDevice&) = delete;

    SmartOutcome enableOperations(bool enable) override;
    SmartOutcome readData(SmartDataBlock& data) override;

    // How long the kernel waits for the drive on one command.
    static constexpr unsigned kCommandTimeoutMs = 2000;

private:
    enum class Power { Unknown, Awake, Asleep };

    // Checks the power state once and opens the disk; Success when commands may be sent.
    SmartOutcome prepare();
    bool runtimeSuspended();
    SgioResult execute(const AtaCommand& command, std::span<std::uint8_t> data);

    SgioSyscalls& syscalls_;
    std::string devicePath_;
    std::string runtimeStatusPath_;
    int fd_ = -1;
    Power power_ = Power::Unknown;
    bool twelveOnly_ = false;
};

}  // namespace drivetherm
