// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/machine/SimMachine.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "hardware/disk/sim/SimDriveBay.h"
#include "hardware/machine/MachineSections.h"
#include "hardware/smc/SmcTransport.h"
#include "hardware/smc/sim/SimSmcController.h"
#include "hardware/smc/sim/SimSmcDriver.h"

namespace drivetherm {
namespace {

using nlohmann::json;

double number(const json& value, const MachineFile& where, const std::string& member) {
    if (!value.is_number()) where.fail(member, "expected a number");
    const double v = value.get<double>();
    if (!std::isfinite(v)) where.fail(member, "expected a finite number");
    return v;
}

double nonNegative(const json& value, const MachineFile& where, const std::string& member) {
    const double v = number(value, where, member);
    if (v < 0) where.fail(member, "expected a number of 0 or more");
    return v;
}

}  // namespace

ThermalParameters readThermalSection(const MachineFile& where, bool& enabled) {
    const json& thermal = where.root()["thermal"];
    if (!thermal.is_object()) where.fail("thermal", "expected an object");
    ThermalParameters p;
    enabled = true;
    for (const auto& [name, value] : thermal.items()) {
        const std::string member = "thermal." + name;
        if (name == "enabled") {
            if (!value.is_boolean()) where.fail(member, "expected true or false");
            enabled = value.get<bool>();
        } else if (name == "drive") {
            if (!value.is_string() || value.get<std::string>().empty()) {
                where.fail(member, "expected a BSD name such as \"disk0\"");
            }
            p.drive = value.get<std::string>();
        } else if (name == "fan") {
            if (!value.is_number_integer() || value.get<int>() < 0 || value.get<int>() > 9) {
                where.fail(member, "expected a fan number from 0 to 9");
            }
            p.fan = value.get<int>();
        } else if (name == "ambient") {
            p.ambient = number(value, where, member);
        } else if (name == "load") {
            p.load = number(value, where, member);
        } else if (name == "loadProfile") {
            if (!value.is_array()) where.fail(member, "expected an array of {\"at\", \"load\"}");
            for (std::size_t i = 0; i < value.size(); ++i) {
                const std::string item = member + "[" + std::to_string(i) + "]";
                const json& step = value[i];
                if (!step.is_object() || step.size() != 2 || !step.contains("at") ||
                    !step.contains("load")) {
                    where.fail(item, "expected {\"at\": seconds, \"load\": value}");
                }
                p.loadProfile.push_back({nonNegative(step["at"], where, item + ".at"),
                                         number(step["load"], where, item + ".load")});
            }
            std::stable_sort(p.loadProfile.begin(), p.loadProfile.end(),
                             [](const auto& a, const auto& b) { return a.at < b.at; });
        } else if (name == "cooling") {
            if (!value.is_object()) where.fail(member, "expected {\"still\", \"perKrpm\"}");
            for (const auto& [k, v] : value.items()) {
                if (k == "still") {
                    p.stillCooling = nonNegative(v, where, member + ".still");
                } else if (k == "perKrpm") {
                    p.coolingPerKrpm = nonNegative(v, where, member + ".perKrpm");
                } else {
                    where.fail(member + "." + k, "unknown member (expected still or perKrpm)");
                }
            }
        } else if (name == "fanLag") {
            p.fanLag = number(value, where, member);
            if (p.fanLag <= 0 || p.fanLag > 1)
                where.fail(member, "expected a share above 0, at most 1");
        } else if (name == "sensors") {
            if (!value.is_object()) where.fail(member, "expected SMC keys with offsets in °C");
            for (const auto& [key, offset] : value.items()) {
                if (key.size() != 4)
                    where.fail(member + "." + key, "an SMC key has four characters");
                p.sensors[key] = number(offset, where, member + "." + key);
            }
        } else {
            where.fail(member, "unknown member");
        }
    }
    // The heat each step moves must stay below the gap it closes, or the model oscillates.
    if (p.stillCooling + p.coolingPerKrpm * 16.383 >= 1.0) {
        where.fail("thermal.cooling", "too strong: the disk would swing past the ambient");
    }
    return p;
}

std::unique_ptr<SimMachine> SimMachine::load(const std::string& path) {
    return fromFile(MachineFile::load(path));
}

std::unique_ptr<SimMachine> SimMachine::fromFile(const MachineFile& file) {
    const json& machine = file.root();
    std::unique_ptr<SimMachine> result(new SimMachine());
    result->file_ = file.name();
    for (const auto& [name, value] : machine.items()) {
        if (name == "description") {
            if (!value.is_string()) file.fail(name, "expected a string");
            result->description_ = value.get<std::string>();
        } else if (name != "smc" && name != "drives" && name != "thermal") {
            file.fail(name, "unknown member (expected description, smc, drives or thermal)");
        }
    }
    result->smc_ = readSmcSection(file);
    result->smcDriver_ = std::make_unique<SimSmcDriver>(result->smc_);
    result->drives_ = readDrivesSection(file);

    if (machine.contains("thermal")) {
        bool enabled = true;
        ThermalParameters parameters = readThermalSection(file, enabled);
        if (enabled) {
            const auto start = result->drives_->temperature(parameters.drive);
            if (!start) {
                file.fail("thermal.drive",
                          "no drive \"" + parameters.drive + "\" with a temperature to warm");
            }
            if (parameters.fan >= result->smc_->fanCount()) {
                file.fail("thermal.fan", "the SMC has no fan " + std::to_string(parameters.fan));
            }
            for (const auto& [key, offset] : parameters.sensors) {
                std::string type;
                std::vector<std::uint8_t> bytes;
                if (result->smc_->readKey(key, type, bytes) != kIOReturnSuccess || type != "sp78") {
                    file.fail("thermal.sensors." + key, "not an sp78 sensor of the SMC");
                }
            }
            result->lastDriveByte_ = *start;
            result->thermal_.emplace(std::move(parameters), *start);
        }
    }
    return result;
}

SimMachine::~SimMachine() = default;

SmcDriver& SimMachine::smcDriver() {
    return *smcDriver_;
}
DeviceRegistry& SimMachine::deviceRegistry() {
    return *drives_;
}
SmartDeviceBackend& SimMachine::smartBackend() {
    return *drives_;
}

std::string SimMachine::describe() const {
    return "the simulated machine of " + file_ +
           (description_.empty() ? "" : " (" + description_ + ")");
}

void SimMachine::step() {
    if (!thermal_) return;
    const ThermalParameters& p = thermal_->parameters();

    // A temperature set from outside since the last step is the model's new starting point.
    const auto now = drives_->temperature(p.drive);
    if (now && *now != lastDriveByte_) thermal_->setDiskTemperature(*now);

    // What the SMC holds the fan at: the target in forced mode; otherwise its minimum, which
    // the daemon sets equal to the maximum.
    const int fan = p.fan;
    int commanded = smc_->fanForced(fan) ? smc_->fanTarget(fan) : smc_->fanMinimum(fan);
    const int maximum = smc_->fanMaximum(fan);
    if (!smc_->fanForced(fan) && maximum >= smc_->fanMinimum(fan))
        commanded = std::min(commanded, maximum);
    smc_->setFanActual(fan, thermal_->step(commanded, smc_->fanActual(fan)));

    const double t = thermal_->diskTemperature();
    const long byte = std::clamp(std::lround(t), 0L, 255L);
    drives_->setTemperature(p.drive, static_cast<std::uint8_t>(byte));
    lastDriveByte_ = static_cast<int>(byte);
    for (const auto& [key, offset] : p.sensors) smc_->setSensorTemperature(key, t + offset);
}

kern_return_t SimMachine::readKey(const std::string& key, std::string& type,
                                  std::vector<std::uint8_t>& bytes) const {
    return smc_->readKey(key, type, bytes);
}

bool SimMachine::setSensorTemperature(const std::string& key, double celsius) {
    return smc_->setSensorTemperature(key, celsius);
}

bool SimMachine::setDriveTemperature(const std::string& bsdName, std::uint8_t celsius) {
    return drives_->setTemperature(bsdName, celsius);
}

bool SimMachine::setDriveFault(const std::string& bsdName, const std::string& fault) {
    return drives_->setFault(bsdName, fault);
}

int SimMachine::driveReadCount(const std::string& bsdName) const {
    return drives_->readCount(bsdName);
}

}  // namespace drivetherm
