// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/sim/SimDrive.h"

#include <array>
#include <utility>

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
        case SimDriveFault::NoAttribute: {
            data = config_.block;
            // The drive stops reporting its temperature: every entry 194 loses its id.
            for (auto offset = smartAttributeOffset(data, kSmartTemperatureAttribute); offset;
                 offset = smartAttributeOffset(data, kSmartTemperatureAttribute))
                data[*offset] = 0;
            data[kSmartDataSize - 1] = smartDataChecksum(data);
            return SmartOutcome::Success;
        }
        case SimDriveFault::None:
        case SimDriveFault::Absent:
            break;
    }
    data = config_.block;
    return SmartOutcome::Success;
}

bool SimDrive::setTemperature(std::uint8_t celsius) {
    const auto offset = smartAttributeOffset(config_.block, kSmartTemperatureAttribute);
    if (!offset) return false;
    config_.block[*offset + kSmartAttributeRawOffset] = celsius;
    config_.block[kSmartDataSize - 1] = smartDataChecksum(config_.block);
    return true;
}

std::optional<std::uint8_t> SimDrive::temperature() const {
    const auto offset = smartAttributeOffset(config_.block, kSmartTemperatureAttribute);
    if (!offset) return std::nullopt;
    return config_.block[*offset + kSmartAttributeRawOffset];
}

void SimDrive::setFault(SimDriveFault fault, int count) {
    config_.fault = fault;
    const bool counted = fault == SimDriveFault::Timeout || fault == SimDriveFault::NotResponding;
    config_.faultCount = counted && count > 0 ? count : -1;
}

SmartDataBlock SimDrive::blockAround(std::uint8_t celsius) {
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
        {194, 0x0002, 187, 187, {celsius, 0, 11, 0, 42, 0}},
        {197, 0x0022, 100, 100, {0, 0, 0, 0, 0, 0}},
        {199, 0x000A, 200, 200, {0, 0, 0, 0, 0, 0}},
    }};
    SmartDataBlock block{};
    block[0] = 0x10;  // data structure revision
    std::size_t offset = kSmartAttributeTableOffset;
    for (const Attribute& attribute : table) {
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

}  // namespace drivetherm
