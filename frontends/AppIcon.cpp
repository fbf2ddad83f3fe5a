// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontends/AppIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace drivetherm {
namespace {

// Draws the icon fresh for each size and device-pixel ratio, so it stays sharp at 2x.
class AppIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        painter->save();
        painter->translate(rect.topLeft());
        if (mode == QIcon::Disabled) painter->setOpacity(0.4);
        paintAppIcon(*painter, std::min(rect.width(), rect.height()));
        painter->restore();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap picture(size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return picture;
    }
    QIconEngine* clone() const override { return new AppIconEngine; }
    QString key() const override { return "drivetherm-app"; }
};

}  // namespace

void paintAppIcon(QPainter& painter, double side) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // The drawing's own units: a 64 x 64 square, as in the SVG.
    painter.scale(side / 64.0, side / 64.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x4e, 0x79));
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // The disk's platter, hub and arm.
    painter.setPen(QPen(QColor(0x9a, 0xa3, 0xad), 2));
    painter.setBrush(QColor(0xd9, 0xdd, 0xe3));
    painter.drawEllipse(QPointF(26, 34), 18, 18);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x6b, 0x75, 0x80));
    painter.drawEllipse(QPointF(26, 34), 4, 4);
    painter.setPen(QPen(QColor(0x6b, 0x75, 0x80), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(40, 50), QPointF(29, 38));

    // The thermometer: a white tube, red bulb and column.
    const QColor red(0xe5, 0x39, 0x35);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(46, 8, 10, 38), 5, 5);
    painter.drawEllipse(QPointF(51, 48), 8, 8);
    painter.setBrush(red);
    painter.drawEllipse(QPointF(51, 48), 5.5, 5.5);
    painter.drawRect(QRectF(49, 20, 4, 26));
    painter.restore();
}

QIcon appIcon() {
    return QIcon(new AppIconEngine);
}

}  // namespace drivetherm
