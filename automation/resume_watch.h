// The end of a suspend, as logind announces it on the system bus
// (PrepareForSleep(false)). Where there is no system bus, or no logind on
// it, nothing is ever announced and nothing is said about it.
#pragma once

#include <QObject>

namespace zr417 {

class ResumeWatch : public QObject {
    Q_OBJECT
public:
    explicit ResumeWatch(QObject* parent = nullptr);
    // Whether the system bus was there to listen on.
    bool listening() const { return listening_; }

signals:
    void resumed();

private slots:
    void prepareForSleep(bool sleeping);

private:
    bool listening_ = false;
};

}  // namespace zr417
