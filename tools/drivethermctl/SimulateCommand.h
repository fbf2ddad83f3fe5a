// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace drivetherm {

// drivethermctl's look inside the simulated machine the daemon runs on, for people and scripts:
//   simulate read-key KEY | sensor KEY CELSIUS | drive-temperature DISK CELSIUS
//          | drive-fault DISK FAULT
// through SimulatorClient. Results go to `out`, failures to `err`.
class SimulateCommand {
public:
    // One of the commands, its operands checked.
    struct Request {
        enum class What { ReadKey, Sensor, DriveTemperature, DriveFault } what;
        std::string name;  // the SMC key or the disk
        double celsius = 0;
        std::string fault;
    };

    // `operands` (what follows "simulate") as a request; none, with `error` set to one line,
    // when they are not one.
    static std::optional<Request> parse(const std::vector<std::string>& operands,
                                        std::string& error);

    SimulateCommand(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    // Carries out `request` on the daemon on `bus`; returns the program's exit status
    // (CtlOptions::Exit).
    int run(const std::string& bus, const Request& request);

private:
    std::FILE* out_;
    std::FILE* err_;
};

}  // namespace drivetherm
