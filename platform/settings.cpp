#include "platform/settings.h"

#include <QSettings>

namespace zr417 {

QString ReadLanguageSetting()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("QV310"));
    // The original value is read into a 50-character buffer.
    return settings.value(QStringLiteral("Language")).toString().left(49);
}

int LanguageFromSetting(const QString& value)
{
    return value == QStringLiteral("chinese") ? 4 : 9;
}

namespace {
QSettings UserSettings()
{
    return {QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("QV310")};
}
}  // namespace

OpenRgbSetting ReadOpenRgbSetting(int defaultPort)
{
    auto settings = UserSettings();
    OpenRgbSetting s;
    s.enabled = settings.value(QStringLiteral("OpenRGB/Enabled"), false).toBool();
    bool ok = false;
    s.port = settings.value(QStringLiteral("OpenRGB/Port"), defaultPort).toInt(&ok);
    if (!ok || s.port < 1 || s.port > 65535) s.port = defaultPort;
    return s;
}

void WriteOpenRgbSetting(const OpenRgbSetting& setting)
{
    auto settings = UserSettings();
    settings.setValue(QStringLiteral("OpenRGB/Enabled"), setting.enabled);
    settings.setValue(QStringLiteral("OpenRGB/Port"), setting.port);
}

}  // namespace zr417
