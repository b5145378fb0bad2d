#include "automation/resume_watch.h"

#include <QDBusConnection>

namespace zr417 {

ResumeWatch::ResumeWatch(QObject* parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    // Only logind's own signal counts, not one any client of the bus sends.
    listening_ = bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                             QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                             SLOT(prepareForSleep(bool)));
}

void ResumeWatch::prepareForSleep(bool sleeping)
{
    if (!sleeping) emit resumed();
}

}  // namespace zr417
