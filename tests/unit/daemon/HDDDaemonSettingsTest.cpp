// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "daemon/HDDDaemon.h"
#include "daemon/PlistPreferenceStore.h"
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

// Each value a setter would not take, written in the settings file as a hand or another tool
// might: the key keeps its default, and one line names the file and the key.
struct StoredValueCase {
    const char* key;
    std::string element;  // what the file holds for the key
    bool taken;           // the setter would take it as it is
    std::function<bool(const HDDDaemon&)> expected;
};

class StoredValues : public ::testing::TestWithParam<StoredValueCase> {};

TEST_P(StoredValues, AValueTheSetterWouldRefuseGivesTheDefaultAndOneLine) {
    const StoredValueCase& c = GetParam();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("stored-values-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "com.quillmoor.Drivetherm.plist").string();
    std::ofstream(file) << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                        << "<key>baseRpm</key><integer>1200</integer><key>" << c.key << "</key>"
                        << c.element << "</dict></plist>";
    FakeDaemonHardware hardware;
    PlistPreferenceStore store(dir.string(), "com.quillmoor.Drivetherm");
    HDDDaemon daemon(hardware, store);
    ::testing::internal::CaptureStderr();
    daemon.readPreferences();
    const std::string lines = ::testing::internal::GetCapturedStderr();
    std::filesystem::remove_all(dir);

    EXPECT_TRUE(c.expected(daemon)) << c.element;
    if (c.taken) {
        EXPECT_EQ(lines, "") << c.element;
        return;
    }
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
    EXPECT_NE(lines.find(file + ": key \"" + c.key + "\""), std::string::npos) << lines;
    EXPECT_NE(lines.find("; using the default"), std::string::npos) << lines;
    if (std::string(c.key) != "baseRpm") {
        EXPECT_EQ(daemon.baseRpm(), 1200);  // the rest of the file is read
    }
}

const auto kDefaultBase = [](const HDDDaemon& d) { return d.baseRpm() == 1100; };
const auto kNoDrive = [](const HDDDaemon& d) { return d.HDDName() == std::string(); };
const auto kChosenByName = [](const HDDDaemon& d) { return d.fanIndex() == -1; };

INSTANTIATE_TEST_SUITE_P(
    Settings, StoredValues,
    ::testing::Values(
        StoredValueCase{"baseRpm", "<integer>18446744073709551615</integer>", false, kDefaultBase},
        StoredValueCase{"baseRpm", "<integer>18446744073709550616</integer>", false, kDefaultBase},
        StoredValueCase{"baseRpm", "<integer>" + std::string(40, '9') + "</integer>", false,
                        kDefaultBase},
        StoredValueCase{"baseRpm", "<integer>-99999999999999999999</integer>", false, kDefaultBase},
        StoredValueCase{"baseRpm", "<integer>4294967296</integer>", false, kDefaultBase},
        StoredValueCase{"baseRpm", "<integer>abc</integer>", false, kDefaultBase},
        StoredValueCase{"baseRpm", "<integer/>", false, kDefaultBase},
        StoredValueCase{"baseRpm", "<real>+infinity</real>", false, kDefaultBase},
        StoredValueCase{"baseRpm", "<integer> -1 </integer>", true,
                        [](const HDDDaemon& d) { return d.baseRpm() == -1; }},
        StoredValueCase{"lowerThreshold", "<real>abc</real>", false,
                        [](const HDDDaemon& d) { return d.lowerThreshold() == 50.0f; }},
        StoredValueCase{"upperThreshold", "<integer>abc</integer>", false,
                        [](const HDDDaemon& d) { return d.upperThreshold() == 58.0f; }},
        StoredValueCase{"upperThreshold", "<real>1e300</real>", true,  // as the setter: +inf
                        [](const HDDDaemon& d) { return std::isinf(d.upperThreshold()); }},
        StoredValueCase{"fahrenheit", "<real>nan</real>", false,
                        [](const HDDDaemon& d) { return !d.fahrenheit(); }},
        StoredValueCase{"pinToBase", "<integer>abc</integer>", false,
                        [](const HDDDaemon& d) { return !d.pinToBase(); }},
        StoredValueCase{"HDDName", "<string>WDC \xff\xfe</string>", false, kNoDrive},
        StoredValueCase{"HDDName", "<string>WDC &#1;Blue</string>", false, kNoDrive},
        StoredValueCase{"HDDName", "<string>" + std::string(100000, 'W') + "</string>", false,
                        kNoDrive},
        StoredValueCase{"HDDName", "<string>WDC Blue \xc3\xa9</string>", true,
                        [](const HDDDaemon& d) { return d.HDDName() == "WDC Blue \xc3\xa9"; }},
        StoredValueCase{"fanIndex", "<integer>10</integer>", false, kChosenByName},
        StoredValueCase{"fanIndex", "<integer>-2</integer>", false, kChosenByName},
        StoredValueCase{"fanIndex", "<integer>abc</integer>", false, kChosenByName},
        StoredValueCase{"fanIndex", "<integer>9</integer>", true,
                        [](const HDDDaemon& d) { return d.fanIndex() == 9; }}));

}  // namespace
}  // namespace drivetherm
