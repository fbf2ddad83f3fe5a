// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>
#include <nlohmann/json.hpp>

#include "hardware/machine/MachineSections.h"
#include "hardware/smc/sim/SimSmcController.h"

namespace drivetherm::testing {

// A simulated controller from the "smc" member of a machine file held in memory, read as every
// program reads it.
inline std::shared_ptr<SimSmcController> controllerFrom(const nlohmann::json& smcSection) {
    return readSmcSection(MachineFile::parse(nlohmann::json{{"smc", smcSection}}.dump(), "test"));
}

// The simulated controller of a machine file.
inline std::shared_ptr<SimSmcController> controllerOfMachineFile(const std::string& path) {
    return readSmcSection(MachineFile::load(path));
}

}  // namespace drivetherm::testing
