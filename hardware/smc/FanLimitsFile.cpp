// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/FanLimitsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/CommandLine.h"
#include "common/Log.h"
#include "hardware/smc/SmcSession.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "smc";

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        done += static_cast<std::size_t>(count);
    }
    return true;
}

// Makes a rename in `directory` survive a power cut.
void syncDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

FanLimitsFile::FanLimitsFile(const std::string& directory, bool writable)
    : path_(directory + "/" + kFileName), writable_(writable) {}

std::map<int, FanLimits> FanLimitsFile::load() const {
    std::map<int, FanLimits> fans;
    std::ifstream in(path_);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string key, speed, extra;
        words >> key >> speed >> extra;
        const auto rpm = wholeNumber(speed, 0, kSmcMaxFpe2Rpm);
        const bool fanKey = key.size() == 4 && key[0] == 'F' && key[1] >= '0' && key[1] <= '9' &&
                            key[2] == 'M' && (key[3] == 'n' || key[3] == 'x');
        if (!fanKey || !rpm || !extra.empty()) {
            log::warning(kTag,
                         "%s:%d: expected a fan's minimum or maximum and its speed, such as "
                         "\"F1Mn 1100\"; the line is skipped",
                         path_.c_str(), number);
            continue;
        }
        FanLimits& fan = fans[key[1] - '0'];
        (key[3] == 'n' ? fan.minimum : fan.maximum) = static_cast<int>(*rpm);
    }
    return fans;
}

std::string FanLimitsFile::format(const std::map<int, FanLimits>& fans) {
    std::string text =
        "# The fans' own speed limits in rpm, as the SMC reported them before drivethermd first\n"
        "# wrote them. drivethermd gives them back when it stops and then removes this file;\n"
        "# after a crash \"drivetherm-smc --release-fans\" does. Written by drivethermd.\n";
    for (const auto& [number, limits] : fans) {
        if (limits.minimum >= 0)
            text += smcFanKey(number, "Mn") + " " + std::to_string(limits.minimum) + "\n";
        if (limits.maximum >= 0)
            text += smcFanKey(number, "Mx") + " " + std::to_string(limits.maximum) + "\n";
    }
    return text;
}

bool FanLimitsFile::save(const std::map<int, FanLimits>& fans) const {
    if (!writable_) return true;
    if (fans.empty()) {
        if (::unlink(path_.c_str()) == 0 || errno == ENOENT) return true;
        log::error(kTag, "cannot remove %s: %s", path_.c_str(), std::strerror(errno));
        return false;
    }
    std::string temporary = path_ + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        log::error(kTag,
                   "cannot write %s: %s; a crash would leave the fans' own minimum speeds "
                   "unknown",
                   path_.c_str(), std::strerror(errno));
        return false;
    }
    const bool written = writeAll(fd, format(fans)) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path_.c_str()) != 0) {
        log::error(kTag, "cannot write %s: %s", path_.c_str(),
                   std::strerror(written ? errno : error));
        ::unlink(temporary.c_str());
        return false;
    }
    syncDirectory(path_.substr(0, path_.rfind('/')));
    return true;
}

}  // namespace drivetherm
