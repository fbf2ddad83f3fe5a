// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <functional>

namespace drivetherm {

// Hands a task from any thread to the application's own thread, where Qt's event loop runs it
// at its next pass: how the daemon's answers reach the window and the tray.
inline void postToGuiThread(std::function<void()> task) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

}  // namespace drivetherm
