// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "hardware/disk/SmartData.h"
#include "hardware/disk/SmartDevice.h"

namespace drivetherm {

// A fault the simulated drive shows until it is cleared (or, for time-outs and a drive that
// does not respond, for a given number of reads).
enum class SimDriveFault { None, Timeout, NotResponding, Busy, NoAttribute, Absent };

// "none", "timeout", "not-responding", "busy", "no-attribute", "absent".
std::optional<SimDriveFault> simDriveFaultFromName(std::string_view name);

// How a simulated drive says it can report SMART data.
enum class SimSmartSupport { Property, AtaFeatures, None };

// One disk of the simulated machine: what the registry shows of it and how it answers SMART
// reads. Its temperature is the raw byte of attribute 194 in its SMART block.
class SimDrive {
public:
    struct Config {
        std::string bsdName;
        std::string model;
        SimSmartSupport smart = SimSmartSupport::Property;
        std::int64_t ataFeatures = 0;
        SmartDataBlock block{};
        SimDriveFault fault = SimDriveFault::None;
        int faultCount = -1;  // reads that fail before the fault clears; -1 = every read
        bool standby = false;
    };

    explicit SimDrive(Config config);

    const std::string& bsdName() const { return config_.bsdName; }
    const std::string& model() const { return config_.model; }
    SimSmartSupport smart() const { return config_.smart; }
    std::int64_t ataFeatures() const { return config_.ataFeatures; }
    bool present() const { return config_.fault != SimDriveFault::Absent; }
    bool standby() const { return config_.standby; }
    SimDriveFault fault() const { return config_.fault; }
    const SmartDataBlock& block() const { return config_.block; }

    // SMART ENABLE OPERATIONS: answered without effect; a sleeping or absent drive answers
    // as SMART READ DATA would.
    SmartOutcome enable() const;
    // SMART READ DATA. Reads that reach the drive (it is there and awake) are counted, faulty
    // or not; a sleeping drive stays asleep and uncounted.
    SmartOutcome read(SmartDataBlock& data);
    int readCount() const { return readCount_; }

    // Sets the raw byte of attribute 194 (and the checksum); false when the block has none.
    bool setTemperature(std::uint8_t celsius);
    // The raw byte of attribute 194, or nothing when the block has none.
    std::optional<std::uint8_t> temperature() const;

    // A new fault; `count` reads for "timeout" and "not-responding", -1 = until cleared.
    void setFault(SimDriveFault fault, int count = -1);
    void setStandby(bool standby) { config_.standby = standby; }

    // A plausible SMART block of a 2.5-inch disk at `celsius`, checksum included.
    static SmartDataBlock blockAround(std::uint8_t celsius);

private:
    Config config_;
    int readCount_ = 0;
};

}  // namespace drivetherm
