// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "daemon/DaemonHardware.h"
#include "daemon/PreferenceStore.h"

namespace drivetherm::testing {

// A machine whose SMC sensors, fans and drives are plain maps; it records every write. By default
// the SMC has two fans, ODD and HDD, as the iMacs the design was made for.
class FakeDaemonHardware final : public DaemonHardware {
public:
    int openSmcConnection() override {
        ++opens;
        open = true;
        return smcPresent ? 0 : 1;
    }
    void closeSmcConnection() override { open = false; }
    double readSmcTemperature(const char* key) override {
        ++sensorReads;
        if (!open || !smcPresent) return 0.0;
        auto it = sensors.find(key);
        return it == sensors.end() ? 0.0 : it->second;
    }
    int readSmcFanSpeed(const char* key) override {
        fanReads.emplace_back(key);
        if (!open || !smcPresent) return -1;
        return actualRpm;
    }
    kern_return_t writeSmcFanSpeed(const char* key, int rpm) override {
        writes.emplace_back(key, rpm);
        return open && smcPresent ? kIOReturnSuccess : kIOReturnNotOpen;
    }
    int readSmcFanCount() override {
        return open && smcPresent ? static_cast<int>(fanLabels.size()) : -1;
    }
    std::string readSmcFanLabel(int fan) override {
        return open && smcPresent ? fanLabels.at(static_cast<std::size_t>(fan)) : std::string();
    }
    bool readFanOwnLimits(int fan, int& minimum, int& maximum) override {
        const auto it = fanLimits.find(fan);
        if (!open || !smcPresent || it == fanLimits.end()) return false;
        std::tie(minimum, maximum) = it->second;
        return true;
    }
    void handBackFans() override { ++handBacks; }
    std::uint8_t readDriveTemperature(const char* diskName) override {
        driveReads.emplace_back(diskName);
        if (duringDriveRead) duringDriveRead();
        auto it = drives.find(diskName);
        return it == drives.end() ? 0 : it->second;
    }
    std::optional<std::string> bsdNameForDriveName(const std::string& driveName) override {
        ++lookups;
        for (const auto& [model, bsd] : models) {
            if (model == driveName) return bsd;
        }
        return std::nullopt;
    }

    // The last speed written to a key, or -1.
    int lastWrite(const std::string& key) const {
        for (auto it = writes.rbegin(); it != writes.rend(); ++it) {
            if (it->first == key) return it->second;
        }
        return -1;
    }

    bool smcPresent = true;
    bool open = false;
    int opens = 0;
    int sensorReads = 0;
    int lookups = 0;
    int actualRpm = 1234;
    std::vector<std::string> fanLabels{"ODD", "HDD"};
    std::map<int, std::pair<int, int>> fanLimits{{0, {1000, 2700}}, {1, {1000, 6500}}};
    int handBacks = 0;
    std::map<std::string, double> sensors;
    std::map<std::string, std::uint8_t> drives;
    std::vector<std::pair<std::string, std::string>> models;  // model, BSD name, in walk order
    std::vector<std::pair<std::string, int>> writes;
    std::vector<std::string> driveReads;
    std::function<void()> duringDriveRead;  // a slow drive: advances a test clock
    std::vector<std::string> fanReads;
};

// The preference domain in memory; counts synchronisations.
class MemoryPreferenceStore final : public PreferenceStore {
public:
    std::optional<PreferenceValue> copyValue(std::string_view key) override {
        auto it = values.find(std::string(key));
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    void setValue(std::string_view key, PreferenceValue value) override {
        values[std::string(key)] = std::move(value);
    }
    void removeValue(std::string_view key) override { values.erase(std::string(key)); }
    bool synchronize() override {
        ++synchronizations;
        synchronized = values;
        return true;
    }
    std::string location() const override { return "memory"; }

    std::map<std::string, PreferenceValue> values;
    std::map<std::string, PreferenceValue> synchronized;  // as of the last synchronize
    int synchronizations = 0;
};

}  // namespace drivetherm::testing
