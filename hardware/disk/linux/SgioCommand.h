// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace drivetherm {

// ATA commands carried to a disk in SCSI ATA PASS-THROUGH commands, and what the kernel's
// answer means. Pure functions over bytes; the device that sends them is SgioSmartDevice.

// The ATA registers of one command (28-bit form).
struct AtaRegisters {
    std::uint8_t features = 0;
    std::uint8_t sectorCount = 0;
    std::uint8_t lbaLow = 0;
    std::uint8_t lbaMid = 0;
    std::uint8_t lbaHigh = 0;
    std::uint8_t device = 0;
    std::uint8_t command = 0;
};

enum class AtaProtocol : std::uint8_t { NonData = 3, PioDataIn = 4 };

struct AtaCommand {
    AtaRegisters registers;
    AtaProtocol protocol = AtaProtocol::NonData;
    // Ask for the drive's registers back (in the sense data) even on success.
    bool checkCondition = false;
};

// SMART READ DATA (B0h/D0h, one 512-byte block in), SMART READ LOG (B0h/D5h, the first
// 512-byte page of the log whose address is in LBA low), SMART ENABLE/DISABLE OPERATIONS
// (B0h/D8h, D9h) and CHECK POWER MODE (E5h, answers in the sector count). The SMART
// commands carry the signature 4Fh/C2h in LBA mid/high.
AtaCommand smartReadDataCommand();
AtaCommand smartReadLogCommand(std::uint8_t logAddress);
AtaCommand smartEnableOperationsCommand(bool enable);
AtaCommand checkPowerModeCommand();

// Whether a CHECK POWER MODE answer (its sector count) says the drive has spun down.
bool isStandbyPowerMode(std::uint8_t sectorCount);

// The CDB of ATA PASS-THROUGH (16) (opcode 85h) or (12) (opcode A1h) for a command; 16 or 12
// of the bytes are used.
struct PassThroughCdb {
    std::array<std::uint8_t, 16> bytes{};
    std::size_t length = 0;
    std::span<const std::uint8_t> view() const { return {bytes.data(), length}; }
};
PassThroughCdb buildPassThroughCdb(std::size_t length, const AtaCommand& command);

// The drive's registers after a command, from the sense data's ATA status return.
struct AtaStatusReturn {
    std::uint8_t error = 0;
    std::uint8_t sectorCount = 0;
    std::uint8_t lbaLow = 0;
    std::uint8_t lbaMid = 0;
    std::uint8_t lbaHigh = 0;
    std::uint8_t device = 0;
    std::uint8_t status = 0;
};

struct SenseData {
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    std::optional<AtaStatusReturn> ata;
};

// Descriptor (72h/73h) or fixed (70h/71h) sense data; nothing for anything else.
std::optional<SenseData> parseSense(std::span<const std::uint8_t> sense);

// What the SG_IO call and its header reported.
struct SgioReply {
    int result = 0;  // of the ioctl
    int error = 0;   // errno when result < 0
    std::uint8_t status = 0;
    std::uint16_t hostStatus = 0;
    std::uint16_t driverStatus = 0;
    std::span<const std::uint8_t> sense;
};

enum class SgioVerdict {
    Done,             // the drive did the command
    Refused,          // this pass-through size is not understood: try the other
    Timeout,          // the host gave up waiting
    NotResponding,    // no connection, the device is gone or not ready yet
    ExclusiveAccess,  // another opener holds the device
    AtaError,         // the drive answered with an error
    Failed,           // anything else, including sense data that makes no sense
};

struct SgioResult {
    SgioVerdict verdict = SgioVerdict::Failed;
    std::optional<AtaStatusReturn> ata;
};

SgioResult classifySgioReply(const SgioReply& reply);
const char* sgioVerdictName(SgioVerdict verdict);

// "85 08 0e ..." for debug logs.
std::string hexBytes(std::span<const std::uint8_t> bytes);

}  // namespace drivetherm
