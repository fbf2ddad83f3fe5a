// SPDX-License-Identifier: GPL-2.0-or-later
// One poll of the settings window against the real daemon on a private bus and the simulated
// machine: the fresh measurement and the settings over the bus (on the window's worker thread),
// the two fields and the graph's readings (on the window's thread). The second figure adds the
// repaint the poll asks for.
//   frontends_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "common/DataPaths.h"
#include "frontends/FrontendOptions.h"
#include "frontends/QtTimerFactory.h"
#include "pane/InstalledDrives.h"
#include "pane/PreferenceWindow.h"
#include "protocol/BusNames.h"
#include "protocol/DbusDaemonClient.h"
#include "tests/support/PrivateBus.h"

namespace drivetherm {
namespace {

// The bus, the daemon and the window, made once for every benchmark.
struct Rig {
    Rig() : state(testing::makeTemporaryDirectory("drivetherm-poll-bench")) {
        daemon = std::make_unique<testing::ChildProcess>(
            DRIVETHERM_BINARY_DIR "/daemon/drivethermd",
            std::vector<std::string>{"--bus", bus.address(), "--hardware", "sim", "--state-dir",
                                     state},
            state + "/daemon.log");
        if (!testing::waitForName(bus.address(), bus::kServiceName)) {
            std::fprintf(stderr, "the daemon did not start:\n%s", daemon->log().c_str());
            std::exit(1);
        }
        FrontendOptions sim;
        sim.machine.kind = MachineChoice::Kind::Simulated;
        sim.machine.machineFile = defaultMachineFile();
        drives = InstalledDrives::open(sim.machine);
        window = std::make_unique<PreferenceWindow>(
            [address = bus.address()] { return DbusDaemonClient::bind(address); }, timers,
            &drives->walk());
        window->show();
        QApplication::processEvents();
    }
    ~Rig() {
        window.reset();
        daemon->stop(SIGTERM);
        std::filesystem::remove_all(state);
    }

    testing::PrivateBus bus;
    std::string state;
    std::unique_ptr<testing::ChildProcess> daemon;
    std::unique_ptr<InstalledDrives> drives;
    QtTimerFactory timers;
    std::unique_ptr<PreferenceWindow> window;
};

Rig* rig = nullptr;

// Asking for a poll and taking its answer: the call runs on the window's worker, the answer
// comes back through the event loop.
void answered() {
    while (rig->window->pane().isBusy()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 5);
    }
}

void pollCycle(benchmark::State& state) {
    for (auto _ : state) {
        rig->window->pane().updateOutput();
        answered();
    }
}
BENCHMARK(pollCycle)->Unit(benchmark::kMicrosecond);

void pollCycleWithRepaint(benchmark::State& state) {
    for (auto _ : state) {
        rig->window->pane().updateOutput();
        answered();
        // The graph and the two fields repaint on the next pass of the event loop.
        QApplication::processEvents();
    }
}
BENCHMARK(pollCycleWithRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace drivetherm

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    char runtime[] = "/tmp/drivetherm-bench-XXXXXX";
    if (!::mkdtemp(runtime)) return 2;
    ::setenv("XDG_RUNTIME_DIR", runtime, 1);
    benchmark::Initialize(&argc, argv);
    {
        QApplication app(argc, argv);
        drivetherm::Rig rig;
        drivetherm::rig = &rig;
        benchmark::RunSpecifiedBenchmarks();
        drivetherm::rig = nullptr;
    }
    benchmark::Shutdown();
    std::filesystem::remove_all(runtime);
    return 0;
}
