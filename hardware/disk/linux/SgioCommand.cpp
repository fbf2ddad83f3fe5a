// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/SgioCommand.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace drivetherm {
namespace {

constexpr std::uint8_t kAtaSmart = 0xB0;
constexpr std::uint8_t kAtaCheckPowerMode = 0xE5;
constexpr std::uint8_t kSmartReadData = 0xD0;
constexpr std::uint8_t kSmartReadLog = 0xD5;
constexpr std::uint8_t kSmartEnableOperations = 0xD8;
constexpr std::uint8_t kSmartDisableOperations = 0xD9;
constexpr std::uint8_t kSmartLbaMid = 0x4F;
constexpr std::uint8_t kSmartLbaHigh = 0xC2;

// Byte 2 of the CDB.
constexpr std::uint8_t kCheckCondition = 0x20;
constexpr std::uint8_t kTransferFromDevice = 0x08;
constexpr std::uint8_t kTransferInBlocks = 0x04;
constexpr std::uint8_t kLengthInSectorCount = 0x02;

// ATA status bits that mean the command failed.
constexpr std::uint8_t kAtaStatusError = 0x01;
constexpr std::uint8_t kAtaStatusDeviceFault = 0x20;

// SCSI status, host and driver codes as the SCSI midlayer reports them.
constexpr std::uint8_t kScsiGood = 0x00;
constexpr std::uint8_t kScsiCheckCondition = 0x02;
constexpr std::uint8_t kScsiBusy = 0x08;
constexpr std::uint8_t kScsiReservationConflict = 0x18;
constexpr std::uint8_t kScsiTaskSetFull = 0x28;
constexpr std::uint16_t kHostNoConnect = 0x01;
constexpr std::uint16_t kHostBusBusy = 0x02;
constexpr std::uint16_t kHostTimeOut = 0x03;
constexpr std::uint16_t kHostBadTarget = 0x04;
constexpr std::uint16_t kHostTransportDisrupted = 0x0E;
constexpr std::uint16_t kHostTransportFailfast = 0x0F;
constexpr std::uint16_t kDriverTimeout = 0x06;
constexpr std::uint16_t kDriverSense = 0x08;

// Sense keys.
constexpr std::uint8_t kNoSense = 0x00;
constexpr std::uint8_t kRecoveredError = 0x01;
constexpr std::uint8_t kNotReady = 0x02;
constexpr std::uint8_t kIllegalRequest = 0x05;
constexpr std::uint8_t kUnitAttention = 0x06;
constexpr std::uint8_t kAbortedCommand = 0x0B;
constexpr std::uint8_t kInvalidOpcode = 0x20;
constexpr std::uint8_t kInvalidFieldInCdb = 0x24;

constexpr std::uint8_t kAtaStatusReturnDescriptor = 0x09;

AtaCommand smartCommand(std::uint8_t feature, AtaProtocol protocol) {
    AtaCommand command;
    command.registers.command = kAtaSmart;
    command.registers.features = feature;
    command.registers.lbaMid = kSmartLbaMid;
    command.registers.lbaHigh = kSmartLbaHigh;
    command.protocol = protocol;
    return command;
}

SgioResult withAta(SgioVerdict verdict, const std::optional<SenseData>& sense) {
    return {verdict, sense ? sense->ata : std::nullopt};
}

}  // namespace

AtaCommand smartReadDataCommand() {
    AtaCommand command = smartCommand(kSmartReadData, AtaProtocol::PioDataIn);
    command.registers.sectorCount = 1;
    command.registers.lbaLow = 0;
    return command;
}

AtaCommand smartReadLogCommand(std::uint8_t logAddress) {
    AtaCommand command = smartCommand(kSmartReadLog, AtaProtocol::PioDataIn);
    command.registers.sectorCount = 1;
    command.registers.lbaLow = logAddress;
    return command;
}

AtaCommand smartEnableOperationsCommand(bool enable) {
    return smartCommand(enable ? kSmartEnableOperations : kSmartDisableOperations,
                        AtaProtocol::NonData);
}

AtaCommand checkPowerModeCommand() {
    AtaCommand command;
    command.registers.command = kAtaCheckPowerMode;
    command.protocol = AtaProtocol::NonData;
    // The answer is in the sector count, which only comes back with the sense data.
    command.checkCondition = true;
    return command;
}

bool isStandbyPowerMode(std::uint8_t sectorCount) {
    // 00h standby, 01h standby_y, 40h/41h spun down in NV cache power mode; 80h-83h idle and
    // FFh active keep spinning.
    return sectorCount == 0x00 || sectorCount == 0x01 || sectorCount == 0x40 || sectorCount == 0x41;
}

PassThroughCdb buildPassThroughCdb(std::size_t length, const AtaCommand& command) {
    PassThroughCdb cdb;
    const AtaRegisters& r = command.registers;
    const auto protocol =
        static_cast<std::uint8_t>(static_cast<std::uint8_t>(command.protocol) << 1);
    std::uint8_t flags = command.checkCondition ? kCheckCondition : 0;
    if (command.protocol == AtaProtocol::PioDataIn)
        flags |= kTransferFromDevice | kTransferInBlocks | kLengthInSectorCount;
    auto& b = cdb.bytes;
    if (length == 12) {
        cdb.length = 12;
        b[0] = 0xA1;
        b[1] = protocol;
        b[2] = flags;
        b[3] = r.features;
        b[4] = r.sectorCount;
        b[5] = r.lbaLow;
        b[6] = r.lbaMid;
        b[7] = r.lbaHigh;
        b[8] = r.device;
        b[9] = r.command;
    } else {
        // The 16-byte form puts each register in the low byte of a pair; the high bytes of a
        // 28-bit command stay 0.
        cdb.length = 16;
        b[0] = 0x85;
        b[1] = protocol;
        b[2] = flags;
        b[4] = r.features;
        b[6] = r.sectorCount;
        b[8] = r.lbaLow;
        b[10] = r.lbaMid;
        b[12] = r.lbaHigh;
        b[13] = r.device;
        b[14] = r.command;
    }
    return cdb;
}

std::optional<SenseData> parseSense(std::span<const std::uint8_t> sense) {
    if (sense.size() < 8) return std::nullopt;
    SenseData data;
    const std::uint8_t response = sense[0] & 0x7F;
    if (response == 0x72 || response == 0x73) {
        data.key = sense[1] & 0x0F;
        data.asc = sense[2];
        data.ascq = sense[3];
        const std::size_t end = std::min<std::size_t>(sense.size(), 8u + sense[7]);
        for (std::size_t at = 8; at + 2 <= end;) {
            const std::size_t size = 2u + sense[at + 1];
            if (sense[at] == kAtaStatusReturnDescriptor && size >= 14 && at + 14 <= end) {
                const auto d = sense.subspan(at, 14);
                data.ata = AtaStatusReturn{d[3], d[5], d[7], d[9], d[11], d[12], d[13]};
            }
            at += size;
        }
        return data;
    }
    if (response == 0x70 || response == 0x71) {
        if (sense.size() < 14) return std::nullopt;
        data.key = sense[2] & 0x0F;
        data.asc = sense[12];
        data.ascq = sense[13];
        // ATA PASS-THROUGH information available: the registers sit in the information and
        // command-specific fields.
        if (data.asc == 0x00 && data.ascq == 0x1D)
            data.ata = AtaStatusReturn{sense[3],  sense[6], sense[9], sense[10],
                                       sense[11], sense[5], sense[4]};
        return data;
    }
    return std::nullopt;
}

SgioResult classifySgioReply(const SgioReply& reply) {
    if (reply.result < 0) {
        switch (reply.error) {
            case EBUSY:
                return {SgioVerdict::ExclusiveAccess, std::nullopt};
            case ENODEV:
            case ENXIO:
            case ENOENT:
            case ENOMEDIUM:
                return {SgioVerdict::NotResponding, std::nullopt};
            case ETIMEDOUT:
                return {SgioVerdict::Timeout, std::nullopt};
            case EINVAL:
            case EOPNOTSUPP:
                return {SgioVerdict::Refused, std::nullopt};
            default:
                return {SgioVerdict::Failed, std::nullopt};
        }
    }

    switch (reply.hostStatus) {
        case 0:
            break;
        case kHostTimeOut:
            return {SgioVerdict::Timeout, std::nullopt};
        case kHostNoConnect:
        case kHostBusBusy:
        case kHostBadTarget:
        case kHostTransportDisrupted:
        case kHostTransportFailfast:
            return {SgioVerdict::NotResponding, std::nullopt};
        default:
            return {SgioVerdict::Failed, std::nullopt};
    }
    const std::uint16_t driver = reply.driverStatus & 0x0F;
    if (driver == kDriverTimeout) return {SgioVerdict::Timeout, std::nullopt};
    if (driver != 0 && driver != kDriverSense) return {SgioVerdict::Failed, std::nullopt};

    switch (reply.status) {
        case kScsiGood:
        case kScsiCheckCondition:
            break;
        case kScsiReservationConflict:
            return {SgioVerdict::ExclusiveAccess, std::nullopt};
        case kScsiBusy:
        case kScsiTaskSetFull:
            return {SgioVerdict::NotResponding, std::nullopt};
        default:
            return {SgioVerdict::Failed, std::nullopt};
    }

    const auto sense = reply.sense.empty() ? std::nullopt : parseSense(reply.sense);
    if (!sense) {
        // A check condition must explain itself; without readable sense the answer is unusable.
        if (reply.status == kScsiCheckCondition || !reply.sense.empty())
            return {SgioVerdict::Failed, std::nullopt};
        return {SgioVerdict::Done, std::nullopt};
    }
    switch (sense->key) {
        case kNoSense:
        case kRecoveredError:
            if (sense->ata && (sense->ata->status & (kAtaStatusError | kAtaStatusDeviceFault)) != 0)
                return withAta(SgioVerdict::AtaError, sense);
            return withAta(SgioVerdict::Done, sense);
        case kNotReady:
        case kUnitAttention:
            return withAta(SgioVerdict::NotResponding, sense);
        case kIllegalRequest:
            if (sense->asc == kInvalidOpcode || sense->asc == kInvalidFieldInCdb)
                return withAta(SgioVerdict::Refused, sense);
            return withAta(SgioVerdict::Failed, sense);
        case kAbortedCommand:
            return withAta(SgioVerdict::AtaError, sense);
        default:
            return withAta(SgioVerdict::Failed, sense);
    }
}

const char* sgioVerdictName(SgioVerdict verdict) {
    switch (verdict) {
        case SgioVerdict::Done:
            return "done";
        case SgioVerdict::Refused:
            return "refused";
        case SgioVerdict::Timeout:
            return "time-out";
        case SgioVerdict::NotResponding:
            return "not responding";
        case SgioVerdict::ExclusiveAccess:
            return "exclusive access";
        case SgioVerdict::AtaError:
            return "ATA error";
        case SgioVerdict::Failed:
            return "failed";
    }
    return "unknown";
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    char byte[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", bytes[i]);
        text += byte;
    }
    return text;
}

}  // namespace drivetherm
