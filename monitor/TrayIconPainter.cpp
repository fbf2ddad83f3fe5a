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
const QColor kSubduedPlate(0x55, 0x5b, 0x61);

// The largest condensed bold face in which every line fits the square, at most `ceiling`
// pixels high.
QFont fittingFont(const std::vector<QString>& lines, double width, double ceiling) {
    QFont font;
    font.setBold(true);
    font.setStretch(QFont::Condensed);
    double size = std::max(1.0, ceiling);
    for (; size > 4; size -= 0.5) {
        font.setPixelSize(static_cast<int>(size));
        const QFontMetricsF metrics(font);
        double widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        if (widest <= width) break;
    }
    font.setPixelSize(static_cast<int>(size));
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
    painter.setBrush(text.subdued ? kSubduedPlate : kPlate);
    const double corner = side * 0.18;
    painter.drawRoundedRect(QRectF(0, 0, side, side), corner, corner);

    std::vector<QString> lines;
    for (const std::string& line : text.lines) lines.push_back(QString::fromStdString(line));
    const double lineHeight = side / static_cast<double>(lines.size());
    const QFont font = fittingFont(lines, side * 0.94, lineHeight * 1.05 * text.relativeSize);
    painter.setFont(font);
    painter.setPen(text.subdued ? QColor(0xdd, 0xdd, 0xdd) : Qt::white);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const QRectF row(0, lineHeight * static_cast<double>(i), side, lineHeight);
        painter.drawText(row, Qt::AlignCenter, lines[i]);
    }
    return picture;
}

QIcon TrayIconPainter::icon(const StatusTitle& title) {
    QIcon icon;
    for (const int side : kSides) icon.addPixmap(pixmap(title, side));
    return icon;
}

}  // namespace drivetherm
