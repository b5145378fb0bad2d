#include "platform/single_instance.h"

#include "platform/user_runtime.h"

#include <QDir>
#include <QLocalSocket>
#include <QThread>
#include <unistd.h>

#include <cstdio>

namespace zr417 {

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), key_(key) {}

SingleInstance::~SingleInstance() = default;

// Everything that reaches this copy through its socket comes from a program
// of the same user: the lock and the socket sit in a folder no one else can
// write to, and each end checks who is at the other.
bool SingleInstance::sameUser(const QLocalSocket& socket)
{
    auto peer = PeerUid(static_cast<int>(socket.socketDescriptor()));
    return peer && *peer == ::geteuid();
}

QString SingleInstance::socketName() const
{
    return QDir(folder_).filePath(QStringLiteral("%1-%2").arg(key_).arg(::geteuid()));
}

bool SingleInstance::notifyRunningCopy() const
{
    // The first copy may still be starting; give it a moment to listen.
    for (int attempt = 0; attempt < 20; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(socketName());
        if (socket.waitForConnected(250)) {
            if (!sameUser(socket)) {
                auto peer = PeerUid(static_cast<int>(socket.socketDescriptor()));
                std::fprintf(stderr, "%s: %s is held by a program of %s, not one of yours: not asking it anything\n",
                             program_invocation_short_name, qPrintable(socketName()),
                             peer ? DescribeUser(*peer).c_str() : "an unknown user");
                socket.abort();
                return false;
            }
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
    std::string error;
    auto folder = UserRuntimeFolder({::geteuid(), ::getegid()}, /*prepare=*/true, &error);
    if (!folder) {
        // Better a second copy than none at all.
        std::fprintf(stderr, "%s: cannot guard against a second copy: %s\n", program_invocation_short_name,
                     error.c_str());
        return true;
    }
    folder_ = QString::fromStdString(folder->string());
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
            if (!sameUser(*client)) {
                auto peer = PeerUid(static_cast<int>(client->socketDescriptor()));
                std::fprintf(stderr, "%s: refused a request from a program of %s\n", program_invocation_short_name,
                             peer ? DescribeUser(*peer).c_str() : "an unknown user");
                client->abort();
                client->deleteLater();
                continue;
            }
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
