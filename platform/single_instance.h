// One running copy per user: a per-user lock file plus a local socket in the
// user's private runtime folder. A second start finds the lock held, asks the
// first copy to show and raise its window, and exits. Only programs of the
// same user are heard, and only a copy of the same user is asked. The socket
// also takes one-line requests from the user's other programs (zr417ctl) and
// answers each one (platform/instance_link.h).
#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

namespace zr417 {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // Programs connected at once; more are turned away, so a runaway caller
    // cannot use up the file descriptors the program needs.
    static constexpr int kMaxClients = 32;
    // A connection that sends no request for this long is closed.
    static constexpr std::chrono::seconds kIdleTimeout{10};

    // `key` names the lock and the socket; it is made per-user here.
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first copy (it then listens for later
    // starts), or when no private folder can be had for the guard (the
    // reason goes to stderr). False when another copy runs; that copy has
    // been asked to activate its window.
    bool acquire();
    // A later start that only wants the program running (a start at login)
    // leaves the first copy's window alone.
    void setActivateRunningCopy(bool activate) { activateRunningCopy_ = activate; }

    // Answers a request other than "activate": once, now or later, on this
    // object's thread. It may be called after the asker has gone (the answer
    // is then dropped) and after this object is gone.
    using Reply = std::function<void(int exitCode, const QString& text)>;
    // Called from the event loop, never from inside the socket's own
    // signals, so it may take its time and answer later.
    using RequestHandler = std::function<void(const QString& request, Reply reply)>;
    // Without a handler every such request is refused.
    void setRequestHandler(RequestHandler handler) { handler_ = std::move(handler); }

signals:
    // A later start asked this copy to show its window.
    void activationRequested();

private:
    static bool sameUser(const QLocalSocket& socket);
    QString socketName() const;
    bool notifyRunningCopy() const;
    bool listen();
    void keepListening();
    void acceptClients();
    void serve(QLocalSocket* client);

    QString key_;
    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    QTimer watch_;  // the server is closed by Qt when accept() fails
    RequestHandler handler_;
    bool activateRunningCopy_ = true;
    int clients_ = 0;
    bool listenFailed_ = false;  // said so already
    bool crowdReported_ = false;
};

}  // namespace zr417
