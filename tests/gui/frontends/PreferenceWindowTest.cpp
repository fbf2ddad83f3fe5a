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
#include <QScrollArea>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "pane/PaneGraphView.h"
#include "pane/PaneTextField.h"
#include "tests/gui/frontends/SettingsWindowFixture.h"

namespace drivetherm {
namespace {

TEST_F(SettingsWindow, DraggingTheHiKnobChangesTheDaemonsUpperThresholdAndTheCurve) {
    ASSERT_EQ(slider().doubleHiValue(), 58.0);
    const QPoint from = knobAt(58);
    const QPoint to = knobAt(70);
    QTest::mousePress(&slider(), Qt::LeftButton, {}, from);
    for (int step = 1; step <= 6; ++step) {
        QTest::mouseMove(&slider(), from + (to - from) * step / 6);
    }
    QTest::mouseRelease(&slider(), Qt::LeftButton, {}, to);
    ASSERT_TRUE(settle());

    // Whole degrees only: what the label shows is what the daemon stores.
    EXPECT_NEAR(client.upperThreshold(), 70.0, 0.6);
    EXPECT_EQ(client.upperThreshold(), std::round(client.upperThreshold()));
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
    ASSERT_TRUE(poll());

    QTest::mouseClick(window->resetButton(), Qt::LeftButton);
    ASSERT_TRUE(settle());

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
    EXPECT_EQ(window->driveChooser()->currentIndex(), 0);
    EXPECT_TRUE(window->temperatureField()->text().endsWith("\u00B0C"));

    // Nothing asked before the reset: Undo, offered in the status line, brings it all back.
    ASSERT_TRUE(window->undoButton()->isVisibleTo(window.get()));
    QTest::mouseClick(window->undoButton(), Qt::LeftButton);
    ASSERT_TRUE(settle());
    EXPECT_EQ(client.lowerThreshold(), 40.0f);
    EXPECT_EQ(client.upperThreshold(), 70.0f);
    EXPECT_EQ(client.baseRpm(), 1800);
    EXPECT_TRUE(client.pinToBase());
    EXPECT_EQ(client.HDDName(), std::optional<std::string>("WDC WD10EZEX-08M2NA0"));
    EXPECT_TRUE(client.fahrenheit());
    EXPECT_TRUE(client.useAmbientTemp());
    EXPECT_EQ(slider().doubleHiValue(), 70.0);
    EXPECT_FALSE(window->statusLine()->isVisibleTo(window.get()));

    // Another reset, then a change of the user's own: Undo is no longer offered.
    QTest::mouseClick(window->resetButton(), Qt::LeftButton);
    ASSERT_TRUE(settle());
    QCheckBox* box = window->findChildren<QCheckBox*>().front();
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    ASSERT_TRUE(settle());
    EXPECT_TRUE(box->isChecked());
    EXPECT_FALSE(window->undoButton()->isVisibleTo(window.get()));
}

TEST_F(SettingsWindow, TheDriveChooserOffersTheFirstDiskAndTheSimulatedDrivesAndSetsTheOneChosen) {
    QComboBox* chooser = window->driveChooser();
    ASSERT_EQ(chooser->count(), 3);
    EXPECT_EQ(chooser->itemText(0), "The first disk");
    EXPECT_EQ(chooser->itemText(1), "APPLE HDD HTS541010A9E682");
    EXPECT_TRUE(chooser->isVisibleTo(window.get()));
    chooser->setFocus();
    QTest::keyClick(chooser, Qt::Key_Down);
    ASSERT_TRUE(settle());
    EXPECT_EQ(client.HDDName(), chooser->currentText().toStdString());
    // Once a disk is chosen the first disk can be chosen again.
    QTest::keyClick(chooser, Qt::Key_Up);
    ASSERT_TRUE(settle());
    EXPECT_EQ(client.HDDName(), std::optional<std::string>(""));
}

TEST_F(SettingsWindow, ADaemonThatStopsShowsZerosAndAStatusLineUntilItIsBack) {
    const auto settingsArea = [&] { return window->findChild<QScrollArea*>()->viewport()->size(); };
    const QSize before = settingsArea();
    daemon->stop(SIGTERM);
    ASSERT_TRUE(poll());
    EXPECT_EQ(window->fanField()->text(), "0");
    EXPECT_EQ(window->temperatureField()->text(), "0 \u00B0C");
    EXPECT_EQ(window->findChild<QSpinBox*>()->value(), 0);
    EXPECT_TRUE(window->statusLine()->isVisibleTo(window.get()));
    EXPECT_TRUE(window->statusLine()->text().contains("systemctl start drivethermd"));
    // The line has its own room: the settings above it keep theirs.
    EXPECT_EQ(settingsArea(), before);
    EXPECT_FALSE(window->baseRpmField()->isEnabled());

    startDaemon();
    ASSERT_TRUE(poll());
    EXPECT_NE(window->fanField()->text(), "0");
    EXPECT_EQ(window->findChild<QSpinBox*>()->value(), 1100);
    EXPECT_TRUE(window->baseRpmField()->isEnabled());
    EXPECT_FALSE(window->statusLine()->isVisibleTo(window.get()));
}

TEST_F(SettingsWindow, AScreenshotOfTheWholeWindowIsKeptForPeopleToLookAt) {
    const QString file = QString::fromStdString(kArtifacts + "/settings-window.png");
    const QPixmap picture = window->grab();
    ASSERT_TRUE(picture.save(file, "PNG"));
    EXPECT_EQ(QImage(file).size(), window->size() * window->devicePixelRatio());
}

// The program itself on a 1280 x 800 screen at 100, 150 and 200 %: the window never grows past
// the screen, and the pictures are kept for people to look at.
TEST_F(SettingsWindow, TheProgramFitsA1280By800ScreenAt100To200Percent) {
    const std::string screen = state + "/screen.json";
    std::ofstream(screen) << R"({"screens": [{"name": "wxga", "x": 0, "y": 0, "width": 1280,
        "height": 800, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    for (const char* scale : {"1", "1.5", "2"}) {
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
        EXPECT_LE(picture.width(), 1280);
        EXPECT_LE(picture.height(), 800);
    }
}

}  // namespace
}  // namespace drivetherm
