// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QMenu>
#include <QObject>
#include <QStringList>
#include <QSystemTrayIcon>
#include <memory>
#include <optional>
#include <vector>

#include "bindings/KeyValueBinding.h"
#include "monitor/MonitorPlatform.h"
#include "monitor/SettingsLauncher.h"
#include "monitor/StatusItem.h"

class QAction;

namespace drivetherm {

class AboutWindow;
class MonitorAppDelegate;

// The monitor on the desktop: the tray icon with the title drawn into it and as its tool tip,
// its menu (settings, unit, launch at login, about, web site, quit) and the About window.
class TrayMonitor final : public QObject, public StatusItem, public MonitorPlatform {
    Q_OBJECT

public:
    // `settingsArguments` go to the settings window when the menu starts it.
    explicit TrayMonitor(QStringList settingsArguments);
    ~TrayMonitor() override;

    // Builds the menu's actions and bindings on the monitor's controller.
    void attach(MonitorAppDelegate& delegate);
    // Puts the icon into the tray; the first title should be set by then.
    void show() { tray_.show(); }

    // StatusItem
    void setTitle(const StatusTitle& title) override;

    // MonitorPlatform
    void terminateSoon() override;
    std::optional<std::string> startSettings() override;
    void showAboutWindow() override;
    void openUrl(const std::string& url) override;
    void showNotice(const std::string& message) override;

private:
    // A check box of the menu bound to a flag of the monitor.
    QAction* addSwitch(const QString& text, const char* keyPath);

    SettingsLauncher launcher_;
    // The reading in words at the top of the menu: the icon has room for the temperature only.
    QAction* reading_ = nullptr;
    QSystemTrayIcon tray_;
    QMenu menu_;
    MonitorAppDelegate* delegate_ = nullptr;
    std::unique_ptr<AboutWindow> about_;
    // What the icon shows now: an unchanged title is not drawn and sent to the panel again.
    std::optional<StatusTitle> title_;
    std::vector<std::unique_ptr<KeyValueBinding>> bindings_;
};

}  // namespace drivetherm
