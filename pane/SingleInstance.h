// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace drivetherm {

// Keeps one settings window per user and daemon: a second start asks the running window to come
// to the front and ends. The window listens on a local socket in the user's runtime directory
// whose name is made from `key` (the daemon's bus), so a window for a test bus and one for the
// system bus do not stand in for each other.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);

    // True when a window already runs for this key; it has been asked to come to the front.
    bool askRunningInstanceToRaise();
    // Listens for later starts. False when the socket cannot be made; the window works all the
    // same, only without the guard.
    bool listen();

signals:
    void raiseRequested();

private:
    void onConnection();

    QString path_;
    QLocalServer server_;
};

}  // namespace drivetherm
