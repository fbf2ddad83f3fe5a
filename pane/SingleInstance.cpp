// SPDX-License-Identifier: GPL-2.0-or-later
#include "pane/SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

#include "common/Log.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "settings";
constexpr int kAnswerMs = 1000;
const QByteArray kRaise = "raise\n";

QString socketPathFor(const QString& key) {
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
    // The runtime directory belongs to the user alone; /tmp is shared, so there the name
    // carries the user as well.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
        return runtime + "/drivetherm-settings-" + hash;
    }
    return QDir::tempPath() + "/drivetherm-settings-" + QString::number(::getuid()) + "-" + hash;
}

}  // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent)
    : QObject(parent), path_(socketPathFor(key)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::onConnection);
}

bool SingleInstance::askRunningInstanceToRaise() {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(kAnswerMs)) return false;
    socket.write(kRaise);
    const bool sent = socket.waitForBytesWritten(kAnswerMs);
    socket.disconnectFromServer();
    return sent;
}

bool SingleInstance::listen() {
    // Nobody answered: what is left of the socket belongs to a window that ended without
    // tidying up.
    QLocalServer::removeServer(path_);
    if (!server_.listen(path_)) {
        log::warning(kTag, "a second settings window will not find this one: %s",
                     qPrintable(server_.errorString()));
        return false;
    }
    return true;
}

void SingleInstance::onConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const auto read = [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == kRaise) emit raiseRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        read();  // what arrived with the connection
    }
}

}  // namespace drivetherm
