// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QIcon>

namespace drivetherm {

// The program's icon, a disk and a thermometer: painted here, at every size asked for, so that
// the windows and the tray have it without an image plug-in. The installed SVG
// (packaging/desktop/drivetherm.svg) is the same drawing for the desktop's menus.
QIcon appIcon();

// The drawing on a painter whose target is `side` pixels square at the origin.
void paintAppIcon(class QPainter& painter, double side);

}  // namespace drivetherm
