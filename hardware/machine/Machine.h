// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>
#include <string>

#include "common/MachineChoice.h"
#include "hardware/IOReturn.h"

namespace drivetherm {

class DeviceRegistry;
class SimMachine;
class SmartDeviceBackend;
class SmcDriver;

// The machine a program works on: where its SMC is found and where its disks are looked up and
// read. This computer through the Linux backends (LinuxMachine), or a simulated machine
// described by a file (SimMachine). The program that opens it owns it and hands its parts to
// the objects that use them (SmcSession, DiskAccess).
class Machine {
public:
    // The machine the choice names. Throws std::runtime_error with one line for the user when a
    // machine file cannot be used ("FILE:LINE: MEMBER: what is wrong"). Opening this computer
    // does not touch the hardware yet: whether it has an SMC shows when a session opens it.
    // How the SMC's keys are read where the platform offers two ways: as the control loop needs
    // them (the fewest file operations on applesmc, whole rpm and quarter degrees), or with the
    // key's own bytes, fraction bits included, as a listing shows them.
    enum class SmcReads { ForTheLoop, KeysOwnBytes };

    static std::unique_ptr<Machine> open(const MachineChoice& choice,
                                         SmcReads reads = SmcReads::ForTheLoop);
    virtual ~Machine() = default;

    virtual SmcDriver& smcDriver() = 0;
    virtual DeviceRegistry& deviceRegistry() = 0;
    virtual SmartDeviceBackend& smartBackend() = 0;

    // One second of the world around the fan: the simulated machine's thermal model moves its
    // temperatures and fan speeds; a real machine does that by itself.
    virtual void step() {}
    // The simulated machine, or null for this computer.
    virtual SimMachine* simulated() { return nullptr; }
    // "this machine's SMC and disks", "the simulated machine of FILE (description)".
    virtual std::string describe() const = 0;
    // What a user can do when the SMC cannot be opened, in a few words for a one-line message.
    virtual std::string smcAdvice() const = 0;
    // One line for an SMC that is there but failed to open with `status` (it does not answer).
    virtual std::string smcFailure(kern_return_t status) const;
};

}  // namespace drivetherm
