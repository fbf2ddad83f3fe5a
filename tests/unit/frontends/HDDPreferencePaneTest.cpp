// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "bindings/KeyValueObserver.h"
#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/DriveWalk.h"
#include "hardware/disk/sim/SimDriveBay.h"
#include "pane/HDDPreferencePane.h"
#include "tests/unit/frontends/FrontendFakes.h"

namespace drivetherm {
namespace {

using fakes::FakeDaemon;
using fakes::Journal;
using fakes::number;
using fakes::only;

// The graph and the two text fields, journalled.
class FakeOutputs final : public GraphSink {
public:
    struct Field final : TextField {
        Field(Journal& j, const char* n) : journal(j), name(n) {}
        void setIntValue(int v) override { journal.push_back(name + "=" + number(v)); }
        void setStringValue(const std::string& s) override { journal.push_back(name + "=" + s); }
        Journal& journal;
        std::string name;
    };

    explicit FakeOutputs(Journal& j)
        : fan(j, "fanField"), temperature(j, "temperatureField"), journal_(j) {}
    void setBaseRpm(int v) override { put("setBaseRpm", v); }
    void setLowerThreshold(float v) override { put("setLowerThreshold", v); }
    void setUpperThreshold(float v) override { put("setUpperThreshold", v); }
    void setCurrentTemp(float v) override { put("setCurrentTemp", v); }
    void setCurrentRpm(float v) override { put("setCurrentRpm", v); }
    void setFahrenheit(bool v) override { put("setFahrenheit", v); }
    void setPinToBase(bool v) override { put("setPinToBase", v); }

    Field fan, temperature;

private:
    void put(const char* what, double v) {
        journal_.push_back(std::string("graph.") + what + "(" + number(v) + ")");
    }
    Journal& journal_;
};

// A bound control that notes "refresh" when every control is made to read again (the
// controller answers its no-content placeholder in between).
class ControlsWatcher final : public KeyValueObserver {
public:
    ControlsWatcher(ObjectController& c, Journal& j) : controller_(c), journal_(j) {
        c.addObserver(*this, "selection.baseRpm", 0);
    }
    void observeValueForKeyPath(const std::string&, KeyValueObject&, std::intptr_t) override {
        if (isControllerMarker(controller_.valueForKeyPath("selection.baseRpm"))) {
            journal_.push_back("refresh");
        }
    }

private:
    ObjectController& controller_;
    Journal& journal_;
};

// `count` simulated drives for the drive walk; -1 gives none at all.
std::unique_ptr<SimDriveBay> makeDrives(int count) {
    if (count < 0) return nullptr;
    std::vector<SimDrive> drives;
    for (int i = 0; i < count; ++i) {
        SimDrive::Config config;
        config.bsdName = "disk" + std::to_string(i);
        config.model = "MODEL " + std::to_string(i);
        config.block = SimDrive::blockAround(40);
        drives.emplace_back(std::move(config));
    }
    return std::make_unique<SimDriveBay>(std::move(drives));
}

class PaneTest : public ::testing::Test {
protected:
    void make(bool daemonThere = true) {
        auto calls = std::make_unique<fakes::FakeCalls>([this, daemonThere] {
            return daemonThere && running ? daemon.proxy() : DaemonProxy();
        });
        this->calls = calls.get();
        this->calls->hold = hold;
        pane = std::make_unique<HDDPreferencePane>(
            HDDPreferencePane::Outlets{outputs.fan, outputs.temperature, outputs}, std::move(calls),
            timers, &walk());
        pane->setMessageSink([this](HDDPreferencePane::Notice n, const std::string& detail) {
            messages.push_back(std::to_string(static_cast<int>(n)) + ":" + detail);
        });
        pane->setBusySink([this](bool busy) { journal.push_back(busy ? "busy" : "idle"); });
        watcher = std::make_unique<ControlsWatcher>(pane->fileOwnerController(), journal);
        pane->awakeFromNib();
    }
    void makeShown() {
        make();
        pane->willSelect();
        journal.clear();
        messages.clear();
    }
    // The drive walk over the drives the test has now.
    DriveWalk& walk() {
        walk_ = std::make_unique<DriveWalk>(drives.get());
        return *walk_;
    }
    Value control(const std::string& key) {
        return pane->fileOwnerController().valueForKeyPath("selection." + key);
    }
    void write(const std::string& key, const Value& value) {
        pane->fileOwnerController().setValueForKeyPath(value, "selection." + key);
    }
    // The journal without the busy marks, which every call brings.
    Journal calm() const {
        Journal out;
        for (const auto& e : journal)
            if (e != "busy" && e != "idle") out.push_back(e);
        return out;
    }

    Journal journal;
    FakeDaemon daemon{journal};
    fakes::FakeTimers timers{journal};
    FakeOutputs outputs{journal};
    std::vector<std::string> messages;
    std::unique_ptr<SimDriveBay> drives = makeDrives(2);
    std::unique_ptr<DriveWalk> walk_;
    bool hold = false, running = true;
    fakes::FakeCalls* calls = nullptr;
    std::unique_ptr<HDDPreferencePane> pane;
    std::unique_ptr<ControlsWatcher> watcher;
};

const std::string kAbsent = std::to_string(static_cast<int>(HDDPreferencePane::Notice::Absent));
const std::string kLost = std::to_string(static_cast<int>(HDDPreferencePane::Notice::Lost));
const std::string kRefused = std::to_string(static_cast<int>(HDDPreferencePane::Notice::Refused));
const std::string kNone = std::to_string(static_cast<int>(HDDPreferencePane::Notice::None));

// One poll as it appears in the journal, for the fake daemon's 45 °C and 2000 rpm.
Journal poll(const std::string& shown, Journal before = {}, Journal after = {}) {
    before.insert(before.end(), {"daemon.temperature", "fanField=2000", "temperatureField=" + shown,
                                 "graph.setCurrentTemp(45)", "graph.setCurrentRpm(2000)"});
    before.insert(before.end(), after.begin(), after.end());
    return before;
}

TEST_F(PaneTest, EveryBoundKeyShowsAtOnceThenForwardsToTheDaemon) {
    struct Row {
        std::string key;
        Value value;
        Journal effects;
    };
    const Journal reading113 = {"fanField=2000", "temperatureField=113 \u00B0F",
                                "graph.setCurrentTemp(45)", "graph.setCurrentRpm(2000)"};
    Journal unit = {"graph.setFahrenheit(1)"};
    unit.insert(unit.end(), reading113.begin(), reading113.end());
    unit.insert(unit.end(), {"refresh", "daemon.setFahrenheit(1)"});
    const std::vector<Row> rows = {
        {"baseRpm", 1500, {"graph.setBaseRpm(1500)", "daemon.setBaseRpm(1500)"}},
        {"lowerThreshold",
         47.5,
         {"graph.setLowerThreshold(47.5)", "daemon.setLowerThreshold(47.5)"}},
        {"upperThreshold", 61.0, {"graph.setUpperThreshold(61)", "daemon.setUpperThreshold(61)"}},
        {"fahrenheit", true, poll("113 \u00B0F", unit)},
        {"pinToBase", true,
         poll("45 \u00B0C", {"graph.setPinToBase(1)", "refresh", "daemon.setPinToBase(1)"})},
        {"useAmbientTemp", true, poll("45 \u00B0C", {"refresh", "daemon.setUseAmbientTemp(1)"})},
        {"HDDName", "MODEL 1", {"daemon.setHDDName(MODEL 1)"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        daemon.reset();
        makeShown();
        write(row.key, row.value);
        EXPECT_EQ(calm(), row.effects);
        EXPECT_EQ(control(row.key), row.value);
    }
    // A daemon that kept another pin-to-base: the poll after the change brings it to the graph.
    daemon.reset();
    daemon->ignoreChanges = true;
    write("pinToBase", true);
    EXPECT_EQ(only(journal, "graph.setPin").back(), "graph.setPinToBase(0)");
    EXPECT_EQ(control("pinToBase"), Value(false));
}

TEST_F(PaneTest, ConnectingNeverWaitsAndTheControlsShowTheDaemonsSettingsWhenTheyCome) {
    daemon->fahrenheit = daemon->pin = true;
    hold = true;
    make();
    // Nothing has answered yet: the window is up, with zeros, and says it is waiting.
    EXPECT_EQ(control("baseRpm"), Value(0));
    EXPECT_TRUE(pane->isBusy());
    calls->deliver();
    EXPECT_EQ(control("baseRpm"), Value(1100));
    EXPECT_EQ(only(journal, "graph.setFahrenheit").back(), "graph.setFahrenheit(1)");
    EXPECT_EQ(only(journal, "graph.setPinToBase").back(), "graph.setPinToBase(1)");
    EXPECT_FALSE(pane->isBusy());
    EXPECT_EQ(only(journal, "busy"), Journal{"busy"});
    EXPECT_EQ(pane->daemonSettings().fanMinimum, 1100);
    EXPECT_EQ(pane->daemonSettings().fanLabel, "HDD");
}

TEST_F(PaneTest, ShowingPollsAtOnceThenEveryFiveSecondsUntilLeftAndOneTimerPerShow) {
    daemon->baseRpm = 1200;
    make();
    journal.clear();
    pane->willSelect();
    EXPECT_EQ(calm(), poll("45 \u00B0C",
                           {"graph.setBaseRpm(1200)", "graph.setLowerThreshold(50)",
                            "graph.setUpperThreshold(58)", "graph.setFahrenheit(0)",
                            "graph.setPinToBase(0)"},
                           {"timer.schedule(5000)"}));
    journal.clear();
    timers.fireAll();
    EXPECT_EQ(calm(), poll("45 \u00B0C"));

    pane->didUnselect();
    EXPECT_EQ(timers.running(), 0);
    pane->willSelect();
    pane->willSelect();  // shown twice without being hidden in between
    EXPECT_EQ(timers.running(), 1);
}

TEST_F(PaneTest, ASlowDaemonHoldsNoPollsBackAndAnAnswerOlderThanAChangeIsNotShown) {
    makeShown();
    calls->hold = true;
    timers.fireAll();
    timers.fireAll();  // the first poll is still on its way: not doubled
    EXPECT_EQ(calls->waiting(), 1u);
    EXPECT_TRUE(pane->isBusy());
    write("baseRpm", 1500);  // sent after the poll asked: the poll's answer predates it
    calls->deliver();
    EXPECT_EQ(control("baseRpm"), Value(1500));
    EXPECT_EQ(daemon->baseRpm, 1500);
    EXPECT_FALSE(pane->isBusy());
}

TEST_F(PaneTest, AUnitChangedElsewhereReachesTheTextsTheGraphAndTheControlsAtTheNextPoll) {
    makeShown();
    daemon->fahrenheit = true;  // switched from the tray
    daemon->upper = 60;         // and the daemon restarted with another threshold
    timers.fireAll();
    EXPECT_EQ(only(journal, "temperatureField").back(), "temperatureField=113 \u00B0F");
    EXPECT_EQ(only(journal, "graph.setFahrenheit").back(), "graph.setFahrenheit(1)");
    EXPECT_EQ(only(journal, "graph.setUpper").back(), "graph.setUpperThreshold(60)");
    EXPECT_EQ(only(journal, "refresh").size(), 1u);
    EXPECT_EQ(control("fahrenheit"), Value(true));
}

TEST_F(PaneTest, APollShowsTheReadingsAsTheDaemonGivesThem) {
    struct Row {
        float celsius;
        int rpm;
        bool fahrenheit;
        std::string fan, temperature;
    };
    for (const Row& row :
         {Row{45, 2000, true, "2000", "113 \u00B0F"}, Row{0, -1, false, "-1", "0 \u00B0C"}}) {
        daemon->temperature = row.celsius;
        daemon->fanRpm = row.rpm;
        daemon->fahrenheit = row.fahrenheit;
        make();
        journal.clear();
        pane->updateOutput();
        EXPECT_EQ(calm(), (Journal{"daemon.temperature", "fanField=" + row.fan,
                                   "temperatureField=" + row.temperature,
                                   "graph.setCurrentTemp(" + number(row.celsius) + ")",
                                   "graph.setCurrentRpm(" + number(row.rpm) + ")"}));
    }
}

TEST_F(PaneTest, ResetRestoresTheDaemonsDefaultsAndEveryControlReadsThemAgain) {
    *daemon = {1800, 40, 70, true, true, true, "MODEL 1"};
    makeShown();
    pane->resetDefaults();
    EXPECT_EQ(
        only(journal, "daemon.set"),
        (Journal{"daemon.setLowerThreshold(50)", "daemon.setUpperThreshold(58)",
                 "daemon.setBaseRpm(1100)", "daemon.setPinToBase(0)", "daemon.setHDDName(none)",
                 "daemon.setFahrenheit(0)", "daemon.setUseAmbientTemp(0)"}));
    EXPECT_EQ(only(journal, "refresh").size(), 3u);  // after pin-to-base, unit and sensors
    const std::vector<std::pair<const char*, Value>> defaults = {
        {"lowerThreshold", 50.0}, {"upperThreshold", 58.0}, {"baseRpm", 1100},
        {"pinToBase", false},     {"HDDName", Value()},     {"fahrenheit", false},
        {"useAmbientTemp", false}};
    for (const auto& [key, value] : defaults) EXPECT_EQ(control(key), value) << key;
    const Journal curve = only(journal, "graph.set");
    EXPECT_EQ(Journal(curve.begin(), curve.begin() + 3),
              (Journal{"graph.setLowerThreshold(50)", "graph.setUpperThreshold(58)",
                       "graph.setBaseRpm(1100)"}));
}

TEST_F(PaneTest, AStoredDriveNameIsClearedOnlyWithTheUsersFirstChangeAndOnlyOnce) {
    struct Row {
        int drives;  // -1: the disks cannot be searched
        std::optional<std::string> stored;
        bool nothingToChoose;
        Journal calls;  // after the user's first change
    };
    const Journal cleared = {"daemon.setBaseRpm(1500)", "daemon.setHDDName(none)"};
    const std::vector<Row> rows = {
        {2, "MODEL 1", false, {"daemon.setBaseRpm(1500)"}},
        {1, "MODEL 0", true, cleared},
        {0, "gone disk", true, cleared},
        {-1, "MODEL 0", true, cleared},
        {1, std::nullopt, true, {"daemon.setBaseRpm(1500)"}},
        {1, "", true, {"daemon.setBaseRpm(1500)"}},  // no drive travels on the bus as ""
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.drives);
        drives = makeDrives(row.drives);
        daemon->name = row.stored;
        make();
        journal.clear();
        EXPECT_EQ(pane->shouldShowDriveSelection(), row.nothingToChoose);
        EXPECT_TRUE(only(journal, "daemon.set").empty());  // opening asks for no privilege
        write("baseRpm", 1500);
        pane->shouldShowDriveSelection();
        write("baseRpm", 1500);
        Journal twice = row.calls;
        twice.push_back("daemon.setBaseRpm(1500)");
        EXPECT_EQ(only(journal, "daemon.set"), twice);
    }
    drives = makeDrives(2);
    make();
    EXPECT_EQ(pane->GetDrives(), (std::vector<std::string>{"MODEL 0", "MODEL 1"}));
    drives->setFault("disk1", "absent");
    EXPECT_EQ(pane->GetAllDrives(), std::vector<std::string>{"MODEL 0"});
    EXPECT_EQ(pane->GetDrives().size(), 2u);
}

TEST_F(PaneTest, WithNoDaemonEveryControlShowsZerosAndChangesDoNothing) {
    make(false);
    EXPECT_EQ(messages, std::vector<std::string>{kAbsent + ":"});
    pane->willSelect();
    for (const char* key : {"baseRpm", "lowerThreshold", "upperThreshold", "fahrenheit",
                            "pinToBase", "useAmbientTemp"}) {
        EXPECT_EQ(control(key).doubleValue(), 0.0) << key;
    }
    write("baseRpm", 1500);
    EXPECT_EQ(control("baseRpm"), Value(0));
    EXPECT_EQ(only(journal, "fanField").back(), "fanField=0");
    EXPECT_EQ(only(journal, "temperatureField").back(), "temperatureField=0 \u00B0C");
    EXPECT_TRUE(only(journal, "daemon.").empty());
    EXPECT_EQ(messages.size(), 1u);  // said once, not at every call
}

TEST_F(PaneTest, ADaemonThatStopsAnsweringShowsZerosUntilItIsBack) {
    makeShown();
    daemon->gone = true;
    running = false;
    timers.fireAll();
    EXPECT_EQ(only(journal, "fanField").back(), "fanField=0");
    EXPECT_EQ(control("baseRpm"), Value(0));
    EXPECT_EQ(only(journal, "graph.setBaseRpm").back(), "graph.setBaseRpm(0)");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].substr(0, kLost.size() + 1), kLost + ":");
    timers.fireAll();  // still away: no new line
    EXPECT_EQ(messages.size(), 1u);

    daemon->gone = false;
    running = true;
    journal.clear();
    timers.fireAll();
    EXPECT_EQ(control("baseRpm"), Value(1100));
    EXPECT_EQ(only(journal, "graph.setBaseRpm").back(), "graph.setBaseRpm(1100)");
    EXPECT_EQ(only(journal, "refresh").size(), 1u);
    EXPECT_EQ(messages.back(), kNone + ":");
}

TEST_F(PaneTest, ARefusedChangeLeavesTheDaemonsValueSaysWhyAndTheLineGoesLater) {
    const std::vector<std::pair<std::string, Value>> rows = {
        {"baseRpm", 1500},     {"lowerThreshold", 40.0}, {"upperThreshold", 70.0},
        {"fahrenheit", true},  {"pinToBase", true},      {"useAmbientTemp", true},
        {"HDDName", "MODEL 1"}};
    for (const auto& [key, value] : rows) {
        SCOPED_TRACE(key);
        daemon.reset();
        makeShown();
        daemon->refuseChanges = true;
        const Value before = control(key);
        EXPECT_NO_THROW(write(key, value));
        EXPECT_EQ(control(key), before);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].rfind(kRefused + ":", 0), 0u);
        EXPECT_NE(messages[0].find("not allowed"), std::string::npos);
        // The graph shows what the daemon kept.
        EXPECT_FALSE(only(journal, "graph.setFahrenheit(1)").size() >
                     only(journal, "graph.setFahrenheit(0)").size());
    }
    for (int i = 0; i < HDDPreferencePane::kNoticePolls; ++i) timers.fireAll();
    EXPECT_EQ(messages.back(), kNone + ":");
}

}  // namespace
}  // namespace drivetherm
