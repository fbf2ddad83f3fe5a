// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/machine/Machine.h"

#include "hardware/machine/LinuxMachine.h"
#include "hardware/machine/SimMachine.h"

namespace drivetherm {

std::unique_ptr<Machine> Machine::open(const MachineChoice& choice, SmcReads reads) {
    // The simulated SMC always answers with the key's own bytes.
    if (choice.simulated()) return SimMachine::load(choice.machineFile);
    return std::make_unique<LinuxMachine>(choice.sysfsRoot, choice.deviceDirectory,
                                          reads == SmcReads::KeysOwnBytes
                                              ? ApplesmcDriver::Reads::SmcBytes
                                              : ApplesmcDriver::Reads::DedicatedFiles);
}

std::string LinuxMachine::smcAdvice() const {
    return "nothing answers under " + root_ +
           "/devices/platform/applesmc.768; on a Mac load the driver with \"modprobe applesmc\", "
           "or try the simulated machine with --hardware sim";
}

}  // namespace drivetherm
