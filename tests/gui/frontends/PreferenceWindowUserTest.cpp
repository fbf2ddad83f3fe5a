// SPDX-License-Identifier: GPL-2.0-or-later
// The settings window as a new user meets it: the keyboard, the wheel, a unit switched in the
// tray, a daemon that restarts or is not there, and an unprivileged user who only looks.
#include <gtest/gtest.h>
#include <signal.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTest>
#include <QWheelEvent>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "hardware/disk/DriveWalk.h"
#include "hardware/disk/sim/SimDriveBay.h"
#include "pane/PaneGraphView.h"
#include "pane/PaneTextField.h"
#include "protocol/DaemonInterface.h"
#include "tests/gui/frontends/SettingsWindowFixture.h"

namespace drivetherm {
namespace {

// What the daemon holds, in one line, to see that nothing else changed.
std::string settingsOf(DaemonProxy& d) {
    return std::to_string(d.baseRpm()) + " " + std::to_string(d.lowerThreshold()) + " " +
           std::to_string(d.upperThreshold()) + " " + std::to_string(d.fahrenheit()) + " " +
           std::to_string(d.pinToBase()) + " " + std::to_string(d.useAmbientTemp()) + " [" +
           d.HDDName().value_or("none") + "]";
}

void turnWheel(QWidget* widget, int notches) {
    const QPointF at = QRectF(widget->rect()).center();
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

QCheckBox* box(PreferenceWindow& window, const QString& text) {
    for (QCheckBox* b : window.findChildren<QCheckBox*>())
        if (b->text().remove('&').startsWith(text)) return b;
    return nullptr;
}

TEST_F(SettingsWindow, TickingABoxByKeyboardThenSpaceAgainChangesNothingButThatBox) {
    client.setLowerThreshold(44);
    client.setBaseRpm(1500);
    ASSERT_TRUE(poll());
    const std::string before = settingsOf(client);
    QCheckBox* pin = box(*window, "Hold the fan");
    ASSERT_NE(pin, nullptr);
    window->activateWindow();
    pin->setFocus(Qt::TabFocusReason);

    QTest::keyClick(pin, Qt::Key_Space);
    ASSERT_TRUE(settle());
    EXPECT_TRUE(client.pinToBase());
    // The refresh after the toggle leaves the focus where the user put it.
    EXPECT_EQ(QApplication::focusWidget(), pin);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(settle());
    EXPECT_EQ(settingsOf(client), before);
    EXPECT_FALSE(pin->isChecked());
}

TEST_F(SettingsWindow, TheWheelReachesAFieldOnlyWithFocusAndTheFieldKeepsToTheFansRange) {
    QSpinBox* field = window->baseRpmField();
    const std::string before = settingsOf(client);
    window->thresholdSlider()->setFocus();
    for (QWidget* w : std::initializer_list<QWidget*>{field, window->driveChooser(),
                                                      window->thresholdSlider()}) {
        if (w == window->thresholdSlider()) window->resetButton()->setFocus();
        turnWheel(w, -3);
    }
    ASSERT_TRUE(settle());
    EXPECT_EQ(settingsOf(client), before);

    // A speed below the fan's own minimum cannot be entered: the field offers the fan's range
    // and takes nothing outside it.
    int minimum = 0, maximum = 0;
    try {
        client.fanRange(&minimum, &maximum);
    } catch (const DaemonError&) {
        minimum = 1000;  // a daemon without the question: the window's own safe range
        maximum = 6000;
    }
    EXPECT_EQ(field->minimum(), minimum);
    EXPECT_EQ(field->maximum(), maximum);
    // Which fan that is, and how the daemon holds it, from the bus.
    EXPECT_EQ(window->fanLine()->text(), "Fan: fan 1 (HDD), held");
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "0");
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(settle());
    EXPECT_EQ(client.baseRpm(), 1100);
    field->setValue(minimum - 1);  // what a script or a stuck key could try
    ASSERT_TRUE(settle());
    EXPECT_EQ(client.baseRpm(), minimum);
    // With the focus the wheel steps the speed, as the user means it to.
    turnWheel(field, 1);
    ASSERT_TRUE(settle());
    EXPECT_EQ(client.baseRpm(), minimum + field->singleStep());
}

TEST_F(SettingsWindow, AUnitChangedFromTheTrayAndADaemonRestartReachTheWholeWindow) {
    const auto labels = [&] {
        QStringList texts;
        for (QLabel* l : window->findChildren<QLabel*>())
            if (l->text().contains(QChar(0x00B0))) texts << l->text();
        return texts;
    };
    client.setFahrenheit(true);  // as the tray's menu does
    ASSERT_TRUE(poll());
    EXPECT_TRUE(window->temperatureField()->text().endsWith("\u00B0F"));
    EXPECT_TRUE(labels().contains(QString::fromUtf8("122 \u00B0F")))
        << labels().join("|").toStdString();
    EXPECT_TRUE(labels().contains(QString::fromUtf8("136 \u00B0F")));
    EXPECT_TRUE(window->graphView()->graphGeometry().fahrenheit());
    // Assistive technology reads the slider as a slider with both values, in the unit shown.
    QAccessibleInterface* knobs = QAccessible::queryAccessibleInterface(&slider());
    ASSERT_NE(knobs, nullptr);
    EXPECT_EQ(knobs->role(), QAccessible::Slider);
    EXPECT_EQ(knobs->text(QAccessible::Value),
              QString::fromUtf8("lower 122 \u00B0F, upper 136 \u00B0F"));
    // An arrow key moves the knob one degree of that unit, and the daemon stores just that.
    slider().setFocus(Qt::TabFocusReason);
    slider().setTrackingLoKnob(false);
    QTest::keyClick(&slider(), Qt::Key_Right);
    ASSERT_TRUE(settle());
    EXPECT_NEAR(client.upperThreshold(), (137 - 32) * 5.0 / 9, 1e-4);
    ASSERT_TRUE(poll());
    EXPECT_TRUE(labels().contains(QString::fromUtf8("137 \u00B0F")));

    // The daemon comes back with other settings (its own defaults): all of the window follows.
    client.setUpperThreshold(66);
    ASSERT_TRUE(poll());
    daemon->stop(SIGTERM);
    const std::string fresh = testing::makeTemporaryDirectory("drivetherm-fresh");
    startDaemon(fresh);
    ASSERT_TRUE(poll());
    std::filesystem::remove_all(fresh);
    EXPECT_TRUE(window->temperatureField()->text().endsWith("\u00B0C"));
    EXPECT_EQ(slider().doubleHiValue(), 58.0);
    EXPECT_EQ(window->graphView()->graphGeometry().upperThreshold(), 58.0f);
    EXPECT_FALSE(window->graphView()->graphGeometry().fahrenheit());
    EXPECT_TRUE(labels().contains(QString::fromUtf8("58 \u00B0C")));
    const GraphGeometry& graph = window->graphView()->graphGeometry();
    EXPECT_EQ(graph.currentTemp(), window->pane().reading().temperature);
}

class SettingsWindowWithoutDaemon : public SettingsWindow {
protected:
    SettingsWindowWithoutDaemon() { startWithDaemon = false; }
};

TEST_F(SettingsWindowWithoutDaemon, NamesTheServiceDrawsNoAlarmAndConnectsOnceItRuns) {
    EXPECT_TRUE(window->statusLine()->isVisibleTo(window.get()));
    EXPECT_TRUE(window->statusLine()->text().contains("systemctl start drivethermd"));
    EXPECT_TRUE(window->graphView()->graphGeometry().isEmpty());
    EXPECT_FALSE(window->graphView()->accessibleDescription().contains("6000"));
    const QImage empty = window->graphView()->grab().toImage();
    int blue = 0;
    for (int y = 0; y < empty.height(); ++y)
        for (int x = 0; x < empty.width(); ++x) blue += qBlue(empty.pixel(x, y)) > 128;
    EXPECT_EQ(blue, 0) << "no curve, no filled area without settings";

    startDaemon();
    ASSERT_TRUE(poll());
    EXPECT_EQ(window->baseRpmField()->value(), 1100);
    EXPECT_FALSE(window->graphView()->graphGeometry().isEmpty());
    EXPECT_FALSE(window->statusLine()->isVisibleTo(window.get()));
    EXPECT_TRUE(window->graphView()->accessibleDescription().contains("1100 rpm"));
}

TEST(SettingsWindowDrives, TwoDisksOfOneModelAreToldApartAndOnlyTheFollowedOneIsOffered) {
    std::vector<SimDrive> bay;
    for (const char* model : {"SAME MODEL", "OTHER MODEL", "SAME MODEL"}) {
        SimDrive::Config config;
        config.bsdName = "disk" + std::to_string(bay.size());
        config.model = model;
        config.block = SimDrive::blockAround(40);
        bay.emplace_back(std::move(config));
    }
    SimDriveBay drives(std::move(bay));
    DriveWalk walk(&drives);
    QtTimerFactory timers;
    PreferenceWindow window([] { return DaemonProxy(); }, timers, &walk);
    QComboBox* chooser = window.driveChooser();
    ASSERT_EQ(chooser->count(), 4);
    QStringList texts;
    for (int i = 0; i < chooser->count(); ++i) texts << chooser->itemText(i);
    EXPECT_EQ(texts.filter("SAME MODEL (disk 1 of 2").size(), 1) << texts.join("|").toStdString();
    EXPECT_EQ(texts.filter("SAME MODEL (disk 2 of 2").size(), 1);
    const auto* items = qobject_cast<QStandardItemModel*>(chooser->model());
    ASSERT_NE(items, nullptr);
    const auto at = [&](const char* part) {
        return static_cast<int>(texts.indexOf(texts.filter(part).front()));
    };
    EXPECT_TRUE(items->item(at("disk 1 of 2"))->isEnabled());
    EXPECT_FALSE(items->item(at("disk 2 of 2"))->isEnabled());
}

// The program, started by an unprivileged user on a one-disk machine with a disk name stored:
// it only reads, asks for nothing that needs a privilege, and leaves the name alone.
TEST(SettingsWindowAsUser, OpeningTheWindowMakesNoPrivilegedCall) {
    const std::string home = testing::makeTemporaryDirectory("drivetherm-as-user");
    std::filesystem::permissions(home, std::filesystem::perms::all);
    nlohmann::json machine =
        nlohmann::json::parse(std::ifstream(DRIVETHERM_SOURCE_DIR "/machines/default.json"));
    machine["drives"].erase(1);
    std::ofstream(home + "/machine.json") << machine.dump();
    testing::PrivateBus bus;
    testing::ChildProcess daemon(
        kDaemon,
        {"--bus", bus.address(), "--hardware", "sim:" + home + "/machine.json", "--state-dir", home,
         "--tick-interval", "100"},
        home + "/daemon.log");
    ASSERT_TRUE(testing::waitForName(bus.address(), bus::kServiceName)) << daemon.log();
    DbusDaemonClient::bind(bus.address()).setHDDName(std::string("GONE DISK"));
    testing::ChildProcess monitor("/usr/bin/dbus-monitor", {"--address", bus.address()},
                                  home + "/monitor.log");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    testing::ChildProcess window(
        "/usr/bin/setpriv",
        {"--reuid=65534", "--regid=65534", "--clear-groups", kSettings, "--bus", bus.address(),
         "--hardware", "sim:" + home + "/machine.json", "--screenshot", home + "/window.png"},
        home + "/window.log", {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + home});
    EXPECT_EQ(window.stop(0, 30000), 0) << window.log();
    monitor.stop(SIGTERM);
    const std::string calls = monitor.log();
    EXPECT_NE(calls.find("member=Temperature"), std::string::npos) << calls;
    for (const BusMethod& method : DaemonInterface::kMethods) {
        if (method.privileged) {
            EXPECT_EQ(calls.find(std::string("member=") + method.name + "\n"), std::string::npos)
                << method.name;
        }
    }
    EXPECT_EQ(DbusDaemonClient::bind(bus.address()).HDDName(),
              std::optional<std::string>("GONE DISK"));
    std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace drivetherm
