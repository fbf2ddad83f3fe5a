// SPDX-License-Identifier: GPL-2.0-or-later
#include "pane/HDDPreferencePane.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "bindings/KeyValueObserver.h"
#include "hardware/DeviceRegistry.h"
#include "hardware/sim/SimDriveBay.h"
#include "pane/TempTransformer.h"
#include "tests/unit/frontends/FrontendFakes.h"

namespace drivetherm {
namespace {

using fakes::FakeDaemon;
using fakes::FakeTimers;
using fakes::Journal;
using fakes::number;
using fakes::only;

class FakeGraph final : public GraphSink {
public:
    explicit FakeGraph(Journal& journal) : journal_(journal) {}
    void setBaseRpm(int v) override { put("setBaseRpm", v); }
    void setLowerThreshold(float v) override { put("setLowerThreshold", v); }
    void setUpperThreshold(float v) override { put("setUpperThreshold", v); }
    void setCurrentTemp(float v) override { put("setCurrentTemp", v); }
    void setCurrentRpm(float v) override { put("setCurrentRpm", v); }
    void setFahrenheit(bool v) override { put("setFahrenheit", v); }
    void setPinToBase(bool v) override { put("setPinToBase", v); }

private:
    void put(const char* what, double v) {
        journal_.push_back(std::string("graph.") + what + "(" + number(v) + ")");
    }
    Journal& journal_;
};

class FakeField final : public TextField {
public:
    FakeField(Journal& journal, std::string name) : journal_(journal), name_(std::move(name)) {}
    void setIntValue(int v) override { journal_.push_back(name_ + "=" + number(v)); }
    void setStringValue(const std::string& s) override { journal_.push_back(name_ + "=" + s); }

private:
    Journal& journal_;
    std::string name_;
};

// A bound control: notes "refresh" when every control is made to read again (the controller
// answers its no-content placeholder in between).
class ControlsWatcher final : public KeyValueObserver {
public:
    ControlsWatcher(ObjectController& controller, Journal& journal)
        : controller_(controller), journal_(journal) {
        controller.addObserver(*this, "selection.baseRpm", 0);
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

// The drives of a simulated machine, installed for the drive walk.
class Drives {
public:
    explicit Drives(int count) {
        nlohmann::json list = nlohmann::json::array();
        for (int i = 0; i < count; ++i) {
            list.push_back({{"bsdName", "disk" + std::to_string(i)},
                            {"model", "MODEL " + std::to_string(i)},
                            {"smart", "property"},
                            {"temperature", 40}});
        }
        bay_ = SimDriveBay::fromJson(list, "test");
        bay_->install();
    }
    ~Drives() { setDeviceRegistry(nullptr); }
    SimDriveBay& bay() { return *bay_; }

private:
    std::unique_ptr<SimDriveBay> bay_;
};

class PaneTest : public ::testing::Test {
protected:
    void make(bool daemonThere = true) {
        pane = std::make_unique<HDDPreferencePane>(
            HDDPreferencePane::Outlets{fan, temperature, graph},
            [this, daemonThere] { return daemonThere ? daemon.proxy() : DaemonProxy(); }, timers);
        pane->setMessageSink([this](const std::string& m) { messages.push_back(m); });
        watcher = std::make_unique<ControlsWatcher>(pane->fileOwnerController(), journal);
        pane->awakeFromNib();
    }
    void makeShown() {
        make();
        pane->willSelect();
        journal.clear();
    }
    Value control(const std::string& key) {
        return pane->fileOwnerController().valueForKeyPath("selection." + key);
    }
    void write(const std::string& key, const Value& value) {
        pane->fileOwnerController().setValueForKeyPath(value, "selection." + key);
    }

    Journal journal;
    FakeDaemon daemon{journal};
    FakeTimers timers{journal};
    FakeGraph graph{journal};
    FakeField fan{journal, "fanField"};
    FakeField temperature{journal, "temperatureField"};
    std::vector<std::string> messages;
    Drives drives{2};
    std::unique_ptr<HDDPreferencePane> pane;
    std::unique_ptr<ControlsWatcher> watcher;
};

// The poll as it appears in the journal for 45 °C and 2000 rpm.
Journal poll(const std::string& shown) {
    return {"daemon.temperature", "fanField=2000", "temperatureField=" + shown,
            "graph.setCurrentTemp(45)", "graph.setCurrentRpm(2000)"};
}

Journal concat(Journal a, const Journal& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(PaneTest, EveryBoundKeyForwardsToTheDaemonAndTheGraphInTheDesignedOrder) {
    struct Row {
        std::string key;
        Value value;
        Journal effects;
        Value readBack;
    };
    const std::vector<Row> rows = {
        {"baseRpm", 1500, {"daemon.setBaseRpm(1500)", "graph.setBaseRpm(1500)"}, 1500},
        {"lowerThreshold", 47.5,
         {"daemon.setLowerThreshold(47.5)", "graph.setLowerThreshold(47.5)"}, 47.5},
        {"upperThreshold", 61.0,
         {"daemon.setUpperThreshold(61)", "graph.setUpperThreshold(61)"}, 61.0},
        {"fahrenheit", true,
         concat(concat({"graph.setFahrenheit(1)", "daemon.setFahrenheit(1)"},
                       poll("113 \u00B0F")),
                {"refresh"}),
         true},
        {"pinToBase", true,
         concat(concat({"daemon.setPinToBase(1)", "graph.setPinToBase(1)"}, poll("45 \u00B0C")),
                {"refresh"}),
         true},
        {"useAmbientTemp", true,
         concat(concat({"daemon.setUseAmbientTemp(1)"}, poll("45 \u00B0C")), {"refresh"}), true},
        {"HDDName", "MODEL 1", {"daemon.setHDDName(MODEL 1)"}, "MODEL 1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        daemon.reset();
        makeShown();
        write(row.key, row.value);
        EXPECT_EQ(journal, row.effects);
        EXPECT_EQ(control(row.key), row.readBack);
    }
}

TEST_F(PaneTest, PinToBaseGivesTheGraphWhatTheDaemonKeptNotWhatWasAsked) {
    makeShown();
    daemon.ignoreChanges = true;
    write("pinToBase", true);
    EXPECT_EQ(only(journal, "graph.setPin"), Journal{"graph.setPinToBase(0)"});
}

TEST_F(PaneTest, ConnectingPushesTheUnitAndPinToBaseThenBindsTheControls) {
    daemon.fahrenheit_ = true;
    daemon.pin_ = true;
    EXPECT_TRUE(isControllerMarker(HDDPreferencePane(
                                       {fan, temperature, graph}, [] { return DaemonProxy(); },
                                       timers)
                                       .fileOwnerController()
                                       .valueForKeyPath("selection.baseRpm")));
    make();
    EXPECT_EQ(journal, (Journal{"graph.setFahrenheit(1)", "graph.setPinToBase(1)"}));
    EXPECT_EQ(control("baseRpm"), Value(1100));
    EXPECT_EQ(pane->transformer()->transformedTemperature(45), "113 \u00B0F");
}

TEST_F(PaneTest, ShowingPushesTheSettingsPollsAtOnceAndThenEveryFiveSeconds) {
    daemon.baseRpm_ = 1200;
    make();
    journal.clear();
    pane->willSelect();
    const Journal shown = concat({"graph.setBaseRpm(1200)", "graph.setLowerThreshold(50)",
                                  "graph.setUpperThreshold(58)", "graph.setFahrenheit(0)",
                                  "graph.setPinToBase(0)"},
                                 poll("45 \u00B0C"));
    EXPECT_EQ(journal, concat(shown, {"timer.schedule(5000)"}));
    journal.clear();
    timers.fireAll();
    timers.fireAll();
    EXPECT_EQ(journal, concat(poll("45 \u00B0C"), poll("45 \u00B0C")));
}

TEST_F(PaneTest, LeavingStopsThePollAndShowingAgainStartsExactlyOneTimer) {
    makeShown();
    pane->didUnselect();
    EXPECT_EQ(timers.running(), 0);
    EXPECT_FALSE(pane->isPolling());
    journal.clear();
    timers.fireAll();
    EXPECT_TRUE(only(journal, "daemon.temperature").empty());

    pane->willSelect();
    pane->willSelect();  // shown twice without being hidden in between
    EXPECT_EQ(timers.running(), 1);
    journal.clear();
    timers.fireAll();
    EXPECT_EQ(only(journal, "daemon.temperature").size(), 1u);
}

TEST_F(PaneTest, APollShowsTheReadingsAsTheDaemonGivesThem) {
    struct Row {
        float celsius;
        int rpm;
        bool fahrenheit;
        Journal shown;
    };
    const std::vector<Row> rows = {
        {45, 2000, false, {"fanField=2000", "temperatureField=45 \u00B0C"}},
        {45, 2000, true, {"fanField=2000", "temperatureField=113 \u00B0F"}},
        {0, -1, false, {"fanField=-1", "temperatureField=0 \u00B0C"}},
    };
    for (const Row& row : rows) {
        daemon.reset();
        daemon.temperature_ = row.celsius;
        daemon.fanRpm_ = row.rpm;
        daemon.fahrenheit_ = row.fahrenheit;
        make();
        journal.clear();
        pane->updateOutput();
        EXPECT_EQ(only(journal, "fanField"), Journal{row.shown[0]});
        EXPECT_EQ(only(journal, "temperatureField"), Journal{row.shown[1]});
        EXPECT_EQ(only(journal, "graph.setCurrent"),
                  (Journal{"graph.setCurrentTemp(" + number(row.celsius) + ")",
                           "graph.setCurrentRpm(" + number(row.rpm) + ")"}));
    }
}

TEST_F(PaneTest, ResetRestoresTheDaemonsDefaultsAndEveryControlReadsThemAgain) {
    daemon.lower_ = 40;
    daemon.upper_ = 70;
    daemon.baseRpm_ = 1800;
    daemon.pin_ = true;
    daemon.name_ = "MODEL 1";
    daemon.fahrenheit_ = true;
    daemon.ambient_ = true;
    makeShown();
    pane->resetDefaults();
    EXPECT_EQ(only(journal, "daemon.set"),
              (Journal{"daemon.setLowerThreshold(50)", "daemon.setUpperThreshold(58)",
                       "daemon.setBaseRpm(1100)", "daemon.setPinToBase(0)",
                       "daemon.setHDDName(none)", "daemon.setFahrenheit(0)",
                       "daemon.setUseAmbientTemp(0)"}));
    EXPECT_EQ(only(journal, "refresh").size(), 3u);  // after pin-to-base, unit and sensors
    EXPECT_EQ(control("lowerThreshold"), Value(50.0));
    EXPECT_EQ(control("upperThreshold"), Value(58.0));
    EXPECT_EQ(control("baseRpm"), Value(1100));
    EXPECT_EQ(control("pinToBase"), Value(false));
    EXPECT_TRUE(control("HDDName").isNone());
    EXPECT_EQ(control("fahrenheit"), Value(false));
    EXPECT_EQ(control("useAmbientTemp"), Value(false));
    const Journal curve = only(journal, "graph.set");
    EXPECT_EQ(Journal(curve.begin(), curve.begin() + 3),
              (Journal{"graph.setLowerThreshold(50)", "graph.setUpperThreshold(58)",
                       "graph.setBaseRpm(1100)"}));
}

TEST_F(PaneTest, TheDriveChooserIsNeededOnlyWithMoreThanOneDrive) {
    struct Row {
        int drives;  // -1: the disks cannot be searched
        std::optional<std::string> stored;
        bool nothingToChoose;
        Journal calls;
    };
    const std::vector<Row> rows = {
        {2, "MODEL 1", false, {}},
        {1, "MODEL 0", true, {"daemon.setHDDName(none)"}},
        {0, "gone disk", true, {"daemon.setHDDName(none)"}},
        {-1, "MODEL 0", true, {"daemon.setHDDName(none)"}},
        {1, std::nullopt, true, {}},
        // No drive travels on the bus as "": clearing it would change nothing.
        {1, "", true, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.drives);
        Drives installed(std::max(row.drives, 0));
        if (row.drives < 0) setDeviceRegistry(nullptr);
        daemon.reset();
        daemon.name_ = row.stored;
        make();
        journal.clear();
        EXPECT_EQ(pane->shouldShowDriveSelection(), row.nothingToChoose);
        EXPECT_EQ(only(journal, "daemon.set"), row.calls);
        EXPECT_EQ(pane->GetDrives().size(), static_cast<std::size_t>(std::max(row.drives, 0)));
    }
}

TEST_F(PaneTest, TheDriveListIsBuiltOnceForThePanesLife) {
    make();
    EXPECT_EQ(pane->GetDrives(), (std::vector<std::string>{"MODEL 0", "MODEL 1"}));
    drives.bay().setFault("disk1", "absent");
    EXPECT_EQ(pane->GetAllDrives(), (std::vector<std::string>{"MODEL 0"}));
    EXPECT_EQ(pane->GetDrives(), (std::vector<std::string>{"MODEL 0", "MODEL 1"}));
}

TEST_F(PaneTest, WithNoDaemonEveryControlShowsZerosAndChangesDoNothing) {
    make(false);
    EXPECT_FALSE(pane->isConnected());
    EXPECT_EQ(messages.size(), 1u);
    pane->willSelect();
    for (const char* key : {"baseRpm", "lowerThreshold", "upperThreshold"}) {
        EXPECT_EQ(control(key).doubleValue(), 0.0) << key;
    }
    for (const char* key : {"fahrenheit", "pinToBase", "useAmbientTemp"}) {
        EXPECT_EQ(control(key), Value(false)) << key;
    }
    write("baseRpm", 1500);
    EXPECT_EQ(control("baseRpm"), Value(0));
    EXPECT_EQ(only(journal, "fanField"), Journal{"fanField=0"});
    EXPECT_EQ(only(journal, "temperatureField"), Journal{"temperatureField=0 \u00B0C"});
    EXPECT_TRUE(only(journal, "daemon.").empty());
}

TEST_F(PaneTest, ADaemonThatStopsAnsweringShowsZerosUntilItIsBack) {
    makeShown();
    daemon.gone = true;
    timers.fireAll();
    EXPECT_EQ(journal, (Journal{"fanField=0", "temperatureField=0 \u00B0C",
                                "graph.setCurrentTemp(0)", "graph.setCurrentRpm(0)", "refresh"}));
    EXPECT_EQ(control("baseRpm"), Value(0));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("not answering"), std::string::npos);

    write("upperThreshold", 60.0);  // no exception, nothing to the graph
    EXPECT_TRUE(only(journal, "graph.setUpper").empty());

    daemon.gone = false;
    journal.clear();
    timers.fireAll();
    EXPECT_EQ(journal, concat(poll("45 \u00B0C"), {"refresh"}));
    EXPECT_EQ(messages.back(), "");
    EXPECT_EQ(control("baseRpm"), Value(1100));
}

TEST_F(PaneTest, ARefusedChangeLeavesTheDaemonsValueAndSaysWhyInOneLine) {
    const std::vector<std::pair<std::string, Value>> rows = {
        {"baseRpm", 1500},     {"lowerThreshold", 40.0}, {"upperThreshold", 70.0},
        {"fahrenheit", true},  {"pinToBase", true},      {"useAmbientTemp", true},
        {"HDDName", "MODEL 1"}};
    for (const auto& [key, value] : rows) {
        SCOPED_TRACE(key);
        daemon.reset();
        makeShown();
        messages.clear();
        daemon.refuseChanges = true;
        const Value before = control(key);
        EXPECT_NO_THROW(write(key, value));
        EXPECT_EQ(control(key), before);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find("not allowed"), std::string::npos);
        EXPECT_EQ(messages[0].find('\n'), std::string::npos);
        // The graph shows what the daemon kept.
        const Journal drawn = only(journal, "graph.");
        if (key == "fahrenheit") {
            EXPECT_EQ(drawn, (Journal{"graph.setFahrenheit(1)", "graph.setFahrenheit(0)"}));
        } else {
            EXPECT_TRUE(drawn.empty()) << drawn.front();
        }
    }
}

}  // namespace
}  // namespace drivetherm
