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
    // Round joins: a miter at a sharp backward bend reaches far past the line's end.
    return QPen(colour, width, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
}

}  // namespace

GraphView::GraphView(const QSize& frame, QWidget* parent)
    : QWidget(parent), frame_(frame), geometry_(frame.width(), frame.height()) {
    resize(frame);
    setMinimumSize(frame);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(tr("Fan speed curve"));
    changed();
}

void GraphView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The scales follow the size: the same values on a new frame.
    GraphGeometry resized(width(), height());
    resized.setBaseRpm(geometry_.baseRpm());
    resized.setLowerThreshold(geometry_.lowerThreshold());
    resized.setUpperThreshold(geometry_.upperThreshold());
    resized.setCurrentTemp(geometry_.currentTemp());
    resized.setCurrentRpm(geometry_.currentRpm());
    resized.setFahrenheit(geometry_.fahrenheit());
    resized.setPinToBase(geometry_.pinToBase());
    geometry_ = resized;
}

void GraphView::changed() {
    update();
    const GraphGeometry& g = geometry_;
    if (g.isEmpty()) {
        setAccessibleDescription(tr("No fan settings: the fan daemon is not answering."));
        return;
    }
    const auto text = [](const std::string& s) { return QString::fromStdString(s); };
    setAccessibleDescription(
        tr("Base speed %1 rpm up to %2, rising to %3 rpm at %4. Now %5, fan at %6 rpm; the "
           "settings call for %7 rpm.%8")
            .arg(g.baseRpm())
            .arg(text(g.transformedToDegrees(g.lowerThreshold())))
            .arg(GraphGeometry::kTopRpm)
            .arg(text(g.transformedToDegrees(g.upperThreshold())))
            .arg(text(g.transformedToDegrees(g.currentTemp())))
            .arg(g.currentRpmTruncated())
            .arg(g.pinToBase() ? g.baseRpm() : g.targetSpeed())
            .arg(g.pinToBase() ? tr(" The fan is held at the base speed.") : QString()));
}

QRectF GraphView::plotArea() const {
    const GraphPoint low = geometry_.coordinateForTempWithoutPinToBase(GraphGeometry::kLowestTemp,
                                                                       GraphGeometry::kLowestRpm);
    const GraphPoint high = geometry_.coordinateForTempWithoutPinToBase(GraphGeometry::kHighestTemp,
                                                                        GraphGeometry::kHighestRpm);
    // Half the curve's width around the axes' ends: a curve at an end of an axis keeps its
    // full stroke.
    const double m = kCurveWidth / 2;
    return QRectF(toWidget(low), toWidget(high)).normalized().adjusted(-m, -m, m, m);
}

void GraphView::setBaseRpm(int rpm) {
    geometry_.setBaseRpm(rpm);
    changed();
}

void GraphView::setLowerThreshold(float celsius) {
    geometry_.setLowerThreshold(celsius);
    changed();
}

void GraphView::setUpperThreshold(float celsius) {
    geometry_.setUpperThreshold(celsius);
    changed();
}

void GraphView::setCurrentTemp(float celsius) {
    geometry_.setCurrentTemp(celsius);
    changed();
}

void GraphView::setCurrentRpm(float rpm) {
    geometry_.setCurrentRpm(rpm);
    changed();
}

void GraphView::setFahrenheit(bool fahrenheit) {
    geometry_.setFahrenheit(fahrenheit);
    changed();
}

void GraphView::setPinToBase(bool pin) {
    geometry_.setPinToBase(pin);
    changed();
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

void GraphView::drawTemperatureLabels(QPainter& painter, const GraphPicture& picture) const {
    // In a narrow graph every other label, so that no two run into each other.
    const auto& labels = picture.temperatureLabels;
    const QFontMetricsF metrics(painter.font());
    std::size_t every = 1;
    if (labels.size() > 1) {
        const double step = labels[1].at.x - labels[0].at.x;
        const double widest = metrics.horizontalAdvance(QString::fromStdString(labels.back().text));
        while (every < labels.size() && step * static_cast<double>(every) < widest + 4) ++every;
    }
    for (std::size_t i = 0; i < labels.size(); i += every) drawText(painter, labels[i]);
}

void GraphView::paintEvent(QPaintEvent*) {
    const GraphPicture picture = geometry_.picture(width(), height());
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);

    painter.fillRect(rect(), kBlack);

    if (geometry_.isEmpty()) {
        painter.setFont(textFont());
        painter.setPen(kGray);
        for (const GraphText& label : picture.speedLabels) drawText(painter, label);
        drawTemperatureLabels(painter, picture);
        painter.drawText(plotArea(), Qt::AlignCenter | Qt::TextWordWrap,
                         tr("No settings to draw: the fan daemon is not answering."));
        return;
    }

    painter.save();
    painter.setClipRect(plotArea());
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
    painter.restore();

    painter.setFont(textFont());
    painter.setPen(kGray);
    // In a short graph only every 1000 rpm, and fewer if the rows still crowd.
    const double rows = picture.speedLabels.size() > 1
                            ? picture.speedLabels[1].at.y - picture.speedLabels[0].at.y
                            : 0;
    const double lineHeight = QFontMetricsF(painter.font()).height();
    std::size_t every = 1;
    while (every < picture.speedLabels.size() && rows * static_cast<double>(every) < lineHeight)
        every *= 2;
    for (std::size_t i = 0; i < picture.speedLabels.size(); i += every) {
        drawText(painter, picture.speedLabels[i]);
    }
    drawTemperatureLabels(painter, picture);

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
