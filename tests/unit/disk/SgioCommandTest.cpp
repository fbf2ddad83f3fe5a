// SPDX-License-Identifier: GPL-2.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "hardware/disk/linux/SgioCommand.h"

namespace drivetherm {
namespace {

using ::testing::ElementsAreArray;

std::vector<std::uint8_t> bytesOf(const PassThroughCdb& cdb) {
    return {cdb.view().begin(), cdb.view().end()};
}

TEST(SgioCommand, TheSmartCommandsGoOutAsTheseCdbBytes) {
    struct Case {
        const char* what;
        AtaCommand command;
        std::size_t length;
        std::vector<std::uint8_t> cdb;
    };
    const Case cases[] = {
        {"SMART READ DATA (16)",
         smartReadDataCommand(),
         16,
         {0x85, 0x08, 0x0E, 0x00, 0xD0, 0x00, 0x01, 0x00, 0x00, 0x00, 0x4F, 0x00, 0xC2, 0x00, 0xB0,
          0x00}},
        {"SMART READ DATA (12)",
         smartReadDataCommand(),
         12,
         {0xA1, 0x08, 0x0E, 0xD0, 0x01, 0x00, 0x4F, 0xC2, 0x00, 0xB0, 0x00, 0x00}},
        {"SMART ENABLE OPERATIONS (16)",
         smartEnableOperationsCommand(true),
         16,
         {0x85, 0x06, 0x00, 0x00, 0xD8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4F, 0x00, 0xC2, 0x00, 0xB0,
          0x00}},
        {"SMART DISABLE OPERATIONS (12)",
         smartEnableOperationsCommand(false),
         12,
         {0xA1, 0x06, 0x00, 0xD9, 0x00, 0x00, 0x4F, 0xC2, 0x00, 0xB0, 0x00, 0x00}},
        {"CHECK POWER MODE (16)",
         checkPowerModeCommand(),
         16,
         {0x85, 0x06, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE5,
          0x00}},
        {"CHECK POWER MODE (12)",
         checkPowerModeCommand(),
         12,
         {0xA1, 0x06, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE5, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_THAT(bytesOf(buildPassThroughCdb(c.length, c.command)), ElementsAreArray(c.cdb));
    }
}

TEST(SgioCommand, TheDrivesRegistersAreReadFromBothSenseFormats) {
    // CHECK POWER MODE answered "idle" (80h): descriptor format with an ATA status return,
    // and the same answer in fixed format.
    const std::vector<std::uint8_t> descriptor{0x72, 0x01, 0x00, 0x1D, 0,    0,    0,    14,
                                               0x09, 0x0C, 0x00, 0x04, 0x00, 0x80, 0x00, 0x11,
                                               0x00, 0x22, 0x00, 0x33, 0xA0, 0x51};
    const std::vector<std::uint8_t> fixed{0x70, 0, 0x01, 0x04, 0x51, 0xA0, 0x80,
                                          10,   0, 0x11, 0x22, 0x33, 0x00, 0x1D};
    for (const auto* sense : {&descriptor, &fixed}) {
        const auto parsed = parseSense(*sense);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->key, 0x01);
        EXPECT_EQ(parsed->asc, 0x00);
        EXPECT_EQ(parsed->ascq, 0x1D);
        ASSERT_TRUE(parsed->ata);
        EXPECT_EQ(parsed->ata->sectorCount, 0x80);
        EXPECT_EQ(parsed->ata->error, 0x04);
        EXPECT_EQ(parsed->ata->status, 0x51);
        EXPECT_EQ(parsed->ata->device, 0xA0);
        EXPECT_EQ(parsed->ata->lbaLow, 0x11);
        EXPECT_EQ(parsed->ata->lbaMid, 0x22);
        EXPECT_EQ(parsed->ata->lbaHigh, 0x33);
    }
    // A descriptor list that claims more than was written is read only as far as it goes.
    std::vector<std::uint8_t> truncated(descriptor.begin(), descriptor.begin() + 16);
    ASSERT_TRUE(parseSense(truncated));
    EXPECT_FALSE(parseSense(truncated)->ata);
    EXPECT_FALSE(parseSense(std::vector<std::uint8_t>{0x72, 0x01, 0x00}));
    EXPECT_FALSE(parseSense(std::vector<std::uint8_t>(18, 0x00)));
}

TEST(SgioCommand, EveryWayTheKernelAnswersMapsToOneVerdict) {
    const std::vector<std::uint8_t> ataOk{0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x09, 0x0C, 0,
                                          0,    0,    0xFF, 0,    0, 0, 0, 0,  0,    0xA0, 0x50};
    std::vector<std::uint8_t> ataError = ataOk;
    ataError[21] = 0x51;
    ataError[11] = 0x04;
    const std::vector<std::uint8_t> abortedWithError{0x72, 0x0B, 0x00, 0x00, 0,    0,   0, 14,
                                                     0x09, 0x0C, 0,    0x04, 0,    0,   0, 0,
                                                     0,    0,    0,    0,    0xA0, 0x51};
    const std::vector<std::uint8_t> invalidOpcode{0x70, 0, 0x05, 0, 0, 0,    0,
                                                  10,   0, 0,    0, 0, 0x20, 0x00};
    const std::vector<std::uint8_t> invalidField{0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0};
    const std::vector<std::uint8_t> notReady{0x72, 0x02, 0x04, 0x02, 0, 0, 0, 0};
    const std::vector<std::uint8_t> mediumError{0x72, 0x03, 0x11, 0x00, 0, 0, 0, 0};
    const std::vector<std::uint8_t> garbage{0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0};

    struct Case {
        const char* what;
        SgioReply reply;
        SgioVerdict verdict;
    };
    const Case cases[] = {
        {"good, no sense", {0, 0, 0x00, 0, 0, {}}, SgioVerdict::Done},
        {"registers returned", {0, 0, 0x02, 0, 0x08, ataOk}, SgioVerdict::Done},
        {"ATA status ERR", {0, 0, 0x02, 0, 0x08, ataError}, SgioVerdict::AtaError},
        {"aborted command", {0, 0, 0x02, 0, 0x08, abortedWithError}, SgioVerdict::AtaError},
        {"(16) unknown opcode", {0, 0, 0x02, 0, 0x08, invalidOpcode}, SgioVerdict::Refused},
        {"(16) invalid field", {0, 0, 0x02, 0, 0x08, invalidField}, SgioVerdict::Refused},
        {"not ready", {0, 0, 0x02, 0, 0x08, notReady}, SgioVerdict::NotResponding},
        {"medium error", {0, 0, 0x02, 0, 0x08, mediumError}, SgioVerdict::Failed},
        {"check condition without sense", {0, 0, 0x02, 0, 0, {}}, SgioVerdict::Failed},
        {"sense that is not sense", {0, 0, 0x02, 0, 0x08, garbage}, SgioVerdict::Failed},
        {"host time-out", {0, 0, 0x00, 0x03, 0, {}}, SgioVerdict::Timeout},
        {"driver time-out", {0, 0, 0x00, 0, 0x06, {}}, SgioVerdict::Timeout},
        {"no connection", {0, 0, 0x00, 0x01, 0, {}}, SgioVerdict::NotResponding},
        {"transport disrupted", {0, 0, 0x00, 0x0E, 0, {}}, SgioVerdict::NotResponding},
        {"driver error", {0, 0, 0x00, 0, 0x04, {}}, SgioVerdict::Failed},
        {"SCSI busy", {0, 0, 0x08, 0, 0, {}}, SgioVerdict::NotResponding},
        {"reservation conflict", {0, 0, 0x18, 0, 0, {}}, SgioVerdict::ExclusiveAccess},
        {"ioctl EBUSY", {-1, EBUSY, 0, 0, 0, {}}, SgioVerdict::ExclusiveAccess},
        {"ioctl ENODEV", {-1, ENODEV, 0, 0, 0, {}}, SgioVerdict::NotResponding},
        {"ioctl ETIMEDOUT", {-1, ETIMEDOUT, 0, 0, 0, {}}, SgioVerdict::Timeout},
        {"ioctl EINVAL", {-1, EINVAL, 0, 0, 0, {}}, SgioVerdict::Refused},
        {"ioctl ENOTTY", {-1, ENOTTY, 0, 0, 0, {}}, SgioVerdict::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(classifySgioReply(c.reply).verdict, c.verdict)
            << sgioVerdictName(classifySgioReply(c.reply).verdict);
    }
}

}  // namespace
}  // namespace drivetherm
