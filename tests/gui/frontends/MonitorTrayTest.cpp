// SPDX-License-Identifier: GPL-2.0-or-later
// The tray monitor as a person's desktop runs it: under an X server (Xvfb) with a stand-in for
// the panel's tray on the session bus, against the real daemon on the simulated machine. The
// test reads what the panel would show: the item that registered and its tool tip.
#include <gtest/gtest.h>
#include <signal.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "protocol/BusNames.h"
#include "protocol/DbusDaemonClient.h"
#include "protocol/SimulatorClient.h"
#include "tests/support/PrivateBus.h"

namespace drivetherm {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kBin = DRIVETHERM_BINARY_DIR;
const char* kXvfb = "/usr/bin/Xvfb";

bool eventually(const std::function<bool()>& until, std::chrono::milliseconds patience = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!until()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::replace(text.begin(), text.end(), '\0', ' ');
    return text;
}

// The settings windows running for the bus at `address`.
std::vector<pid_t> settingsWindows(const std::string& address) {
    std::vector<pid_t> found;
    std::error_code error;
    const fs::path program = fs::canonical(kBin + "/pane/drivetherm", error);
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        std::error_code gone;
        if (fs::read_symlink(entry.path() / "exe", gone) == program && !gone &&
            readFile(entry.path() / "cmdline").find(address) != std::string::npos) {
            found.push_back(std::stoi(entry.path().filename().string()));
        }
    }
    return found;
}

class TrayMonitor : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(kXvfb, X_OK) != 0) {
            GTEST_SKIP() << "the tray needs an X server and Xvfb is not installed "
                            "(scripts/install-deps installs it)";
        }
        home = testing::makeTemporaryDirectory("drivetherm-tray");
        fs::create_directory(home + "/run");
        fs::permissions(home + "/run", fs::perms::owner_all);
        // The shipped machine without its thermal model, so that a temperature set stays put.
        nlohmann::json machine =
            nlohmann::json::parse(std::ifstream(DRIVETHERM_SOURCE_DIR "/machines/default.json"));
        machine.erase("thermal");
        std::ofstream(home + "/machine.json") << machine.dump();
        startDaemon();
        watcher = std::make_unique<testing::ChildProcess>(
            kBin + "/tests/gui/frontends/fake-status-notifier-watcher",
            std::vector<std::string>{bus.address()}, home + "/watcher.log");
        ASSERT_TRUE(testing::waitForName(bus.address(), "org.kde.StatusNotifierWatcher"));
        xvfb = std::make_unique<testing::ChildProcess>(
            kXvfb, std::vector<std::string>{"-displayfd", "1", "-nolisten", "tcp"},
            home + "/xvfb.log");
        // Xvfb picks a free display and writes its number on a line of its own. Its warnings share
        // the log, and one Xvfb that loses a display to another started at the same moment says
        // so before it takes the next one: wait for the line that is only digits.
        ASSERT_TRUE(eventually([&] {
            std::istringstream lines(xvfb->log());
            for (std::string line; std::getline(lines, line);) {
                if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
                    display = ":" + line;
                    return true;
                }
            }
            return false;
        })) << xvfb->log();
        ASSERT_GE(sd_bus_new(&panel), 0);
        sd_bus_set_address(panel, bus.address().c_str());
        sd_bus_set_bus_client(panel, 1);
        ASSERT_GE(sd_bus_start(panel), 0);
    }
    void TearDown() override {
        for (const pid_t window : settingsWindows(bus.address())) ::kill(window, SIGTERM);
        if (HasFailure() && monitor) std::fprintf(stderr, "%s", monitor->log().c_str());
        sd_bus_flush_close_unref(panel);
        monitor.reset();
        watcher.reset();
        xvfb.reset();
        daemon.reset();
        if (!home.empty()) fs::remove_all(home);
    }

    void startDaemon() {
        daemon = std::make_unique<testing::ChildProcess>(
            kBin + "/daemon/drivethermd",
            std::vector<std::string>{"--bus", bus.address(), "--hardware",
                                     "sim:" + home + "/machine.json", "--state-dir", home,
                                     "--tick-interval", "50"},
            home + "/daemon.log");
        ASSERT_TRUE(testing::waitForName(bus.address(), bus::kServiceName)) << daemon->log();
    }

    // Starts the monitor on the test's X server and waits for its icon to register.
    void startMonitor(const std::vector<std::string>& options) {
        std::vector<std::string> arguments = {"--bus", bus.address(), "--hardware",
                                              "sim:" + home + "/machine.json"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        monitor = std::make_unique<testing::ChildProcess>(
            kBin + "/monitor/drivetherm-monitor", arguments, home + "/monitor.log",
            std::vector<std::string>{"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb",
                                     "DBUS_SESSION_BUS_ADDRESS=" + bus.address(),
                                     "XDG_RUNTIME_DIR=" + home + "/run",
                                     "XDG_CONFIG_HOME=" + home + "/config"});
        ASSERT_TRUE(eventually([&] {
            const std::string log = watcher->log();
            const auto at = log.find("registered ");
            if (at == std::string::npos) return false;
            item = log.substr(at + 11, log.find('\n', at) - at - 11);
            return true;
        })) << "the monitor's icon never registered";
    }

    // The title of the icon's tool tip, as the panel reads it.
    std::string toolTip() {
        sd_bus_message* reply = nullptr;
        const char *icon = nullptr, *title = "", *text = nullptr;
        if (sd_bus_get_property(panel, item.c_str(), "/StatusNotifierItem",
                                "org.kde.StatusNotifierItem", "ToolTip", nullptr, &reply,
                                "(sa(iiay)ss)") >= 0) {
            sd_bus_message_enter_container(reply, 'r', "sa(iiay)ss");
            sd_bus_message_read(reply, "s", &icon);
            sd_bus_message_skip(reply, "a(iiay)");
            sd_bus_message_read(reply, "ss", &title, &text);
        }
        std::string result = title ? title : "";
        sd_bus_message_unref(reply);
        return result;
    }
    bool titleBecomes(const std::function<bool(const std::string&)>& wanted) {
        return eventually([&] { return wanted(title = toolTip()); });
    }
    // The title for the daemon's last measurement.
    std::string expectedTitle() {
        float celsius = 0;
        int rpm = 0;
        DbusDaemonClient::bind(bus.address()).lastTemperature(&celsius, &rpm);
        char text[64];
        std::snprintf(text, sizeof text, "%.0f \u00B0C / %drpm", celsius, rpm);
        return text;
    }

    testing::PrivateBus bus;
    std::string home, display, item, title;
    sd_bus* panel = nullptr;
    std::unique_ptr<testing::ChildProcess> daemon, watcher, xvfb, monitor;
};

TEST_F(TrayMonitor, TheIconRegistersAndItsTitleFollowsTheDaemonAcrossAStopAndARestart) {
    startMonitor({"--poll-interval", "200"});
    EXPECT_TRUE(titleBecomes([&](const std::string& t) { return t == expectedTitle(); })) << title;

    // A hotter disk shows from the daemon's next temperature check on.
    std::string error;
    const auto simulator = SimulatorClient::connect(bus.address(), error);
    ASSERT_TRUE(simulator) << error;
    simulator->setDriveTemperature("disk0", 66);
    EXPECT_TRUE(titleBecomes([](const std::string& t) { return t.rfind("66 \u00B0C / ", 0) == 0; }))
        << title;

    ASSERT_EQ(daemon->stop(SIGTERM), 0);
    EXPECT_TRUE(titleBecomes([](const std::string& t) {
        return t == "The fan daemon is not running (systemctl start drivethermd)";
    })) << title;
    startDaemon();
    const std::regex reading("[0-9]+ \u00B0C / [0-9]+rpm");
    EXPECT_TRUE(titleBecomes([&](const std::string& t) { return std::regex_match(t, reading); }))
        << title;
}

TEST_F(TrayMonitor, AClickOnTheIconOpensOneSettingsWindowOnTheSameBusAndMachine) {
    startMonitor({});
    const auto click = [&] {
        sd_bus_call_method(panel, item.c_str(), "/StatusNotifierItem", "org.kde.StatusNotifierItem",
                           "Activate", nullptr, nullptr, "ii", 0, 0);
    };
    click();
    ASSERT_TRUE(eventually([&] { return settingsWindows(bus.address()).size() == 1; }));
    const pid_t first = settingsWindows(bus.address()).front();
    EXPECT_NE(readFile("/proc/" + std::to_string(first) + "/cmdline")
                  .find("--hardware sim:" + home + "/machine.json"),
              std::string::npos);
    // Once the window is up it listens for a second start, which hands over to it and ends.
    ASSERT_TRUE(eventually([&] {
        for (const auto& e : fs::directory_iterator(home + "/run")) {
            if (e.path().filename().string().rfind("drivetherm-settings-", 0) == 0) return true;
        }
        return false;
    }));
    click();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(settingsWindows(bus.address()), std::vector<pid_t>{first});
    EXPECT_EQ(monitor->log().find("Got error dict"), std::string::npos) << monitor->log();
}

// A desktop without a tray (GNOME without its extension): the monitor stays, waiting for one,
// says so once in the journal instead of leaving with a line nobody sees, and once on the desktop
// through its notification service.
TEST(TrayMonitorWithoutATray, WaitsForATrayAndSaysSoOnce) {
    const std::string home = testing::makeTemporaryDirectory("drivetherm-no-tray");
    fs::permissions(home, fs::perms::owner_all);
    testing::PrivateBus session;
    testing::ChildProcess notifications(
        "/usr/bin/python3",
        {"-m", "dbusmock", "--session", "-t", "notification_daemon", "-l", home + "/notify.log"},
        home + "/dbusmock.log", {"DBUS_SESSION_BUS_ADDRESS=" + session.address()});
    ASSERT_TRUE(testing::waitForName(session.address(), "org.freedesktop.Notifications"))
        << notifications.log();
    testing::ChildProcess monitor(kBin + "/monitor/drivetherm-monitor",
                                  {"--bus", "unix:path=" + home + "/no-bus", "--tray-wait", "0"},
                                  home + "/monitor.log",
                                  {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + home,
                                   "DBUS_SESSION_BUS_ADDRESS=" + session.address()});
    EXPECT_TRUE(eventually([&] {
        return monitor.log().find("no system tray") != std::string::npos;
    })) << monitor.log();
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(monitor.running()) << monitor.log();
    const std::string log = monitor.log();
    const std::string notified = readFile(home + "/notify.log");
    monitor.stop(SIGTERM);
    notifications.stop(SIGTERM);
    fs::remove_all(home);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(notified.find("Notify"), std::string::npos) << notified;
    EXPECT_NE(notified.find("Waiting for a system tray"), std::string::npos) << notified;
}

}  // namespace
}  // namespace drivetherm
