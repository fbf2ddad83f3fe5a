// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

#include "hardware/disk/SmartDevice.h"

namespace drivetherm {

// Every system call the SMART devices of a Linux disk make: opening and closing the disk and its
// sysfs files, reading them, the SG_IO ioctl of an ATA disk and the NVMe admin-command ioctl of
// an NVMe controller. Tests replace it to check the command bytes and replay what a drive
// answered; each call keeps the system's contract (-1 and errno).
class SgioSyscalls {
public:
    virtual ~SgioSyscalls() = default;
    virtual int openFile(const char* path, int flags) = 0;
    virtual ssize_t readFile(int fd, void* buffer, std::size_t size) = 0;
    virtual int sgIo(int fd, sg_io_hdr_t* header) = 0;
    // NVME_IOCTL_ADMIN_CMD: 0, the NVMe status of a command the controller failed (> 0), or -1
    // and errno.
    virtual int nvmeAdmin(int fd, nvme_admin_cmd* command) = 0;
    virtual int closeFile(int fd) = 0;
};

// The real calls.
SgioSyscalls& systemSgioSyscalls();

// A small sysfs file (at most `capacity` bytes) read through `syscalls`, or nothing when it
// cannot be opened or is empty.
std::optional<std::string> readSmallFile(SgioSyscalls& syscalls, const std::string& path,
                                         std::size_t capacity);

// Whether a device's runtime power status file says "suspended": the kernel has put it to rest,
// and even opening it could wake it. A missing file means no runtime power management.
bool isRuntimeSuspended(SgioSyscalls& syscalls, const std::string& runtimeStatusPath);

// What a failed open of a disk's node means to the reader.
SmartOutcome outcomeOfOpenError(int error);

}  // namespace drivetherm
