// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "bindings/KeyValueObject.h"
#include "bindings/ObjectController.h"
#include "frontends/RepeatingTimer.h"
#include "monitor/LaunchAtLoginController.h"
#include "monitor/MonitorPlatform.h"
#include "monitor/StatusItem.h"
#include "protocol/DaemonCalls.h"

namespace drivetherm {

class TempTransformer;

// The tray monitor: the temperature the daemon last measured and the fan's actual speed as the
// tray's title ("45 °C / 2000rpm"), brought up to date every five seconds, and the actions of its
// menu. It holds no setting of its own: the unit lives in the daemon, the login item in the
// user's autostart directory.
//
// When the daemon is absent or has gone away the title reads "Drivetherm not running" and the
// monitor binds again at each update, so it follows the daemon across a restart.
//
// The tray never waits on the bus: each update is handed to DaemonCalls and the title changes
// when the answer comes; an update still on its way is not doubled. Above the upper threshold
// the title is marked hot.
//
// Bindable keys, through fileOwnerController() as "selection.<key>": fahrenheit (the daemon's
// unit), launchAtLogin, versionInfo (read-only).
class MonitorAppDelegate : public KeyValueObject {
public:
    static constexpr std::chrono::milliseconds kUpdateInterval{5000};

    // Makes the login-item controller for one question or change.
    using LoginItems = std::function<LaunchAtLoginController()>;

    struct Settings {
        std::string version;
        std::string webSite;
        std::chrono::milliseconds updateInterval = kUpdateInterval;
    };

    MonitorAppDelegate(StatusItem& statusItem, MonitorPlatform& platform,
                       std::unique_ptr<DaemonCalls> daemon, TimerFactory& timers,
                       LoginItems loginItems, Settings settings);
    ~MonitorAppDelegate() override;

    // The three titles.
    static StatusTitle startTitle();
    static StatusTitle readingTitle(const std::string& temperature, int fanRpm, bool hot = false);
    static StatusTitle notRunningTitle();

    // Start: the program's name as title, a first update at once (which brings the unit), every
    // binding read afresh, then the repeating update.
    void awakeFromNib();
    // The timer's target. Everything runs on the user-interface thread, so it performs
    // mainThreadUpdater directly.
    void updateOutput();
    // One update of the title from the daemon's last measurement.
    void mainThreadUpdater();

    // Menu actions.
    void showPrefs();
    void showAbout();
    void openWebSite();
    // Stops the timer first, then ends the application on the next pass of its event loop.
    void quit();

    std::string versionInfo() const { return settings_.version; }
    bool launchAtLogin();
    void setLaunchAtLogin(bool enabled);
    bool fahrenheit();
    void setFahrenheit(bool fahrenheit);

    ObjectController& fileOwnerController() { return fileOwnerController_; }
    // The daemon answered the last update.
    bool isConnected() const { return connected_; }

protected:
    // A switch that writes none (none ever should) changes nothing.
    void setNilValueForKey(const std::string& key) override;

private:
    void applyFahrenheit(bool fahrenheit);
    void applyLaunchAtLogin(bool enabled);
    void unreachable();
    void retitle();

    StatusItem& statusItem_;
    MonitorPlatform& platform_;
    std::unique_ptr<DaemonCalls> daemon_;
    TimerFactory& timers_;
    LoginItems loginItems_;
    Settings settings_;
    std::shared_ptr<TempTransformer> transformer_;
    std::unique_ptr<RepeatingTimer> timer_;
    ObjectController fileOwnerController_;
    bool quitting_ = false;
    bool updating_ = false;
    bool connected_ = false;
    // What the daemon said last: the unit, the reading and the upper threshold.
    bool fahrenheit_ = false;
    float temperature_ = 0;
    int fanRpm_ = 0;
    float upperThreshold_ = 0;
    // Answers that arrive after the monitor is gone are dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace drivetherm
