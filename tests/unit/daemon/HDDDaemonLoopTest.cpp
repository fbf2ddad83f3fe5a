// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "daemon/HDDDaemon.h"
#include "tests/unit/daemon/FakeDaemonHardware.h"

namespace drivetherm {
namespace {

using testing::FakeDaemonHardware;
using testing::MemoryPreferenceStore;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class ControlLoop : public ::testing::Test {
protected:
    void SetUp() override {
        // Seven sensors at 40 °C: the fallback average is 40.
        for (const auto& [key, label] : HDDDaemon::getAllKeys()) hardware.sensors[key] = 40.0;
    }

    // Runs ticks until the next temperature check has run (61 ticks after the previous one).
    void tickToNextCheck() {
        do {
            daemon.timer();
        } while (daemon.checkTempCount() != 0);
    }

    FakeDaemonHardware hardware;
    MemoryPreferenceStore store;
    ManualClock clock;
    HDDDaemon daemon{hardware, store, clock};
};

TEST_F(ControlLoop, FirstTickChecksAtOnceAndWritesTheCurveSpeedToMinimumThenMaximum) {
    hardware.drives["disk0"] = 54;
    daemon.timer();
    ASSERT_EQ(hardware.writes.size(), 2u);
    EXPECT_EQ(hardware.writes[0], std::make_pair(std::string("F1Mn"), 3550));
    EXPECT_EQ(hardware.writes[1], std::make_pair(std::string("F1Mx"), 3550));
    EXPECT_EQ(hardware.driveReads, std::vector<std::string>{"disk0"});
    EXPECT_FALSE(hardware.open);
}

TEST_F(ControlLoop, ChecksEverySixtyFirstTickAndWritesEveryTick) {
    hardware.drives["disk0"] = 45;
    for (int i = 0; i < 1 + 61 + 61; ++i) daemon.timer();
    EXPECT_EQ(hardware.driveReads.size(), 3u);
    EXPECT_EQ(hardware.writes.size(), 2u * 123);
}

struct CurveCase {
    const char* name;
    float lower;
    float upper;
    int base;
    double temperature;
    int expected;
};

class Curve : public ::testing::TestWithParam<CurveCase> {};

TEST_P(Curve, MapsTheTemperatureToATargetSpeed) {
    const CurveCase& c = GetParam();
    FakeDaemonHardware hardware;
    MemoryPreferenceStore store;
    HDDDaemon daemon(hardware, store);
    daemon.setLowerThreshold(c.lower);
    daemon.setUpperThreshold(c.upper);
    daemon.setBaseRpm(c.base);
    EXPECT_EQ(daemon.curveTarget(c.temperature), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    ControlLoop, Curve,
    ::testing::Values(CurveCase{"BelowLowerGivesBase", 50, 58, 1100, 45.0, 1100},
                      CurveCase{"AtLowerGivesBase", 50, 58, 1100, 50.0, 1100},
                      CurveCase{"HalfwayInterpolates", 50, 58, 1100, 54.0, 3550},
                      CurveCase{"TruncatesTowardZero", 50, 58, 1100, 52.3, 2508},
                      CurveCase{"AtUpperGivesMax", 50, 58, 1100, 58.0, 6000},
                      CurveCase{"JustAboveUpperGivesMax", 50, 58, 1100, 58.1, 6000},
                      CurveCase{"ZeroReadingGivesBase", 50, 58, 1100, 0.0, 1100},
                      CurveCase{"SwappedThresholdsGiveMaxAboveLower", 60, 58, 1100, 60.0, 6000},
                      CurveCase{"EqualThresholdsAtTheTemperatureGiveMax", 55, 55, 1100, 55.0, 6000},
                      CurveCase{"EqualThresholdsBelowGiveBase", 55, 55, 1100, 54.0, 1100},
                      CurveCase{"NotANumberTemperatureGivesMax", 50, 58, 1100, std::nan(""), 6000},
                      CurveCase{"NotANumberThresholdGivesMax", kNaN, 58, 1100, 54.0, 6000},
                      CurveCase{"InfiniteThresholdGivesMax", 50, kInf, 1100, 54.0, 6000},
                      CurveCase{"LowestBaseDoesNotOverflow", 50, 58,
                                std::numeric_limits<int>::min(), 54.0,
                                std::numeric_limits<int>::min() / 2 + 3000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControlLoop, RampsASixthOfTheGapPerTickAndStopsWithinOneHundredNineteen) {
    hardware.drives["disk0"] = 45;
    daemon.timer();
    ASSERT_EQ(daemon.currentRpm(), 1100);
    hardware.drives["disk0"] = 70;
    tickToNextCheck();
    std::vector<int> speeds{hardware.lastWrite("F1Mx")};
    for (int i = 0; i < 25; ++i) {
        daemon.timer();
        speeds.push_back(hardware.lastWrite("F1Mx"));
    }
    EXPECT_EQ(std::vector<int>(speeds.begin(), speeds.begin() + 5),
              (std::vector<int>{1916, 2596, 3163, 3635, 4029}));
    EXPECT_EQ(speeds[20], 5891);
    EXPECT_EQ(speeds.back(), 5891);
}

struct RampDownCase {
    int from;
    int expected;
};

class RampDown : public ::testing::TestWithParam<RampDownCase> {};

TEST_P(RampDown, MovesOnlyWhenTheStepIsTwentyOrMore) {
    FakeDaemonHardware hardware;
    MemoryPreferenceStore store;
    HDDDaemon daemon(hardware, store);
    daemon.setPinToBase(true);
    daemon.setBaseRpm(GetParam().from);
    daemon.timer();  // no ramp from 0: straight to the pinned speed
    daemon.setBaseRpm(1100);
    do {
        daemon.timer();
    } while (daemon.checkTempCount() != 0);
    EXPECT_EQ(hardware.lastWrite("F1Mn"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(ControlLoop, RampDown,
                         ::testing::Values(RampDownCase{1219, 1219}, RampDownCase{1220, 1200}));

TEST_F(ControlLoop, EveryWriteStaysInsideTheFansOwnRangeWhateverTheBaseSpeed) {
    // Fan 1's own range is 1000 to 6500 rpm; each base speed is ramped to from the last.
    daemon.setPinToBase(true);
    for (const int base :
         {20000, 0, std::numeric_limits<int>::max(), -500, std::numeric_limits<int>::min(), 4000}) {
        daemon.setBaseRpm(base);
        tickToNextCheck();
        for (int i = 0; i < 30; ++i) daemon.timer();  // the ramp settles
        EXPECT_EQ(daemon.baseRpm(), base) << "the setting is kept as given";
        // Within the ramp's dead band of the base speed held inside the range.
        EXPECT_LT(std::abs(hardware.lastWrite("F1Mn") - std::clamp(base, 1000, 6500)), 120) << base;
    }
    for (const auto& [key, rpm] : hardware.writes) {
        EXPECT_TRUE(rpm >= 1000 && rpm <= 6500) << key << " = " << rpm;
    }
    int minimum = 0, maximum = 0;
    daemon.fanRange(&minimum, &maximum);
    EXPECT_EQ(std::make_pair(minimum, maximum), std::make_pair(1000, 6500));
}

TEST_F(ControlLoop, TheOnlyFanHasOnlyItsMinimumRaisedAndNoFanIsNeverWritten) {
    hardware.fanLabels = {"Exhaust"};
    hardware.fanLimits = {{0, {2000, 5500}}};
    hardware.drives["disk0"] = 54;  // the curve's 3550 rpm
    daemon.timer();
    EXPECT_EQ(hardware.writes, (std::vector<std::pair<std::string, int>>{{"F0Mn", 3550}}));
    EXPECT_EQ(daemon.controlledFan(), (FanChoice{0, "Exhaust", FanChoice::Mode::Floor}));
    int rpm = 0;
    daemon.lastTemperature(nullptr, &rpm);
    EXPECT_EQ(hardware.fanReads.back(), "F0Ac");

    FakeDaemonHardware fanless;
    fanless.fanLabels.clear();
    fanless.drives["disk0"] = 54;
    HDDDaemon d(fanless, store, clock);
    for (int i = 0; i < 3; ++i) d.timer();
    float t = 0;
    d.temperature(&t, &rpm);
    EXPECT_TRUE(fanless.writes.empty());
    EXPECT_EQ(t, 54.0f);
    EXPECT_EQ(rpm, -1);
    EXPECT_EQ(d.controlledFan().modeName(), std::string("none"));
    int minimum = -1, maximum = -1;
    d.fanRange(&minimum, &maximum);
    EXPECT_EQ(std::make_pair(minimum, maximum), std::make_pair(0, 0));
}

TEST_F(ControlLoop, AnotherFanChosenHandsTheFirstBackBeforeTheNextIsDriven) {
    hardware.fanLabels = {"ODD", "HDD", "CPU"};
    hardware.fanLimits[2] = {1200, 4000};
    daemon.timer();
    daemon.setFanIndex(1);  // what the names chose already: nothing changes
    daemon.timer();
    EXPECT_EQ(hardware.handBacks, 0);
    daemon.setFanIndex(2);
    hardware.writes.clear();
    daemon.timer();
    EXPECT_EQ(hardware.handBacks, 1);
    EXPECT_EQ(hardware.writes,
              (std::vector<std::pair<std::string, int>>{{"F2Mn", 1200}, {"F2Mx", 1200}}));
    EXPECT_EQ(std::get<std::int64_t>(store.synchronized.at("fanIndex")), 2);
}

TEST_F(ControlLoop, PinToBaseTargetsBaseWithoutMeasuring) {
    hardware.drives["disk0"] = 70;
    daemon.setPinToBase(true);
    daemon.timer();
    EXPECT_EQ(hardware.lastWrite("F1Mn"), 1100);
    EXPECT_TRUE(hardware.driveReads.empty());
    EXPECT_EQ(hardware.sensorReads, 0);
    EXPECT_EQ(daemon.temp(), 0.0);
    EXPECT_EQ(daemon.noReadCount(), 0);
}

TEST_F(ControlLoop, AmbientModeNeverReadsTheDiskAndAveragesThePositiveSensors) {
    hardware.drives["disk0"] = 70;
    hardware.sensors["TC0P"] = 60.0;
    hardware.sensors["TA0P"] = 0.0;   // not counted
    hardware.sensors["TL0P"] = -3.0;  // not counted
    daemon.setUseAmbientTemp(true);
    daemon.timer();
    EXPECT_TRUE(hardware.driveReads.empty());
    EXPECT_DOUBLE_EQ(daemon.temp(), (60.0 + 4 * 40.0) / 5);
}

TEST_F(ControlLoop, ImplausibleOrMissingDiskReadingFallsBackToTheSensors) {
    for (std::uint8_t reading : {std::uint8_t{0}, std::uint8_t{121}, std::uint8_t{255}}) {
        FakeDaemonHardware hw;
        hw.sensors = hardware.sensors;
        hw.drives["disk0"] = reading;
        HDDDaemon d(hw, store);
        d.timer();
        EXPECT_DOUBLE_EQ(d.temp(), 40.0) << "disk reading " << int(reading);
    }
    hardware.drives["disk0"] = 120;  // the highest plausible reading is taken
    daemon.timer();
    EXPECT_DOUBLE_EQ(daemon.temp(), 120.0);
}

TEST_F(ControlLoop, ElevenFailedChecksInARowDriveTheFanAtMaximumUntilOneReadingSucceeds) {
    hardware.sensors.clear();
    std::vector<int> targets;
    daemon.timer();
    targets.push_back(daemon.targetRpm());
    for (int check = 2; check <= 12; ++check) {
        tickToNextCheck();
        targets.push_back(daemon.targetRpm());
    }
    EXPECT_EQ(std::vector<int>(targets.begin(), targets.begin() + 10), std::vector<int>(10, 1100));
    EXPECT_EQ(targets[10], 6000);
    EXPECT_EQ(targets[11], 6000);
    hardware.drives["disk0"] = 45;
    tickToNextCheck();
    EXPECT_EQ(daemon.targetRpm(), 1100);
    EXPECT_EQ(daemon.noReadCount(), 0);
}

TEST_F(ControlLoop, StoresDirtySettingsOnceAtTheEndOfTheTick) {
    daemon.timer();
    const int before = store.synchronizations;
    daemon.setLowerThreshold(45.0f);
    daemon.setUpperThreshold(55.0f);
    EXPECT_EQ(store.synchronizations, before);
    daemon.timer();
    EXPECT_EQ(store.synchronizations, before + 1);
    EXPECT_EQ(std::get<double>(store.synchronized.at("lowerThreshold")), 45.0);
    EXPECT_EQ(std::get<double>(store.synchronized.at("upperThreshold")), 55.0);
    EXPECT_FALSE(daemon.needWrite());
    daemon.timer();
    EXPECT_EQ(store.synchronizations, before + 1);
}

TEST_F(ControlLoop, AFailedSmcOpenLosesTheWritesButTheLoopGoesOn) {
    hardware.smcPresent = false;
    hardware.drives["disk0"] = 54;
    daemon.timer();
    daemon.timer();
    EXPECT_EQ(hardware.opens, 2);
    EXPECT_EQ(daemon.currentRpm(), 3550);
}

// ---- The two temperature queries --------------------------------------------------------------

TEST_F(ControlLoop, QueriesWithNullPointersReadNothing) {
    daemon.temperature(nullptr, nullptr);
    daemon.lastTemperature(nullptr, nullptr);
    EXPECT_TRUE(hardware.driveReads.empty());
    EXPECT_TRUE(hardware.fanReads.empty());
    EXPECT_EQ(hardware.opens, 0);
}

TEST_F(ControlLoop, FanOnlyQueryReadsTheActualSpeedAndNotTheDisk) {
    int rpm = 0;
    daemon.temperature(nullptr, &rpm);
    EXPECT_EQ(rpm, 1234);
    EXPECT_EQ(hardware.fanReads, std::vector<std::string>{"F1Ac"});
    EXPECT_TRUE(hardware.driveReads.empty());
    hardware.smcPresent = false;
    daemon.lastTemperature(nullptr, &rpm);
    EXPECT_EQ(rpm, -1);
}

TEST_F(ControlLoop, FreshQueryMeasuresIgnoringPinToBaseAndLeavesItForTheLastQuery) {
    hardware.drives["disk0"] = 47;
    daemon.setPinToBase(true);
    float last = -1;
    daemon.lastTemperature(&last, nullptr);
    EXPECT_EQ(last, 0.0f);
    float fresh = 0;
    daemon.temperature(&fresh, nullptr);
    EXPECT_EQ(fresh, 47.0f);
    daemon.lastTemperature(&last, nullptr);
    EXPECT_EQ(last, 47.0f);
}

TEST_F(ControlLoop, FreshQueryFallsBackToTheSensorsOnAnImplausibleDisk) {
    hardware.drives["disk0"] = 121;
    float t = 0;
    daemon.temperature(&t, nullptr);
    EXPECT_EQ(t, 40.0f);
    EXPECT_FALSE(hardware.open);
}

TEST_F(ControlLoop, FreshQueriesReadTheDiskAtMostOnceEveryFiveSeconds) {
    hardware.drives["disk0"] = 47;
    float t = 0;
    for (int i = 0; i < 50; ++i) {
        daemon.temperature(&t, nullptr);
        clock.advance(std::chrono::milliseconds(99));
    }
    EXPECT_EQ(hardware.driveReads.size(), 1u);
    hardware.drives["disk0"] = 48;
    clock.advance(std::chrono::milliseconds(100));  // 5.05 s after the first read
    daemon.temperature(&t, nullptr);
    EXPECT_EQ(hardware.driveReads.size(), 2u);
    EXPECT_EQ(t, 48.0f);
    daemon.setUseAmbientTemp(true);  // a new source is measured at once
    daemon.temperature(&t, nullptr);
    EXPECT_EQ(t, 40.0f);
}

TEST_F(ControlLoop, ASlowOrSilentDriveIsNotReadAgainByEveryQuery) {
    // Each read takes six seconds: the five seconds count from its end.
    hardware.drives["disk0"] = 47;
    hardware.duringDriveRead = [this] { clock.advance(std::chrono::seconds(6)); };
    float t = 0;
    daemon.temperature(&t, nullptr);
    clock.advance(std::chrono::seconds(4));
    daemon.temperature(&t, nullptr);
    EXPECT_EQ(hardware.driveReads.size(), 1u);

    // A drive that gives no reading is left to the loop's checks; the queries measure the sensors.
    hardware.drives.erase("disk0");
    clock.advance(std::chrono::seconds(1));
    daemon.temperature(&t, nullptr);
    for (int i = 0; i < 5; ++i) {
        clock.advance(std::chrono::seconds(5));
        daemon.temperature(&t, nullptr);
    }
    EXPECT_EQ(hardware.driveReads.size(), 2u);
    EXPECT_EQ(t, 40.0f);

    // Once it answers a check, the queries read it again.
    hardware.drives["disk0"] = 48;
    daemon.timer();
    clock.advance(std::chrono::seconds(5));
    daemon.temperature(&t, nullptr);
    EXPECT_EQ(hardware.driveReads.size(), 4u);
    EXPECT_EQ(t, 48.0f);
}

// ---- Disk selection ----------------------------------------------------------------------------

TEST_F(ControlLoop, DiskSelectionFollowsTheChosenDriveAndFallsBackToDiskZero) {
    hardware.models = {{"Alpha", "disk0"}, {"Beta", "disk1"}, {"Beta", "disk2"}};

    daemon.getDisk();  // no choice, nothing resolved before
    EXPECT_EQ(daemon.disk(), "disk0");
    EXPECT_FALSE(daemon.needWrite());

    daemon.setHDDName("Beta");
    daemon.getDisk();
    EXPECT_EQ(daemon.disk(), "disk1");  // the first drive of that model wins
    EXPECT_EQ(daemon.oldHDDName(), "Beta");
    EXPECT_TRUE(daemon.needWrite());

    daemon.setHDDName("Gamma");  // not present
    daemon.getDisk();
    EXPECT_EQ(daemon.disk(), "disk0");

    daemon.timer();  // stores, clears the flag
    daemon.setHDDName(std::string());
    daemon.getDisk();
    EXPECT_TRUE(daemon.needWrite());  // the choice was dropped: said once
    EXPECT_FALSE(daemon.oldHDDName().has_value());
    EXPECT_EQ(daemon.disk(), "disk0");
}

TEST_F(ControlLoop, ADriveChosenBetweenChecksIsReadAtTheNextCheck) {
    hardware.models = {{"Alpha", "disk0"}, {"Beta", "disk1"}};
    hardware.drives = {{"disk0", 40}, {"disk1", 50}};
    daemon.setHDDName("Alpha");
    daemon.timer();
    daemon.setHDDName("Beta");
    tickToNextCheck();
    EXPECT_EQ(hardware.driveReads, (std::vector<std::string>{"disk0", "disk1"}));
}

}  // namespace
}  // namespace drivetherm
