// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "hardware/smc/SmcDiagnostics.h"
#include "hardware/smc/SmcSession.h"
#include "hardware/smc/sim/SimSmcDriver.h"
#include "tests/unit/smc/ControllerFromJson.h"
#include "tests/unit/smc/RecordingSmcDriver.h"

namespace drivetherm {
namespace {

using testing::CapturedOutput;
using testing::RecordingSmcDriver;

SmcValue valueOf(const char* key, const char* type, std::vector<std::uint8_t> bytes) {
    SmcValue value;
    std::memcpy(value.keyName, key, 4);
    std::memcpy(value.valueType, type, std::strlen(type));
    value.valueSize = static_cast<std::uint32_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), value.valueBytes);
    return value;
}

TEST(SmcDiagnostics, AValuePrintsNameTypeDecodedValueAndBytes) {
    const std::pair<SmcValue, const char*> cases[] = {
        {valueOf("FNum", "ui8 ", {0x02}), "  FNum  [ui8 ]  2 (bytes 02)\n"},
        {valueOf("#KEY", "ui32", {0x00, 0x00, 0x02, 0x1C}),
         "  #KEY  [ui32]  540 (bytes 00 00 02 1c)\n"},
        {valueOf("FS! ", "ui16", {0x00, 0x02}), "  FS!   [ui16]  2 (bytes 00 02)\n"},
        {valueOf("F1Ac", "fpe2", {0x1F, 0x40}), "  F1Ac  [fpe2]  2000 (bytes 1f 40)\n"},
        {valueOf("TC0P", "sp78", {0x2D, 0x80}), "  TC0P  [sp78]  (bytes 2d 80)\n"},
        {valueOf("NOPE", "", {}), "  NOPE  [    ]  no data\n"},
        {valueOf("F1Mn", "fpe2", {}), "  F1Mn  [fpe2]  no data\n"},
    };
    for (const auto& [value, expected] : cases) {
        CapturedOutput out;
        printSmcValue(value, out.file());
        EXPECT_EQ(out.text(), expected);
    }
}

TEST(SmcDiagnostics, BytesNeverPrintBeyondTheValuesThirtyTwo) {
    SmcValue value = valueOf("BIG!", "ch8*", {0xAB});
    value.valueSize = 1000;
    CapturedOutput out;
    printValueBytes(value, out.file());
    EXPECT_EQ(out.text().size(), std::string("(bytes)\n").size() + 32 * 3);
}

class SmcDiagnosticsOnController : public ::testing::Test {
protected:
    void use(const nlohmann::json& smcSection) {
        smc_ = testing::controllerFrom(smcSection);
        driver_ = std::make_unique<RecordingSmcDriver>(smc_);
        session_ = std::make_unique<SmcSession>(driver_.get());
        ASSERT_EQ(session_->openSmcConnection(), 0);
    }

    std::shared_ptr<SimSmcController> smc_;
    std::unique_ptr<RecordingSmcDriver> driver_;
    std::unique_ptr<SmcSession> session_;
};

TEST_F(SmcDiagnosticsOnController, ListingPrintsEveryKeyInIndexOrder) {
    use({{"fans", {{{"id", "HDD"}, {"actual", 2000}, {"min", 1100}, {"max", 6000}}}},
         {"sensors", {{"TC0P", 45.5}}},
         {"keys", {{{"key", "RPlt"}, {"type", "ch8*"}, {"bytes", "6b3630"}}}}});
    CapturedOutput out;
    EXPECT_EQ(listAllSmcKeys(*session_, out.file()), 0);
    EXPECT_EQ(out.text(),
              "  #KEY  [ui32]  11 (bytes 00 00 00 0b)\n"
              "  F0Ac  [fpe2]  2000 (bytes 1f 40)\n"
              "  F0ID  [{fds]  (bytes 00 00 00 00 48 44 44 00 00 00 00 00 00 00 00 00)\n"
              "  F0Mn  [fpe2]  1100 (bytes 11 30)\n"
              "  F0Mx  [fpe2]  6000 (bytes 5d c0)\n"
              "  F0Sf  [fpe2]  1100 (bytes 11 30)\n"
              "  F0Tg  [fpe2]  0 (bytes 00 00)\n"
              "  FNum  [ui8 ]  1 (bytes 01)\n"
              "  FS!   [ui16]  0 (bytes 00 00)\n"
              "  RPlt  [ch8*]  (bytes 6b 36 30)\n"
              "  TC0P  [sp78]  (bytes 2d 80)\n");
}

TEST_F(SmcDiagnosticsOnController, ListingSkipsIndicesWhoseLookupFailsAndIsEmptyWithoutACount) {
    use({{"sensors", {{"TA0P", 24.0}, {"TC0P", 45.5}}}});
    driver_->failWhen = [](const SmcParamRecord& r) {
        return r.commandCode == kSmcCmdReadIndex && r.keyIndex == 4;
    };
    CapturedOutput out;
    listAllSmcKeys(*session_, out.file());
    EXPECT_EQ(out.text(),
              "  #KEY  [ui32]  5 (bytes 00 00 00 05)\n"
              "  FNum  [ui8 ]  0 (bytes 00)\n"
              "  FS!   [ui16]  0 (bytes 00 00)\n"
              "  TA0P  [sp78]  (bytes 18 00)\n");

    smc_->setExchangeFault(true);
    CapturedOutput none;
    EXPECT_EQ(listAllSmcKeys(*session_, none.file()), 0);
    EXPECT_EQ(none.text(), "");
}

std::string fanBlock(int fan, int actual, int minimum, int maximum, int safe, int target,
                     bool forced) {
    char text[400];
    std::snprintf(
        text, sizeof text,
        "\nFan #%d:\n    Actual speed : %d\n    Minimum speed: %d\n    Maximum speed: %d\n"
        "    Safe speed   : %d\n    Target speed : %d\n    Mode         : %s\n",
        fan, actual, minimum, maximum, safe, target, forced ? "forced" : "auto");
    return text;
}

TEST_F(SmcDiagnosticsOnController, FanReportShowsEachFansSpeedsAndMode) {
    use({{"fans",
          {{{"id", "ODD"}, {"actual", 1150}, {"min", 1150}, {"max", 2700}, {"target", 1150}},
           {{"id", "HDD"},
            {"actual", 3551},
            {"min", 3550},
            {"max", 3550},
            {"safe", 1100},
            {"target", 3550}}}},
         {"forced", 2}});
    CapturedOutput out;
    EXPECT_EQ(printFanReport(*session_, out.file()), kIOReturnSuccess);
    EXPECT_EQ(out.text(), "Total fans in system: 2\n" +
                              fanBlock(0, 1150, 1150, 2700, 1150, 1150, false) +
                              fanBlock(1, 3551, 3550, 3550, 1100, 3550, true));
}

TEST_F(SmcDiagnosticsOnController, FanModeFollowsEachBitOfTheMask) {
    nlohmann::json fans = nlohmann::json::array();
    for (int i = 0; i < 10; ++i) fans.push_back({{"min", 1000}, {"max", 2000}});
    use({{"fans", fans}, {"forced", 0x0180}});
    CapturedOutput out;
    printFanReport(*session_, out.file());
    const std::string text = out.text();
    std::vector<std::string> modes;
    for (std::size_t at = text.find("Mode"); at != std::string::npos;
         at = text.find("Mode", at + 1)) {
        modes.push_back(text.substr(at + 15, text.find('\n', at) - at - 15));
    }
    const std::vector<std::string> expected = {"auto", "auto", "auto",   "auto",   "auto",
                                               "auto", "auto", "forced", "forced", "auto"};
    EXPECT_EQ(modes, expected);
}

TEST_F(SmcDiagnosticsOnController, FanReportWithoutFansOrWithoutACount) {
    use({{"fans", nlohmann::json::array()}});
    CapturedOutput out;
    EXPECT_EQ(printFanReport(*session_, out.file()), kIOReturnSuccess);
    EXPECT_EQ(out.text(), "Total fans in system: 0\n");

    smc_->setExchangeFault(true);
    CapturedOutput failed;
    EXPECT_EQ(printFanReport(*session_, failed.file()), kIOReturnError);
    EXPECT_EQ(failed.text(), "");
}

TEST_F(SmcDiagnosticsOnController, FanReportStopsAtTheTenFansOneDigitNames) {
    use({{"fans", {{{"min", 1000}, {"max", 2000}}}},
         {"keys", {{{"key", "FNum"}, {"type", "ui8 "}, {"bytes", "0c"}}}}});
    CapturedOutput out;
    printFanReport(*session_, out.file());
    const std::string text = out.text();
    EXPECT_EQ(text.rfind("Total fans in system: 12\n", 0), 0u);
    EXPECT_NE(text.find("Fan #9:"), std::string::npos);
    EXPECT_EQ(text.find("Fan #10:"), std::string::npos);
    // A missing fan's speeds read as 0, the cleared value.
    EXPECT_NE(text.find("Fan #1:\n    Actual speed : 0\n"), std::string::npos);
}

TEST(SmcDiagnostics, UsageIsTheToolsWholeHelpText) {
    CapturedOutput out;
    printSmcToolUsage("drivetherm-smc", out.file());
    EXPECT_EQ(out.text(),
              "Apple System Management Control (SMC) tool 0.01\n"
              "Usage:\n"
              "drivetherm-smc [options]\n"
              "    -f         : fan info decoded\n"
              "    -h         : help\n"
              "    -k <key>   : key to manipulate\n"
              "    -l         : list all keys and values\n"
              "    -r         : read the value of a key\n"
              "    -w <value> : write the specified value to a key\n"
              "    -v         : version\n"
              "\n");
}

}  // namespace
}  // namespace drivetherm
