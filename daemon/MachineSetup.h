// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>
#include <string>

#include "daemon/DaemonOptions.h"
#include "hardware/disk/DiskAccess.h"
#include "hardware/machine/Machine.h"
#include "hardware/smc/DryRunSmcDriver.h"
#include "hardware/smc/FanHandBack.h"
#include "hardware/smc/FanLimitsFile.h"
#include "hardware/smc/SmcSession.h"

namespace drivetherm {

class SimulatorControl;
class SystemHardware;

// The machine the daemon runs on — the real one through the Linux backends, or a simulated one
// — with the SMC session and the disk access the control loop uses, and what must happen around
// the loop: the thermal model's step before each tick, the fans' own limits remembered in the
// state directory and the fans handed back when the daemon stops, and in a dry run the writes
// kept from the fans.
class MachineSetup {
public:
    // Null with `error` set to one line when the machine cannot be used (no SMC driver, an SMC
    // that does not answer, an unreadable machine file). Fans an earlier daemon left written (a
    // crash) are taken up from the state directory, to be handed back with their own limits.
    static std::unique_ptr<MachineSetup> create(const DaemonOptions& options, std::string& error);
    ~MachineSetup();

    MachineSetup(const MachineSetup&) = delete;
    MachineSetup& operator=(const MachineSetup&) = delete;

    SmcSession& smc() { return smc_; }
    DiskAccess& disks() { return disks_; }

    // Lets the daemon learn the fans' own limits and its writes be remembered for the hand-back.
    void attach(SystemHardware& hardware);
    void beforeTick() { machine_->step(); }
    // Gives every fan the daemon wrote back to the SMC's own control.
    void handBack();
    std::string describe() const { return machine_->describe(); }
    // The inside of a simulated machine; null on real hardware.
    SimulatorControl* simulator() { return simulator_.get(); }

private:
    MachineSetup(std::unique_ptr<Machine> machine, const DaemonOptions& options);

    std::unique_ptr<Machine> machine_;
    bool dryRun_;
    std::unique_ptr<DryRunSmcDriver> dryRunDriver_;
    SmcSession smc_;
    DiskAccess disks_;
    FanLimitsFile fanLimits_;
    FanHandBack fanHandBack_;
    std::unique_ptr<SimulatorControl> simulator_;
};

}  // namespace drivetherm
