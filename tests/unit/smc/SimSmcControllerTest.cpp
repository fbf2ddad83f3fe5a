// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "hardware/smc/SmcCodec.h"
#include "hardware/smc/sim/SimSmcController.h"
#include "tests/unit/smc/ControllerFromJson.h"

namespace drivetherm {
namespace {

using nlohmann::json;

const std::string kDefaultMachine = DRIVETHERM_SOURCE_DIR "/machines/default.json";

SmcParamRecord request(std::uint8_t command, const char* key, std::uint32_t size = 0) {
    SmcParamRecord record{};
    record.commandCode = command;
    record.keyCode = packSmcCode(key);
    record.valueSize = size;
    return record;
}

TEST(SimSmcController, DefaultMachineHoldsItsFansSensorsAndCountsInIndexOrder) {
    const auto smc = testing::controllerOfMachineFile(kDefaultMachine);
    EXPECT_EQ(smc->fanCount(), 3);
    EXPECT_EQ(smc->fanMinimum(1), 1100);
    EXPECT_EQ(smc->fanMaximum(1), 6000);
    EXPECT_EQ(smc->fanMaximum(0), 2700);
    EXPECT_FALSE(smc->fanForced(1));
    EXPECT_DOUBLE_EQ(smc->sensorTemperature("TC0D"), 51.25);

    std::string type;
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(smc->readKey("F1ID", type, bytes), kIOReturnSuccess);
    EXPECT_EQ(type, "{fds");
    EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 7), "HDD");
    ASSERT_EQ(smc->readKey("#KEY", type, bytes), kIOReturnSuccess);
    EXPECT_EQ(decodeSmcUnsigned(bytes.data(), 4), smc->keyCount());
    EXPECT_EQ(smc->readKey("NOPE", type, bytes), kIOReturnNotFound);

    std::uint32_t previous = 0;
    for (std::uint32_t i = 0; i < smc->keyCount(); ++i) {
        SmcParamRecord byIndex{}, reply{};
        byIndex.commandCode = kSmcCmdReadIndex;
        byIndex.keyIndex = i;
        ASSERT_EQ(smc->exchange(byIndex, reply), kIOReturnSuccess);
        EXPECT_GT(reply.keyCode, previous) << "index " << i;
        previous = reply.keyCode;
    }
}

TEST(SimSmcController, AnswersCommandsAsARealControllerDoes) {
    auto smc = testing::controllerFrom({{"fans", {{{"min", 1100}, {"max", 6000}}}}});
    SmcParamRecord reply{};

    // An unknown key: the exchange succeeds, the key shows as size 0.
    EXPECT_EQ(smc->exchange(request(kSmcCmdReadKeyInfo, "NOPE"), reply), kIOReturnSuccess);
    EXPECT_EQ(reply.valueSize, 0u);
    EXPECT_EQ(smc->exchange(request(kSmcCmdReadKeyInfo, "F0Mn"), reply), kIOReturnSuccess);
    EXPECT_EQ(reply.valueSize, 2u);
    EXPECT_EQ(reply.valueType, packSmcCode("fpe2"));

    struct WriteCase {
        const char* key;
        std::uint32_t size;
        kern_return_t status;
    };
    const WriteCase writes[] = {
        {"F0Mn", 2, kIOReturnSuccess},     {"F0Mn", 1, kIOReturnBadArgument},
        {"F0Mn", 4, kIOReturnBadArgument}, {"NOPE", 2, kIOReturnNotFound},
        {"#KEY", 4, kIOReturnNotWritable}, {"FNum", 1, kIOReturnNotWritable},
    };
    for (const auto& w : writes) {
        SmcParamRecord write = request(kSmcCmdWriteBytes, w.key, w.size);
        write.valueBytes[0] = 0x1F;
        write.valueBytes[1] = 0x40;
        EXPECT_EQ(smc->exchange(write, reply), w.status) << w.key << " size " << w.size;
    }
    EXPECT_EQ(smc->fanMinimum(0), 2000);
    EXPECT_EQ(smc->writeCount("F0Mn"), 1);
    EXPECT_EQ(smc->exchange(request(kSmcCmdReadBytes, "F0Mn", 4), reply), kIOReturnBadArgument);

    SmcParamRecord pastTheEnd{};
    pastTheEnd.commandCode = kSmcCmdReadIndex;
    pastTheEnd.keyIndex = static_cast<std::uint32_t>(smc->keyCount());
    EXPECT_NE(smc->exchange(pastTheEnd, reply), kIOReturnSuccess);

    smc->setExchangeFault(true);
    EXPECT_EQ(smc->exchange(request(kSmcCmdReadKeyInfo, "F0Mn"), reply), kIOReturnNotResponding);
    EXPECT_EQ(smc->exchangeCount(), 11);
}

TEST(SimSmcController, SensorAndFanSettersTouchOnlyTheirKeys) {
    auto smc = testing::controllerFrom(
        {{"fans", {{{"min", 1100}, {"max", 6000}}}}, {"sensors", {{"TH0O", -7.0}}}, {"forced", 1}});
    EXPECT_DOUBLE_EQ(smc->sensorTemperature("TH0O"), -7.0);
    EXPECT_TRUE(smc->setSensorTemperature("TH0O", 41.5));
    EXPECT_DOUBLE_EQ(smc->sensorTemperature("TH0O"), 41.5);
    EXPECT_FALSE(smc->setSensorTemperature("F0Mn", 41.5));
    EXPECT_FALSE(smc->setSensorTemperature("TXXX", 41.5));
    EXPECT_EQ(smc->fanMinimum(0), 1100);

    smc->setFanActual(0, 2345);
    EXPECT_EQ(smc->fanActual(0), 2345);
    smc->setFanActual(0, 99999);
    EXPECT_EQ(smc->fanActual(0), 16383);
    EXPECT_EQ(smc->writeCount("F0Ac"), 0);
    EXPECT_TRUE(smc->fanForced(0));
    EXPECT_EQ(smc->fanActual(4), -1);
    EXPECT_EQ(smc->fanTarget(0), 0);
}

struct LoadErrorCase {
    json smc;
    const char* message;
};

TEST(SimSmcController, LoadErrorsNameTheMemberInOneLine) {
    const LoadErrorCase cases[] = {
        {json::array(), "m.json:1: smc: expected an object"},
        {{{"fan", json::array()}}, "m.json:1: smc.fan: unknown member"},
        {{{"fans", {{{"min", 1100}, {"max", 6000}}, {{"min", 10.5}, {"max", 6000}}}}},
         "m.json:1: smc.fans[1].min: expected an integer rpm from 0 to 16383"},
        {{{"fans", {{{"min", 1100}}}}}, "m.json:1: smc.fans[0].max: missing (an integer rpm)"},
        {{{"fans", {{{"min", 1}, {"max", 2}, {"speed", 3}}}}},
         "m.json:1: smc.fans[0].speed: unknown member"},
        {{{"fans", {{{"min", 1}, {"max", 2}, {"id", "a fan with a long name"}}}}},
         "m.json:1: smc.fans[0].id: expected a text of at most 12 characters"},
        {{{"sensors", {{"TA0", 20}}}},
         "m.json:1: smc.sensors.TA0: expected a key of four printable characters"},
        {{{"sensors", {{"TA0P", 200}}}},
         "m.json:1: smc.sensors.TA0P: expected a temperature in °C from -128 to 127.99"},
        {{{"fans", {{{"min", 1}, {"max", 2}}}}, {"sensors", {{"F0Mn", 20}}}},
         "m.json:1: smc.sensors.F0Mn: the key F0Mn is already a fan key"},
        {{{"keys", {{{"key", "RPlt"}, {"type", "ch8*"}, {"bytes", "6b3"}}}}},
         "m.json:1: smc.keys[0].bytes: expected 1 to 32 bytes as hex digits (\"1f40\")"},
        {{{"keys", {{{"key", "#KEY"}, {"type", "ui32"}, {"bytes", "00000001"}}}}},
         "m.json:1: smc.keys[0].key: #KEY is the key count and cannot be given"},
        {{{"keys",
           {{{"key", "RPlt"}, {"type", "ch8*"}, {"bytes", "6b"}},
            {{"key", "RPlt"}, {"type", "ch8*"}, {"bytes", "6b"}}}}},
         "m.json:1: smc.keys[1].key: RPlt is given twice"},
        {{{"faults", {{"open", "broken"}}}},
         "m.json:1: smc.faults.open: expected \"none\", \"no-service\", \"matching-failed\" or "
         "\"open-failed\""},
    };
    for (const auto& c : cases) {
        try {
            readSmcSection(MachineFile::parse(json{{"smc", c.smc}}.dump(), "m.json"));
            ADD_FAILURE() << "no error for " << c.smc.dump();
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), c.message) << c.smc.dump();
        }
    }
}

TEST(SimSmcController, RawKeysMayReplaceGeneratedOnesAndFaultsLoad) {
    auto smc =
        testing::controllerFrom({{"fans", {{{"min", 1100}, {"max", 6000}}}},
                                 {"keys", {{{"key", "F0Ac"}, {"type", "ui16"}, {"bytes", "0450"}}}},
                                 {"faults", {{"open", "open-failed"}, {"exchange", true}}}});
    EXPECT_EQ(smc->fanActual(0), -1);  // no longer an fpe2 key
    EXPECT_EQ(smc->openFault(), SimSmcController::OpenFault::OpenFailed);
    EXPECT_TRUE(smc->exchangeFault());
}

}  // namespace
}  // namespace drivetherm
