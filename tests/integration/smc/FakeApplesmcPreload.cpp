// SPDX-License-Identifier: GPL-2.0-or-later
// Preloaded into a program under test (LD_PRELOAD) so that it can run on a fake applesmc tree on
// disk: the driver's selector files (key_at_index*) are answered like the driver does, every other
// file is the tree's regular file. Environment: DRIVETHERM_FAKE_APPLESMC_KEYS (the tree's key
// list) and DRIVETHERM_FAKE_APPLESMC_DIR (its device directory).
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "tests/unit/smc/FakeApplesmc.h"

namespace {

using drivetherm::testing::FakeApplesmcSelection;

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Set while the shim itself works (loading the key list opens files): those calls pass through.
thread_local bool inShim = false;

struct Shim {
    std::mutex lock;
    std::unique_ptr<FakeApplesmcSelection> selection;
    std::map<int, std::pair<std::string, bool>> open;  // fd → path, already read

    Shim() {
        const char* keys = std::getenv("DRIVETHERM_FAKE_APPLESMC_KEYS");
        const char* dir = std::getenv("DRIVETHERM_FAKE_APPLESMC_DIR");
        if (keys == nullptr || dir == nullptr) return;
        inShim = true;
        try {
            selection = std::make_unique<FakeApplesmcSelection>(
                drivetherm::testing::loadFakeKeyList(keys), dir);
        } catch (...) {
            selection.reset();
        }
        inShim = false;
    }
};

Shim* shim() {
    if (inShim) return nullptr;
    static Shim* instance = [] {
        inShim = true;
        auto* created = new Shim();
        inShim = false;
        return created;
    }();
    return instance->selection ? instance : nullptr;
}

int track(int fd, const char* path) {
    if (fd < 0 || path == nullptr) return fd;
    if (Shim* s = shim(); s && s->selection->handles(path)) {
        std::lock_guard<std::mutex> guard(s->lock);
        s->open[fd] = {path, false};
    }
    return fd;
}

// Marks the shim's own work, whose file accesses (the tree's dedicated files, read to answer for
// a key) must reach the real files without coming back here.
class OwnWork {
public:
    OwnWork() { inShim = true; }
    ~OwnWork() { inShim = false; }
};

mode_t modeOf(int flags, va_list args) {
    return (flags & O_CREAT) ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    static auto real = next<int (*)(const char*, int, ...)>("open");
    return track(real(path, flags, mode), path);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    static auto real = next<int (*)(const char*, int, ...)>("open64");
    return track(real(path, flags, mode), path);
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    static auto real = next<int (*)(int, const char*, int, ...)>("openat");
    return track(real(dirfd, path, flags, mode), path);
}

ssize_t read(int fd, void* buffer, size_t count) {
    static auto real = next<ssize_t (*)(int, void*, size_t)>("read");
    if (Shim* s = shim()) {
        std::lock_guard<std::mutex> guard(s->lock);
        if (const auto it = s->open.find(fd); it != s->open.end()) {
            // Like an attribute: the whole value on the first read, then end of file.
            if (it->second.second) return 0;
            it->second.second = true;
            OwnWork own;
            const long result =
                s->selection->read(it->second.first, static_cast<char*>(buffer), count);
            if (result < 0) {
                errno = static_cast<int>(-result);
                return -1;
            }
            return result;
        }
    }
    return real(fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count) {
    static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    if (Shim* s = shim()) {
        std::lock_guard<std::mutex> guard(s->lock);
        if (const auto it = s->open.find(fd); it != s->open.end()) {
            OwnWork own;
            const int result =
                s->selection->write(it->second.first, {static_cast<const char*>(buffer), count});
            if (result < 0) {
                errno = -result;
                return -1;
            }
            return static_cast<ssize_t>(count);
        }
    }
    return real(fd, buffer, count);
}

int close(int fd) {
    static auto real = next<int (*)(int)>("close");
    if (Shim* s = shim()) {
        std::lock_guard<std::mutex> guard(s->lock);
        s->open.erase(fd);
    }
    return real(fd);
}

}  // extern "C"
