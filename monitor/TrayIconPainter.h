// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QIcon>

#include "monitor/StatusTitle.h"

namespace drivetherm {

// The tray icon for a title: its text (TrayIconText) in white on the program's blue, drawn
// separately for each size a tray asks for, from 16 to 64 pixels, so that it stays sharp on a
// 22-pixel panel and at twice that scale.
class TrayIconPainter {
public:
    static QIcon icon(const StatusTitle& title);
    // One size of it.
    static QPixmap pixmap(const StatusTitle& title, int side);
};

}  // namespace drivetherm
