// SPDX-License-Identifier: GPL-2.0-or-later
#include "monitor/TrayIconPainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

#include "frontends/AppIcon.h"
#include "monitor/TrayIconText.h"

namespace drivetherm {
namespace {

constexpr int kSides[] = {16, 22, 24, 32, 44, 48, 64};
const QColor kPlate(0x1f, 0x4e, 0x79);
const QColor kHotPlate(0xc0, 0x1c, 0x28);
const QColor kSubduedPlate(0x55, 0x5b, 0x61);
// The digits are never shorter than this, however small the tray: smaller is not readable.
constexpr double kSmallestDigits = 9;

// The bold face whose digits are `digits` pixels tall.
QFont digitFont(double digits) {
    QFont font;
    font.setBold(true);
    for (int size = 6; size < 200; ++size) {
        font.setPixelSize(size);
        if (QFontMetricsF(font).tightBoundingRect(QStringLiteral("0")).height() >= digits) break;
    }
    return font;
}

}  // namespace

QPixmap TrayIconPainter::pixmap(const StatusTitle& title, int side) {
    QPixmap picture(side, side);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    const TrayIconText text = TrayIconText::forTitle(title);
    if (text.lines.empty()) {
        paintAppIcon(painter, side);
        return picture;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(text.subdued ? kSubduedPlate : text.hot ? kHotPlate : kPlate);
    const double corner = side * 0.18;
    painter.drawRoundedRect(QRectF(0, 0, side, side), corner, corner);

    // One line, as tall as the icon allows; a line too wide for the square is narrowed, never
    // made shorter, and loses its degree sign first.
    QString line = QString::fromStdString(text.lines.front());
    const QFont font = digitFont(std::max(kSmallestDigits, side * 0.6));
    const QFontMetricsF metrics(font);
    const double room = side * 0.96;
    if (metrics.horizontalAdvance(line) > room && line.endsWith(QChar(0x00B0))) line.chop(1);
    const double width = metrics.horizontalAdvance(line);
    const double squeeze = width > room ? room / width : 1.0;
    painter.setFont(font);
    painter.setPen(text.subdued ? QColor(0xdd, 0xdd, 0xdd) : Qt::white);
    const QRectF box = metrics.tightBoundingRect(line);
    painter.translate(side / 2.0, side / 2.0);
    painter.scale(squeeze, 1.0);
    // Centred on the digits' own box, not on the font's line with its room for descenders.
    painter.drawText(QPointF(-width / 2, -box.center().y()), line);
    return picture;
}

QIcon TrayIconPainter::icon(const StatusTitle& title) {
    QIcon icon;
    for (const int side : kSides) icon.addPixmap(pixmap(title, side));
    return icon;
}

}  // namespace drivetherm
