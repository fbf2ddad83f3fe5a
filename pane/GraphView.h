// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QSize>
#include <QWidget>

#include "pane/GraphGeometry.h"

class QPainter;

namespace drivetherm {

struct GraphPicture;
struct GraphText;

// The speed-curve picture of the settings window: what the fan will do at each disk temperature,
// the current temperature and fan speed, and the speed the settings call for now. The settings
// window pushes every value in through the setters; the view never asks for anything.
//
// The picture is drawn on black in fixed colours (blue curve, grey labels, white captions, red
// reading), as a chart rather than a themed control. Its scales follow the widget's size, so the
// picture grows and shrinks with the window. The curve is drawn inside the plot only, with
// round joins, so that a sharp bend (a threshold at an end of the axis) cannot spike out of it.
// With no settings (no daemon) it draws the axes and says so, and no target.
//
// Its accessible description says in words what the picture shows.
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
    // The rectangle the curve and its area stay inside, in widget coordinates.
    QRectF plotArea() const;

    // The face the texts are drawn in: Helvetica 12, or the closest sans-serif face installed.
    static QFont textFont();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The one place where the graph's y-up coordinates become the widget's y-down ones.
    QPointF toWidget(const GraphPoint& point) const;
    void drawText(QPainter& painter, const GraphText& text) const;
    void drawTemperatureLabels(QPainter& painter, const GraphPicture& picture) const;
    // The values changed: one repaint, and the description in words.
    void changed();

    QSize frame_;
    GraphGeometry geometry_;
};

}  // namespace drivetherm
