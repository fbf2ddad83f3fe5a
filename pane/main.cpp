// SPDX-License-Identifier: GPL-2.0-or-later
// drivetherm: the settings window. Wires the options, the disks for the drive chooser, the one
// window per user and daemon, and the window's connection to the daemon.
#include <time.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "common/DataPaths.h"
#include "frontends/AppIcon.h"
#include "frontends/FrontendOptions.h"
#include "frontends/QtTimerFactory.h"
#include "pane/InstalledDrives.h"
#include "pane/PreferenceWindow.h"
#include "pane/SingleInstance.h"
#include "protocol/DbusDaemonClient.h"

using namespace drivetherm;

namespace {

std::int64_t realtimeNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    const auto options = parseFrontendOptions(arguments, FrontendOptions::Program::Settings,
                                              defaultMachineFile(), error);
    if (!options) {
        std::fprintf(stderr, "drivetherm: %s\n", error.c_str());
        return 2;
    }
    if (options->showHelp) {
        std::fputs(frontendUsage(FrontendOptions::Program::Settings, "drivetherm").c_str(), stdout);
        return 0;
    }
    if (options->showVersion) {
        std::printf("drivetherm %s\n", DRIVETHERM_VERSION);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("drivetherm");
    QApplication::setApplicationDisplayName("Drivetherm");
    QApplication::setApplicationVersion(DRIVETHERM_VERSION);
    QApplication::setDesktopFileName("drivetherm");
    QApplication::setWindowIcon(appIcon());

    SingleInstance instance(QString::fromStdString(options->bus));
    const bool once = options->quitAfterFirstPaint || !options->screenshot.empty();
    if (!once && instance.askRunningInstanceToRaise()) return 0;

    std::unique_ptr<InstalledDrives> drives;
    try {
        drives = InstalledDrives::open(options->machine);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "drivetherm: %s\n", e.what());
        return 1;
    }

    QtTimerFactory timers;
    const std::string bus = options->bus;
    PreferenceWindow window([bus] { return DbusDaemonClient::bind(bus); }, timers, &drives->walk());
    int result = 0;
    if (once) {
        window.setFirstPaintHook([&] {
            if (options->quitAfterFirstPaint) {
                const auto ms = std::chrono::duration<double, std::milli>(
                                    std::chrono::steady_clock::now() - started)
                                    .count();
                std::printf("first-paint realtime-ns %lld main-ms %.1f\n",
                            static_cast<long long>(realtimeNs()), ms);
                std::fflush(stdout);
            }
            // After this paint has finished, not from inside it; a picture waits (a few seconds
            // at most) for the daemon's first answer, so that it shows the daemon's values.
            auto* waitForAnswer = new QTimer(&window);
            const auto shown = std::chrono::steady_clock::now();
            QObject::connect(waitForAnswer, &QTimer::timeout, &window, [&, waitForAnswer, shown] {
                const bool answered = window.pane().isConnected() && !window.pane().isBusy();
                if (!options->quitAfterFirstPaint && !answered &&
                    std::chrono::steady_clock::now() - shown < std::chrono::seconds(5)) {
                    return;
                }
                waitForAnswer->stop();
                const QString file = QString::fromStdString(options->screenshot);
                if (!file.isEmpty() && !window.grab().save(file, "PNG")) {
                    std::fprintf(stderr, "drivetherm: cannot save the picture in %s\n",
                                 qPrintable(file));
                    result = 1;
                }
                QApplication::quit();
            });
            waitForAnswer->start(options->quitAfterFirstPaint ? 0 : 50);
        });
    } else {
        QObject::connect(&instance, &SingleInstance::raiseRequested, &window,
                         &PreferenceWindow::bringToFront);
        instance.listen();
    }
    window.show();
    const int status = app.exec();
    return result != 0 ? result : status;
}
