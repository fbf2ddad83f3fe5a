// SPDX-License-Identifier: GPL-2.0-or-later
#include "daemon/MachineSetup.h"

#include <stdexcept>

#include "common/Log.h"
#include "daemon/SimulatorControl.h"
#include "daemon/SystemHardware.h"
#include "hardware/smc/DryRunSmcDriver.h"
#include "hardware/smc/SmcTransport.h"
#include "hardware/smc/linux/ApplesmcDriver.h"
#include "hardware/disk/linux/LinuxDisks.h"
#include "hardware/machine/SimMachine.h"
#include "hardware/smc/sim/SimSmcDriver.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "machine";

class LinuxMachine final : public MachineSetup {
public:
    LinuxMachine(const DaemonOptions& options)
        : MachineSetup(options.dryRun), smc_(options.machine.sysfsRoot), disks_(options.machine.sysfsRoot, options.machine.deviceDirectory) {
        root_ = options.machine.sysfsRoot;
    }

    bool open(std::string& error) {
        SmcOpenResult probe = smc_.open();
        if (probe.step != SmcOpenResult::Step::Opened) {
            error = "this machine has no Apple SMC driver (nothing answers under " + root_ +
                    "/devices/platform/applesmc.768); on a Mac load it with \"modprobe applesmc\", "
                    "or try the simulated machine with --hardware sim";
            return false;
        }
        installSmc(smc_);
        disks_.install();
        return true;
    }

    std::string describe() const override { return "this machine's SMC and disks"; }

private:
    std::string root_;
    ApplesmcDriver smc_;
    LinuxDisks disks_;
};

// The Simulator interface's view of the simulated machine.
class SimulatedMachine final : public MachineSetup, public SimulatorControl {
public:
    SimulatedMachine(const DaemonOptions& options, std::unique_ptr<SimMachine> machine)
        : MachineSetup(options.dryRun), machine_(std::move(machine)), file_(options.machine.machineFile) {
        machine_->install();
        installSmc(machine_->smcDriver());
    }

    void beforeTick() override { machine_->step(); }
    std::string describe() const override {
        return "the simulated machine of " + file_ +
               (machine_->description().empty() ? "" : " (" + machine_->description() + ")");
    }
    SimulatorControl* simulator() override { return this; }

    kern_return_t readKey(const std::string& key, std::string& type,
                          std::vector<std::uint8_t>& bytes) override {
        return machine_->readKey(key, type, bytes);
    }
    bool setSensorTemperature(const std::string& key, double celsius) override {
        return machine_->setSensorTemperature(key, celsius);
    }
    bool setDriveTemperature(const std::string& bsdName, std::uint8_t celsius) override {
        return machine_->setDriveTemperature(bsdName, celsius);
    }
    bool setDriveFault(const std::string& bsdName, const std::string& fault) override {
        return machine_->setDriveFault(bsdName, fault);
    }
    int driveReadCount(const std::string& bsdName) override {
        return machine_->driveReadCount(bsdName);
    }

private:
    std::unique_ptr<SimMachine> machine_;
    std::string file_;
};

}  // namespace

std::unique_ptr<MachineSetup> MachineSetup::create(const DaemonOptions& options,
                                                   std::string& error) {
    if (options.machine.simulated()) {
        try {
            return std::make_unique<SimulatedMachine>(options, SimMachine::load(options.machine.machineFile));
        } catch (const std::exception& e) {
            error = e.what();
            return nullptr;
        }
    }
    auto machine = std::make_unique<LinuxMachine>(options);
    if (!machine->open(error)) return nullptr;
    return machine;
}

MachineSetup::~MachineSetup() { setSmcDriver(nullptr); }

void MachineSetup::installSmc(SmcDriver& hardware) {
    if (dryRun_) {
        dryRunDriver_ = std::make_unique<DryRunSmcDriver>(hardware);
        setSmcDriver(dryRunDriver_.get());
        log::warning(kTag, "dry run: fan speeds are computed and logged, never written");
    } else {
        setSmcDriver(&hardware);
    }
}

void MachineSetup::attach(SystemHardware& hardware) {
    if (dryRun_) return;  // nothing is written, so nothing is to be handed back
    hardware.setBeforeFanWrite([this](const char* key) { fanHandBack_.noteWrite(key); });
}

void MachineSetup::handBack() {
    if (!dryRun_) fanHandBack_.handBack();
}

}  // namespace drivetherm
