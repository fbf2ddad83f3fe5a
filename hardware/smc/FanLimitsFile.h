// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <map>
#include <string>

namespace drivetherm {

// A fan's own speed limits in rpm, as the SMC reported them before the daemon first wrote them;
// -1 where unknown.
struct FanLimits {
    int minimum = -1;
    int maximum = -1;
    bool operator==(const FanLimits&) const = default;
};

// The fans' own limits kept in the daemon's state directory, beside the settings file, so that
// they outlive the daemon: after a crash the SMC holds the last speed the daemon wrote as the
// fan's minimum, and only this file still knows the true one. The daemon writes it before its
// first write to a fan and removes it once it has handed every fan back; drivetherm-smc
// --release-fans reads it to give the limits back after a crash.
//
// A small text file, one SMC key a line, written atomically (a temporary file, fsync, rename):
//
//     # ...comment...
//     F1Mn 1100
//     F1Mx 6300
class FanLimitsFile {
public:
    static constexpr const char* kFileName = "fan-limits";

    // `writable` false: load only (a dry run changes nothing on disk either).
    explicit FanLimitsFile(const std::string& directory, bool writable = true);

    const std::string& path() const { return path_; }

    // The fans the file remembers, by SMC fan number; empty without a file. A line that is not
    // a fan's "Mn" or "Mx" key with a speed from 0 to 16383 is skipped and named on the log.
    std::map<int, FanLimits> load() const;

    // Replaces the file with these fans, or removes it when there are none. False (and one line
    // on the log) when that failed; the file is then as it was.
    bool save(const std::map<int, FanLimits>& fans) const;

    // The text of the file for these fans.
    static std::string format(const std::map<int, FanLimits>& fans);

private:
    std::string path_;
    bool writable_;
};

}  // namespace drivetherm
