// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdio>
#include <string>

#include "protocol/DaemonProtocol.h"

namespace drivetherm {

// What drivethermctl does with the fan daemon: shows every setting or one, changes one, and
// reads the disk's temperature and the fan's speed once or over and over. Results go to `out`;
// a value that is not of its setting's kind is reported on `err`. A failed call raises the
// client's DaemonRefused or DaemonError.
class DaemonCommands {
public:
    // The settings, by the names the daemon stores them under.
    static constexpr const char* kKeys[] = {"baseRpm",       "lowerThreshold", "upperThreshold",
                                            "fahrenheit",    "pinToBase",      "HDDName",
                                            "useAmbientTemp"};
    static bool isKey(const std::string& key);

    DaemonCommands(DaemonProtocol& daemon, std::FILE* out, std::FILE* err)
        : daemon_(daemon), out_(out), err_(err) {}

    // Every setting and a fresh reading.
    void status();
    void get(const std::string& key);
    // False, with a message, when `text` is not a value of the key's kind.
    bool set(const std::string& key, const std::string& text);
    // A fresh reading: the disk is asked now.
    void temp();
    // The last reading and the fan's speed every `seconds` until SIGINT or SIGTERM. Never reads
    // the disk itself, so watching never keeps it busy.
    void watch(double seconds);

private:
    std::string describe(const std::string& key);
    std::string reading(bool fahrenheit);
    void problem(const std::string& key, const char* wanted, const std::string& text);

    DaemonProtocol& daemon_;
    std::FILE* out_;
    std::FILE* err_;
};

}  // namespace drivetherm
