// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "monitor/MonitorAppDelegate.h"
#include "monitor/TrayIconText.h"
#include "tests/unit/frontends/FrontendFakes.h"

namespace drivetherm {
namespace {

using fakes::Journal;
using fakes::only;

class FakeTray final : public StatusItem, public MonitorPlatform {
public:
    explicit FakeTray(Journal& journal) : journal_(journal) {}
    void setTitle(const StatusTitle& title) override { titles.push_back(title); }
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
    ~MonitorTest() override { std::filesystem::remove_all(autostart); }

    void start() {
        delegate = std::make_unique<MonitorAppDelegate>(
            tray, tray, std::make_unique<fakes::FakeCalls>([this] {
                ++binds;
                return daemonRunning ? daemon.proxy() : DaemonProxy();
            }),
            timers, [this] { return LaunchAtLoginController("/proc/self/exe", autostart, ""); },
            MonitorAppDelegate::Settings{"1.2.3", "file:///doc/README.md"});
        delegate->awakeFromNib();
    }
    std::string title() const { return tray.titles.back().text; }
    ObjectController& controller() { return delegate->fileOwnerController(); }

    Journal journal;
    fakes::FakeDaemon daemon{journal};
    fakes::FakeTimers timers{journal};
    FakeTray tray{journal};
    bool daemonRunning = true;
    int binds = 0;
    std::filesystem::path autostart = std::filesystem::temp_directory_path() /
                                      ("drivetherm-monitor-test-" + std::to_string(::getpid()));
    std::unique_ptr<MonitorAppDelegate> delegate;
};

TEST_F(MonitorTest, TheTitleShowsTheLastTemperatureAndTheFanSpeed) {
    struct Row {
        float celsius;
        int rpm;
        bool fahrenheit;
        std::string text;
    };
    for (const Row& row :
         {Row{45, 2000, false, "45 \u00B0C / 2000rpm"},
          Row{45, 2000, true, "113 \u00B0F / 2000rpm"}, Row{0, 1100, false, "0 \u00B0C / 1100rpm"},
          Row{50, -1, false, "50 \u00B0C / -1rpm"}}) {
        *daemon = {};
        daemon->temperature = row.celsius;
        daemon->fanRpm = row.rpm;
        daemon->fahrenheit = row.fahrenheit;
        start();
        EXPECT_EQ(tray.titles.back(), (StatusTitle{row.text, 12.0}));
    }
    EXPECT_TRUE(only(journal, "daemon.temperature").empty());  // never a fresh measurement
}

TEST_F(MonitorTest, StartShowsTheNameThenAReadingAtOnceThenFollowsTheDaemonEveryUpdate) {
    start();
    ASSERT_EQ(tray.titles.size(), 2u);
    EXPECT_EQ(tray.titles[0], (StatusTitle{"Drivetherm", 12.0}));
    EXPECT_EQ(only(journal, "timer"), Journal{"timer.schedule(5000)"});
    daemon->temperature = 47;
    daemon->fahrenheit = true;  // switched in the settings window
    timers.fireAll();
    EXPECT_EQ(title(), "117 \u00B0F / 2000rpm");
}

TEST_F(MonitorTest, WhileTheDaemonIsAwayTheTitleSaysSoAndEachUpdateBindsAgain) {
    daemonRunning = false;
    start();  // binds, finds nothing
    EXPECT_EQ(tray.titles.back(), (StatusTitle{"Drivetherm not running", 9.0}));
    daemonRunning = true;
    timers.fireAll();  // binds again and reads
    EXPECT_EQ(title(), "45 \u00B0C / 2000rpm");
    EXPECT_EQ(binds, 2);

    daemon->gone = true;  // stopped after the binding: the call raises
    daemonRunning = false;
    timers.fireAll();
    EXPECT_EQ(title(), "Drivetherm not running");
    EXPECT_FALSE(delegate->isConnected());
    daemon->gone = false;
    daemonRunning = true;
    timers.fireAll();
    EXPECT_EQ(title(), "45 \u00B0C / 2000rpm");
    // Above the upper threshold the title is marked hot.
    daemon->temperature = 59;
    timers.fireAll();
    EXPECT_TRUE(tray.titles.back().hot);
}

TEST_F(MonitorTest, SwitchingTheUnitRetitlesAtOnceAndARefusalIsNoticed) {
    start();
    journal.clear();
    controller().setValueForKeyPath(true, "selection.fahrenheit");
    EXPECT_EQ(journal, (Journal{"daemon.setFahrenheit(1)", "daemon.lastTemperature"}));
    EXPECT_EQ(controller().valueForKeyPath("selection.fahrenheit"), Value(true));
    EXPECT_EQ(title(), "113 \u00B0F / 2000rpm");

    daemon->refuseChanges = true;
    EXPECT_NO_THROW(delegate->setFahrenheit(false));
    ASSERT_EQ(tray.notices.size(), 1u);
    EXPECT_NE(tray.notices[0].find("not allowed"), std::string::npos);
    EXPECT_EQ(title(), "113 \u00B0F / 2000rpm");
}

TEST_F(MonitorTest, QuitStopsTheTimerBeforeTheApplicationEnds) {
    start();
    journal.clear();
    delegate->quit();
    EXPECT_EQ(journal, (Journal{"timer.invalidate", "terminate"}));
    const std::size_t titles = tray.titles.size();
    delegate->updateOutput();
    EXPECT_EQ(tray.titles.size(), titles);
}

TEST_F(MonitorTest, MenuActionsReachTheDesktopAndAFailedStartIsLogged) {
    start();
    journal.clear();
    delegate->showAbout();
    delegate->openWebSite();
    delegate->showPrefs();
    EXPECT_EQ(journal, (Journal{"about", "open file:///doc/README.md", "startSettings"}));
    EXPECT_EQ(controller().valueForKeyPath("selection.versionInfo"), Value("1.2.3"));

    tray.settingsError = "{program = drivetherm; error = \"not installed\"}";
    ::testing::internal::CaptureStderr();
    delegate->showPrefs();
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(
                  "Got error dict {program = drivetherm; error = \"not installed\"}"),
              std::string::npos);
}

TEST_F(MonitorTest, TheLaunchAtLoginSwitchReadsAndWritesTheAutostartDirectory) {
    start();
    EXPECT_EQ(controller().valueForKeyPath("selection.launchAtLogin"), Value(false));
    controller().setValueForKeyPath(true, "selection.launchAtLogin");
    EXPECT_TRUE(std::filesystem::exists(autostart / "drivetherm-monitor.desktop"));
    EXPECT_EQ(controller().valueForKeyPath("selection.launchAtLogin"), Value(true));
}

TEST(TrayIconText, ShowsTheTemperatureAloneADashWithoutADaemonAndMarksHeat) {
    struct Row {
        StatusTitle title;
        std::vector<std::string> lines;
        double relativeSize;
    };
    for (const Row& row :
         {Row{MonitorAppDelegate::readingTitle("45 \u00B0C", 2000), {"45\u00B0"}, 1.0},
          Row{MonitorAppDelegate::readingTitle("-40 \u00B0F", -1), {"-40\u00B0"}, 1.0},
          Row{MonitorAppDelegate::notRunningTitle(), {"\u2014"}, 0.75},
          Row{MonitorAppDelegate::startTitle(), {}, 1.0}}) {
        const TrayIconText text = TrayIconText::forTitle(row.title);
        EXPECT_EQ(text.lines, row.lines) << row.title;
        EXPECT_EQ(text.relativeSize, row.relativeSize) << row.title;
    }
    EXPECT_TRUE(
        TrayIconText::forTitle(MonitorAppDelegate::readingTitle("60 \u00B0C", 5000, true)).hot);
}

}  // namespace
}  // namespace drivetherm
