// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/MachineChoice.h"

namespace drivetherm {

// Walks a program's arguments the way all of Drivetherm's programs read them: "--name value" or
// "--name=value", flags without a value. Each failure leaves one line for the user in `error`.
//
// Short options that take a value (drivetherm-smc's -k and -w) are given as the letters of
// `shortWithValue`; they take it as the next argument or attached ("-kF1Mn").
class CommandLine {
public:
    CommandLine(const std::vector<std::string>& arguments, std::string& error,
                std::string shortWithValue = "")
        : arguments_(arguments), error_(error), shortWithValue_(std::move(shortWithValue)) {}

    // Moves to the next option; false at the end.
    bool next();
    // The option's name, without any "=value".
    const std::string& name() const { return name_; }
    // The option as it was given, for "unknown option" messages.
    const std::string& given() const { return arguments_[index_]; }
    // The option's value (after "=", attached to a short option, or the next argument);
    // nothing, with the error set, if none.
    std::optional<std::string> value();
    // The value value() last gave for the current option; nothing before that.
    const std::optional<std::string>& lastValue() const { return lastValue_; }
    // The arguments after the current one, which the walk then skips: a command's operands.
    std::vector<std::string> remaining();
    // True for a flag given without a value; false, with the error set, for "--flag=x".
    bool flag();
    // Sets the error to "unknown option ..." and answers nothing, for the caller to return.
    std::nullopt_t unknown();

    // The values every program shares. Each returns false with the error set.
    // --bus: "system", "session" or a D-Bus address.
    bool busValue(std::string& bus);
    // Whether the current option is one of the machine's: --hardware, --sysfs-root, --dev-dir.
    bool isMachineOption() const;
    // Reads one of them into `choice`. --hardware takes "linux", "sim" (the machine in
    // `defaultMachineFile`) or "sim:FILE"; the other two take a directory.
    bool machineValue(MachineChoice& choice, const std::string& defaultMachineFile);

private:
    const std::vector<std::string>& arguments_;
    std::string& error_;
    std::size_t index_ = 0;
    std::size_t cursor_ = 0;  // the next argument to read
    std::string shortWithValue_;
    std::string name_;
    std::optional<std::string> inlineValue_;
    std::optional<std::string> lastValue_;
};

// A whole decimal number within [lowest, highest], all of `text`; nothing otherwise.
std::optional<long> wholeNumber(const std::string& text, long lowest, long highest);

}  // namespace drivetherm
