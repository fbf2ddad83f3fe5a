// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "bindings/KeyValueBinding.h"
#include "pane/HDDPreferencePane.h"
#include "protocol/DaemonProxy.h"

class QCheckBox;
class QTimer;
class QComboBox;
class QFormLayout;
class QLabel;
class QPushButton;
class QScrollArea;
class QSpinBox;

namespace drivetherm {

class PaneGraphView;
class PaneTextField;
class SMDoubleSlider;

// The settings window: the disk's temperature and the fan's speed, the speed-curve graph, the
// two thresholds on one two-knob slider, the base speed, the unit, pin-to-base, the sensors
// instead of the disk, the disk to follow (only while there is a choice) and the reset button.
// Every control is bound to the window's HDDPreferencePane through its object controller.
//
// The pane's life follows the window's: it connects when the window is built, and it polls
// while the window is on screen (shown and not minimised). Its calls to the daemon run on a
// worker thread: the window never waits on the bus, shows a busy state when an answer is slow
// and the daemon's absence as such.
class PreferenceWindow : public QWidget {
    Q_OBJECT

public:
    // Binds to the daemon, on the worker thread; a none proxy means no daemon.
    using DaemonBinder = std::function<DaemonProxy()>;

    // `drives` lists the machine's disks for the drive chooser (null: none); the caller keeps it
    // alive.
    PreferenceWindow(DaemonBinder binder, TimerFactory& timers, DriveWalk* drives,
                     QWidget* parent = nullptr);
    ~PreferenceWindow() override;

    HDDPreferencePane& pane() { return *pane_; }

    // Brings the window to the front, also out of the minimised state (a second start of the
    // program asks for this).
    void bringToFront();
    // Called once, at the end of the window's first paint.
    void setFirstPaintHook(std::function<void()> hook) { firstPaint_ = std::move(hook); }

    // For tests and screenshots.
    SMDoubleSlider* thresholdSlider() const { return slider_; }
    QPushButton* resetButton() const { return reset_; }
    QComboBox* driveChooser() const { return drives_; }
    QLabel* statusLine() const { return statusText_; }
    QPushButton* undoButton() const { return undo_; }
    QSpinBox* baseRpmField() const { return baseRpm_; }
    QLabel* fanLine() const { return fanLine_; }
    QLabel* busyLine() const { return busy_; }
    PaneTextField* temperatureField() const { return temperature_; }
    PaneTextField* fanField() const { return fan_; }
    PaneGraphView* graphView() const { return graph_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* buildReadings();
    // The whole content when the screen has room for it, else as much as fits.
    void fitToScreen(QWidget& content, QScrollArea& scroll);
    QFormLayout* buildSettings();
    void bindCheckBox(QCheckBox* box, const char* keyPath);
    void bindTemperatureLabel(QLabel* label, const char* keyPath);
    // Writes what a control produced; nothing that goes wrong may escape into Qt's event loop.
    void write(KeyValueBinding& binding, const Value& value);
    void showMessage(const QString& message);
    void showNotice(HDDPreferencePane::Notice notice, const std::string& detail);
    // The settings the daemon gave that no single key carries: the fan and its range.
    void showFan();
    void restoreDefaults();
    void undoRestore();
    // The pane polls exactly while the window is on screen.
    void updateSelection();

    PaneTextField* temperature_;
    PaneTextField* fan_;
    PaneGraphView* graph_;
    std::unique_ptr<HDDPreferencePane> pane_;
    SMDoubleSlider* slider_ = nullptr;
    QSpinBox* baseRpm_ = nullptr;
    QComboBox* drives_ = nullptr;
    QFormLayout* settings_ = nullptr;
    QPushButton* reset_ = nullptr;
    QWidget* status_ = nullptr;
    QLabel* statusText_ = nullptr;
    QPushButton* undo_ = nullptr;
    QLabel* fanLine_ = nullptr;
    QLabel* busy_ = nullptr;
    QTimer* busyDelay_ = nullptr;
    // What Restore Defaults replaced, for its Undo.
    std::optional<DaemonSettings> beforeReset_;
    std::vector<std::unique_ptr<KeyValueBinding>> bindings_;
    bool selected_ = false;
    std::function<void()> firstPaint_;
};

}  // namespace drivetherm
