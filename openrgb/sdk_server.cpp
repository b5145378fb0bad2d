#include "openrgb/sdk_server.h"

#include "openrgb/socket_owner.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <unistd.h>

namespace zr417::openrgb {

namespace {

TcpEndpoint Endpoint(const QHostAddress& address, quint16 port)
{
    bool v4 = false;
    quint32 ip4 = address.toIPv4Address(&v4);
    if (v4) return TcpEndpoint::V4(ip4, port);
    TcpEndpoint e;
    Q_IPV6ADDR ip6 = address.toIPv6Address();
    for (int i = 0; i < 16; ++i) e.address[static_cast<std::size_t>(i)] = ip6[i];
    e.port = port;
    return e;
}

}  // namespace

SdkServer::SdkServer(KeyboardModel& model, QObject* parent) : QObject(parent), model_(model)
{
    pumpTimer_.setSingleShot(true);
    connect(&pumpTimer_, &QTimer::timeout, this, &SdkServer::pump);
    SdkService::Callbacks callbacks;
    callbacks.send = [this](SdkService::ConnectionId id, std::vector<std::uint8_t> bytes) {
        auto it = clients_.find(id);
        if (it == clients_.end() || !it->second) return;
        QTcpSocket* s = it->second;
        if (s->bytesToWrite() + static_cast<qint64>(bytes.size()) > kMaxUnreadOutput) {
            // Not from inside the service's own call: drop it once that returns.
            QMetaObject::invokeMethod(
                this, [this, id] { drop(id, QStringLiteral("it does not read what it asked for")); },
                Qt::QueuedConnection);
            return;
        }
        s->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    };
    callbacks.close = [this](SdkService::ConnectionId id) {
        QMetaObject::invokeMethod(
            this, [this, id] { drop(id, QStringLiteral("it broke the protocol's framing")); }, Qt::QueuedConnection);
    };
    callbacks.wake = [this] { schedulePump(0); };
    service_ = std::make_unique<SdkService>(model_, std::move(callbacks));
}

SdkServer::~SdkServer()
{
    stop();
}

bool SdkServer::listening() const
{
    return !servers_.empty();
}

bool SdkServer::start(quint16 port, QString* error)
{
    if (listening() && port == port_) return true;
    // The new port first: when it cannot be had, the server goes on where it was.
    std::vector<std::unique_ptr<QTcpServer>> servers;
    for (const auto& address : {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)}) {
        auto server = std::make_unique<QTcpServer>();
        const bool v4 = address.protocol() == QAbstractSocket::IPv4Protocol;
        if (!server->listen(address, port)) {
            // A system without IPv6 still serves 127.0.0.1; a taken port is taken.
            if (!v4 && server->serverError() != QAbstractSocket::AddressInUseError) continue;
            if (error) {
                *error = server->serverError() == QAbstractSocket::AddressInUseError
                             ? QStringLiteral("port %1 is already in use").arg(port)
                             : QStringLiteral("cannot listen on %1 port %2: %3")
                                   .arg(address.toString())
                                   .arg(port)
                                   .arg(server->errorString());
            }
            return false;
        }
        // Port 0 asks for a free one; both addresses then share it.
        if (v4) port = server->serverPort();
        server->setMaxPendingConnections(kMaxClients);
        QTcpServer* raw = server.get();
        connect(raw, &QTcpServer::newConnection, this, [this, raw] { accept(raw); });
        servers.push_back(std::move(server));
    }
    // Clients of the old port stay connected.
    for (auto& s : servers_) s->close();
    servers_ = std::move(servers);
    port_ = port;
    return true;
}

void SdkServer::stop()
{
    for (auto& s : servers_) s->close();
    servers_.clear();
    auto clients = std::move(clients_);
    clients_.clear();
    for (auto& [id, socket] : clients) {
        service_->disconnect(id);
        if (socket) {
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
        }
    }
    port_ = 0;
}

void SdkServer::accept(QTcpServer* server)
{
    while (QTcpSocket* s = server->nextPendingConnection()) {
        QString refusal;
        if (static_cast<int>(clients_.size()) >= kMaxClients) {
            refusal = QStringLiteral("%1 clients are connected already").arg(kMaxClients);
        } else {
            auto owner =
                TcpClientOwner(Endpoint(s->peerAddress(), s->peerPort()), Endpoint(s->localAddress(), s->localPort()));
            if (!owner)
                refusal = QStringLiteral("its owner cannot be told");
            else if (*owner != ::geteuid() && *owner != 0)
                refusal = QStringLiteral("it belongs to user %1").arg(*owner);
        }
        if (!refusal.isEmpty()) {
            emit clientRefused(QStringLiteral("refused a client on port %1: %2").arg(s->localPort()).arg(refusal));
            s->abort();
            s->deleteLater();
            continue;
        }
        const auto id = service_->connect();
        clients_[id] = s;
        s->setParent(this);
        connect(s, &QTcpSocket::readyRead, this, [this, id] { onReadable(id); });
        connect(s, &QTcpSocket::disconnected, this, [this, id] { drop(id, {}); });
    }
}

void SdkServer::onReadable(SdkService::ConnectionId id)
{
    auto it = clients_.find(id);
    if (it == clients_.end() || !it->second) return;
    const QByteArray data = it->second->readAll();
    service_->receive(id,
                      {reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())});
    if (!service_->idle()) schedulePump(0);
}

void SdkServer::drop(SdkService::ConnectionId id, const QString& reason)
{
    service_->disconnect(id);
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    QPointer<QTcpSocket> s = it->second;
    clients_.erase(it);
    if (!reason.isEmpty()) emit clientRefused(QStringLiteral("dropped a client: %1").arg(reason));
    if (s) {
        s->disconnect(this);
        s->abort();
        s->deleteLater();
    }
}

void SdkServer::keyboardListChanged()
{
    service_->keyboardListChanged();
}

void SdkServer::schedulePump(int ms)
{
    if (pumpTimer_.isActive() && pumpTimer_.remainingTime() <= ms) return;
    pumpTimer_.start(ms);
}

void SdkServer::pump()
{
    if (auto next = service_->pump()) schedulePump(static_cast<int>(next->count()));
}

}  // namespace zr417::openrgb
