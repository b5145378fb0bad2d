#include "platform/single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

namespace zr417 {

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), key_(key) {}

SingleInstance::~SingleInstance() = default;

// The per-login runtime folder holds both the lock and the socket, so a
// crashed copy's leftovers are ours alone to clean up.
static QString lockDirectory()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

QString SingleInstance::socketName() const
{
    return QDir(lockDirectory()).filePath(QStringLiteral("%1-%2").arg(key_).arg(::getuid()));
}

bool SingleInstance::notifyRunningCopy() const
{
    // The first copy may still be starting; give it a moment to listen.
    for (int attempt = 0; attempt < 20; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(socketName());
        if (socket.waitForConnected(250)) {
            socket.write("activate\n");
            socket.waitForBytesWritten(500);
            socket.disconnectFromServer();
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

bool SingleInstance::acquire()
{
    const QString lockPath = socketName() + QStringLiteral(".lock");
    lock_ = std::make_unique<QLockFile>(lockPath);
    lock_->setStaleLockTime(0);  // stale only when its process is gone
    if (!lock_->tryLock(0)) {
        notifyRunningCopy();
        return false;
    }
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketName());  // left over by a crashed copy
    server_->listen(socketName());
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().contains("activate"))
                    emit activationRequested();
            });
        }
    });
    return true;
}

}  // namespace zr417
