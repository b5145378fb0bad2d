#include "platform/single_instance.h"

#include "platform/instance_link.h"
#include "platform/user_runtime.h"

#include <unistd.h>
#include <QDir>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <memory>

#include <cstdio>
#include <cstdlib>

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
    return QString::fromStdString(InstanceSocketPath(folder_.toStdString(), key_.toStdString(), ::geteuid()).string());
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
            if (activateRunningCopy_) {
                socket.write(QByteArray::fromStdString(std::string(kActivateRequest)) + '\n');
                socket.waitForBytesWritten(500);
            }
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
    const std::string name = InstanceSocketName(key_.toStdString(), ::geteuid());
    auto folder = UserRuntimeFolder({::geteuid(), ::getegid()}, /*prepare=*/true, &error, name);
    if (!folder) {
        // Better a second copy than none at all.
        std::fprintf(stderr, "%s: cannot guard against a second copy: %s\n", program_invocation_short_name,
                     error.c_str());
        return true;
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && *runtime == '/' && !SocketPathFits(runtime, name))
        std::fprintf(stderr, "%s: XDG_RUNTIME_DIR (%s) is too long a path for a local socket; using %s instead\n",
                     program_invocation_short_name, runtime, folder->c_str());
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
            serve(client);
        }
    });
    return true;
}

// One request a line. "activate" gets no reply and leaves the socket open for
// more; any other request is answered and the socket closed.
void SingleInstance::serve(QLocalSocket* client)
{
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    struct Pending {
        QByteArray buffer;
        bool answered = false;  // a request is being answered: nothing more is read
    };
    auto pending = std::make_shared<Pending>();
    connect(client, &QLocalSocket::readyRead, this, [this, client, pending] {
        QByteArray* buffer = &pending->buffer;
        if (pending->answered) {
            client->readAll();
            return;
        }
        buffer->append(client->readAll());
        for (qsizetype end; (end = buffer->indexOf('\n')) >= 0;) {
            const QByteArray line = buffer->left(end);
            buffer->remove(0, end + 1);
            if (line == QByteArray::fromStdString(std::string(kActivateRequest))) {
                emit activationRequested();
                continue;
            }
            QPointer<QLocalSocket> target(client);
            Reply reply = [target](int exitCode, const QString& text) {
                if (!target) return;  // the asker gave up
                target->write(QByteArray::fromStdString(FormatInstanceReply({exitCode, text.toStdString()})));
                target->flush();
                target->disconnectFromServer();
            };
            buffer->clear();
            pending->answered = true;
            if (handler_)
                handler_(QString::fromUtf8(line), std::move(reply));
            else
                reply(2, QStringLiteral("the program does not take requests\n"));
            return;
        }
        // A line longer than any request is no request.
        if (buffer->size() > 4096) client->abort();
    });
}

}  // namespace zr417
