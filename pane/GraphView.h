// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QSize>
#include <QWidget>

#include "pane/GraphGeometry.h"

class QPainter;

namespace drivetherm {

struct GraphText;

// The speed-curve picture of the settings window: what the fan will do at each disk temperature,
// the current temperature and fan speed, and the speed the settings call for now. The settings
// window pushes every value in through the setters; the view never asks for anything.
//
// The picture is drawn on black in fixed colours (blue curve, grey labels, white captions, red
// reading), as a chart rather than a themed control. Its scales are fixed by the size given at
// creation, which is also its minimum size.
class GraphView : public QWidget {
    Q_OBJECT

public:
    explicit GraphView(const QSize& frame = QSize(640, 320), QWidget* parent = nullptr);

    // Each stores its value and asks for one repaint; any number of changes between two paints
    // cost one repaint.
    void setBaseRpm(int rpm);
    void setLowerThreshold(float celsius);
    void setUpperThreshold(float celsius);
    void setCurrentTemp(float celsius);
    void setCurrentRpm(float rpm);
    void setFahrenheit(bool fahrenheit);
    void setPinToBase(bool pin);

    // The figures behind the picture.
    const GraphGeometry& graphGeometry() const { return geometry_; }

    QSize sizeHint() const override { return frame_; }

    // The face the texts are drawn in: Helvetica 12, or the closest sans-serif face installed.
    static QFont textFont();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The one place where the graph's y-up coordinates become the widget's y-down ones.
    QPointF toWidget(const GraphPoint& point) const;
    void drawText(QPainter& painter, const GraphText& text) const;

    QSize frame_;
    GraphGeometry geometry_;
};

}  // namespace drivetherm
