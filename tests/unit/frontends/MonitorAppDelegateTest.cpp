// SPDX-License-Identifier: GPL-2.0-or-later
#include "monitor/MonitorAppDelegate.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "monitor/TrayIconText.h"
#include "tests/unit/frontends/FrontendFakes.h"

namespace drivetherm {
namespace {

using fakes::FakeDaemon;
using fakes::FakeTimers;
using fakes::Journal;
using fakes::only;

class FakeTray final : public StatusItem, public MonitorPlatform {
public:
    explicit FakeTray(Journal& journal) : journal_(journal) {}

    void setTitle(const StatusTitle& title) override {
        titles.push_back(title);
        journal_.push_back("title");
    }
    void terminateSoon() override { journal_.push_back("terminate"); }
    std::optional<std::string> startSettings() override {
        journal_.push_back("startSettings");
        return settingsError;
    }
    void showAboutWindow() override { journal_.push_back("about"); }
    void openUrl(const std::string& url) override { journal_.push_back("open " + url); }
    void showNotice(const std::string& message) override { notices.push_back(message); }

    std::vector<StatusTitle> titles;
    std::vector<std::string> notices;
    std::optional<std::string> settingsError;

private:
    Journal& journal_;
};

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        autostart = std::filesystem::temp_directory_path() /
                    ("drivetherm-monitor-test-" + std::to_string(::getpid()));
        std::filesystem::remove_all(autostart);
    }
    void TearDown() override { std::filesystem::remove_all(autostart); }

    void start() {
        delegate = std::make_unique<MonitorAppDelegate>(
            tray, tray,
            [this] {
                ++binds;
                return daemonRunning ? daemon.proxy() : DaemonProxy();
            },
            timers,
            [this] { return LaunchAtLoginController("/proc/self/exe", autostart, ""); },
            MonitorAppDelegate::Settings{"1.2.3", "file:///usr/share/doc/drivetherm/README.md"});
        delegate->awakeFromNib();
    }
    const StatusTitle& title() const { return tray.titles.back(); }

    Journal journal;
    FakeDaemon daemon{journal};
    FakeTimers timers{journal};
    FakeTray tray{journal};
    bool daemonRunning = true;
    int binds = 0;
    std::filesystem::path autostart;
    std::unique_ptr<MonitorAppDelegate> delegate;
};

TEST_F(MonitorTest, TheTitleShowsTheLastTemperatureAndTheFanSpeed) {
    struct Row {
        float celsius;
        int rpm;
        bool fahrenheit;
        std::string text;
    };
    const std::vector<Row> rows = {
        {45, 2000, false, "45 \u00B0C / 2000rpm"},
        {45, 2000, true, "113 \u00B0F / 2000rpm"},
        {0, 1100, false, "0 \u00B0C / 1100rpm"},
        {50, -1, false, "50 \u00B0C / -1rpm"},
    };
    for (const Row& row : rows) {
        daemon.reset();
        daemon.temperature_ = row.celsius;
        daemon.fanRpm_ = row.rpm;
        daemon.fahrenheit_ = row.fahrenheit;
        start();
        EXPECT_EQ(title(), (StatusTitle{row.text, 12.0}));
    }
    EXPECT_EQ(only(journal, "daemon.temperature"), Journal{});  // never a fresh measurement
}

TEST_F(MonitorTest, StartShowsTheNameThenAReadingAtOnceThenUpdatesEveryFiveSeconds) {
    start();
    ASSERT_EQ(tray.titles.size(), 2u);
    EXPECT_EQ(tray.titles[0], (StatusTitle{"Drivetherm", 12.0}));
    EXPECT_EQ(timers.lastInterval(), std::chrono::milliseconds(5000));
    daemon.temperature_ = 47;
    timers.fireAll();
    EXPECT_EQ(title().text, "47 \u00B0C / 2000rpm");
    // A unit switched in the settings window shows at the next update.
    daemon.fahrenheit_ = true;
    timers.fireAll();
    EXPECT_EQ(title().text, "117 \u00B0F / 2000rpm");
}

TEST_F(MonitorTest, ADaemonAbsentAtStartShowsNotRunningAndIsBoundAsSoonAsItIsUp) {
    daemonRunning = false;
    start();
    EXPECT_EQ(title(), (StatusTitle{"Drivetherm not running", 9.0}));
    EXPECT_FALSE(delegate->isConnected());
    timers.fireAll();
    EXPECT_EQ(title().text, "Drivetherm not running");
    daemonRunning = true;
    timers.fireAll();  // binds again
    timers.fireAll();
    EXPECT_EQ(title().text, "45 \u00B0C / 2000rpm");
    EXPECT_EQ(binds, 4);
}

TEST_F(MonitorTest, ADaemonThatGoesAwayIsFollowedAcrossItsRestart) {
    start();
    daemon.gone = true;
    daemonRunning = false;
    timers.fireAll();
    EXPECT_EQ(title().text, "Drivetherm not running");
    EXPECT_FALSE(delegate->isConnected());
    daemon.gone = false;
    daemonRunning = true;
    timers.fireAll();
    EXPECT_EQ(title().text, "Drivetherm not running");  // this update only binds
    timers.fireAll();
    EXPECT_EQ(title().text, "45 \u00B0C / 2000rpm");
}

TEST_F(MonitorTest, SwitchingTheUnitRetitlesAtOnce) {
    start();
    journal.clear();
    delegate->fileOwnerController().setValueForKeyPath(true, "selection.fahrenheit");
    EXPECT_EQ(only(journal, "daemon.set"), Journal{"daemon.setFahrenheit(1)"});
    EXPECT_EQ(title().text, "113 \u00B0F / 2000rpm");
    EXPECT_TRUE(only(journal, "timer").empty());
    EXPECT_EQ(delegate->fileOwnerController().valueForKeyPath("selection.fahrenheit"),
              Value(true));
}

TEST_F(MonitorTest, ARefusedUnitSwitchIsNoticedAndTheTitleKeepsTheDaemonsUnit) {
    start();
    daemon.refuseChanges = true;
    EXPECT_NO_THROW(delegate->setFahrenheit(true));
    ASSERT_EQ(tray.notices.size(), 1u);
    EXPECT_NE(tray.notices[0].find("not allowed"), std::string::npos);
    EXPECT_EQ(title().text, "45 \u00B0C / 2000rpm");
}

TEST_F(MonitorTest, QuitStopsTheTimerBeforeTheApplicationEnds) {
    start();
    journal.clear();
    delegate->quit();
    EXPECT_EQ(journal, (Journal{"timer.invalidate", "terminate"}));
    EXPECT_EQ(timers.running(), 0);
    const std::size_t titles = tray.titles.size();
    timers.fireAll();
    delegate->updateOutput();
    EXPECT_EQ(tray.titles.size(), titles);
}

TEST_F(MonitorTest, MenuActionsReachTheDesktopAndAFailedStartIsLogged) {
    start();
    journal.clear();
    delegate->showAbout();
    delegate->openWebSite();
    delegate->showPrefs();
    EXPECT_EQ(journal, (Journal{"about", "open file:///usr/share/doc/drivetherm/README.md",
                                "startSettings"}));
    EXPECT_EQ(delegate->fileOwnerController().valueForKeyPath("selection.versionInfo"),
              Value("1.2.3"));

    tray.settingsError = "{program = drivetherm; error = \"not installed\"}";
    ::testing::internal::CaptureStderr();
    delegate->showPrefs();
    const std::string logged = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(logged.find("Got error dict {program = drivetherm; error = \"not installed\"}"),
              std::string::npos)
        << logged;
}

TEST_F(MonitorTest, TheLaunchAtLoginSwitchReadsAndWritesTheAutostartDirectory) {
    start();
    auto& controller = delegate->fileOwnerController();
    EXPECT_EQ(controller.valueForKeyPath("selection.launchAtLogin"), Value(false));
    controller.setValueForKeyPath(true, "selection.launchAtLogin");
    EXPECT_TRUE(std::filesystem::exists(autostart / "drivetherm-monitor.desktop"));
    EXPECT_EQ(controller.valueForKeyPath("selection.launchAtLogin"), Value(true));
    controller.setValueForKeyPath(false, "selection.launchAtLogin");
    EXPECT_FALSE(std::filesystem::exists(autostart / "drivetherm-monitor.desktop"));
}

TEST(TrayIconText, FitsTheTitleIntoTwoShortLines) {
    struct Row {
        StatusTitle title;
        std::vector<std::string> lines;
        double relativeSize;
    };
    const std::vector<Row> rows = {
        {MonitorAppDelegate::readingTitle("45 \u00B0C", 2000), {"45\u00B0", "2000"}, 1.0},
        {MonitorAppDelegate::readingTitle("-40 \u00B0F", -1), {"-40\u00B0", "-1"}, 1.0},
        {MonitorAppDelegate::notRunningTitle(), {"off"}, 0.75},
        {MonitorAppDelegate::startTitle(), {}, 1.0},
    };
    for (const Row& row : rows) {
        const TrayIconText text = TrayIconText::forTitle(row.title);
        EXPECT_EQ(text.lines, row.lines) << row.title;
        EXPECT_EQ(text.relativeSize, row.relativeSize) << row.title;
    }
}

}  // namespace
}  // namespace drivetherm
