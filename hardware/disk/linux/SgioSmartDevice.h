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
// An attempt of the reader (SMART ENABLE, then SMART READ DATA) costs at most one command
// time-out: when the power check or SMART ENABLE times out, the drive does not respond or
// another client holds it, the read of the same attempt answers that outcome unsent. The power
// state stays unknown after a power check that failed, so the next attempt asks again.
//
// The SCT status page is read only from a drive whose IDENTIFY data (the kernel's copy in
// sysfs device/vpd_pg89) says it has the SCT command transport, or where that copy is missing.
//
// The disk is opened (read-only, non-blocking) at the first operation and closed when the
// interface is released.
class SgioSmartDevice final : public SmartDevice {
public:
    // `devicePath` is the disk's node ("/dev/sda"), `runtimeStatusPath` its
    // ".../device/power/runtime_status", `ataInformationPath` its ".../device/vpd_pg89"; all
    // already checked by the caller. A `passThroughLength` of 12 sends the 12-byte form from the
    // first command on.
    SgioSmartDevice(SgioSyscalls& syscalls, std::string devicePath, std::string runtimeStatusPath,
                    std::string ataInformationPath, unsigned passThroughLength = 16);
    ~SgioSmartDevice() override;

    SgioSmartDevice(const SgioSmartDevice&) = delete;
    SgioSmartDevice& operator=(const SgioSmartDevice&) = delete;

    SmartOutcome enableOperations(bool enable) override;
    SmartOutcome readData(SmartDataBlock& data) override;
    SmartOutcome readSctStatus(SmartDataBlock& data) override;

    // How long the kernel waits for the drive on one command: within the reader's one second
    // per attempt, so that six attempts on a hung drive hold the daemon six seconds.
    static constexpr unsigned kCommandTimeoutMs = 1000;

private:
    enum class Power { Unknown, Awake, Asleep };

    // Checks the power state once and opens the disk; Success when commands may be sent.
    SmartOutcome prepare();
    bool sctUnsupported();
    SgioResult execute(const AtaCommand& command, std::span<std::uint8_t> data);

    SgioSyscalls& syscalls_;
    std::string devicePath_;
    std::string runtimeStatusPath_;
    std::string ataInformationPath_;
    int fd_ = -1;
    Power power_ = Power::Unknown;
    bool twelveOnly_ = false;
    // The outcome that ended the current attempt before its read, or Success.
    SmartOutcome attemptEnded_ = SmartOutcome::Success;
};

}  // namespace drivetherm
