// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <variant>

#include "protocol/DaemonProtocol.h"

namespace drivetherm {

class JsonLine;

// One of the daemon's settings as drivethermctl shows and changes it.
struct CtlSetting {
    enum class Kind { Rpm, Celsius, Flag, Drive, FanIndex };
    const char* key;    // get's and set's KEY: the name the daemon stores it under
    const char* field;  // its name in JSON
    Kind kind;
};

// A value for set, read from the command line and checked against its setting's kind before
// the daemon is asked.
struct SettingValue {
    int whole = 0;
    float celsius = 0;
    bool flag = false;
    std::string text;
};

// What drivethermctl does with the fan daemon: shows every setting or one, changes one, and
// reads the disk's temperature and the fan's speed once or over and over, as text for people
// or as JSON lines for scripts. Results go to `out`. A failed call raises the client's
// DaemonRefused or DaemonError.
class DaemonCommands {
public:
    // The setting called `key`; none for a name no setting has.
    static const CtlSetting* find(const std::string& key);
    // `text` as a value of `setting`'s kind; none, with `error` set to one line, otherwise.
    static std::optional<SettingValue> parseValue(const CtlSetting& setting,
                                                  const std::string& text, std::string& error);

    DaemonCommands(DaemonProtocol& daemon, std::FILE* out, bool json)
        : daemon_(daemon), out_(out), json_(json) {}

    // Every setting and a fresh reading.
    void status();
    void get(const CtlSetting& setting);
    void set(const CtlSetting& setting, const SettingValue& value);
    // A fresh reading: the disk is asked now.
    void temp();
    // The last reading and the fan's speed every `seconds` until SIGINT or SIGTERM. Never reads
    // the disk itself, so watching never keeps it busy.
    void watch(double seconds);

private:
    using Value = std::variant<int, float, bool, std::string>;

    Value read(const CtlSetting& setting);
    void add(JsonLine& line, const CtlSetting& setting);
    std::string reading(bool fahrenheit);
    // The fan the daemon drives, its mode and range, as status shows it.
    std::string drivenFan();
    void addDrivenFan(JsonLine& line);
    void print(const std::string& text);

    DaemonProtocol& daemon_;
    std::FILE* out_;
    bool json_;
};

}  // namespace drivetherm
