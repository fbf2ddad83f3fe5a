// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/MachineSetup.h"

#include <stdexcept>

#include "common/Log.h"
#include "daemon/SimulatorControl.h"
#include "daemon/SystemHardware.h"
#include "hardware/machine/SimMachine.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "machine";

// The Simulator interface's view of the simulated machine.
class SimMachineControl final : public SimulatorControl {
public:
    explicit SimMachineControl(SimMachine& machine) : machine_(machine) {}

    kern_return_t readKey(const std::string& key, std::string& type,
                          std::vector<std::uint8_t>& bytes) override {
        return machine_.readKey(key, type, bytes);
    }
    bool setSensorTemperature(const std::string& key, double celsius) override {
        return machine_.setSensorTemperature(key, celsius);
    }
    bool setDriveTemperature(const std::string& bsdName, std::uint8_t celsius) override {
        return machine_.setDriveTemperature(bsdName, celsius);
    }
    bool setDriveFault(const std::string& bsdName, const std::string& fault) override {
        return machine_.setDriveFault(bsdName, fault);
    }
    int driveReadCount(const std::string& bsdName) override {
        return machine_.driveReadCount(bsdName);
    }

private:
    SimMachine& machine_;
};

}  // namespace

std::unique_ptr<MachineSetup> MachineSetup::create(const DaemonOptions& options,
                                                   std::string& error) {
    std::unique_ptr<Machine> machine;
    try {
        machine = Machine::open(options.machine);
    } catch (const std::exception& e) {
        error = e.what();
        return nullptr;
    }
    if (!options.machine.simulated()) {
        // The real SMC must be there before the daemon takes over a fan.
        SmcOpenResult probe = machine->smcDriver().open();
        if (probe.step == SmcOpenResult::Step::NoService) {
            error = "this machine has no Apple SMC driver (" + machine->smcAdvice() + ")";
            return nullptr;
        }
        if (probe.step != SmcOpenResult::Step::Opened) {
            error = machine->smcFailure(probe.status);
            return nullptr;
        }
    }
    return std::unique_ptr<MachineSetup>(new MachineSetup(std::move(machine), options));
}

MachineSetup::MachineSetup(std::unique_ptr<Machine> machine, const DaemonOptions& options)
    : machine_(std::move(machine)),
      dryRun_(options.dryRun),
      dryRunDriver_(dryRun_ ? std::make_unique<DryRunSmcDriver>(machine_->smcDriver()) : nullptr),
      smc_(dryRunDriver_ ? static_cast<SmcDriver*>(dryRunDriver_.get()) : &machine_->smcDriver()),
      disks_(&machine_->deviceRegistry(), &machine_->smartBackend()),
      // A dry run learns the fans' own limits but leaves the file as it is.
      fanLimits_(options.stateDirectory, !dryRun_),
      fanHandBack_(smc_, &fanLimits_) {
    fanHandBack_.takeUpRemembered();
    if (fanHandBack_.pending() && dryRun_) {
        // Beside the running service the file is that daemon's own note, not a crash's leftover;
        // a dry run hands nothing back either way.
        log::warning(kTag,
                     "%s holds the fans' own limits noted by another drivethermd (a running one, "
                     "or one that did not hand its fan back); a dry run leaves them and the fans "
                     "as they are",
                     fanLimits_.path().c_str());
    } else if (fanHandBack_.pending()) {
        log::warning(kTag,
                     "%s holds the fans' own limits: the daemon before did not hand its fan back; "
                     "this one will",
                     fanLimits_.path().c_str());
    }
    if (dryRun_) log::warning(kTag, "dry run: fan speeds are computed and logged, never written");
    // The daemon opens the SMC every second: a failure is said once until it is back.
    smc_.setOpenReportsRepeats(false);
    if (SimMachine* simulated = machine_->simulated())
        simulator_ = std::make_unique<SimMachineControl>(*simulated);
}

MachineSetup::~MachineSetup() = default;

void MachineSetup::attach(SystemHardware& hardware) {
    // A dry run writes nothing, so there is nothing to note and nothing to hand back; the fans'
    // own limits are still read, for the speeds it logs.
    hardware.keepFansWith(&fanHandBack_, !dryRun_);
}

void MachineSetup::handBack() {
    if (!dryRun_) fanHandBack_.handBack();
}

}  // namespace drivetherm
