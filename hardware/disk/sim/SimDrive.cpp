// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/sim/SimDrive.h"

#include <array>
#include <utility>

#include "hardware/disk/SmartLogPages.h"

namespace drivetherm {
namespace {

struct FaultName {
    SimDriveFault fault;
    std::string_view name;
};

constexpr std::array<FaultName, 6> kFaultNames{{
    {SimDriveFault::None, "none"},
    {SimDriveFault::Timeout, "timeout"},
    {SimDriveFault::NotResponding, "not-responding"},
    {SimDriveFault::Busy, "busy"},
    {SimDriveFault::NoAttribute, "no-attribute"},
    {SimDriveFault::Absent, "absent"},
}};

// One attribute entry of the generated block.
struct Attribute {
    std::uint8_t id;
    std::uint16_t flags;
    std::uint8_t value;
    std::uint8_t worst;
    std::array<std::uint8_t, 6> raw;
};

}  // namespace

std::optional<SimDriveFault> simDriveFaultFromName(std::string_view name) {
    for (const FaultName& entry : kFaultNames)
        if (entry.name == name) return entry.fault;
    return std::nullopt;
}

SimDrive::SimDrive(Config config) : config_(std::move(config)) {}

SmartOutcome SimDrive::enable() const {
    if (!present()) return SmartOutcome::NotResponding;
    if (config_.standby) return SmartOutcome::Standby;
    return SmartOutcome::Success;
}

SmartOutcome SimDrive::read(SmartDataBlock& data) {
    if (!present()) return SmartOutcome::NotResponding;
    if (config_.standby) return SmartOutcome::Standby;
    ++readCount_;
    switch (config_.fault) {
        case SimDriveFault::Timeout:
        case SimDriveFault::NotResponding: {
            const SmartOutcome outcome = config_.fault == SimDriveFault::Timeout
                                             ? SmartOutcome::Timeout
                                             : SmartOutcome::NotResponding;
            if (config_.faultCount > 0 && --config_.faultCount == 0)
                config_.fault = SimDriveFault::None;
            return outcome;
        }
        case SimDriveFault::Busy:
            return SmartOutcome::ExclusiveAccess;
        case SimDriveFault::NoAttribute:
            data = config_.block;
            if (config_.interface == SimDriveInterface::Nvme) {
                // The controller stops reporting its composite temperature.
                data[kNvmeCompositeTemperatureOffset] = 0;
                data[kNvmeCompositeTemperatureOffset + 1] = 0;
                return SmartOutcome::Success;
            }
            // The drive stops reporting its temperature: every entry 194 and 190 loses its id.
            for (const std::uint8_t id :
                 {kSmartTemperatureAttribute, kSmartAirflowTemperatureAttribute})
                for (auto offset = smartAttributeOffset(data, id); offset;
                     offset = smartAttributeOffset(data, id))
                    data[*offset] = 0;
            data[kSmartDataSize - 1] = smartDataChecksum(data);
            return SmartOutcome::Success;
        case SimDriveFault::None:
        case SimDriveFault::Absent:
            break;
    }
    data = config_.block;
    return SmartOutcome::Success;
}

SmartOutcome SimDrive::readSctStatus(SmartDataBlock& data) {
    if (!present()) return SmartOutcome::NotResponding;
    if (config_.standby) return SmartOutcome::Standby;
    if (!config_.sctStatus) return SmartOutcome::OtherError;
    ++readCount_;
    switch (config_.fault) {
        case SimDriveFault::Timeout:
            return SmartOutcome::Timeout;
        case SimDriveFault::NotResponding:
            return SmartOutcome::NotResponding;
        case SimDriveFault::Busy:
            return SmartOutcome::ExclusiveAccess;
        case SimDriveFault::NoAttribute:
            data = *config_.sctStatus;
            data[kSctStatusTemperatureOffset] = kSctTemperatureInvalid;
            return SmartOutcome::Success;
        case SimDriveFault::None:
        case SimDriveFault::Absent:
            break;
    }
    data = *config_.sctStatus;
    return SmartOutcome::Success;
}

bool SimDrive::setTemperature(std::uint8_t celsius) {
    if (config_.interface == SimDriveInterface::Nvme) {
        const unsigned kelvin = celsius + kKelvinAtZeroCelsius;
        config_.block[kNvmeCompositeTemperatureOffset] = static_cast<std::uint8_t>(kelvin & 0xFF);
        config_.block[kNvmeCompositeTemperatureOffset + 1] = static_cast<std::uint8_t>(kelvin >> 8);
        return true;
    }
    bool found = false;
    for (const std::uint8_t id : {kSmartTemperatureAttribute, kSmartAirflowTemperatureAttribute}) {
        if (const auto offset = smartAttributeOffset(config_.block, id)) {
            config_.block[*offset + kSmartAttributeRawOffset] = celsius;
            found = true;
        }
    }
    if (found) config_.block[kSmartDataSize - 1] = smartDataChecksum(config_.block);
    if (config_.sctStatus) {
        (*config_.sctStatus)[kSctStatusTemperatureOffset] = celsius;
        found = true;
    }
    return found;
}

std::optional<std::uint8_t> SimDrive::temperature() const {
    if (config_.interface == SimDriveInterface::Nvme)
        return temperatureFromNvmeHealthLog(config_.block);
    if (const DriveTemperature found = temperatureFromAttributes(config_.block); found.celsius != 0)
        return found.celsius;
    if (config_.sctStatus) return temperatureFromSctStatus(*config_.sctStatus);
    return std::nullopt;
}

void SimDrive::setFault(SimDriveFault fault, int count) {
    config_.fault = fault;
    const bool counted = fault == SimDriveFault::Timeout || fault == SimDriveFault::NotResponding;
    config_.faultCount = counted && count > 0 ? count : -1;
}

SmartDataBlock SimDrive::blockAround(std::uint8_t celsius, std::uint8_t temperatureId) {
    // The attribute table of a laptop disk a few years into its life; attribute 194's raw
    // value also records the lowest and highest temperature seen.
    const std::array<Attribute, 14> table{{
        {1, 0x000B, 100, 100, {0, 0, 0, 0, 0, 0}},
        {2, 0x0005, 100, 100, {0, 0, 0, 0, 0, 0}},
        {3, 0x0007, 188, 188, {0x02, 0x00, 0, 0, 0, 0}},
        {4, 0x0012, 100, 100, {0x1A, 0x05, 0, 0, 0, 0}},
        {5, 0x0033, 100, 100, {0, 0, 0, 0, 0, 0}},
        {7, 0x000B, 100, 100, {0, 0, 0, 0, 0, 0}},
        {9, 0x0012, 76, 76, {0x0D, 0x2B, 0, 0, 0, 0}},
        {10, 0x0013, 100, 100, {0, 0, 0, 0, 0, 0}},
        {12, 0x0032, 100, 100, {0x2E, 0x04, 0, 0, 0, 0}},
        {192, 0x0032, 99, 99, {0x31, 0x00, 0, 0, 0, 0}},
        {193, 0x0012, 88, 88, {0x7C, 0x5B, 0x02, 0, 0, 0}},
        {temperatureId, 0x0002, 187, 187, {celsius, 0, 11, 0, 42, 0}},
        {197, 0x0022, 100, 100, {0, 0, 0, 0, 0, 0}},
        {199, 0x000A, 200, 200, {0, 0, 0, 0, 0, 0}},
    }};
    SmartDataBlock block{};
    block[0] = 0x10;  // data structure revision
    std::size_t offset = kSmartAttributeTableOffset;
    for (const Attribute& attribute : table) {
        if (attribute.id == 0) continue;
        block[offset] = attribute.id;
        block[offset + 1] = static_cast<std::uint8_t>(attribute.flags & 0xFF);
        block[offset + 2] = static_cast<std::uint8_t>(attribute.flags >> 8);
        block[offset + 3] = attribute.value;
        block[offset + 4] = attribute.worst;
        for (std::size_t i = 0; i < attribute.raw.size(); ++i)
            block[offset + kSmartAttributeRawOffset + i] = attribute.raw[i];
        offset += kSmartAttributeEntrySize;
    }
    block[362] = 0x82;  // off-line data collection: completed
    block[367] = 0x5B;  // SMART capabilities
    block[368] = 0x03;
    block[kSmartDataSize - 1] = smartDataChecksum(block);
    return block;
}

SmartDataBlock SimDrive::sctStatusAround(std::uint8_t celsius) {
    SmartDataBlock page{};
    page[0] = 0x03;  // format version 3
    page[2] = 0x01;  // SCT version
    page[4] = 0x01;  // SCT standard revision
    page[kSctStatusTemperatureOffset] = celsius;
    page[201] = 20;  // lowest and highest temperature of this power cycle
    page[202] = 48;
    page[203] = 15;  // of the drive's life
    page[204] = 55;
    return page;
}

SmartDataBlock SimDrive::healthLogAround(std::uint8_t celsius) {
    SmartDataBlock page{};
    const unsigned kelvin = celsius + kKelvinAtZeroCelsius;
    page[kNvmeCompositeTemperatureOffset] = static_cast<std::uint8_t>(kelvin & 0xFF);
    page[kNvmeCompositeTemperatureOffset + 1] = static_cast<std::uint8_t>(kelvin >> 8);
    page[3] = 100;  // available spare, %
    page[4] = 10;   // its threshold
    page[5] = 3;    // percentage used
    return page;
}

}  // namespace drivetherm
