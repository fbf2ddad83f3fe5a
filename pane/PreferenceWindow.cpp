// SPDX-License-Identifier: GPL-2.0-or-later
#include "pane/PreferenceWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "common/Log.h"
#include "frontends/AppIcon.h"
#include "pane/PaneGraphView.h"
#include "pane/PaneTextField.h"
#include "slider/SMDoubleSlider.h"

namespace drivetherm {
namespace {

// The graph's own frame; its scales are fixed to it.
const QSize kGraphFrame(640, 320);
// The ends of the graph's temperature axis, which the threshold slider spans.
constexpr double kLowestThreshold = 25;
constexpr double kHighestThreshold = 80;
// Fan speeds the base-speed control offers: the graph's speed axis and a little below.
constexpr int kLowestBaseRpm = 0;
constexpr int kHighestBaseRpm = 6500;

QFont readingFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 1.6);
    font.setBold(true);
    return font;
}

}  // namespace

PreferenceWindow::PreferenceWindow(HDDPreferencePane::DaemonBinder binder, TimerFactory& timers,
                                   DriveWalk* drives, QWidget* parent)
    : QWidget(parent),
      temperature_(new PaneTextField),
      fan_(new PaneTextField),
      graph_(new PaneGraphView(kGraphFrame)),
      pane_(std::make_unique<HDDPreferencePane>(
          HDDPreferencePane::Outlets{*fan_, *temperature_, *graph_}, std::move(binder), timers,
          drives)) {
    setWindowTitle("Drivetherm");
    setWindowIcon(appIcon());
    pane_->setMessageSink([this](const std::string& message) { showMessage(message); });

    // The graph keeps its size at every scale, so on a small screen at 200 % the settings
    // scroll instead of running off the screen; the status line and the reset button stay.
    auto* content = new QWidget;
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->addWidget(buildReadings());
    contentLayout->addWidget(graph_, 0, Qt::AlignHCenter);
    contentLayout->addLayout(buildSettings());
    contentLayout->addStretch(1);
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);

    status_ = new QWidget;
    auto* statusLayout = new QHBoxLayout(status_);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    auto* statusIcon = new QLabel;
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    statusIcon->setPixmap(style()
                              ->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this)
                              .pixmap(iconSize, iconSize));
    statusText_ = new QLabel;
    statusText_->setWordWrap(true);
    statusText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLayout->addWidget(statusIcon, 0, Qt::AlignTop);
    statusLayout->addWidget(statusText_, 1);
    status_->setVisible(false);
    layout->addWidget(status_);

    reset_ = new QPushButton("Restore &Defaults");
    reset_->setToolTip(
        "Lower threshold 50 \u00B0C, upper 58 \u00B0C, base speed 1100 rpm, the "
        "first disk, Celsius, the disk's own sensor");
    connect(reset_, &QPushButton::clicked, this, [this] {
        try {
            pane_->resetDefaults();
        } catch (const std::exception& e) {
            showMessage(e.what());
        }
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(reset_);
    layout->addLayout(buttons);

    // The controls are bound; now the pane connects and they show the daemon's values.
    pane_->awakeFromNib();
    fitToScreen(*content, *scroll);
}

void PreferenceWindow::fitToScreen(QWidget& content, QScrollArea& scroll) {
    // The window's own hint, as if the scroll area had to show all of the content.
    scroll.setMinimumSize(content.sizeHint() +
                          QSize(scroll.verticalScrollBar()->sizeHint().width(), 0));
    QSize wanted = sizeHint();
    scroll.setMinimumSize(0, 0);
    if (const QScreen* screen = this->screen()) {
        wanted = wanted.boundedTo(screen->availableGeometry().size() * 0.9);
    }
    resize(wanted);
}

PreferenceWindow::~PreferenceWindow() {
    if (selected_) pane_->didUnselect();
    // The controls' bindings go before the pane they read from.
    bindings_.clear();
}

QWidget* PreferenceWindow::buildReadings() {
    auto* readings = new QWidget;
    auto* row = new QHBoxLayout(readings);
    row->setContentsMargins(0, 0, 0, 0);
    const QFont big = readingFont(font());
    temperature_->setFont(big);
    fan_->setFont(big);
    temperature_->setAccessibleName("Disk temperature");
    fan_->setAccessibleName("Fan speed in rpm");
    auto* temperatureCaption = new QLabel("Disk temperature:");
    auto* fanCaption = new QLabel("Fan speed:");
    auto* rpm = new QLabel("rpm");
    rpm->setFont(big);
    row->addWidget(temperatureCaption);
    row->addWidget(temperature_);
    row->addSpacing(fontMetrics().averageCharWidth() * 6);
    row->addWidget(fanCaption);
    row->addWidget(fan_);
    row->addWidget(rpm);
    row->addStretch(1);
    return readings;
}

QFormLayout* PreferenceWindow::buildSettings() {
    ObjectController& controller = pane_->fileOwnerController();
    settings_ = new QFormLayout;

    // The range first, so that binding does not clamp the thresholds to the default range.
    slider_ = new SMDoubleSlider;
    slider_->setMaxValue(kHighestThreshold);
    slider_->setMinValue(kLowestThreshold);
    slider_->setAccessibleName("Lower and upper temperature threshold");
    slider_->setToolTip(
        "Below the lower threshold the fan runs at the base speed; from the upper "
        "one on, at full speed");
    slider_->bind("objectLoValue", controller, "selection.lowerThreshold");
    slider_->bind("objectHiValue", controller, "selection.upperThreshold");
    auto* lower = new QLabel;
    auto* upper = new QLabel;
    bindTemperatureLabel(lower, "selection.lowerThreshold");
    bindTemperatureLabel(upper, "selection.upperThreshold");
    auto* thresholds = new QHBoxLayout;
    thresholds->addWidget(lower);
    thresholds->addWidget(slider_, 1);
    thresholds->addWidget(upper);
    settings_->addRow("Thresholds:", thresholds);

    baseRpm_ = new QSpinBox;
    baseRpm_->setRange(kLowestBaseRpm, kHighestBaseRpm);
    baseRpm_->setSingleStep(50);
    baseRpm_->setSuffix(" rpm");
    // Typing 1500 must not send 1, 15 and 150 to the daemon on the way.
    baseRpm_->setKeyboardTracking(false);
    baseRpm_->setAccessibleName("Base fan speed");
    auto baseBinding =
        std::make_unique<KeyValueBinding>(controller, "selection.baseRpm", [this](const Value& v) {
            const QSignalBlocker quiet(baseRpm_);
            baseRpm_->setEnabled(!isControllerMarker(v));
            baseRpm_->setValue(v.intValue());
        });
    connect(baseRpm_, &QSpinBox::valueChanged, this,
            [this, b = baseBinding.get()](int rpm) { write(*b, rpm); });
    bindings_.push_back(std::move(baseBinding));
    settings_->addRow("Base speed:", baseRpm_);

    drives_ = new QComboBox;
    drives_->setPlaceholderText("The first disk");
    drives_->setAccessibleName("Disk to follow");
    for (const std::string& name : pane_->GetDrives()) {
        drives_->addItem(QString::fromStdString(name));
    }
    auto nameBinding =
        std::make_unique<KeyValueBinding>(controller, "selection.HDDName", [this](const Value& v) {
            const QSignalBlocker quiet(drives_);
            drives_->setEnabled(!isControllerMarker(v));
            // None, or a disk that is not attached now: nothing chosen.
            drives_->setCurrentIndex(
                v.isString() ? drives_->findText(QString::fromStdString(v.stringValue()),
                                                 Qt::MatchExactly | Qt::MatchCaseSensitive)
                             : -1);
        });
    connect(drives_, &QComboBox::activated, this, [this, b = nameBinding.get()](int index) {
        write(*b, drives_->itemText(index).toStdString());
    });
    bindings_.push_back(std::move(nameBinding));
    settings_->addRow("Disk:", drives_);
    bindings_.push_back(std::make_unique<KeyValueBinding>(
        controller, "selection.shouldShowDriveSelection", [this](const Value& v) {
            // The chooser is there only while there is a choice.
            if (!isControllerMarker(v)) settings_->setRowVisible(drives_, !v.boolValue());
        }));

    auto* fahrenheit = new QCheckBox("Show temperatures in &Fahrenheit");
    auto* pin = new QCheckBox("&Hold the fan at the base speed");
    auto* ambient = new QCheckBox("Use the computer's temperature &sensors instead of the disk");
    bindCheckBox(fahrenheit, "selection.fahrenheit");
    bindCheckBox(pin, "selection.pinToBase");
    bindCheckBox(ambient, "selection.useAmbientTemp");
    settings_->addRow(fahrenheit);
    settings_->addRow(pin);
    settings_->addRow(ambient);
    return settings_;
}

void PreferenceWindow::bindCheckBox(QCheckBox* box, const char* keyPath) {
    auto binding = std::make_unique<KeyValueBinding>(pane_->fileOwnerController(), keyPath,
                                                     [box](const Value& v) {
                                                         const QSignalBlocker quiet(box);
                                                         box->setEnabled(!isControllerMarker(v));
                                                         box->setChecked(v.boolValue());
                                                     });
    connect(box, &QCheckBox::toggled, this, [this, b = binding.get()](bool on) { write(*b, on); });
    bindings_.push_back(std::move(binding));
}

void PreferenceWindow::bindTemperatureLabel(QLabel* label, const char* keyPath) {
    label->setMinimumWidth(fontMetrics().horizontalAdvance("-888 \u00B0F"));
    label->setAlignment(Qt::AlignCenter);
    bindings_.push_back(std::make_unique<KeyValueBinding>(
        pane_->fileOwnerController(), keyPath,
        [label](const Value& v) { label->setText(QString::fromStdString(v.stringValue())); },
        BindingOptions{"TempTransformer"}));
}

void PreferenceWindow::write(KeyValueBinding& binding, const Value& value) {
    try {
        binding.write(value);
    } catch (const std::exception& e) {
        log::error("settings", "%s", e.what());
        showMessage(e.what());
    }
}

void PreferenceWindow::showMessage(const std::string& message) {
    statusText_->setText(QString::fromStdString(message));
    status_->setVisible(!message.empty());
}

void PreferenceWindow::bringToFront() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void PreferenceWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateSelection();
}

void PreferenceWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A hide event also comes when the window is minimised, while it still counts as visible.
    if (selected_) {
        selected_ = false;
        pane_->didUnselect();
    }
}

void PreferenceWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) updateSelection();
}

void PreferenceWindow::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (firstPaint_) {
        auto hook = std::move(firstPaint_);
        firstPaint_ = nullptr;
        hook();
    }
}

void PreferenceWindow::updateSelection() {
    const bool onScreen = isVisible() && !isMinimized();
    if (onScreen && !selected_) {
        selected_ = true;
        pane_->willSelect();
    } else if (!onScreen && selected_) {
        selected_ = false;
        pane_->didUnselect();
    }
}

}  // namespace drivetherm
