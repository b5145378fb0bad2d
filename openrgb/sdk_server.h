// The OpenRGB SDK server's sockets: loopback only (127.0.0.1 and ::1), at
// most kMaxClients at once, only programs of this user (and root), and no
// client can make it hold unbounded data: a payload over 1 MB, a broken
// header or a reader that stops reading ends that one connection only.
// Everything else is the SdkService's. Runs on the owner's (GUI) thread.
#pragma once

#include "openrgb/sdk_service.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace zr417::openrgb {

class SdkServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxClients = 16;
    // Output a client has not read yet; past it the client is dropped.
    static constexpr qint64 kMaxUnreadOutput = 1 << 20;

    explicit SdkServer(KeyboardModel& model, QObject* parent = nullptr);
    ~SdkServer() override;

    // Listens on `port` of 127.0.0.1 and ::1 (where the system has IPv6).
    // False with a reason when it cannot, the port being taken among them;
    // a server already listening then goes on as it was.
    bool start(quint16 port, QString* error = nullptr);
    void stop();
    bool listening() const;
    quint16 port() const { return port_; }
    int clientCount() const { return static_cast<int>(clients_.size()); }
    SdkService& service() { return *service_; }

    // A keyboard came or went.
    void keyboardListChanged();

signals:
    // A client was refused or dropped, and why (for the program's trace).
    void clientRefused(const QString& reason);

private:
    void accept(QTcpServer* server);
    void onReadable(SdkService::ConnectionId id);
    void drop(SdkService::ConnectionId id, const QString& reason);
    void schedulePump(int ms);
    void pump();

    KeyboardModel& model_;
    std::unique_ptr<SdkService> service_;
    std::vector<std::unique_ptr<QTcpServer>> servers_;
    std::map<SdkService::ConnectionId, QPointer<QTcpSocket>> clients_;
    QTimer pumpTimer_;
    quint16 port_ = 0;
};

}  // namespace zr417::openrgb
