// One running copy per user: a per-user lock file plus a local socket. A
// second start finds the lock held, asks the first copy to show and raise its
// window, and exits.
#pragma once

#include <QLocalServer>
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
    // starts). False when another copy runs; that copy has been asked to
    // activate its window.
    bool acquire();

signals:
    // A later start asked this copy to show its window.
    void activationRequested();

private:
    QString socketName() const;
    bool notifyRunningCopy() const;

    QString key_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace zr417
