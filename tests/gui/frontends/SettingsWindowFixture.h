// SPDX-License-Identifier: GPL-2.0-or-later
// The settings window offscreen against the real daemon on a private bus and the simulated
// machine, as the window tests share it.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>

#include "common/DataPaths.h"
#include "frontends/FrontendOptions.h"
#include "frontends/QtTimerFactory.h"
#include "pane/InstalledDrives.h"
#include "pane/PreferenceWindow.h"
#include "protocol/BusNames.h"
#include "protocol/DbusDaemonClient.h"
#include "slider/SMDoubleSlider.h"
#include "tests/support/PrivateBus.h"

namespace drivetherm {

inline const std::string kArtifacts = DRIVETHERM_BINARY_DIR "/tests/gui/frontends";
inline const std::string kDaemon = DRIVETHERM_BINARY_DIR "/daemon/drivethermd";
inline const std::string kSettings = DRIVETHERM_BINARY_DIR "/pane/drivetherm";

inline QPoint toPoint(const SliderPoint& p) {
    return QPoint(qRound(p.x), qRound(p.y));
}

class SettingsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        state = testing::makeTemporaryDirectory("drivetherm-window");
        if (startWithDaemon) startDaemon();
        FrontendOptions sim;
        sim.machine.kind = MachineChoice::Kind::Simulated;
        sim.machine.machineFile = defaultMachineFile();
        drives = InstalledDrives::open(sim.machine);
        window = std::make_unique<PreferenceWindow>(
            [address = bus.address()] { return DbusDaemonClient::bind(address); }, timers,
            &drives->walk());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        settle();
        if (startWithDaemon) {
            client = DbusDaemonClient::bind(bus.address());
            ASSERT_FALSE(client.isNone());
        }
    }
    void TearDown() override {
        window.reset();
        drives.reset();
        if (HasFailure() && daemon) std::fprintf(stderr, "daemon log:\n%s", daemon->log().c_str());
        daemon.reset();
        std::filesystem::remove_all(state);
    }

    void startDaemon(const std::string& stateDir = {}) {
        daemon = std::make_unique<testing::ChildProcess>(
            kDaemon,
            std::vector<std::string>{"--bus", bus.address(), "--hardware", "sim", "--state-dir",
                                     stateDir.empty() ? state : stateDir, "--tick-interval", "100"},
            state + "/daemon.log");
        ASSERT_TRUE(testing::waitForName(bus.address(), bus::kServiceName)) << daemon->log();
    }

    // Lets the daemon's answers arrive: true once no call of the window is on its way.
    bool settle() {
        return QTest::qWaitFor([&] { return !window->pane().isBusy(); }, 15000);
    }
    // One poll of the window, as its timer makes it, answered.
    bool poll() {
        window->pane().updateOutput();
        return settle();
    }

    SMDoubleSlider& slider() { return *window->thresholdSlider(); }
    QPoint knobAt(double value) {
        return toPoint(slider().cell().knobRectForValueFlipped(value, true).centre());
    }

    bool startWithDaemon = true;
    testing::PrivateBus bus;
    std::string state;
    std::unique_ptr<testing::ChildProcess> daemon;
    std::unique_ptr<InstalledDrives> drives;
    QtTimerFactory timers;
    std::unique_ptr<PreferenceWindow> window;
    DaemonProxy client;
};

}  // namespace drivetherm
