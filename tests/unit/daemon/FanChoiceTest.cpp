// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "daemon/FanChoice.h"

namespace drivetherm {
namespace {

using Mode = FanChoice::Mode;

struct ChoiceCase {
    const char* name;
    std::vector<std::string> labels;
    int setting;
    FanChoice expected;
    bool noted;
};

class Choice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(Choice, FollowsTheNamesTheSettingAndNeverPinsTheOnlyFan) {
    const ChoiceCase& c = GetParam();
    std::string note;
    EXPECT_EQ(FanChoice::choose(c.labels, c.setting, note), c.expected);
    EXPECT_EQ(!note.empty(), c.noted) << note;
}

INSTANTIATE_TEST_SUITE_P(
    FanChoice, Choice,
    ::testing::Values(
        ChoiceCase{"TheIMacsHddFan", {"ODD", "HDD", "CPU"}, -1, {1, "HDD", Mode::Forced}, false},
        ChoiceCase{"HddWhereverItIs", {"CPU", "ODD", "HDD"}, -1, {2, "HDD", Mode::Forced}, false},
        ChoiceCase{
            "FanOneWithoutAnHddFan", {"Left", "Right"}, -1, {1, "Right", Mode::Forced}, false},
        ChoiceCase{"TheOnlyFanInFloorMode", {"Exhaust"}, -1, {0, "Exhaust", Mode::Floor}, false},
        ChoiceCase{"TheOnlyFanEvenNamedHdd", {"HDD"}, -1, {0, "HDD", Mode::Floor}, false},
        ChoiceCase{"NoFan", {}, -1, {}, false},
        ChoiceCase{
            "TheSettingOverTheNames", {"ODD", "HDD", "CPU"}, 2, {2, "CPU", Mode::Forced}, false},
        ChoiceCase{"TheSettingNeverPinsTheOnlyFan", {"Main"}, 0, {0, "Main", Mode::Floor}, false},
        ChoiceCase{
            "ASettingBeyondTheFansFallsBack", {"ODD", "HDD"}, 5, {1, "HDD", Mode::Forced}, true},
        ChoiceCase{"ASettingWithoutFans", {}, 0, {}, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace drivetherm
