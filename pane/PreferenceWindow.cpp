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
#include <QStandardItemModel>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <map>

#include "common/Log.h"
#include "frontends/AppIcon.h"
#include "frontends/GuiThread.h"
#include "frontends/WheelNeedsFocus.h"
#include "pane/PaneGraphView.h"
#include "pane/PaneTextField.h"
#include "protocol/DaemonWorker.h"
#include "slider/SMDoubleSlider.h"

namespace drivetherm {
namespace {

// The smallest the graph gets; it grows with the window.
const QSize kGraphFrame(640, 320);
const QSize kSmallestGraph(300, 150);
// The ends of the graph's temperature axis, which the threshold slider spans.
constexpr double kLowestThreshold = 25;
constexpr double kHighestThreshold = 80;
// Offered while the daemon has not said which range its fan has: the graph's speed axis.
constexpr int kLowestBaseRpm = 1000;
constexpr int kHighestBaseRpm = 6000;
// A slow answer shows as busy only after this long, so that a quick one does not flicker.
constexpr int kBusyDelayMs = 400;

QFont readingFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 1.6);
    font.setBold(true);
    return font;
}

QString degrees(double celsius, bool fahrenheit) {
    const double shown = fahrenheit ? celsius / 5 * 9 + 32 : celsius;
    return QString::number(std::lround(shown)) +
           (fahrenheit ? QString::fromUtf8(" \u00B0F") : QString::fromUtf8(" \u00B0C"));
}

}  // namespace

PreferenceWindow::PreferenceWindow(DaemonBinder binder, TimerFactory& timers, DriveWalk* drives,
                                   QWidget* parent)
    : QWidget(parent),
      temperature_(new PaneTextField),
      fan_(new PaneTextField),
      graph_(new PaneGraphView(kGraphFrame)),
      pane_(std::make_unique<HDDPreferencePane>(
          HDDPreferencePane::Outlets{*fan_, *temperature_, *graph_},
          std::make_unique<DaemonWorker>(std::move(binder), &postToGuiThread), timers, drives)) {
    setWindowTitle(tr("Drivetherm"));
    setWindowIcon(appIcon());
    pane_->setMessageSink([this](HDDPreferencePane::Notice notice, const std::string& detail) {
        showNotice(notice, detail);
    });

    busyDelay_ = new QTimer(this);
    busyDelay_->setSingleShot(true);
    busyDelay_->setInterval(kBusyDelayMs);
    connect(busyDelay_, &QTimer::timeout, this, [this] { busy_->setVisible(true); });
    pane_->setBusySink([this](bool busy) {
        if (busy) {
            busyDelay_->start();
        } else {
            busyDelay_->stop();
            busy_->setVisible(false);
        }
    });

    // The graph grows with the window and shrinks to its smallest size; below that the settings
    // scroll, up and down only.
    graph_->setMinimumSize(kSmallestGraph);
    graph_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* content = new QWidget;
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->addWidget(buildReadings());
    contentLayout->addWidget(graph_, 1);
    contentLayout->addLayout(buildSettings());
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);

    // The status line keeps its room while it is empty: a message never pushes a control out
    // of sight, and the window keeps its size.
    status_ = new QWidget;
    auto* statusLayout = new QHBoxLayout(status_);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    auto* statusIcon = new QLabel;
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    statusIcon->setPixmap(style()
                              ->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this)
                              .pixmap(iconSize, iconSize));
    statusText_ = new QLabel;
    statusText_->setWordWrap(true);
    statusText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusText_->setMinimumHeight(fontMetrics().lineSpacing() * 2);
    statusText_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    undo_ = new QPushButton(tr("&Undo"));
    undo_->setVisible(false);
    connect(undo_, &QPushButton::clicked, this, [this] { undoRestore(); });
    statusLayout->addWidget(statusIcon, 0, Qt::AlignVCenter);
    statusLayout->addWidget(statusText_, 1);
    statusLayout->addWidget(undo_, 0, Qt::AlignVCenter);
    QSizePolicy keepRoom = status_->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    status_->setSizePolicy(keepRoom);
    status_->setVisible(false);

    reset_ = new QPushButton(tr("Restore &Defaults"));
    reset_->setToolTip(
        tr("Lower threshold 50 \u00B0C, upper 58 \u00B0C, base speed 1100 rpm, the first disk, "
           "Celsius, the disk's own sensor. Undo stays offered in the status line."));
    connect(reset_, &QPushButton::clicked, this, [this] { restoreDefaults(); });
    // The status line shares the button's row: it costs the settings no room of their own.
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(reset_, 0, Qt::AlignBottom);
    layout->addLayout(buttons);

    // The controls are bound; now the pane connects and they show the daemon's values.
    pane_->awakeFromNib();
    fitToScreen(*content, *scroll);
}

void PreferenceWindow::fitToScreen(QWidget& content, QScrollArea& scroll) {
    // The settings scroll up and down only: the scroll area is always as wide as the content's
    // narrowest layout, and the window as wide as that.
    const int scrollBar = scroll.verticalScrollBar()->sizeHint().width();
    scroll.setMinimumWidth(content.minimumSizeHint().width() + scrollBar);
    // The window's own hint, as if the scroll area had to show all of the content.
    const QSize around = sizeHint() - scroll.sizeHint();
    QSize wanted = content.sizeHint() + QSize(scrollBar, 0) + around;
    if (const QScreen* screen = this->screen()) {
        const QSize room = screen->availableGeometry().size() * 0.9;
        // On a short screen the graph gives up height first, down to its smallest, so that the
        // settings below it stay in sight.
        const int over = wanted.height() - room.height();
        if (over > 0) {
            graph_->setMaximumHeight(
                std::max(kSmallestGraph.height(), graph_->sizeHint().height() - over));
        }
        wanted = wanted.boundedTo(room);
    }
    wanted = wanted.expandedTo(minimumSizeHint());
    resize(wanted);
}

PreferenceWindow::~PreferenceWindow() {
    if (selected_) pane_->didUnselect();
    // The controls' bindings go before the pane they read from.
    bindings_.clear();
}

QWidget* PreferenceWindow::buildReadings() {
    auto* readings = new QWidget;
    auto* column = new QVBoxLayout(readings);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    const QFont big = readingFont(font());
    temperature_->setFont(big);
    fan_->setFont(big);
    // Room for the widest reading, so that the row does not shift as the figures change.
    const QFontMetrics figures(big);
    temperature_->setMinimumWidth(figures.horizontalAdvance(QString::fromUtf8("-888 \u00B0F")));
    fan_->setMinimumWidth(figures.horizontalAdvance(QStringLiteral("88888")));
    temperature_->setAccessibleName(tr("Disk temperature"));
    fan_->setAccessibleName(tr("Fan speed in rpm"));
    auto* temperatureCaption = new QLabel(tr("Disk temperature:"));
    auto* fanCaption = new QLabel(tr("Fan speed:"));
    auto* rpm = new QLabel(tr("rpm"));
    rpm->setFont(big);
    row->addWidget(temperatureCaption);
    row->addWidget(temperature_);
    row->addSpacing(fontMetrics().averageCharWidth() * 4);
    row->addWidget(fanCaption);
    row->addWidget(fan_);
    row->addWidget(rpm);
    row->addStretch(1);
    busy_ = new QLabel(tr("Waiting for the fan daemon\u2026"));
    busy_->setVisible(false);
    row->addWidget(busy_);
    column->addLayout(row);
    fanLine_ = new QLabel;
    fanLine_->setWordWrap(true);
    column->addWidget(fanLine_);
    return readings;
}

QFormLayout* PreferenceWindow::buildSettings() {
    ObjectController& controller = pane_->fileOwnerController();
    settings_ = new QFormLayout;
    settings_->setRowWrapPolicy(QFormLayout::WrapLongRows);

    // The range first, so that binding does not clamp the thresholds to the default range.
    slider_ = new SMDoubleSlider;
    slider_->setMaxValue(kHighestThreshold);
    slider_->setMinValue(kLowestThreshold);
    slider_->setValueGrid(0, 1);
    slider_->setValueText([](double celsius) { return degrees(celsius, false); });
    slider_->setAccessibleName(tr("Lower and upper temperature threshold"));
    slider_->setToolTip(
        tr("Below the lower threshold the fan runs at the base speed; from the upper one on, at "
           "full speed"));
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
    settings_->addRow(tr("Thresholds:"), thresholds);

    baseRpm_ = new QSpinBox;
    baseRpm_->setRange(kLowestBaseRpm, kHighestBaseRpm);
    baseRpm_->setSingleStep(50);
    baseRpm_->setSuffix(tr(" rpm"));
    // Typing 1500 must not send 1, 15 and 150 to the daemon on the way.
    baseRpm_->setKeyboardTracking(false);
    baseRpm_->setAccessibleName(tr("Base fan speed"));
    WheelNeedsFocus::install(baseRpm_);
    auto baseBinding =
        std::make_unique<KeyValueBinding>(controller, "selection.baseRpm", [this](const Value& v) {
            // A refresh passes through no content: the control keeps its value and its focus.
            if (isControllerMarker(v)) return;
            const QSignalBlocker quiet(baseRpm_);
            showFan();
            baseRpm_->setValue(v.intValue());
        });
    connect(baseRpm_, &QSpinBox::valueChanged, this,
            [this, b = baseBinding.get()](int rpm) { write(*b, rpm); });
    bindings_.push_back(std::move(baseBinding));
    settings_->addRow(tr("Base speed:"), baseRpm_);

    drives_ = new QComboBox;
    drives_->setAccessibleName(tr("Disk to follow"));
    WheelNeedsFocus::install(drives_);
    // The first entry is always there: the daemon's default disk.
    drives_->addItem(tr("The first disk"));
    std::map<std::string, int> seen;
    for (const std::string& name : pane_->GetDrives()) {
        const int n = ++seen[name];
        const int of = static_cast<int>(
            std::count(pane_->GetDrives().begin(), pane_->GetDrives().end(), name));
        // Two disks of one model are told apart; the daemon knows a disk by its model and
        // follows the first of them, so only that one can be chosen.
        const QString shown = of > 1 ? tr("%1 (disk %2 of %3 of this model)")
                                           .arg(QString::fromStdString(name))
                                           .arg(n)
                                           .arg(of)
                                     : QString::fromStdString(name);
        drives_->addItem(shown, QString::fromStdString(name));
        if (n > 1) {
            auto* items = qobject_cast<QStandardItemModel*>(drives_->model());
            if (QStandardItem* item = items ? items->item(drives_->count() - 1) : nullptr) {
                item->setEnabled(false);
                item->setToolTip(
                    tr("The fan daemon follows the first disk of a model; this one cannot be "
                       "chosen apart from it."));
            }
        }
    }
    auto nameBinding =
        std::make_unique<KeyValueBinding>(controller, "selection.HDDName", [this](const Value& v) {
            if (isControllerMarker(v)) return;
            const QSignalBlocker quiet(drives_);
            const int found =
                v.isString() && !v.stringValue().empty()
                    ? drives_->findData(QString::fromStdString(v.stringValue()), Qt::UserRole,
                                        Qt::MatchExactly | Qt::MatchCaseSensitive)
                    : 0;
            // A disk that is not attached now: the first disk is what the daemon follows.
            drives_->setCurrentIndex(found < 0 ? 0 : found);
        });
    connect(drives_, &QComboBox::activated, this, [this, b = nameBinding.get()](int index) {
        const QVariant model = drives_->itemData(index);
        write(*b, model.isValid() ? Value(model.toString().toStdString()) : Value());
    });
    bindings_.push_back(std::move(nameBinding));
    settings_->addRow(tr("Disk:"), drives_);
    bindings_.push_back(std::make_unique<KeyValueBinding>(
        controller, "selection.shouldShowDriveSelection", [this](const Value& v) {
            // The chooser is there only while there is a choice.
            if (!isControllerMarker(v)) settings_->setRowVisible(drives_, !v.boolValue());
        }));

    auto* fahrenheit = new QCheckBox(tr("Show temperatures in &Fahrenheit"));
    auto* pin = new QCheckBox(tr("&Hold the fan at the base speed"));
    auto* ambient =
        new QCheckBox(tr("Use the computer's temperature &sensors instead of the disk"));
    bindCheckBox(fahrenheit, "selection.fahrenheit");
    bindCheckBox(pin, "selection.pinToBase");
    bindCheckBox(ambient, "selection.useAmbientTemp");
    // The unit shown governs the slider's steps: whole degrees of what the user reads.
    bindings_.push_back(std::make_unique<KeyValueBinding>(
        controller, "selection.fahrenheit", [this](const Value& v) {
            if (isControllerMarker(v)) return;
            const bool f = v.boolValue();
            slider_->setValueGrid(f ? -32.0 * 5 / 9 : 0.0, f ? 5.0 / 9 : 1.0);
            slider_->setValueText([f](double celsius) { return degrees(celsius, f); });
        }));
    settings_->addRow(fahrenheit);
    settings_->addRow(pin);
    settings_->addRow(ambient);
    return settings_;
}

void PreferenceWindow::bindCheckBox(QCheckBox* box, const char* keyPath) {
    auto binding = std::make_unique<KeyValueBinding>(pane_->fileOwnerController(), keyPath,
                                                     [box](const Value& v) {
                                                         // Never disabled on the way through a
                                                         // refresh: the focus stays put.
                                                         if (isControllerMarker(v)) return;
                                                         const QSignalBlocker quiet(box);
                                                         box->setChecked(v.boolValue());
                                                     });
    connect(box, &QCheckBox::toggled, this, [this, b = binding.get()](bool on) { write(*b, on); });
    bindings_.push_back(std::move(binding));
}

void PreferenceWindow::bindTemperatureLabel(QLabel* label, const char* keyPath) {
    label->setMinimumWidth(fontMetrics().horizontalAdvance(QString::fromUtf8("-888 \u00B0F")));
    label->setAlignment(Qt::AlignCenter);
    bindings_.push_back(std::make_unique<KeyValueBinding>(
        pane_->fileOwnerController(), keyPath,
        [label](const Value& v) {
            if (!isControllerMarker(v)) label->setText(QString::fromStdString(v.stringValue()));
        },
        BindingOptions{"TempTransformer"}));
}

void PreferenceWindow::write(KeyValueBinding& binding, const Value& value) {
    // A change of the user's own after Restore Defaults: its Undo would now undo more.
    if (beforeReset_) {
        beforeReset_.reset();
        showMessage({});
    }
    try {
        binding.write(value);
    } catch (const std::exception& e) {
        log::error("settings", "%s", e.what());
        showMessage(QString::fromStdString(e.what()));
    }
}

void PreferenceWindow::showMessage(const QString& message) {
    statusText_->setText(message);
    status_->setVisible(!message.isEmpty());
    if (message.isEmpty()) undo_->setVisible(false);
}

void PreferenceWindow::showNotice(HDDPreferencePane::Notice notice, const std::string& detail) {
    using Notice = HDDPreferencePane::Notice;
    const QString why = QString::fromStdString(detail);
    switch (notice) {
        case Notice::None:
            // Undo stays on offer until the user does something else.
            if (!undo_->isVisible()) showMessage({});
            return;
        case Notice::Absent:
            showMessage(
                tr("The fan daemon is not running. Start it with \u201Csystemctl start "
                   "drivethermd\u201D; this window connects as soon as it runs."));
            break;
        case Notice::Lost:
            showMessage(
                tr("The fan daemon stopped answering; the window shows zeros until it is "
                   "back (\u201Csystemctl start drivethermd\u201D)."));
            break;
        case Notice::Refused:
            showMessage(tr("The daemon kept its setting: %1.").arg(why));
            break;
        case Notice::NotUnderstood:
            showMessage(
                tr("The fan daemon gave an answer this window does not understand: %1.").arg(why));
            break;
    }
    undo_->setVisible(false);
    beforeReset_.reset();
}

void PreferenceWindow::showFan() {
    const DaemonSettings& s = pane_->daemonSettings();
    const bool connected = pane_->isConnected();
    // Without a daemon nothing can be changed: the settings are greyed out and the base speed
    // reads as a dash, never as a speed the fan does not run at. Only then: a control that is
    // disabled on its way through a refresh would lose the keyboard focus.
    for (QWidget* control : std::initializer_list<QWidget*>{slider_, baseRpm_, drives_, reset_}) {
        if (control) control->setEnabled(connected);
    }
    for (QCheckBox* box : findChildren<QCheckBox*>()) box->setEnabled(connected);
    baseRpm_->setSpecialValueText(connected ? QString() : QStringLiteral("\u2014"));
    const bool known = s.fanMaximum > 0 && s.fanMaximum >= s.fanMinimum;
    // The daemon keeps every speed inside the fan's own range: the field offers no other.
    if (!connected) {
        baseRpm_->setRange(0, 0);
    } else {
        baseRpm_->setRange(known ? s.fanMinimum : kLowestBaseRpm,
                           known ? s.fanMaximum : kHighestBaseRpm);
    }
    baseRpm_->setToolTip(
        known ? tr("This fan runs between %1 and %2 rpm").arg(s.fanMinimum).arg(s.fanMaximum)
              : QString());
    QString text;
    const QString label = QString::fromStdString(s.fanLabel);
    if (s.fanMode.empty()) {
        text.clear();
    } else if (s.fanIndex < 0 || s.fanMode == "none") {
        text = tr("Fan: no fan");
    } else {
        const QString fan = label.isEmpty() ? tr("fan %1").arg(s.fanIndex)
                                            : tr("fan %1 (%2)").arg(s.fanIndex).arg(label);
        if (s.fanMode == "forced") {
            text = tr("Fan: %1, held").arg(fan);
        } else if (s.fanMode == "floor") {
            // Only a one-fan Mac is driven this way.
            text = label.isEmpty() ? tr("Fan: the only fan, raised as a floor")
                                   : tr("Fan: the only fan (%1), raised as a floor").arg(label);
        } else {
            text = tr("Fan: %1").arg(fan);
        }
    }
    fanLine_->setText(text);
    fanLine_->setVisible(!text.isEmpty());
}

void PreferenceWindow::restoreDefaults() {
    const DaemonSettings before = pane_->daemonSettings();
    try {
        pane_->resetDefaults();
    } catch (const std::exception& e) {
        showMessage(QString::fromStdString(e.what()));
        return;
    }
    beforeReset_ = before;
    showMessage(tr("The defaults are restored."));
    undo_->setVisible(true);
}

void PreferenceWindow::undoRestore() {
    if (!beforeReset_) return;
    const DaemonSettings s = *beforeReset_;
    beforeReset_.reset();
    undo_->setVisible(false);
    showMessage({});
    pane_->setLowerThreshold(s.lowerThreshold);
    pane_->setUpperThreshold(s.upperThreshold);
    pane_->setBaseRpm(s.baseRpm);
    pane_->setPinToBase(s.pinToBase);
    pane_->setHDDName(s.HDDName && !s.HDDName->empty() ? s.HDDName : std::nullopt);
    pane_->setFahrenheit(s.fahrenheit);
    pane_->setUseAmbientTemp(s.useAmbientTemp);
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
