// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace drivetherm {

// drivethermctl's look inside the simulated machine the daemon runs on, for people and scripts:
//   simulate read-key KEY | sensor KEY CELSIUS | drive-temperature DISK CELSIUS
//          | drive-fault DISK FAULT
// through SimulatorClient. Results go to `out`, failures to `err`.
class SimulateCommand {
public:
    SimulateCommand(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    // Carries out `operands` (what follows "simulate") on the daemon on `bus`; returns the
    // program's exit status (CtlOptions::Exit).
    int run(const std::string& bus, const std::vector<std::string>& operands);

private:
    std::FILE* out_;
    std::FILE* err_;
};

}  // namespace drivetherm
