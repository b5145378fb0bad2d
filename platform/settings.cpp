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

}  // namespace zr417
