// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPoint>
#include <QTest>
#include <QWidget>
#include <memory>
#include <vector>

#include "bindings/KeyValueObject.h"
#include "bindings/ObjectController.h"
#include "slider/SMDoubleSlider.h"

namespace drivetherm::slidergui {

// The two thresholds as the settings window offers them, recording every write.
class Thresholds : public KeyValueObject {
public:
    Thresholds(float lo = 50, float hi = 58) : lower(lo), upper(hi) {
        registerKey<float>(
            "lowerThreshold", [this] { return lower; },
            [this](float v) {
                lower = v;
                lowerWrites.push_back(v);
            });
        registerKey<float>(
            "upperThreshold", [this] { return upper; },
            [this](float v) {
                upper = v;
                upperWrites.push_back(v);
            });
    }

    float lower;
    float upper;
    std::vector<float> lowerWrites;
    std::vector<float> upperWrites;
};

// A window with a text field before and after a threshold slider (25 to 80 °C) that is bound to
// the thresholds through an object controller.
class SliderWindow : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        auto* layout = new QHBoxLayout(window.get());
        before = new QLineEdit;
        slider = new SMDoubleSlider;
        after = new QLineEdit;
        layout->addWidget(before);
        layout->addWidget(slider, 1);
        layout->addWidget(after);
        slider->setMaxValue(80);
        slider->setMinValue(25);
        window->resize(600, 60);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Binds the lo knob first, then the hi knob.
    void bindBoth() {
        slider->bind("objectLoValue", controller, "selection.lowerThreshold");
        slider->bind("objectHiValue", controller, "selection.upperThreshold");
    }

    QPoint loKnob() const { return toPoint(slider->cell()._sm_loKnobRect().centre()); }
    QPoint hiKnob() const { return toPoint(slider->cell().knobRectFlipped(true).centre()); }
    // Where a knob's centre sits at value.
    QPoint pointFor(double value) const {
        return toPoint(slider->cell().knobRectForValueFlipped(value, true).centre());
    }

    // Presses at from, moves in steps to each point, releases at the last one.
    void drag(QPoint from, const std::vector<QPoint>& moves) {
        QTest::mousePress(slider, Qt::LeftButton, {}, from);
        QPoint last = from;
        for (const QPoint& p : moves) {
            QTest::mouseMove(slider, p);
            last = p;
        }
        QTest::mouseRelease(slider, Qt::LeftButton, {}, last);
    }

    static QPoint toPoint(const SliderPoint& p) { return QPoint(qRound(p.x), qRound(p.y)); }

    Thresholds thresholds;
    ObjectController controller{&thresholds};
    std::unique_ptr<QWidget> window;
    QLineEdit* before = nullptr;
    SMDoubleSlider* slider = nullptr;
    QLineEdit* after = nullptr;
};

}  // namespace drivetherm::slidergui
