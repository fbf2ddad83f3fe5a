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
                                       DaemonBinder binder, TimerFactory& timers,
                                       LoginItems loginItems, Settings settings)
    : statusItem_(statusItem),
      platform_(platform),
      binder_(std::move(binder)),
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
    if (timer_) timer_->invalidate();
}

StatusTitle MonitorAppDelegate::startTitle() {
    return {"Drivetherm", kTitleSize};
}

StatusTitle MonitorAppDelegate::readingTitle(const std::string& temperature, int fanRpm) {
    return {temperature + " / " + std::to_string(fanRpm) + "rpm", kTitleSize};
}

StatusTitle MonitorAppDelegate::notRunningTitle() {
    return {"Drivetherm not running", kNotRunningSize};
}

void MonitorAppDelegate::awakeFromNib() {
    statusItem_.setTitle(startTitle());
    bind();
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
    float temperature = 0.0f;
    int rpm = 0;
    if (daemon_.isNone()) {
        unreachable();
        return;
    }
    // The unit is read inside the same guard: the daemon may go away between the two calls.
    try {
        daemon_.lastTemperature(&temperature, &rpm);
        transformer_->setFahrenheit(daemon_.fahrenheit());
    } catch (const DaemonError& e) {
        log::info(kTag, "%s", e.what());
        unreachable();
        return;
    }
    statusItem_.setTitle(readingTitle(transformer_->transformedTemperature(temperature), rpm));
}

void MonitorAppDelegate::unreachable() {
    statusItem_.setTitle(notRunningTitle());
    bind();
}

void MonitorAppDelegate::bind() {
    daemon_ = binder_ ? binder_() : DaemonProxy();
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
    try {
        return daemon_.fahrenheit();
    } catch (const DaemonError&) {
        return false;
    }
}

void MonitorAppDelegate::setFahrenheit(bool fahrenheit) {
    setValueForKey(Value(fahrenheit), "fahrenheit");
}

void MonitorAppDelegate::applyFahrenheit(bool fahrenheit) {
    try {
        daemon_.setFahrenheit(fahrenheit);
        transformer_->setFahrenheit(fahrenheit);
    } catch (const DaemonRefused& e) {
        platform_.showNotice(std::string("The unit was not changed: ") + e.what() + ".");
    } catch (const DaemonError& e) {
        log::info(kTag, "%s", e.what());  // the update below shows the daemon as not running
    }
    updateOutput();
}

void MonitorAppDelegate::setNilValueForKey(const std::string& key) {
    log::warning(kTag, "ignored an empty value for %s", key.c_str());
}

}  // namespace drivetherm
