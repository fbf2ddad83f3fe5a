// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "pane/GraphSink.h"
#include "pane/GraphView.h"

namespace drivetherm {

// The speed-curve graph as the settings window's controller sees it.
class PaneGraphView final : public GraphView, public GraphSink {
    Q_OBJECT

public:
    explicit PaneGraphView(const QSize& frame, QWidget* parent = nullptr)
        : GraphView(frame, parent) {}

    void setBaseRpm(int rpm) override { GraphView::setBaseRpm(rpm); }
    void setLowerThreshold(float celsius) override { GraphView::setLowerThreshold(celsius); }
    void setUpperThreshold(float celsius) override { GraphView::setUpperThreshold(celsius); }
    void setCurrentTemp(float celsius) override { GraphView::setCurrentTemp(celsius); }
    void setCurrentRpm(float rpm) override { GraphView::setCurrentRpm(rpm); }
    void setFahrenheit(bool fahrenheit) override { GraphView::setFahrenheit(fahrenheit); }
    void setPinToBase(bool pin) override { GraphView::setPinToBase(pin); }
};

}  // namespace drivetherm
