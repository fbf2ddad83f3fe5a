// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>
#include <string>

#include "daemon/DaemonOptions.h"
#include "hardware/smc/DryRunSmcDriver.h"
#include "hardware/smc/FanHandBack.h"

namespace drivetherm {

class SimulatorControl;
class SystemHardware;

// The machine the daemon runs on — the real one through the Linux backends, or a simulated one
// — installed as the hardware layer's SMC driver and disk backends, together with what must
// happen around the loop: the thermal model's step before each tick, the fans handed back when
// the daemon stops, and in a dry run the writes kept from the fans.
class MachineSetup {
public:
    // Null with `error` set to one line when the machine cannot be used (no SMC driver, an
    // unreadable machine file).
    static std::unique_ptr<MachineSetup> create(const DaemonOptions& options, std::string& error);
    virtual ~MachineSetup();

    // Lets the daemon's writes be remembered for the hand-back.
    void attach(SystemHardware& hardware);
    virtual void beforeTick() {}
    // Gives every fan the daemon wrote back to the SMC's own control.
    void handBack();
    virtual std::string describe() const = 0;
    // The inside of a simulated machine; null on real hardware.
    virtual SimulatorControl* simulator() { return nullptr; }

protected:
    explicit MachineSetup(bool dryRun) : dryRun_(dryRun) {}

    // Installs `hardware` as the SMC driver, behind the dry run when asked for.
    void installSmc(SmcDriver& hardware);

private:
    bool dryRun_;
    std::unique_ptr<DryRunSmcDriver> dryRunDriver_;
    FanHandBack fanHandBack_;
};

}  // namespace drivetherm
