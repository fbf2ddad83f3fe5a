// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

#include "hardware/disk/SmartDevice.h"
#include "hardware/disk/linux/SgioSyscalls.h"

namespace drivetherm {

// The SMART interface of one Linux NVMe controller, reached through a namespace's node
// ("/dev/nvme0n1") with the kernel's NVMe admin-command ioctl: readData gets the SMART / Health
// Information log page (Get Log Page, log 02h, the controller's whole page), whose composite
// temperature the reader takes. NVMe has no SMART switch, so enableOperations only readies the
// drive.
//
// A sleeping controller is left asleep: when the kernel has runtime-suspended its PCI function
// (sysfs power/runtime_status "suspended"), nothing is opened or sent. A controller in a
// non-operational power state answers admin commands without leaving it (only I/O wakes it),
// so the log page is read there as it is.
//
// As with the ATA disks, an attempt costs at most one command time-out: a read that follows a
// failed readying in the same attempt answers that outcome unsent.
class NvmeSmartDevice final : public SmartDevice {
public:
    // `devicePath` is the namespace's node, `runtimeStatusPath` the power status of the
    // controller's PCI function; both already checked by the caller.
    NvmeSmartDevice(SgioSyscalls& syscalls, std::string devicePath, std::string runtimeStatusPath);
    ~NvmeSmartDevice() override;

    NvmeSmartDevice(const NvmeSmartDevice&) = delete;
    NvmeSmartDevice& operator=(const NvmeSmartDevice&) = delete;

    SmartOutcome enableOperations(bool enable) override;
    SmartOutcome readData(SmartDataBlock& data) override;
    SmartDataFormat dataFormat() const override { return SmartDataFormat::NvmeHealthLog; }

    // How long the kernel waits for the controller on one command, within the reader's second
    // per attempt.
    static constexpr unsigned kCommandTimeoutMs = 1000;

private:
    SmartOutcome prepare();

    SgioSyscalls& syscalls_;
    std::string devicePath_;
    std::string runtimeStatusPath_;
    int fd_ = -1;
    bool asleep_ = false;
    SmartOutcome attemptEnded_ = SmartOutcome::Success;
};

}  // namespace drivetherm
