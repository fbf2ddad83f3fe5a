// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace drivetherm::guest {

// One row of the attribute table `smartctl -A` prints, raw value as 48 bits (-v N,hex48).
struct SmartctlAttribute {
    unsigned id = 0;
    unsigned flags = 0;
    unsigned value = 0;
    unsigned worst = 0;
    std::uint64_t raw = 0;
};

struct SmartctlTable {
    int exitStatus = -1;  // smartctl's exit status (a bit mask), -1 when it did not run
    std::string output;   // all it printed, for failure messages
    std::vector<SmartctlAttribute> attributes;
};

// Runs the reference SMART reader on a device node and parses its attribute table.
SmartctlTable runSmartctlAttributes(const std::string& devicePath);

// The temperature in °C the reference reader prints for an NVMe controller ("Temperature:  50
// Celsius" of `smartctl -a`), or -1 when it printed none; `output` gets all it printed.
int runSmartctlNvmeTemperature(const std::string& devicePath, std::string& output);

}  // namespace drivetherm::guest
