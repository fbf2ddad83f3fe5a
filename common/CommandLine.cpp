// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <string_view>

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

namespace {

// A D-Bus address as the bus library connects to it: "TRANSPORT:KEY=VALUE,KEY=VALUE", several
// joined by ';', each value made of the address's plain characters and %XX escapes. The library
// skips a transport it does not know and reports only that nothing answered, so an address it
// cannot use is caught here, where the user can be told.
bool isBusAddress(const std::string& text) {
    auto hex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    auto plain = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               std::string_view("-_/.\\*").find(c) != std::string_view::npos;
    };
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        const std::string address = text.substr(start, end - start);
        const std::size_t colon = address.find(':');
        if (colon == std::string::npos) return false;
        const std::string transport = address.substr(0, colon);
        if (transport != "unix" && transport != "tcp" && transport != "unixexec" &&
            transport != "x-machine-unix") {
            return false;
        }
        std::size_t pair = colon + 1;
        do {
            const std::size_t stop = std::min(address.find(',', pair), address.size());
            const std::size_t eq = address.find('=', pair);
            if (eq == std::string::npos || eq == pair || eq + 1 >= stop) return false;
            for (std::size_t i = eq + 1; i < stop; ++i) {
                if (address[i] == '%') {
                    if (i + 2 >= stop || !hex(address[i + 1]) || !hex(address[i + 2])) return false;
                    i += 2;
                } else if (!plain(address[i])) {
                    return false;
                }
            }
            pair = stop + 1;
        } while (pair <= address.size());
        start = end + 1;
    }
    return true;
}

}  // namespace

bool CommandLine::busValue(std::string& bus) {
    const auto v = value();
    if (!v) return false;
    if (*v != "system" && *v != "session" && !isBusAddress(*v)) {
        error_ =
            "--bus needs \"system\", \"session\" or a D-Bus address such as "
            "unix:path=/run/x, not \"" +
            *v + "\"";
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
