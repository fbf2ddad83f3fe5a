// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/machine/Machine.h"

#include <cstdio>

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

namespace {

std::string statusText(kern_return_t status) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(status));
    return text;
}

}  // namespace

std::string Machine::smcFailure(kern_return_t status) const {
    return "the SMC does not answer (status " + statusText(status) + ")";
}

std::string LinuxMachine::smcFailure(kern_return_t status) const {
    return "the Apple SMC driver is loaded, but the SMC does not answer it (status " +
           statusText(status) + (status == kIOReturnIOError ? ", an I/O error" : "") +
           "); see the kernel's log (\"dmesg | grep applesmc\"), and start drivethermd again "
           "once it answers";
}

std::string LinuxMachine::smcAdvice() const {
    return "nothing answers under " + root_ +
           "/devices/platform/applesmc.768; on a Mac load the driver with \"modprobe applesmc\", "
           "or try the simulated machine with --hardware sim";
}

}  // namespace drivetherm
