// SPDX-License-Identifier: GPL-2.0-or-later
// The settings window against the real daemon on a private bus and the simulated machine: what
// a user does with the controls reaches the daemon, and what the daemon holds reaches the
// controls.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "common/DataPaths.h"
#include "frontends/FrontendOptions.h"
#include "frontends/QtTimerFactory.h"
#include "pane/InstalledDrives.h"
#include "pane/PaneGraphView.h"
#include "pane/PaneTextField.h"
#include "pane/PreferenceWindow.h"
#include "protocol/BusNames.h"
#include "protocol/DbusDaemonClient.h"
#include "slider/SMDoubleSlider.h"
#include "tests/support/PrivateBus.h"

namespace drivetherm {
namespace {

const std::string kArtifacts = DRIVETHERM_BINARY_DIR "/tests/gui/frontends";
const std::string kDaemon = DRIVETHERM_BINARY_DIR "/daemon/drivethermd";
const std::string kSettings = DRIVETHERM_BINARY_DIR "/pane/drivetherm";

QPoint toPoint(const SliderPoint& p) {
    return QPoint(qRound(p.x), qRound(p.y));
}

class SettingsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        state = testing::makeTemporaryDirectory("drivetherm-window");
        startDaemon();
        FrontendOptions sim;
        sim.machine.kind = MachineChoice::Kind::Simulated;
        sim.machine.machineFile = defaultMachineFile();
        drives = InstalledDrives::open(sim.machine);
        window = std::make_unique<PreferenceWindow>(
            [address = bus.address()] { return DbusDaemonClient::bind(address); }, timers,
            &drives->walk());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        client = DbusDaemonClient::bind(bus.address());
        ASSERT_FALSE(client.isNone());
    }
    void TearDown() override {
        window.reset();
        drives.reset();
        if (HasFailure() && daemon) std::fprintf(stderr, "daemon log:\n%s", daemon->log().c_str());
        daemon.reset();
        std::filesystem::remove_all(state);
    }

    void startDaemon() {
        daemon = std::make_unique<testing::ChildProcess>(
            kDaemon,
            std::vector<std::string>{"--bus", bus.address(), "--hardware", "sim", "--state-dir",
                                     state, "--tick-interval", "100"},
            state + "/daemon.log");
        ASSERT_TRUE(testing::waitForName(bus.address(), bus::kServiceName)) << daemon->log();
    }

    SMDoubleSlider& slider() { return *window->thresholdSlider(); }
    QPoint knobAt(double value) {
        return toPoint(slider().cell().knobRectForValueFlipped(value, true).centre());
    }

    testing::PrivateBus bus;
    std::string state;
    std::unique_ptr<testing::ChildProcess> daemon;
    std::unique_ptr<InstalledDrives> drives;
    QtTimerFactory timers;
    std::unique_ptr<PreferenceWindow> window;
    DaemonProxy client;
};

TEST_F(SettingsWindow, DraggingTheHiKnobChangesTheDaemonsUpperThresholdAndTheCurve) {
    ASSERT_EQ(slider().doubleHiValue(), 58.0);
    const QPoint from = knobAt(58);
    const QPoint to = knobAt(70);
    QTest::mousePress(&slider(), Qt::LeftButton, {}, from);
    for (int step = 1; step <= 6; ++step) {
        QTest::mouseMove(&slider(), from + (to - from) * step / 6);
    }
    QTest::mouseRelease(&slider(), Qt::LeftButton, {}, to);

    EXPECT_NEAR(client.upperThreshold(), 70.0, 0.6);
    EXPECT_EQ(client.lowerThreshold(), 50.0f);
    EXPECT_EQ(window->graphView()->graphGeometry().upperThreshold(), client.upperThreshold());
    EXPECT_EQ(slider().doubleHiValue(), client.upperThreshold());
    const auto labels = window->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                            [](QLabel* l) { return l->text() == "70 \u00B0C"; }));
}

TEST_F(SettingsWindow, ResetGivesTheDaemonItsDefaultsAndTheControlsShowThem) {
    client.setLowerThreshold(40);
    client.setUpperThreshold(70);
    client.setBaseRpm(1800);
    client.setPinToBase(true);
    client.setHDDName(std::string("WDC WD10EZEX-08M2NA0"));
    client.setFahrenheit(true);
    client.setUseAmbientTemp(true);

    QTest::mouseClick(window->resetButton(), Qt::LeftButton);

    EXPECT_EQ(client.lowerThreshold(), 50.0f);
    EXPECT_EQ(client.upperThreshold(), 58.0f);
    EXPECT_EQ(client.baseRpm(), 1100);
    EXPECT_FALSE(client.pinToBase());
    EXPECT_EQ(client.HDDName(), std::optional<std::string>(""));
    EXPECT_FALSE(client.fahrenheit());
    EXPECT_FALSE(client.useAmbientTemp());
    EXPECT_EQ(slider().doubleLoValue(), 50.0);
    EXPECT_EQ(slider().doubleHiValue(), 58.0);
    EXPECT_EQ(window->findChild<QSpinBox*>()->value(), 1100);
    EXPECT_FALSE(window->graphView()->graphGeometry().pinToBase());
    for (QCheckBox* box : window->findChildren<QCheckBox*>()) {
        EXPECT_FALSE(box->isChecked()) << box->text().toStdString();
    }
    EXPECT_EQ(window->driveChooser()->currentIndex(), -1);
    EXPECT_TRUE(window->temperatureField()->text().endsWith("\u00B0C"));
}

TEST_F(SettingsWindow, TheDriveChooserOffersTheSimulatedDrivesAndSetsTheOneChosen) {
    QComboBox* chooser = window->driveChooser();
    ASSERT_EQ(chooser->count(), 2);
    EXPECT_EQ(chooser->itemText(0), "APPLE HDD HTS541010A9E682");
    EXPECT_TRUE(chooser->isVisibleTo(window.get()));
    chooser->setFocus();
    QTest::keyClick(chooser, Qt::Key_Down);
    EXPECT_EQ(client.HDDName(), chooser->currentText().toStdString());
}

TEST_F(SettingsWindow, ADaemonThatStopsShowsZerosAndAStatusLineUntilItIsBack) {
    daemon->stop(SIGTERM);
    window->pane().updateOutput();
    EXPECT_EQ(window->fanField()->text(), "0");
    EXPECT_EQ(window->temperatureField()->text(), "0 \u00B0C");
    EXPECT_EQ(window->findChild<QSpinBox*>()->value(), 0);
    EXPECT_TRUE(window->statusLine()->isVisibleTo(window.get()));
    EXPECT_FALSE(window->statusLine()->text().isEmpty());

    startDaemon();
    window->pane().updateOutput();
    EXPECT_NE(window->fanField()->text(), "0");
    EXPECT_EQ(window->findChild<QSpinBox*>()->value(), 1100);
    EXPECT_FALSE(window->statusLine()->isVisibleTo(window.get()));
}

TEST_F(SettingsWindow, AScreenshotOfTheWholeWindowIsKeptForPeopleToLookAt) {
    const QString file = QString::fromStdString(kArtifacts + "/settings-window.png");
    const QPixmap picture = window->grab();
    ASSERT_TRUE(picture.save(file, "PNG"));
    EXPECT_EQ(QImage(file).size(), window->size() * window->devicePixelRatio());
}

// The program itself, at 125 % and 200 % on a 1920 x 1080 screen: the picture grows with the
// scale, and the window never grows past the screen (what does not fit scrolls).
TEST_F(SettingsWindow, TheProgramStaysOnAFullHdScreenAt125And200Percent) {
    const std::string screen = state + "/screen.json";
    std::ofstream(screen) << R"({"screens": [{"name": "fullhd", "x": 0, "y": 0, "width": 1920,
        "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    QSize atOne;
    for (const char* scale : {"1", "1.25", "2"}) {
        SCOPED_TRACE(scale);
        const std::string file = kArtifacts + "/settings-window-" + scale + "x.png";
        std::filesystem::remove(file);
        testing::ChildProcess program(
            kSettings, {"--bus", bus.address(), "--hardware", "sim", "--screenshot", file},
            state + "/settings.log",
            {"QT_QPA_PLATFORM=offscreen:configfile=" + screen,
             std::string("QT_SCALE_FACTOR=") + scale});
        EXPECT_EQ(program.stop(0, 30000), 0) << program.log();
        const QImage picture(QString::fromStdString(file));
        ASSERT_FALSE(picture.isNull()) << program.log();
        EXPECT_LE(picture.width(), 1920);
        EXPECT_LE(picture.height(), 1080);
        if (atOne.isEmpty()) {
            atOne = picture.size();
        } else if (std::string(scale) == "1.25") {
            EXPECT_NEAR(picture.width(), atOne.width() * 1.25, 4);
            EXPECT_NEAR(picture.height(), atOne.height() * 1.25, 4);
        } else {
            EXPECT_GE(picture.width(), atOne.width() * 2 - 4);
            EXPECT_LE(picture.height(), 1080 * 9 / 10 + 2);
        }
    }
}

}  // namespace
}  // namespace drivetherm
