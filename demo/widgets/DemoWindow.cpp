// SPDX-License-Identifier: GPL-2.0-or-later
#include "demo/widgets/DemoWindow.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "bindings/TransformerRegistry.h"
#include "frontends/TempTransformer.h"
#include "pane/GraphView.h"
#include "slider/SMDoubleSlider.h"

namespace drivetherm {

DemoWindow::DemoWindow()
    : transformer_(std::make_shared<TempTransformer>()),
      model_(transformer_),
      controller_(&model_),
      graph_(new GraphView(QSize(640, 320))),
      slider_(new SMDoubleSlider) {
    setWindowTitle("Drivetherm widgets");
    TransformerRegistry::setValueTransformer(transformer_, "TempTransformer");

    slider_->setMaxValue(80);
    slider_->setMinValue(25);
    slider_->bind("objectLoValue", controller_, "selection.lowerThreshold");
    slider_->bind("objectHiValue", controller_, "selection.upperThreshold");

    auto* lower = new QLabel;
    auto* upper = new QLabel;
    auto* base = new QSpinBox;
    base->setRange(0, 6000);
    base->setSingleStep(100);
    base->setSuffix(" rpm");
    auto* temperature = new QDoubleSpinBox;
    temperature->setRange(0, 100);
    temperature->setDecimals(1);
    temperature->setSuffix(" \u00B0C");
    auto* fahrenheit = new QCheckBox("Show temperatures in Fahrenheit");
    auto* pin = new QCheckBox("Hold the fan at the base speed");

    // Labels shown through the registered transformer, read-only.
    const auto showIn = [this](QLabel* label, const char* keyPath) {
        bindings_.push_back(std::make_unique<KeyValueBinding>(
            controller_, keyPath,
            [label](const Value& v) { label->setText(QString::fromStdString(v.stringValue())); },
            BindingOptions{"TempTransformer"}));
    };
    showIn(lower, "selection.lowerThreshold");
    showIn(upper, "selection.upperThreshold");

    auto baseBinding =
        std::make_unique<KeyValueBinding>(controller_, "selection.baseRpm", [base](const Value& v) {
            const QSignalBlocker quiet(base);
            base->setEnabled(!isControllerMarker(v));
            base->setValue(v.intValue());
        });
    connect(base, &QSpinBox::valueChanged, [b = baseBinding.get()](int rpm) { b->write(rpm); });
    bindings_.push_back(std::move(baseBinding));

    auto tempBinding = std::make_unique<KeyValueBinding>(
        controller_, "selection.currentTemp", [temperature](const Value& v) {
            const QSignalBlocker quiet(temperature);
            temperature->setEnabled(!isControllerMarker(v));
            temperature->setValue(v.doubleValue());
        });
    connect(temperature, &QDoubleSpinBox::valueChanged,
            [b = tempBinding.get()](double celsius) { b->write(celsius); });
    bindings_.push_back(std::move(tempBinding));

    bindCheckBox(fahrenheit, "selection.fahrenheit");
    bindCheckBox(pin, "selection.pinToBase");

    // The graph takes every value pushed in, as the settings window pushes them.
    const auto feed = [this](const char* keyPath, std::function<void(const Value&)> push) {
        bindings_.push_back(std::make_unique<KeyValueBinding>(
            controller_, keyPath, [push = std::move(push)](const Value& v) {
                if (!isControllerMarker(v)) {
                    push(v);
                }
            }));
    };
    feed("selection.baseRpm", [this](const Value& v) { graph_->setBaseRpm(v.intValue()); });
    feed("selection.lowerThreshold",
         [this](const Value& v) { graph_->setLowerThreshold(v.floatValue()); });
    feed("selection.upperThreshold",
         [this](const Value& v) { graph_->setUpperThreshold(v.floatValue()); });
    feed("selection.currentTemp",
         [this](const Value& v) { graph_->setCurrentTemp(v.floatValue()); });
    feed("selection.currentRpm", [this](const Value& v) { graph_->setCurrentRpm(v.floatValue()); });
    feed("selection.fahrenheit", [this](const Value& v) { graph_->setFahrenheit(v.boolValue()); });
    feed("selection.pinToBase", [this](const Value& v) { graph_->setPinToBase(v.boolValue()); });

    auto* thresholds = new QHBoxLayout;
    thresholds->addWidget(lower);
    thresholds->addWidget(slider_, 1);
    thresholds->addWidget(upper);
    auto* form = new QFormLayout;
    form->addRow("Thresholds:", thresholds);
    form->addRow("Base speed:", base);
    form->addRow("Disk temperature:", temperature);
    form->addRow(fahrenheit);
    form->addRow(pin);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(graph_, 0, Qt::AlignHCenter);
    layout->addLayout(form);

    auto* fan = new QTimer(this);
    connect(fan, &QTimer::timeout, this, [this] { model_.rampFan(); });
    fan->start(500);
}

DemoWindow::~DemoWindow() = default;

void DemoWindow::bindCheckBox(QCheckBox* box, const char* keyPath) {
    auto binding = std::make_unique<KeyValueBinding>(controller_, keyPath, [box](const Value& v) {
        const QSignalBlocker quiet(box);
        box->setEnabled(!isControllerMarker(v));
        box->setChecked(v.boolValue());
    });
    connect(box, &QCheckBox::toggled, this, [this, b = binding.get()](bool on) {
        b->write(on);
        refreshControls();
    });
    bindings_.push_back(std::move(binding));
}

void DemoWindow::refreshControls() {
    controller_.setContent(nullptr);
    controller_.setContent(&model_);
}

}  // namespace drivetherm
