// SPDX-License-Identifier: GPL-2.0-or-later
// drivetherm-monitor: the tray monitor. Wires the options, the tray, the timer and the
// monitor's connection to the daemon; waits for a tray when the desktop has none yet.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <cstring>

#include "common/DataPaths.h"
#include "common/Log.h"
#include "frontends/AppIcon.h"
#include "frontends/FrontendOptions.h"
#include "frontends/GuiThread.h"
#include "frontends/QtTimerFactory.h"
#include "monitor/DesktopNotification.h"
#include "monitor/MonitorAppDelegate.h"
#include "monitor/TrayMonitor.h"
#include "protocol/DaemonWorker.h"
#include "protocol/DbusDaemonClient.h"

using namespace drivetherm;

namespace {

// The web-site item's address: the one this build was given, or the README that came with the
// program.
std::string webSite() {
    if (std::strlen(DRIVETHERM_WEBSITE) > 0) return DRIVETHERM_WEBSITE;
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    const QString readme = self.startsWith(DRIVETHERM_BUILD_TREE "/")
                               ? QStringLiteral(DRIVETHERM_SOURCE_TREE "/README.md")
                               : QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                                 "/" DRIVETHERM_DOCS_FROM_PROGRAM "/README.md");
    return QUrl::fromLocalFile(readme).toString().toStdString();
}

// A monitor started at login may come up before the desktop's panel does, and a desktop may
// have no tray until the user adds one: the monitor waits for it, however long, and says so once
// (in the journal, and on the desktop where a notification service listens).
void waitForTray(std::chrono::milliseconds patience) {
    QElapsedTimer waited;
    waited.start();
    bool said = false;
    while (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (!said && waited.elapsed() >= patience.count()) {
            said = true;
            const std::string line =
                "this desktop shows no system tray yet; the temperature appears as soon as one "
                "does (drivetherm shows it meanwhile)";
            log::warning("monitor", "%s", line.c_str());
            notifyDesktop("Drivetherm Monitor",
                          QCoreApplication::translate(
                              "main",
                              "Waiting for a system tray to show the disk temperature in. Open "
                              "Drivetherm to see it meanwhile.")
                              .toStdString());
        }
        QEventLoop pause;
        QTimer::singleShot(250, &pause, &QEventLoop::quit);
        pause.exec();
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    const auto options = parseFrontendOptions(arguments, FrontendOptions::Program::Monitor,
                                              defaultMachineFile(), error);
    if (!options) {
        std::fprintf(stderr, "drivetherm-monitor: %s\n", error.c_str());
        return 2;
    }
    if (options->showHelp) {
        std::fputs(frontendUsage(FrontendOptions::Program::Monitor, "drivetherm-monitor").c_str(),
                   stdout);
        return 0;
    }
    if (options->showVersion) {
        std::printf("drivetherm-monitor %s\n", DRIVETHERM_VERSION);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("drivetherm-monitor");
    QApplication::setApplicationDisplayName("Drivetherm Monitor");
    QApplication::setApplicationVersion(DRIVETHERM_VERSION);
    QApplication::setDesktopFileName("drivetherm-monitor");
    QApplication::setWindowIcon(appIcon());
    // The About window closing is not the end of the monitor.
    QApplication::setQuitOnLastWindowClosed(false);

    waitForTray(options->trayWait);

    QStringList passOn;
    for (const std::string& argument : options->passOn()) {
        passOn << QString::fromStdString(argument);
    }
    TrayMonitor tray(passOn);
    QtTimerFactory timers;
    const std::string bus = options->bus;
    MonitorAppDelegate delegate(
        tray, tray,
        std::make_unique<DaemonWorker>([bus] { return DbusDaemonClient::bind(bus); },
                                       &postToGuiThread),
        timers, [] { return LaunchAtLoginController(); },
        MonitorAppDelegate::Settings{DRIVETHERM_VERSION, webSite(), options->pollInterval});
    tray.attach(delegate);
    delegate.awakeFromNib();
    tray.show();
    return app.exec();
}
