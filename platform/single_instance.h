// One running copy per user: a per-user lock file plus a local socket in the
// user's private runtime folder. A second start finds the lock held, asks the
// first copy to show and raise its window, and exits. Only programs of the
// same user are heard, and only a copy of the same user is asked.
#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace zr417 {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `key` names the lock and the socket; it is made per-user here.
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first copy (it then listens for later
    // starts), or when no private folder can be had for the guard (the
    // reason goes to stderr). False when another copy runs; that copy has
    // been asked to activate its window.
    bool acquire();

signals:
    // A later start asked this copy to show its window.
    void activationRequested();

private:
    static bool sameUser(const QLocalSocket& socket);
    QString socketName() const;
    bool notifyRunningCopy() const;

    QString key_;
    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace zr417
