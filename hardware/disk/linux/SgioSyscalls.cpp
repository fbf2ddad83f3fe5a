// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/SgioSyscalls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace drivetherm {
namespace {

class SystemSgioSyscalls final : public SgioSyscalls {
public:
    int openFile(const char* path, int flags) override {
        int fd;
        do fd = ::open(path, flags);
        while (fd < 0 && errno == EINTR);
        return fd;
    }
    ssize_t readFile(int fd, void* buffer, std::size_t size) override {
        ssize_t count;
        do count = ::read(fd, buffer, size);
        while (count < 0 && errno == EINTR);
        return count;
    }
    int sgIo(int fd, sg_io_hdr_t* header) override { return ::ioctl(fd, SG_IO, header); }
    // Not retried on EINTR: the descriptor is gone either way on Linux.
    int closeFile(int fd) override { return ::close(fd); }
};

}  // namespace

SgioSyscalls& systemSgioSyscalls() {
    static SystemSgioSyscalls syscalls;
    return syscalls;
}

}  // namespace drivetherm
