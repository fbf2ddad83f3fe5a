// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <scsi/sg.h>
#include <sys/types.h>

#include <cstddef>

namespace drivetherm {

// Every system call the SG_IO SMART device makes: opening and closing the disk and its sysfs
// power status, reading the status, and the SG_IO ioctl. Tests replace it to check the command
// bytes and replay what a drive answered; each call keeps the system's contract (-1 and errno).
class SgioSyscalls {
public:
    virtual ~SgioSyscalls() = default;
    virtual int openFile(const char* path, int flags) = 0;
    virtual ssize_t readFile(int fd, void* buffer, std::size_t size) = 0;
    virtual int sgIo(int fd, sg_io_hdr_t* header) = 0;
    virtual int closeFile(int fd) = 0;
};

// The real calls.
SgioSyscalls& systemSgioSyscalls();

}  // namespace drivetherm
