// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/CommandLine.h"

#include <charconv>

namespace drivetherm {

bool CommandLine::next() {
    if (cursor_ >= arguments_.size()) return false;
    index_ = cursor_++;
    name_ = arguments_[index_];
    inlineValue_.reset();
    lastValue_.reset();
    if (const auto eq = name_.find('='); name_.rfind("--", 0) == 0 && eq != std::string::npos) {
        inlineValue_ = name_.substr(eq + 1);
        name_.resize(eq);
    } else if (name_.size() > 2 && name_[0] == '-' && name_[1] != '-' &&
               shortWithValue_.find(name_[1]) != std::string::npos) {
        inlineValue_ = name_.substr(2);
        name_.resize(2);
    }
    return true;
}

std::optional<std::string> CommandLine::value() {
    if (inlineValue_) {
        lastValue_ = inlineValue_;
    } else if (cursor_ < arguments_.size()) {
        lastValue_ = arguments_[cursor_++];
    } else {
        error_ = "option " + name_ + " needs a value (see --help)";
    }
    return lastValue_;
}

std::vector<std::string> CommandLine::remaining() {
    std::vector<std::string> rest(arguments_.begin() + static_cast<std::ptrdiff_t>(cursor_),
                                  arguments_.end());
    cursor_ = arguments_.size();
    return rest;
}

bool CommandLine::flag() {
    if (!inlineValue_) return true;
    error_ = "option " + name_ + " takes no value (see --help)";
    return false;
}

std::nullopt_t CommandLine::unknown() {
    error_ = "unknown option \"" + given() + "\" (see --help)";
    return std::nullopt;
}

bool CommandLine::busValue(std::string& bus) {
    const auto v = value();
    if (!v) return false;
    if (v->empty()) {
        error_ =
            "--bus needs \"system\", \"session\" or a D-Bus address such as "
            "unix:path=/run/x";
        return false;
    }
    bus = *v;
    return true;
}

bool CommandLine::isMachineOption() const {
    return name_ == "--hardware" || name_ == "--sysfs-root" || name_ == "--dev-dir";
}

bool CommandLine::machineValue(MachineChoice& choice, const std::string& defaultMachineFile) {
    const auto v = value();
    if (!v) return false;
    if (name_ == "--hardware") {
        if (*v == "linux") {
            choice.kind = MachineChoice::Kind::Linux;
        } else if (*v == "sim") {
            choice.kind = MachineChoice::Kind::Simulated;
            choice.machineFile = defaultMachineFile;
        } else if (v->rfind("sim:", 0) == 0 && v->size() > 4) {
            choice.kind = MachineChoice::Kind::Simulated;
            choice.machineFile = v->substr(4);
        } else {
            error_ = "--hardware must be \"linux\", \"sim\" or \"sim:FILE\", not \"" + *v + "\"";
            return false;
        }
        return true;
    }
    if (v->empty()) {
        error_ = name_ + " needs a directory";
        return false;
    }
    (name_ == "--sysfs-root" ? choice.sysfsRoot : choice.deviceDirectory) = *v;
    return true;
}

std::optional<long> wholeNumber(const std::string& text, long lowest, long highest) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || stop != end || value < lowest || value > highest) return std::nullopt;
    return value;
}

}  // namespace drivetherm
