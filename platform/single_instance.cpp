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
namespace {

// How often the server is checked: Qt closes it, and removes its socket,
// when accept() fails (no file descriptor left), and says nothing.
constexpr std::chrono::seconds kWatchInterval{2};

}  // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), key_(key)
{
    watch_.setInterval(kWatchInterval);
    watch_.setTimerType(Qt::VeryCoarseTimer);
    connect(&watch_, &QTimer::timeout, this, &SingleInstance::keepListening);
}

SingleInstance::~SingleInstance()
{
    // The clients go with the server, while everything they count on is here.
    server_.reset();
}

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
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::acceptClients);
    listen();
    watch_.start();
    return true;
}

bool SingleInstance::listen()
{
    QLocalServer::removeServer(socketName());  // left over by a crashed copy
    if (server_->listen(socketName())) {
        listenFailed_ = false;
        return true;
    }
    // Said once; tried again until it works.
    if (!std::exchange(listenFailed_, true))
        std::fprintf(stderr, "%s: cannot listen on %s (%s); other programs cannot reach this one until it can\n",
                     program_invocation_short_name, qPrintable(socketName()), qPrintable(server_->errorString()));
    return false;
}

void SingleInstance::keepListening()
{
    if (server_->isListening()) return;
    if (!listenFailed_)
        std::fprintf(stderr, "%s: %s stopped taking connections (%s); listening again\n", program_invocation_short_name,
                     qPrintable(socketName()), qPrintable(server_->errorString()));
    listen();
}

void SingleInstance::acceptClients()
{
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        if (!sameUser(*client)) {
            auto peer = PeerUid(static_cast<int>(client->socketDescriptor()));
            std::fprintf(stderr, "%s: refused a request from a program of %s\n", program_invocation_short_name,
                         peer ? DescribeUser(*peer).c_str() : "an unknown user");
            client->abort();
            client->deleteLater();
            continue;
        }
        if (clients_ >= kMaxClients) {
            if (!std::exchange(crowdReported_, true))
                std::fprintf(stderr, "%s: more than %d programs connected at once; turning the others away\n",
                             program_invocation_short_name, kMaxClients);
            client->abort();
            client->deleteLater();
            continue;
        }
        serve(client);
    }
}

// One request a line. "activate" gets no reply and leaves the socket open for
// more; any other request is answered and the socket closed. The socket lives
// until the asker hangs up or the answer is out; the request is handled from
// the event loop, never inside the socket's own signals.
void SingleInstance::serve(QLocalSocket* client)
{
    ++clients_;
    connect(client, &QObject::destroyed, this, [this] {
        if (--clients_ < kMaxClients / 2) crowdReported_ = false;
    });
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    auto* idle = new QTimer(client);
    idle->setSingleShot(true);
    idle->setInterval(kIdleTimeout);
    connect(idle, &QTimer::timeout, client, [client] {
        client->abort();
        client->deleteLater();
    });
    idle->start();

    struct Pending {
        QByteArray buffer;
        bool answering = false;  // a request is being answered: nothing more is read
    };
    auto pending = std::make_shared<Pending>();
    connect(client, &QLocalSocket::readyRead, this, [this, client, idle, pending] {
        if (pending->answering) {
            client->readAll();
            return;
        }
        QByteArray& buffer = pending->buffer;
        buffer.append(client->readAll());
        for (qsizetype end; (end = buffer.indexOf('\n')) >= 0;) {
            const QByteArray line = buffer.left(end);
            buffer.remove(0, end + 1);
            if (line == QByteArray::fromStdString(std::string(kActivateRequest))) {
                idle->start();
                QMetaObject::invokeMethod(this, &SingleInstance::activationRequested, Qt::QueuedConnection);
                continue;
            }
            buffer.clear();
            pending->answering = true;
            idle->stop();
            auto done = std::make_shared<bool>(false);
            Reply reply = [target = QPointer<QLocalSocket>(client), done](int exitCode, const QString& text) {
                if (std::exchange(*done, true)) return;
                if (!target || target->state() != QLocalSocket::ConnectedState) return;  // the asker gave up
                target->write(QByteArray::fromStdString(FormatInstanceReply({exitCode, text.toStdString()})));
                target->disconnectFromServer();  // once the answer is out
            };
            QMetaObject::invokeMethod(
                this,
                [this, request = QString::fromUtf8(line), reply = std::move(reply)] {
                    if (handler_)
                        handler_(request, reply);
                    else
                        reply(2, QStringLiteral("the program does not take requests\n"));
                },
                Qt::QueuedConnection);
            return;
        }
        // A line longer than any request is no request.
        if (buffer.size() > 4096) client->abort();
    });
}

}  // namespace zr417
