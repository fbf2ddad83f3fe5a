// SPDX-License-Identifier: GPL-2.0-or-later
// How long the settings window's thread is held while the daemon is stuck in a slow SMART read
// (the simulated disk times out, and the daemon retries for about six seconds), while the window
// polls and the user changes a setting, for `seconds` (default 20): the longest single event the
// window's thread handled, and the longest lateness of a 5 ms timer on it (which also counts
// what the rest of a busy machine takes from the process). For comparison, how long one call
// made on the window's thread would have waited.
//   frontends_stall_bench [seconds]
#include <signal.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "common/DataPaths.h"
#include "frontends/FrontendOptions.h"
#include "frontends/QtTimerFactory.h"
#include "pane/InstalledDrives.h"
#include "pane/PreferenceWindow.h"
#include "protocol/BusNames.h"
#include "protocol/DbusDaemonClient.h"
#include "protocol/SimulatorClient.h"
#include "tests/support/PrivateBus.h"

using namespace drivetherm;

namespace {

// The application, timing every event it hands to a receiver on the window's thread: a call that
// waited on the bus would show here as one long event, whatever else the machine is doing.
class TimedApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --depth_;
            return handled;
        }
        QElapsedTimer timer;
        timer.start();
        const bool handled = QApplication::notify(receiver, event);
        const qint64 took = timer.nsecsElapsed();
        if (measuring && took > longest) {
            longest = took;
            longestType = event->type();
        }
        --depth_;
        return handled;
    }
    bool measuring = false;
    qint64 longest = 0;
    int longestType = 0;

private:
    int depth_ = 0;
};

double loadAverage() {
    double load = 0;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = 0;
        std::fclose(f);
    }
    return load;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 20;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    char runtime[] = "/tmp/drivetherm-bench-XXXXXX";
    if (!::mkdtemp(runtime)) return 2;
    ::setenv("XDG_RUNTIME_DIR", runtime, 1);
    TimedApplication app(argc, argv);

    testing::PrivateBus bus;
    const std::string state = testing::makeTemporaryDirectory("drivetherm-stall-bench");
    testing::ChildProcess daemon(
        DRIVETHERM_BINARY_DIR "/daemon/drivethermd",
        {"--bus", bus.address(), "--hardware", "sim", "--state-dir", state}, state + "/daemon.log");
    if (!testing::waitForName(bus.address(), bus::kServiceName)) {
        std::fprintf(stderr, "the daemon did not start:\n%s", daemon.log().c_str());
        return 1;
    }
    std::string error;
    const auto simulator = SimulatorClient::connect(bus.address(), error);
    if (!simulator) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    simulator->setDriveFault("disk0", "timeout");

    // What the window did before: one fresh measurement on its own thread.
    QElapsedTimer direct;
    direct.start();
    {
        DaemonProxy client = DbusDaemonClient::bind(bus.address());
        float t = 0;
        int rpm = 0;
        client.temperature(&t, &rpm);
    }
    const double synchronousMs = static_cast<double>(direct.nsecsElapsed()) / 1e6;

    FrontendOptions sim;
    sim.machine.kind = MachineChoice::Kind::Simulated;
    sim.machine.machineFile = defaultMachineFile();
    auto drives = InstalledDrives::open(sim.machine);
    QtTimerFactory timers;
    auto window = std::make_unique<PreferenceWindow>(
        [address = bus.address()] { return DbusDaemonClient::bind(address); }, timers,
        &drives->walk());
    window->show();
    // The first paint (fonts, layout) is the window's start, not a stall: let it pass.
    QElapsedTimer warm;
    warm.start();
    while (warm.elapsed() < 1000) QApplication::processEvents(QEventLoop::AllEvents, 50);

    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    int ticks = 0, busyTicks = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
        ++ticks;
        busyTicks += window->pane().isBusy();
    });
    beat.start(5);
    app.measuring = true;
    // The user polls harder than the timer does and changes a setting now and then.
    QTimer user;
    int step = 0;
    QObject::connect(&user, &QTimer::timeout, [&] {
        window->pane().updateOutput();
        if (++step % 3 == 0) window->pane().setBaseRpm(1100 + 50 * (step % 2));
    });
    user.start(1000);
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();

    std::printf("slow disk (SMART read timing out, the daemon retrying)\n");
    std::printf("  one call on the window's thread would wait: %.0f ms\n", synchronousMs);
    std::printf("  longest event handled on the GUI thread: %.1f ms (event type %d)\n",
                static_cast<double>(app.longest) / 1e6, app.longestType);
    std::printf(
        "  longest gap of a 5 ms timer on the GUI thread over %d s: %.1f ms late (%d ticks;"
        " load average %.1f on %u cores)\n",
        seconds, static_cast<double>(longest) / 1e6 - 5.0, ticks, loadAverage(),
        std::thread::hardware_concurrency());
    std::printf("  ticks with a daemon call on its way (busy shown): %d\n", busyTicks);
    window.reset();
    daemon.stop(SIGTERM);
    std::filesystem::remove_all(state);
    std::filesystem::remove_all(runtime);
    return 0;
}
