// SPDX-License-Identifier: GPL-2.0-or-later
#include "pane/GraphView.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace drivetherm {

namespace {

const QColor kBlack(0, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGray = QColor::fromRgbF(0.5, 0.5, 0.5);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

constexpr double kCurveWidth = 10;
constexpr double kReadingWidth = 2;
constexpr double kMarkerRadius = 6;
// The marker's circle sits this far above the point on the curve.
constexpr double kMarkerLift = 4;

QPen pen(const QColor& colour, double width) {
    QPen p(colour, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    p.setMiterLimit(10);
    return p;
}

}  // namespace

GraphView::GraphView(const QSize& frame, QWidget* parent)
    : QWidget(parent), frame_(frame), geometry_(frame.width(), frame.height()) {
    resize(frame);
    setMinimumSize(frame);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphView::setBaseRpm(int rpm) {
    geometry_.setBaseRpm(rpm);
    update();
}

void GraphView::setLowerThreshold(float celsius) {
    geometry_.setLowerThreshold(celsius);
    update();
}

void GraphView::setUpperThreshold(float celsius) {
    geometry_.setUpperThreshold(celsius);
    update();
}

void GraphView::setCurrentTemp(float celsius) {
    geometry_.setCurrentTemp(celsius);
    update();
}

void GraphView::setCurrentRpm(float rpm) {
    geometry_.setCurrentRpm(rpm);
    update();
}

void GraphView::setFahrenheit(bool fahrenheit) {
    geometry_.setFahrenheit(fahrenheit);
    update();
}

void GraphView::setPinToBase(bool pin) {
    geometry_.setPinToBase(pin);
    update();
}

QFont GraphView::textFont() {
    QFont font;
    // Helvetica is rarely installed on Linux; these faces share its metrics or come close, and
    // DejaVu Sans is always there.
    font.setFamilies({"Helvetica", "Nimbus Sans", "Liberation Sans", "Arial", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    // Points of the picture, not typographic points: the texts must keep their place beside the
    // axes at every screen density.
    font.setPixelSize(12);
    return font;
}

QPointF GraphView::toWidget(const GraphPoint& point) const {
    return QPointF(point.x, height() - point.y);
}

void GraphView::drawText(QPainter& painter, const GraphText& text) const {
    // The text's position is the lower-left corner of its box; Qt draws from the baseline.
    const QFontMetricsF metrics(painter.font());
    painter.drawText(toWidget(text.at) - QPointF(0, metrics.descent()),
                     QString::fromStdString(text.text));
}

void GraphView::paintEvent(QPaintEvent*) {
    const GraphPicture picture = geometry_.picture(width(), height());
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);

    painter.fillRect(rect(), kBlack);

    QPainterPath curve(toWidget(picture.curveStart));
    curve.lineTo(toWidget(picture.bendStart));
    curve.cubicTo(toWidget(picture.control1), toWidget(picture.control2),
                  toWidget(picture.bendEnd));
    curve.lineTo(toWidget(picture.curveEnd));
    painter.strokePath(curve, pen(kBlue, kCurveWidth));

    // The fill covers the lower half of the thick curve, which makes its top edge look soft.
    QPainterPath area = curve;
    area.lineTo(toWidget(picture.fillRight));
    area.lineTo(toWidget(picture.fillLeft));
    area.closeSubpath();
    const QRectF box = area.boundingRect();
    QLinearGradient gradient(box.bottomLeft(), box.topLeft());
    gradient.setColorAt(0.01, kBlack);
    gradient.setColorAt(1.0, kBlue);
    painter.fillPath(area, gradient);

    painter.setFont(textFont());
    painter.setPen(kGray);
    for (const GraphText& label : picture.speedLabels) {
        drawText(painter, label);
    }
    for (const GraphText& label : picture.temperatureLabels) {
        drawText(painter, label);
    }

    painter.setPen(pen(kBlue, 1));
    painter.drawLine(toWidget(picture.speedLineFrom), toWidget(picture.speedLineTo));

    // A full circle from its bottom point and on to its right-hand point, then the horizontal
    // diameter back to the left: a ring with a bar, drawn as one stroke.
    const QPointF centre = toWidget({picture.marker.x, picture.marker.y + kMarkerLift});
    const QRectF ring(centre.x() - kMarkerRadius, centre.y() - kMarkerRadius, 2 * kMarkerRadius,
                      2 * kMarkerRadius);
    QPainterPath marker;
    marker.arcMoveTo(ring, -90);
    marker.arcTo(ring, -90, 360);
    marker.arcTo(ring, -90, 90);
    marker.lineTo(centre.x() - kMarkerRadius, centre.y());
    painter.strokePath(marker, pen(kRed, kReadingWidth));

    painter.setPen(kWhite);
    drawText(painter, picture.targetCaption);
    drawText(painter, picture.temperatureCaption);
    drawText(painter, picture.speedCaption);

    painter.setPen(pen(kRed, kReadingWidth));
    painter.drawLine(toWidget(picture.temperatureLineFrom), toWidget(picture.temperatureLineTo));
}

}  // namespace drivetherm
