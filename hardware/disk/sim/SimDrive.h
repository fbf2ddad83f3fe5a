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

// The command set of a simulated drive: an ATA disk (its block is the SMART attribute table) or
// an NVMe controller (its block is the SMART / Health Information log page).
enum class SimDriveInterface { Ata, Nvme };

// One disk of the simulated machine: what the registry shows of it and how it answers SMART
// reads. Its temperature is where a drive of its kind reports it: the raw byte of attribute
// 194, else of attribute 190, in its SMART block, else its SCT status page; for NVMe the
// composite temperature of its health log.
class SimDrive {
public:
    struct Config {
        std::string bsdName;
        std::string model;
        SimSmartSupport smart = SimSmartSupport::Property;
        std::int64_t ataFeatures = 0;
        SimDriveInterface interface = SimDriveInterface::Ata;
        SmartDataBlock block{};
        std::optional<SmartDataBlock> sctStatus;  // an ATA drive with SCT: its status page
        SimDriveFault fault = SimDriveFault::None;
        int faultCount = -1;  // reads that fail before the fault clears; -1 = every read
        bool standby = false;
    };

    explicit SimDrive(Config config);

    const std::string& bsdName() const { return config_.bsdName; }
    const std::string& model() const { return config_.model; }
    SimSmartSupport smart() const { return config_.smart; }
    std::int64_t ataFeatures() const { return config_.ataFeatures; }
    SimDriveInterface interface() const { return config_.interface; }
    bool present() const { return config_.fault != SimDriveFault::Absent; }
    bool standby() const { return config_.standby; }
    SimDriveFault fault() const { return config_.fault; }
    const SmartDataBlock& block() const { return config_.block; }

    // SMART ENABLE OPERATIONS: answered without effect; a sleeping or absent drive answers
    // as SMART READ DATA would.
    SmartOutcome enable() const;
    // SMART READ DATA (for NVMe, the health log). Reads that reach the drive (it is there and
    // awake) are counted, faulty or not; a sleeping drive stays asleep and uncounted.
    SmartOutcome read(SmartDataBlock& data);
    // The SCT status page; OtherError for a drive without SCT. Counted like read.
    SmartOutcome readSctStatus(SmartDataBlock& data);
    int readCount() const { return readCount_; }

    // Sets the temperature where the drive reports it (all of 194, 190 and the SCT status page
    // that it has; the composite temperature for NVMe); false when it reports none.
    bool setTemperature(std::uint8_t celsius);
    // The temperature the reader would find, or nothing when the drive reports none.
    std::optional<std::uint8_t> temperature() const;

    // A new fault; `count` reads for "timeout" and "not-responding", -1 = until cleared.
    void setFault(SimDriveFault fault, int count = -1);
    void setStandby(bool standby) { config_.standby = standby; }

    // A plausible SMART block of a 2.5-inch disk at `celsius` in attribute `temperatureId` (194
    // or 190; 0 for a table without a temperature), checksum included.
    static SmartDataBlock blockAround(std::uint8_t celsius,
                                      std::uint8_t temperatureId = kSmartTemperatureAttribute);
    // An SCT status page (format version 3) at `celsius`.
    static SmartDataBlock sctStatusAround(std::uint8_t celsius);
    // An NVMe health log page with the composite temperature at `celsius`.
    static SmartDataBlock healthLogAround(std::uint8_t celsius);

private:
    Config config_;
    int readCount_ = 0;
};

}  // namespace drivetherm
