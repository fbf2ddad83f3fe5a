// SPDX-License-Identifier: GPL-2.0-or-later
#include "monitor/TrayMonitor.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>

#include "common/Log.h"
#include "monitor/AboutWindow.h"
#include "monitor/MonitorAppDelegate.h"
#include "monitor/TrayIconPainter.h"

namespace drivetherm {
namespace {

constexpr int kNoticeMs = 8000;

}  // namespace

TrayMonitor::TrayMonitor(QStringList settingsArguments) : launcher_(std::move(settingsArguments)) {}

TrayMonitor::~TrayMonitor() {
    bindings_.clear();
    tray_.hide();
}

void TrayMonitor::attach(MonitorAppDelegate& delegate) {
    delegate_ = &delegate;
    about_ = std::make_unique<AboutWindow>(delegate.fileOwnerController());

    reading_ = menu_.addAction(title_ ? QString::fromStdString(title_->text) : QString());
    reading_->setEnabled(false);
    menu_.addSeparator();
    menu_.addAction(tr("Open Drivetherm &Settings\u2026"), [this] { delegate_->showPrefs(); });
    menu_.addSeparator();
    addSwitch(tr("Show Temperatures in &Fahrenheit"), "selection.fahrenheit");
    addSwitch(tr("Start at &Login"), "selection.launchAtLogin");
    menu_.addSeparator();
    menu_.addAction(tr("&About Drivetherm Monitor"), [this] { delegate_->showAbout(); });
    menu_.addAction(tr("Drivetherm &Web Site"), [this] { delegate_->openWebSite(); });
    menu_.addSeparator();
    menu_.addAction(tr("&Quit"), [this] { delegate_->quit(); });
    // The unit may have been switched in the settings window and the login item elsewhere:
    // the switches read again each time the menu opens.
    connect(&menu_, &QMenu::aboutToShow, this, [this] {
        for (const auto& binding : bindings_) binding->refresh();
    });
    tray_.setContextMenu(&menu_);
    // A click on the icon opens the settings, as most tray programs do; the menu is on the
    // other button.
    connect(&tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger) delegate_->showPrefs();
            });
}

QAction* TrayMonitor::addSwitch(const QString& text, const char* keyPath) {
    QAction* action = menu_.addAction(text);
    action->setCheckable(true);
    auto binding = std::make_unique<KeyValueBinding>(delegate_->fileOwnerController(), keyPath,
                                                     [action](const Value& v) {
                                                         const QSignalBlocker quiet(action);
                                                         action->setEnabled(!isControllerMarker(v));
                                                         action->setChecked(v.boolValue());
                                                     });
    connect(action, &QAction::toggled, this, [this, b = binding.get()](bool on) {
        try {
            b->write(on);
        } catch (const std::exception& e) {
            showNotice(e.what());
        }
    });
    bindings_.push_back(std::move(binding));
    return action;
}

void TrayMonitor::setTitle(const StatusTitle& title) {
    if (title_ == title) return;
    title_ = title;
    tray_.setIcon(TrayIconPainter::icon(title));
    QString words = QString::fromStdString(title.text);
    if (title == MonitorAppDelegate::notRunningTitle()) {
        words = tr("The fan daemon is not running (systemctl start drivethermd)");
    } else if (title.hot) {
        words = tr("%1 \u2014 above the upper threshold").arg(words);
    }
    tray_.setToolTip(words);
    if (reading_) reading_->setText(words);
}

void TrayMonitor::terminateSoon() {
    QTimer::singleShot(0, qApp, &QApplication::quit);
}

std::optional<std::string> TrayMonitor::startSettings() {
    return launcher_.start();
}

void TrayMonitor::showAboutWindow() {
    if (about_) about_->bringToFront();
}

void TrayMonitor::openUrl(const std::string& url) {
    if (!QDesktopServices::openUrl(QUrl(QString::fromStdString(url)))) {
        log::warning("monitor", "no browser opened %s", url.c_str());
    }
}

void TrayMonitor::showNotice(const std::string& message) {
    log::warning("monitor", "%s", message.c_str());
    tray_.showMessage(tr("Drivetherm"), QString::fromStdString(message), QSystemTrayIcon::Warning,
                      kNoticeMs);
}

}  // namespace drivetherm
