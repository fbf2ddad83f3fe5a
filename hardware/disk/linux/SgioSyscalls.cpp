// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/SgioSyscalls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "hardware/disk/linux/UdevNames.h"

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
    // Not retried on EINTR either: the kernel reports a command it gave up on with it.
    int nvmeAdmin(int fd, nvme_admin_cmd* command) override {
        return ::ioctl(fd, NVME_IOCTL_ADMIN_CMD, command);
    }
    // Not retried on EINTR: the descriptor is gone either way on Linux.
    int closeFile(int fd) override { return ::close(fd); }
};

}  // namespace

SgioSyscalls& systemSgioSyscalls() {
    static SystemSgioSyscalls syscalls;
    return syscalls;
}

std::optional<std::string> readSmallFile(SgioSyscalls& syscalls, const std::string& path,
                                         std::size_t capacity) {
    const int fd = syscalls.openFile(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text(capacity, '\0');
    const ssize_t count = syscalls.readFile(fd, text.data(), text.size());
    syscalls.closeFile(fd);
    if (count <= 0) return std::nullopt;
    text.resize(static_cast<std::size_t>(count));
    return text;
}

bool isRuntimeSuspended(SgioSyscalls& syscalls, const std::string& runtimeStatusPath) {
    const auto status = readSmallFile(syscalls, runtimeStatusPath, 64);
    return status && trimTrailingBlanks(*status) == "suspended";
}

SmartOutcome outcomeOfOpenError(int error) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case ENOMEDIUM:
            return SmartOutcome::NotResponding;
        case EBUSY:
            return SmartOutcome::ExclusiveAccess;
        default:
            return SmartOutcome::OtherError;
    }
}

}  // namespace drivetherm
