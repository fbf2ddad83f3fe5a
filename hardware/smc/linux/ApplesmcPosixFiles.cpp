// SPDX-License-Identifier: GPL-2.0-or-later
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "hardware/smc/linux/ApplesmcFiles.h"

namespace drivetherm {
namespace {

class ApplesmcPosixFiles final : public ApplesmcFiles {
public:
    long readFile(const std::string& path, char* buffer, std::size_t capacity) override {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return -errno;
        ssize_t count;
        do {
            count = ::read(fd, buffer, capacity);
        } while (count < 0 && errno == EINTR);
        const int readError = errno;
        ::close(fd);
        return count < 0 ? -readError : static_cast<long>(count);
    }

    int writeFile(const std::string& path, std::string_view text) override {
        // O_TRUNC makes a regular file of a test tree behave like an attribute, where each write
        // is a whole new value; sysfs ignores it.
        const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) return -errno;
        ssize_t count;
        do {
            count = ::write(fd, text.data(), text.size());
        } while (count < 0 && errno == EINTR);
        int error = count < 0 ? errno : 0;
        if (count >= 0 && static_cast<std::size_t>(count) != text.size()) error = EIO;
        if (::close(fd) != 0 && error == 0) error = errno;
        return -error;
    }

    std::vector<std::string> listDirectory(const std::string& path) override {
        std::vector<std::string> names;
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) return names;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") names.emplace_back(name);
        }
        ::closedir(dir);
        return names;
    }
};

}  // namespace

kern_return_t applesmcStatus(long negativeErrno) {
    switch (-negativeErrno) {
        case 0:
            return kIOReturnSuccess;
        case EINVAL:
        case ERANGE:
            return kIOReturnBadArgument;
        case EIO:
            return kIOReturnIOError;
        case EACCES:
        case EPERM:
        case EROFS:
            return kIOReturnNotPrivileged;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return kIOReturnNoDevice;
        case EBUSY:
            return kIOReturnExclusiveAccess;
        case ETIMEDOUT:
            return kIOReturnTimeout;
        default:
            return kIOReturnError;
    }
}

ApplesmcFiles& posixApplesmcFiles() {
    static ApplesmcPosixFiles files;
    return files;
}

}  // namespace drivetherm
