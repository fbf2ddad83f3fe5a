// SPDX-License-Identifier: GPL-2.0-or-later
// The tray monitor as a person's desktop runs it: under an X server (Xvfb) with a stand-in for
// the panel's tray on the session bus, against the real daemon on the simulated machine. The
// test reads what the panel would show: the item that registered, its tool tip and its icon.
#include <gtest/gtest.h>
#include <signal.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "protocol/BusNames.h"
#include "protocol/DbusDaemonClient.h"
#include "tests/support/PrivateBus.h"

namespace drivetherm {
namespace {

using namespace std::chrono_literals;

const std::string kBin = DRIVETHERM_BINARY_DIR;
const std::string kArtifacts = kBin + "/tests/gui/frontends";
const char* kXvfb = "/usr/bin/Xvfb";

// Asks `until` every 50 ms for up to `patience`.
bool eventually(const std::function<bool()>& until, std::chrono::milliseconds patience = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < deadline) {
        if (until()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return until();
}

// A connection of the test's own to the private bus.
class Bus {
public:
    explicit Bus(const std::string& address) {
        if (sd_bus_new(&bus_) < 0 || sd_bus_set_address(bus_, address.c_str()) < 0 ||
            sd_bus_set_bus_client(bus_, 1) < 0 || sd_bus_start(bus_) < 0) {
            sd_bus_unref(bus_);
            bus_ = nullptr;
        }
    }
    ~Bus() { sd_bus_flush_close_unref(bus_); }
    explicit operator bool() const { return bus_ != nullptr; }

    std::vector<std::string> registeredItems() {
        char** items = nullptr;
        std::vector<std::string> out;
        if (sd_bus_get_property_strv(bus_, "org.kde.StatusNotifierWatcher",
                                     "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                                     "RegisteredStatusNotifierItems", nullptr, &items) < 0) {
            return out;
        }
        for (char** i = items; i && *i; ++i) {
            out.emplace_back(*i);
            free(*i);
        }
        free(items);
        return out;
    }

    // The title of the item's tool tip, or none when the item does not answer.
    std::optional<std::string> toolTip(const std::string& item) {
        sd_bus_message* reply = nullptr;
        std::optional<std::string> title;
        if (sd_bus_get_property(bus_, item.c_str(), "/StatusNotifierItem",
                                "org.kde.StatusNotifierItem", "ToolTip", nullptr, &reply,
                                "(sa(iiay)ss)") >= 0) {
            const char *icon = nullptr, *text = nullptr, *body = nullptr;
            if (sd_bus_message_enter_container(reply, 'r', "sa(iiay)ss") >= 0 &&
                sd_bus_message_read(reply, "s", &icon) >= 0 &&
                sd_bus_message_skip(reply, "a(iiay)") >= 0 &&
                sd_bus_message_read(reply, "ss", &text, &body) >= 0) {
                title = text;
            }
        }
        sd_bus_message_unref(reply);
        return title;
    }

    // The item's icon in the sizes it offers.
    std::vector<QImage> icons(const std::string& item) {
        std::vector<QImage> images;
        sd_bus_message* reply = nullptr;
        if (sd_bus_get_property(bus_, item.c_str(), "/StatusNotifierItem",
                                "org.kde.StatusNotifierItem", "IconPixmap", nullptr, &reply,
                                "a(iiay)") >= 0 &&
            sd_bus_message_enter_container(reply, 'a', "(iiay)") >= 0) {
            while (sd_bus_message_enter_container(reply, 'r', "iiay") > 0) {
                int width = 0, height = 0;
                const void* bytes = nullptr;
                size_t size = 0;
                sd_bus_message_read(reply, "ii", &width, &height);
                sd_bus_message_read_array(reply, 'y', &bytes, &size);
                sd_bus_message_exit_container(reply);
                if (size != static_cast<size_t>(width) * height * 4) continue;
                // Network byte order ARGB, as the tray protocol sends it.
                QImage image(width, height, QImage::Format_ARGB32);
                const auto* p = static_cast<const unsigned char*>(bytes);
                for (int y = 0; y < height; ++y) {
                    for (int x = 0; x < width; ++x, p += 4) {
                        image.setPixel(x, y, qRgba(p[1], p[2], p[3], p[0]));
                    }
                }
                images.push_back(image);
            }
        }
        sd_bus_message_unref(reply);
        return images;
    }

    // A click on the icon, as the panel passes it on.
    void activate(const std::string& item) {
        sd_bus_call_method(bus_, item.c_str(), "/StatusNotifierItem", "org.kde.StatusNotifierItem",
                           "Activate", nullptr, nullptr, "ii", 0, 0);
    }

    void setDriveTemperature(const std::string& disk, std::uint8_t celsius) {
        sd_bus_call_method(bus_, bus::kServiceName, bus::kObjectPath, bus::kSimulatorInterface,
                           "SetDriveTemperature", nullptr, nullptr, "sy", disk.c_str(), celsius);
    }

private:
    sd_bus* bus_ = nullptr;
};

// The settings windows running for the bus at `address`: the program's processes whose command
// line names it.
std::vector<pid_t> settingsWindows(const std::string& address) {
    std::vector<pid_t> found;
    std::error_code error;
    const auto program = std::filesystem::canonical(kBin + "/pane/drivetherm", error);
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code gone;
        if (std::filesystem::read_symlink(entry.path() / "exe", gone) != program || gone) continue;
        std::ifstream in(entry.path() / "cmdline");
        const std::string commandLine((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        if (commandLine.find(address) != std::string::npos) found.push_back(std::stoi(name));
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
        std::filesystem::create_directories(home + "/run");
        std::filesystem::permissions(home + "/run", std::filesystem::perms::owner_all);
        startDaemon();
        watcher = std::make_unique<testing::ChildProcess>(
            kBin + "/tests/gui/frontends/fake-status-notifier-watcher",
            std::vector<std::string>{bus.address()}, home + "/watcher.log");
        ASSERT_TRUE(testing::waitForName(bus.address(), "org.kde.StatusNotifierWatcher"));
        xvfb = std::make_unique<testing::ChildProcess>(
            kXvfb, std::vector<std::string>{"-displayfd", "1", "-screen", "0", "1024x768x24",
                                            "-nolisten", "tcp"},
            home + "/xvfb.log");
        // Xvfb picks a free display and writes its number on its first line.
        ASSERT_TRUE(eventually([&] {
            const std::string log = xvfb->log();
            const auto end = log.find('\n');
            if (end == std::string::npos || end == 0) return false;
            display = ":" + log.substr(0, end);
            return log.substr(0, end).find_first_not_of("0123456789") == std::string::npos;
        })) << xvfb->log();
    }
    void TearDown() override {
        for (const pid_t window : settingsWindows(bus.address())) ::kill(window, SIGTERM);
        if (HasFailure()) {
            for (auto* p : {monitor.get(), daemon.get(), watcher.get()}) {
                if (p) std::fprintf(stderr, "---\n%s", p->log().c_str());
            }
        }
        monitor.reset();
        watcher.reset();
        xvfb.reset();
        daemon.reset();
        if (!home.empty()) std::filesystem::remove_all(home);
    }

    // The shipped machine without its thermal model, so that a temperature set stays put.
    void startDaemon() {
        const std::string machine = home + "/machine.json";
        if (!std::filesystem::exists(machine)) {
            nlohmann::json description =
                nlohmann::json::parse(std::ifstream(DRIVETHERM_SOURCE_DIR "/machines/default.json"));
            description.erase("thermal");
            std::ofstream(machine) << description.dump(2);
        }
        daemon = std::make_unique<testing::ChildProcess>(
            kBin + "/daemon/drivethermd",
            std::vector<std::string>{"--bus", bus.address(), "--hardware", "sim:" + machine,
                                     "--state-dir", home, "--tick-interval", "50"},
            home + "/daemon.log");
        ASSERT_TRUE(testing::waitForName(bus.address(), bus::kServiceName)) << daemon->log();
    }

    void startMonitor(std::vector<std::string> environment, std::vector<std::string> options) {
        environment.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus.address());
        environment.push_back("XDG_RUNTIME_DIR=" + home + "/run");
        environment.push_back("XDG_CONFIG_HOME=" + home + "/config");
        std::vector<std::string> arguments = {"--bus", bus.address(), "--hardware",
                                              "sim:" + home + "/machine.json"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        monitor = std::make_unique<testing::ChildProcess>(kBin + "/monitor/drivetherm-monitor",
                                                          arguments, home + "/monitor.log",
                                                          environment);
    }

    // What the monitor's title should read for the daemon's last measurement.
    std::string expectedTitle() {
        DaemonProxy daemonClient = DbusDaemonClient::bind(bus.address());
        float celsius = 0;
        int rpm = 0;
        daemonClient.lastTemperature(&celsius, &rpm);
        char text[64];
        if (daemonClient.fahrenheit()) {
            std::snprintf(text, sizeof text, "%.0f \u00B0F / %drpm", celsius / 5.0 * 9 + 32, rpm);
        } else {
            std::snprintf(text, sizeof text, "%.0f \u00B0C / %drpm", celsius, rpm);
        }
        return text;
    }

    testing::PrivateBus bus;
    std::string home;
    std::string display;
    std::unique_ptr<testing::ChildProcess> daemon;
    std::unique_ptr<testing::ChildProcess> watcher;
    std::unique_ptr<testing::ChildProcess> xvfb;
    std::unique_ptr<testing::ChildProcess> monitor;
};

TEST_F(TrayMonitor, TheIconRegistersAndItsTitleFollowsTheDaemonAcrossAStopAndARestart) {
    startMonitor({"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"}, {"--poll-interval", "200"});
    Bus panel(bus.address());
    ASSERT_TRUE(panel);
    std::string item;
    ASSERT_TRUE(eventually([&] {
        const auto items = panel.registeredItems();
        if (!items.empty()) item = items.front();
        return !item.empty();
    })) << "the monitor's icon never registered";

    const std::regex reading("-?[0-9]+ \u00B0[CF] / -?[0-9]+rpm");
    std::string title;
    const auto titleIs = [&](const std::function<bool(const std::string&)>& wanted) {
        return eventually([&] {
            title = panel.toolTip(item).value_or("");
            return wanted(title);
        });
    };
    EXPECT_TRUE(titleIs([&](const std::string& t) { return t == expectedTitle(); })) << title;
    EXPECT_TRUE(std::regex_match(title, reading)) << title;

    // A hotter disk shows at the daemon's next temperature check.
    panel.setDriveTemperature("disk0", 66);
    EXPECT_TRUE(titleIs([](const std::string& t) { return t.rfind("66 \u00B0C / ", 0) == 0; }))
        << title;

    const std::vector<QImage> icons = panel.icons(item);
    ASSERT_FALSE(icons.empty());
    for (const QImage& icon : icons) {
        if (icon.width() == 22 || icon.width() == 44) {
            icon.save(QString::fromStdString(kArtifacts + "/tray-icon-" +
                                             std::to_string(icon.width()) + ".png"));
        }
    }

    ASSERT_EQ(daemon->stop(SIGTERM), 0);
    EXPECT_TRUE(titleIs([](const std::string& t) { return t == "Drivetherm not running"; }))
        << title;
    startDaemon();
    EXPECT_TRUE(titleIs([&](const std::string& t) { return std::regex_match(t, reading); }))
        << title;
    EXPECT_TRUE(monitor->running());
}

TEST_F(TrayMonitor, AClickOnTheIconOpensOneSettingsWindowOnTheSameBusAndMachine) {
    startMonitor({"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"}, {});
    Bus panel(bus.address());
    std::string item;
    ASSERT_TRUE(eventually([&] {
        const auto items = panel.registeredItems();
        if (!items.empty()) item = items.front();
        return !item.empty();
    }));
    panel.activate(item);
    ASSERT_TRUE(eventually([&] { return settingsWindows(bus.address()).size() == 1; }));
    const pid_t first = settingsWindows(bus.address()).front();
    std::ifstream in("/proc/" + std::to_string(first) + "/cmdline");
    std::string commandLine((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
    EXPECT_NE(commandLine.find("--hardware sim:" + home + "/machine.json"), std::string::npos)
        << commandLine;
    // The window listens for a second start once it is up.
    ASSERT_TRUE(eventually([&] {
        for (const auto& e : std::filesystem::directory_iterator(home + "/run")) {
            if (e.path().filename().string().rfind("drivetherm-settings-", 0) == 0) return true;
        }
        return false;
    }));

    panel.activate(item);
    std::this_thread::sleep_for(1500ms);  // time for a second window to start and hand over
    EXPECT_EQ(settingsWindows(bus.address()), std::vector<pid_t>{first});
    EXPECT_EQ(monitor->log().find("Got error dict"), std::string::npos) << monitor->log();
}

TEST(TrayMonitorWithoutATray, SaysSoInOneLineAndExitsWithStatusOne) {
    const std::string home = testing::makeTemporaryDirectory("drivetherm-no-tray");
    std::filesystem::permissions(home, std::filesystem::perms::owner_all);
    testing::ChildProcess monitor(kBin + "/monitor/drivetherm-monitor",
                                  {"--bus", "unix:path=" + home + "/no-bus", "--tray-wait", "0"},
                                  home + "/monitor.log",
                                  {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + home});
    const int status = monitor.stop(0, 10000);
    const std::string log = monitor.log();
    std::filesystem::remove_all(home);
    ASSERT_TRUE(WIFEXITED(status)) << log;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(log.find("no system tray"), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}

}  // namespace
}  // namespace drivetherm
