// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "daemon/HDDDaemon.h"
#include "tests/unit/daemon/FakeDaemonHardware.h"

namespace drivetherm {
namespace {

using testing::FakeDaemonHardware;
using testing::MemoryPreferenceStore;

class Settings : public ::testing::Test {
protected:
    FakeDaemonHardware hardware;
    MemoryPreferenceStore store;
    HDDDaemon daemon{hardware, store};
};

TEST_F(Settings, AnEmptyStoreGivesTheDefaultsWithAnEmptyDriveName) {
    daemon.readPreferences();
    EXPECT_EQ(daemon.baseRpm(), 1100);
    EXPECT_EQ(daemon.lowerThreshold(), 50.0f);
    EXPECT_EQ(daemon.upperThreshold(), 58.0f);
    EXPECT_FALSE(daemon.fahrenheit());
    EXPECT_FALSE(daemon.pinToBase());
    EXPECT_EQ(daemon.HDDName(), std::string());
    EXPECT_FALSE(daemon.useAmbientTemp());
    EXPECT_EQ(daemon.maxRpm(), 6000);
    EXPECT_EQ(daemon.checkTempCount(), 100);
    EXPECT_FALSE(daemon.needWrite());
}

TEST_F(Settings, StoredValuesAreLoadedIntoTheirFields) {
    store.values = {{"baseRpm", std::int64_t{1500}},
                    {"lowerThreshold", 45.5},
                    {"upperThreshold", 61.25},
                    {"fahrenheit", true},
                    {"pinToBase", true},
                    {"HDDName", std::string("Beta")},
                    {"useAmbientTemp", true}};
    daemon.readPreferences();
    EXPECT_EQ(daemon.baseRpm(), 1500);
    EXPECT_EQ(daemon.lowerThreshold(), 45.5f);
    EXPECT_EQ(daemon.upperThreshold(), 61.25f);
    EXPECT_TRUE(daemon.fahrenheit());
    EXPECT_TRUE(daemon.pinToBase());
    EXPECT_EQ(daemon.HDDName(), "Beta");
    EXPECT_TRUE(daemon.useAmbientTemp());
}

struct LowBaseCase {
    std::int64_t base;
    bool keepsName;
};

class LowBase : public ::testing::TestWithParam<LowBaseCase> {};

TEST_P(LowBase, ABaseSpeedOfNineHundredNinetyNineOrLessDropsTheDriveChoice) {
    FakeDaemonHardware hardware;
    MemoryPreferenceStore store;
    store.values = {{"baseRpm", GetParam().base}, {"HDDName", std::string("Beta")}};
    HDDDaemon daemon(hardware, store);
    daemon.readPreferences();
    EXPECT_EQ(daemon.baseRpm(), GetParam().base);
    EXPECT_EQ(daemon.HDDName().has_value(), GetParam().keepsName);
}

INSTANTIATE_TEST_SUITE_P(Settings, LowBase,
                         ::testing::Values(LowBaseCase{800, false}, LowBaseCase{999, false},
                                           LowBaseCase{1000, true}));

TEST_F(Settings, AValueOfTheWrongKindLeavesThatKeysDefault) {
    store.values = {{"baseRpm", std::string("fast")},     {"lowerThreshold", true},
                    {"upperThreshold", std::int64_t{60}},  // a whole number is still a temperature
                    {"fahrenheit", std::string("yes")},   {"pinToBase", std::string("yes")},
                    {"HDDName", std::int64_t{7}},         {"useAmbientTemp", std::int64_t{1}}};
    daemon.readPreferences();
    EXPECT_EQ(daemon.baseRpm(), 1100);
    EXPECT_EQ(daemon.lowerThreshold(), 50.0f);
    EXPECT_EQ(daemon.upperThreshold(), 60.0f);
    EXPECT_FALSE(daemon.fahrenheit());
    EXPECT_FALSE(daemon.pinToBase());
    EXPECT_EQ(daemon.HDDName(), std::string());
    EXPECT_TRUE(daemon.useAmbientTemp());
}

TEST_F(Settings, AnOutOfRangeBaseSpeedIsNotWrappedIntoAnInt) {
    store.values = {{"baseRpm", std::int64_t{1} << 40}};
    daemon.readPreferences();
    EXPECT_EQ(daemon.baseRpm(), 1100);
}

TEST_F(Settings, SettersStoreUnchangedAndOnlyTheNumericAndBooleanOnesMarkDirty) {
    daemon.setHDDName("Beta");
    EXPECT_FALSE(daemon.needWrite());
    daemon.setLowerThreshold(60.0f);  // above the upper threshold: accepted as it is
    EXPECT_EQ(daemon.lowerThreshold(), 60.0f);
    EXPECT_EQ(daemon.upperThreshold(), 58.0f);
    EXPECT_TRUE(daemon.needWrite());

    using Setter = void (*)(HDDDaemon&);
    const Setter setters[] = {
        [](HDDDaemon& d) { d.setBaseRpm(-7); },
        [](HDDDaemon& d) { d.setUpperThreshold(1); },
        [](HDDDaemon& d) { d.setFahrenheit(true); },
        [](HDDDaemon& d) { d.setPinToBase(true); },
        [](HDDDaemon& d) { d.setUseAmbientTemp(true); },
    };
    for (Setter set : setters) {
        HDDDaemon fresh(hardware, store);
        set(fresh);
        EXPECT_TRUE(fresh.needWrite());
    }
}

TEST_F(Settings, StoringWritesEveryKeyAndRemovesAMissingDriveName) {
    daemon.setBaseRpm(1300);
    daemon.setHDDName("Beta");
    daemon.writeValues();
    EXPECT_EQ(store.synchronizations, 1);
    EXPECT_EQ(std::get<std::int64_t>(store.synchronized.at("baseRpm")), 1300);
    EXPECT_EQ(std::get<std::string>(store.synchronized.at("HDDName")), "Beta");
    EXPECT_EQ(store.synchronized.size(), 8u);

    daemon.setHDDName(std::nullopt);
    daemon.storePreferences();
    EXPECT_EQ(store.synchronized.count("HDDName"), 0u);

    HDDDaemon reloaded(hardware, store);
    reloaded.readPreferences();
    EXPECT_EQ(reloaded.HDDName(), std::string());
    EXPECT_EQ(reloaded.baseRpm(), 1300);
}

}  // namespace
}  // namespace drivetherm
