// SPDX-License-Identifier: GPL-2.0-or-later
#include "monitor/LaunchAtLoginController.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/Log.h"
#include "monitor/AutostartEntry.h"

namespace drivetherm {
namespace fs = std::filesystem;
namespace {

constexpr const char* kTag = "login";
// A desktop entry is a few hundred bytes; anything much larger is not one.
constexpr std::uintmax_t kLargestEntry = 64 * 1024;

fs::path canonicalOrSelf(const fs::path& path) {
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    return error ? path : resolved;
}

std::optional<std::string> readEntry(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error) || fs::file_size(path, error) > kLargestEntry || error) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

LaunchAtLoginController::LaunchAtLoginController()
    : LaunchAtLoginController("/proc/self/exe", defaultDirectory(),
                              std::getenv("PATH") ? std::getenv("PATH") : "") {}

LaunchAtLoginController::LaunchAtLoginController(fs::path application, fs::path directory,
                                                 std::string searchPath)
    : application_(std::move(application)),
      directory_(std::move(directory)),
      searchPath_(std::move(searchPath)) {}

fs::path LaunchAtLoginController::appURL() const {
    return canonicalOrSelf(application_);
}

fs::path LaunchAtLoginController::defaultDirectory() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return fs::path(config) / "autostart";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/") / ".config" / "autostart";
}

bool LaunchAtLoginController::willLaunchAtLogin(const fs::path& application) const {
    return findItem(application).has_value();
}

void LaunchAtLoginController::setLaunchAtLogin(const fs::path& application, bool enabled) {
    const auto item = findItem(application);
    if (enabled && !item) {
        insertItem(application);
    } else if (!enabled && item) {
        std::error_code error;
        if (!fs::remove(*item, error) && error) {
            log::warning(kTag, "cannot remove %s: %s", item->c_str(), error.message().c_str());
        }
    }
}

std::optional<fs::path> LaunchAtLoginController::findItem(const fs::path& application) const {
    std::error_code error;
    fs::directory_iterator it(directory_, error);
    if (error) return std::nullopt;  // no directory (yet): no entries
    std::vector<fs::path> entries;
    for (const fs::directory_entry& entry : it) {
        if (entry.path().extension() == ".desktop") entries.push_back(entry.path());
    }
    // A directory has no order of its own; name order makes "the first" the same every time.
    std::sort(entries.begin(), entries.end());
    const fs::path target = canonicalOrSelf(application);
    for (const fs::path& path : entries) {
        const auto text = readEntry(path);
        if (!text) continue;
        const AutostartEntry entry = AutostartEntry::parse(*text);
        if (entry.disabled || !entry.program) continue;
        if (const auto program = resolve(*entry.program); program && *program == target) {
            return path;
        }
    }
    return std::nullopt;
}

std::optional<fs::path> LaunchAtLoginController::resolve(const std::string& program) const {
    std::error_code error;
    if (program.find('/') != std::string::npos) {
        // A relative path would depend on where the desktop happens to run it from.
        if (program[0] != '/') return std::nullopt;
        fs::path resolved = fs::canonical(program, error);
        if (error) return std::nullopt;
        return resolved;
    }
    if (program.empty()) return std::nullopt;
    std::istringstream dirs(searchPath_);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty() || dir[0] != '/') continue;
        const fs::path candidate = fs::path(dir) / program;
        if (::access(candidate.c_str(), X_OK) != 0 || !fs::is_regular_file(candidate, error)) {
            continue;
        }
        fs::path resolved = fs::canonical(candidate, error);
        if (!error) return resolved;
    }
    return std::nullopt;
}

void LaunchAtLoginController::insertItem(const fs::path& application) const {
    std::error_code error;
    fs::create_directories(directory_, error);
    if (error) {
        log::warning(kTag, "cannot make %s: %s", directory_.c_str(), error.message().c_str());
        return;
    }
    // Written under a temporary name, then linked into place: a half-written entry is never
    // seen, and an entry of the same name is never overwritten.
    std::string temporary = (directory_ / ".drivetherm-monitor-XXXXXX").string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        log::warning(kTag, "cannot write in %s: %s", directory_.c_str(), std::strerror(errno));
        return;
    }
    const bool written = writeAll(fd, AutostartEntry::textFor(application.string())) &&
                         ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        log::warning(kTag, "cannot write in %s: %s", directory_.c_str(), std::strerror(errno));
    } else {
        for (int n = 1; n < 100; ++n) {
            std::string name = kEntryName;
            if (n > 1) name += '-' + std::to_string(n);
            name += ".desktop";
            if (::link(temporary.c_str(), (directory_ / name).c_str()) == 0) break;
            if (errno != EEXIST) {
                log::warning(kTag, "cannot add %s: %s", name.c_str(), std::strerror(errno));
                break;
            }
        }
    }
    ::unlink(temporary.c_str());
}

}  // namespace drivetherm
