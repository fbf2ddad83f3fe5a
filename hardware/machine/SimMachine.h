// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hardware/IOReturn.h"
#include "hardware/machine/Machine.h"
#include "hardware/machine/MachineFile.h"
#include "hardware/machine/ThermalModel.h"

namespace drivetherm {

class SimDriveBay;
class SimSmcController;
class SimSmcDriver;

// A whole machine in memory, from one description file: its SMC with fans and sensors, its
// disks, and optionally a thermal model in which the followed disk warms under load and cools
// with its fan, so the control loop can be watched closing.
class SimMachine final : public Machine {
public:
    // Throws std::runtime_error with one line "FILE:LINE: MEMBER: what is wrong".
    static std::unique_ptr<SimMachine> load(const std::string& path);
    static std::unique_ptr<SimMachine> fromFile(const MachineFile& file);
    ~SimMachine() override;

    SmcDriver& smcDriver() override;
    DeviceRegistry& deviceRegistry() override;
    SmartDeviceBackend& smartBackend() override;
    // One simulated second of the thermal model (nothing without one).
    void step() override;
    SimMachine* simulated() override { return this; }
    std::string describe() const override;
    std::string smcAdvice() const override { return "see the machine file's smc.faults"; }

    // The Simulator interface: the SMC's keys, its sensors, the drives' temperatures and faults.
    kern_return_t readKey(const std::string& key, std::string& type,
                          std::vector<std::uint8_t>& bytes) const;
    bool setSensorTemperature(const std::string& key, double celsius);
    bool setDriveTemperature(const std::string& bsdName, std::uint8_t celsius);
    bool setDriveFault(const std::string& bsdName, const std::string& fault);
    int driveReadCount(const std::string& bsdName) const;

    SimSmcController& smc() { return *smc_; }
    SimDriveBay& drives() { return *drives_; }
    const std::string& description() const { return description_; }

private:
    SimMachine() = default;

    std::string file_;
    std::string description_;
    std::shared_ptr<SimSmcController> smc_;
    std::unique_ptr<SimSmcDriver> smcDriver_;
    std::unique_ptr<SimDriveBay> drives_;
    std::optional<ThermalModel> thermal_;
    int lastDriveByte_ = -1;  // what the model last set, to notice a value set from outside
};

}  // namespace drivetherm
