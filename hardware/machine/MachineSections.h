// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>

#include "hardware/machine/MachineFile.h"
#include "hardware/machine/ThermalModel.h"

namespace drivetherm {

class SimDriveBay;
class SimSmcController;

// The readers of a machine file's members. Each throws the file's one-line message
// (MachineFile::fail) at the first member it cannot use; unknown members are errors.

// "smc": the controller's fans, sensors, raw keys, forced mask and faults. Missing "smc" is an
// error: a machine needs an SMC.
std::shared_ptr<SimSmcController> readSmcSection(const MachineFile& file);

// "drives": the disks, in the order given; none when the member is missing.
std::unique_ptr<SimDriveBay> readDrivesSection(const MachineFile& file);

// "thermal": the model's parameters, and whether it is enabled.
ThermalParameters readThermalSection(const MachineFile& file, bool& enabled);

}  // namespace drivetherm
