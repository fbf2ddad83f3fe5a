// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>

namespace drivetherm {

// A machine description file (docs/machine-file.md) read into memory, with the line of every
// member, so that each kind of damage is reported the same way wherever the file is read:
// one line "FILE:LINE: MEMBER: what is wrong", MEMBER written as in "smc.fans[1].min".
class MachineFile {
public:
    // Reads and parses the file. Throws std::runtime_error with one line when it cannot be read,
    // is not JSON ("FILE:LINE: not valid JSON: ...") or is not a JSON object.
    static MachineFile load(const std::string& path);
    // The same for a description held in memory; `name` stands for the file in messages.
    static MachineFile parse(const std::string& text, const std::string& name);

    const nlohmann::json& root() const { return root_; }
    const std::string& name() const { return name_; }

    // Throws std::runtime_error "FILE:LINE: MEMBER: what". The line is the member's own, or the
    // line of the nearest enclosing member the file has (for a member that is missing).
    [[noreturn]] void fail(const std::string& member, const std::string& what) const;
    // The line of `member` as fail finds it; 1 for the top level.
    int lineOf(const std::string& member) const;

private:
    MachineFile(std::string name, nlohmann::json root, std::map<std::string, int> lines)
        : name_(std::move(name)), root_(std::move(root)), lines_(std::move(lines)) {}

    std::string name_;
    nlohmann::json root_;
    std::map<std::string, int> lines_;  // member as written in messages → line
};

}  // namespace drivetherm
