// SPDX-License-Identifier: GPL-2.0-or-later
#include "monitor/MonitorAppDelegate.h"

#include "bindings/TransformerRegistry.h"
#include "common/Log.h"
#include "frontends/TempTransformer.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "monitor";
constexpr double kTitleSize = 12.0;
constexpr double kNotRunningSize = 9.0;

}  // namespace

MonitorAppDelegate::MonitorAppDelegate(StatusItem& statusItem, MonitorPlatform& platform,
                                       std::unique_ptr<DaemonCalls> daemon, TimerFactory& timers,
                                       LoginItems loginItems, Settings settings)
    : statusItem_(statusItem),
      platform_(platform),
      daemon_(std::move(daemon)),
      timers_(timers),
      loginItems_(std::move(loginItems)),
      settings_(std::move(settings)),
      transformer_(std::make_shared<TempTransformer>()) {
    registerKey<bool>(
        "fahrenheit", [this] { return fahrenheit(); }, [this](bool v) { applyFahrenheit(v); });
    registerKey<bool>(
        "launchAtLogin", [this] { return launchAtLogin(); },
        [this](bool v) { applyLaunchAtLogin(v); });
    registerKey<std::string>("versionInfo", [this] { return versionInfo(); });
}

MonitorAppDelegate::~MonitorAppDelegate() {
    *alive_ = false;
    if (timer_) timer_->invalidate();
}

StatusTitle MonitorAppDelegate::startTitle() {
    return {"Drivetherm", kTitleSize};
}

StatusTitle MonitorAppDelegate::readingTitle(const std::string& temperature, int fanRpm, bool hot) {
    return {temperature + " / " + std::to_string(fanRpm) + "rpm", kTitleSize, hot};
}

StatusTitle MonitorAppDelegate::notRunningTitle() {
    return {"Drivetherm not running", kNotRunningSize};
}

void MonitorAppDelegate::awakeFromNib() {
    statusItem_.setTitle(startTitle());
    TransformerRegistry::setValueTransformer(transformer_, "TempTransformer");
    transformer_->setFahrenheit(fahrenheit());
    updateOutput();
    fileOwnerController_.setContent(nullptr);
    fileOwnerController_.setContent(this);
    timer_ = timers_.scheduledTimer(settings_.updateInterval, [this] { updateOutput(); });
}

void MonitorAppDelegate::updateOutput() {
    if (!quitting_) mainThreadUpdater();
}

void MonitorAppDelegate::mainThreadUpdater() {
    // A slow daemon: the next update waits for this one instead of queueing up.
    if (updating_) return;
    updating_ = true;
    struct Answer {
        float temperature = 0;
        int fanRpm = 0;
        bool fahrenheit = false;
        float upper = 0;
    };
    auto answer = std::make_shared<Answer>();
    daemon_->submit(
        [answer](DaemonProtocol& d) {
            // The unit is read in the same call: the daemon may go away between two calls.
            d.lastTemperature(&answer->temperature, &answer->fanRpm);
            answer->fahrenheit = d.fahrenheit();
            answer->upper = d.upperThreshold();
        },
        [this, alive = alive_, answer](const DaemonCalls::Result& result) {
            if (!*alive) return;
            updating_ = false;
            if (quitting_) return;
            if (!result.ok()) {
                log::info(kTag, "%s", result.message.c_str());
                unreachable();
                return;
            }
            connected_ = true;
            temperature_ = answer->temperature;
            fanRpm_ = answer->fanRpm;
            upperThreshold_ = answer->upper;
            if (answer->fahrenheit != fahrenheit_) {
                // Switched elsewhere (the settings window): the menu's switch reads again.
                fahrenheit_ = answer->fahrenheit;
                transformer_->setFahrenheit(fahrenheit_);
                fileOwnerController_.setContent(nullptr);
                fileOwnerController_.setContent(this);
            }
            retitle();
        });
}

void MonitorAppDelegate::retitle() {
    const bool hot = temperature_ > 0 && upperThreshold_ > 0 && temperature_ > upperThreshold_;
    statusItem_.setTitle(
        readingTitle(transformer_->transformedTemperature(temperature_), fanRpm_, hot));
}

void MonitorAppDelegate::unreachable() {
    connected_ = false;
    statusItem_.setTitle(notRunningTitle());
}

void MonitorAppDelegate::showPrefs() {
    if (const auto error = platform_.startSettings()) {
        log::error(kTag, "Got error dict %s", error->c_str());
    }
}

void MonitorAppDelegate::showAbout() {
    platform_.showAboutWindow();
}

void MonitorAppDelegate::openWebSite() {
    platform_.openUrl(settings_.webSite);
}

void MonitorAppDelegate::quit() {
    quitting_ = true;
    if (timer_) {
        timer_->invalidate();
        timer_.reset();
    }
    platform_.terminateSoon();
}

bool MonitorAppDelegate::launchAtLogin() {
    return loginItems_ && loginItems_().launchAtLogin();
}

void MonitorAppDelegate::setLaunchAtLogin(bool enabled) {
    setValueForKey(Value(enabled), "launchAtLogin");
}

void MonitorAppDelegate::applyLaunchAtLogin(bool enabled) {
    if (loginItems_) loginItems_().setLaunchAtLogin(enabled);
}

bool MonitorAppDelegate::fahrenheit() {
    return fahrenheit_;
}

void MonitorAppDelegate::setFahrenheit(bool fahrenheit) {
    setValueForKey(Value(fahrenheit), "fahrenheit");
}

void MonitorAppDelegate::applyFahrenheit(bool fahrenheit) {
    const bool before = fahrenheit_;
    fahrenheit_ = fahrenheit;
    transformer_->setFahrenheit(fahrenheit);
    if (connected_) retitle();
    daemon_->submit(
        [fahrenheit](DaemonProtocol& d) { d.setFahrenheit(fahrenheit); },
        [this, alive = alive_, before](const DaemonCalls::Result& result) {
            if (!*alive) return;
            if (result.outcome == DaemonCalls::Outcome::Refused) {
                platform_.showNotice("The unit was not changed: " + result.message + ".");
                fahrenheit_ = before;
                transformer_->setFahrenheit(before);
                fileOwnerController_.setContent(nullptr);
                fileOwnerController_.setContent(this);
            } else if (!result.ok()) {
                // The update below shows the daemon as not running.
                log::info(kTag, "%s", result.message.c_str());
            }
            updateOutput();
        });
}

void MonitorAppDelegate::setNilValueForKey(const std::string& key) {
    log::warning(kTag, "ignored an empty value for %s", key.c_str());
}

}  // namespace drivetherm
