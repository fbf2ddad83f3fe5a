// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "hardware/smc/SmcCodec.h"
#include "hardware/smc/SmcSession.h"
#include "hardware/smc/sim/SimSmcDriver.h"
#include "tests/unit/smc/RecordingSmcDriver.h"

namespace drivetherm {
namespace {

using testing::RecordingSmcDriver;

// A controller with one key of each kind the accessors meet.
std::shared_ptr<SimSmcController> smallController() {
    auto smc = std::make_shared<SimSmcController>();
    smc->setKey("F1Ac", "fpe2", {0x1F, 0x43});
    smc->setKey("F1Mn", "fpe2", {0x11, 0x30});
    smc->setKey("TC0P", "sp78", {0x2D, 0x80});
    smc->setKey("TBAD", "fpe2", {0x2D, 0x80});
    smc->setKey("FBAD", "sp78", {0x1F, 0x40});
    smc->setKey("FNum", "ui8 ", {0x02});
    smc->setKey("RPlt", "ch8*", {0x6B, 0x36, 0x30, 0x00});
    return smc;
}

class SmcAccess : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(session_.openSmcConnection(), 0); }

    std::shared_ptr<SimSmcController> smc_ = smallController();
    RecordingSmcDriver driver_{smc_};
    SmcSession session_{&driver_};
};

// The record as raw bytes, to check where each field lands.
std::vector<std::uint8_t> rawBytes(const SmcParamRecord& record) {
    std::vector<std::uint8_t> raw(sizeof record);
    std::memcpy(raw.data(), &record, sizeof record);
    return raw;
}

void putHostWord(std::vector<std::uint8_t>& raw, std::size_t offset, std::uint32_t word) {
    std::memcpy(raw.data() + offset, &word, 4);
}

TEST_F(SmcAccess, RequestsSetOnlyTheFieldsTheirCommandNeedsAtTheirOffsets) {
    SmcValue value;
    ASSERT_EQ(session_.readSmcKey("F1Mn", value), kIOReturnSuccess);
    ASSERT_EQ(session_.writeSmcFanSpeed("F1Mn", 2000), kIOReturnSuccess);
    char key[5];
    ASSERT_EQ(session_.readSmcKeyAtIndex(2, key), kIOReturnSuccess);
    ASSERT_EQ(driver_.requests.size(), 6u);

    std::vector<std::uint8_t> info(80, 0), read(80, 0), write(80, 0), index(80, 0);
    putHostWord(info, 0, 0x46314D6Eu);
    info[42] = 9;
    read = info;
    read[42] = 5;
    putHostWord(read, 28, 2);
    write = read;
    write[42] = 6;
    write[48] = 0x1F;
    write[49] = 0x40;
    index[42] = 8;
    putHostWord(index, 44, 2);

    EXPECT_EQ(rawBytes(driver_.requests[0]), info);
    EXPECT_EQ(rawBytes(driver_.requests[1]), read);
    EXPECT_EQ(rawBytes(driver_.requests[4]), write);
    EXPECT_EQ(rawBytes(driver_.requests[5]), index);
    EXPECT_STREQ(key, "F1Mn");
}

struct SequenceCase {
    const char* name;
    std::function<kern_return_t()> operation;
    kern_return_t status;
    int exchanges;
    int writes;
};

TEST_F(SmcAccess, AWriteCostsThreeExchangesAndAWrongSizeSendsNoWrite) {
    auto writeBytes = [this](const char* key, std::uint32_t size) {
        return [this, key, size] {
            SmcValue value;
            std::memcpy(value.keyName, key, 5);
            value.valueSize = size;
            return session_.writeSmcKey(value);
        };
    };
    const SequenceCase cases[] = {
        {"read",
         [this] {
             SmcValue v;
             return session_.readSmcKey("F1Ac", v);
         },
         kIOReturnSuccess, 2, 0},
        {"fan write", [this] { return session_.writeSmcFanSpeed("F1Mn", 1500); }, kIOReturnSuccess,
         3, 1},
        {"write of the key's size", writeBytes("RPlt", 4), kIOReturnSuccess, 3, 1},
        {"fan speed to a one-byte key", [this] { return session_.writeSmcFanSpeed("FNum", 1500); },
         kIOReturnError, 2, 0},
        {"bytes of the wrong size", writeBytes("RPlt", 2), kIOReturnError, 2, 0},
        {"fan speed to a missing key", [this] { return session_.writeSmcFanSpeed("F7Mn", 1500); },
         kIOReturnError, 2, 0},
        {"zero bytes to a missing key", writeBytes("NOPE", 0), kIOReturnError, 2, 0},
    };
    for (const auto& c : cases) {
        driver_.requests.clear();
        EXPECT_EQ(c.operation(), c.status) << c.name;
        EXPECT_EQ(static_cast<int>(driver_.requests.size()), c.exchanges) << c.name;
        EXPECT_EQ(driver_.commandCount(kSmcCmdWriteBytes), c.writes) << c.name;
    }
    EXPECT_EQ(smc_->fanMinimum(1), 1500);
}

TEST_F(SmcAccess, AFailedExchangeEndsTheReadAtOnce) {
    driver_.failWhen = [](const SmcParamRecord& r) { return r.commandCode == kSmcCmdReadKeyInfo; };
    SmcValue value;
    EXPECT_EQ(session_.readSmcKey("F1Ac", value), kIOReturnTimeout);
    EXPECT_STREQ(value.keyName, "F1Ac");
    EXPECT_EQ(value.valueSize, 0u);
    EXPECT_EQ(driver_.requests.size(), 1u);

    driver_.failWhen = [](const SmcParamRecord& r) { return r.commandCode == kSmcCmdReadBytes; };
    EXPECT_EQ(session_.readSmcKey("F1Ac", value), kIOReturnTimeout);
    EXPECT_EQ(value.valueSize, 2u);
    EXPECT_EQ(value.valueBytes[0], 0);
    EXPECT_EQ(session_.writeSmcFanSpeed("F1Mn", 1500), kIOReturnTimeout);
    EXPECT_EQ(driver_.commandCount(kSmcCmdWriteBytes), 0);
}

TEST_F(SmcAccess, TypedReadsGiveTheirNoReadingValueOnEveryFailure) {
    struct Case {
        const char* key;
        bool failing;
        double celsius;
        int rpm;
    };
    const Case cases[] = {
        {"TC0P", false, 45.5, -1},   // an sp78 key: a temperature, not a speed
        {"F1Ac", false, 0.0, 2000},  // an fpe2 key: fraction bits dropped
        {"TBAD", false, 0.0, 2912},  // a temperature key of the wrong type is no reading
        {"FBAD", false, 31.25, -1},  // a speed key of the wrong type is no reading
        {"NOPE", false, 0.0, -1},    // size 0
        {"TC0P", true, 0.0, -1},     // the exchange fails
        {"F1Ac", true, 0.0, -1},
    };
    for (const auto& c : cases) {
        driver_.failWhen = [failing = c.failing](const SmcParamRecord&) { return failing; };
        EXPECT_DOUBLE_EQ(session_.readSmcTemperature(c.key), c.celsius)
            << c.key << (c.failing ? " failing" : "");
        EXPECT_EQ(session_.readSmcFanSpeed(c.key), c.rpm) << c.key << (c.failing ? " failing" : "");
    }
}

TEST_F(SmcAccess, FanWritesHoldTheSpeedWithinWhatFpe2Carries) {
    const std::pair<int, int> cases[] = {
        {3550, 3550},   {0, 0},         {-5, 0},          {INT_MIN, 0},
        {16383, 16383}, {20000, 16383}, {INT_MAX, 16383},
    };
    for (const auto& [given, stored] : cases) {
        ASSERT_EQ(session_.writeSmcFanSpeed("F1Mn", given), kIOReturnSuccess) << given;
        EXPECT_EQ(smc_->fanMinimum(1), stored) << given;
    }
}

TEST_F(SmcAccess, KeyCountIsZeroWhenItCannotBeRead) {
    EXPECT_EQ(session_.readSmcKeyCount(), static_cast<int>(smc_->keyCount()));
    smc_->setExchangeFault(true);
    EXPECT_EQ(session_.readSmcKeyCount(), 0);
}

TEST_F(SmcAccess, ExchangesAfterCloseFailLikeAStaleHandle) {
    session_.closeSmcConnection();
    SmcParamRecord request{}, reply{};
    request.commandCode = kSmcCmdReadKeyInfo;
    EXPECT_NE(session_.callSmc(request, reply), kIOReturnSuccess);
    EXPECT_EQ(session_.readSmcFanSpeed("F1Ac"), -1);
    EXPECT_EQ(session_.writeSmcFanSpeed("F1Mn", 1500), kIOReturnNotOpen);
    EXPECT_EQ(session_.closeSmcConnection(), kIOReturnSuccess);
}

struct OpenCase {
    SimSmcController::OpenFault fault;
    const char* message;
};

TEST(SmcConnection, EachFailedOpenPrintsItsMessageAndReturnsOne) {
    const OpenCase cases[] = {
        {SimSmcController::OpenFault::NoService, "Error: no SMC found\n"},
        {SimSmcController::OpenFault::MatchingFailed,
         "Error: IOServiceGetMatchingServices() = e00002bc\n"},
        {SimSmcController::OpenFault::OpenFailed, "Error: IOServiceOpen() = e00002c1\n"},
    };
    for (const auto& c : cases) {
        auto smc = smallController();
        smc->setOpenFault(c.fault);
        SimSmcDriver driver(smc);
        SmcSession session(&driver);
        ::testing::internal::CaptureStdout();
        const int result = session.openSmcConnection();
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.message);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(session.readSmcFanSpeed("F1Ac"), -1);
        EXPECT_EQ(smc->exchangeCount(), 0);
    }
    SmcSession noDriver(nullptr);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(noDriver.openSmcConnection(), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error: no SMC found\n");
}

TEST(SmcConnection, AQuietCallerHearsOfAMissingSmcOnceUntilItIsBack) {
    auto smc = smallController();
    SimSmcDriver driver(smc);
    SmcSession session(&driver);
    session.setOpenReportsRepeats(false);
    smc->setOpenFault(SimSmcController::OpenFault::NoService);
    ::testing::internal::CaptureStdout();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(session.openSmcConnection(), 1);
    smc->setOpenFault(SimSmcController::OpenFault::None);
    EXPECT_EQ(session.openSmcConnection(), 0);
    session.closeSmcConnection();
    smc->setOpenFault(SimSmcController::OpenFault::NoService);
    EXPECT_EQ(session.openSmcConnection(), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Error: no SMC found\nError: no SMC found\n");
}

}  // namespace
}  // namespace drivetherm
