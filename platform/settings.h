// Per-user settings that stand in for the registry key "Software\QV310".
#pragma once

#include <QString>

namespace zr417 {

// The "Language" value of the per-user settings of organisation QV310
// (empty when missing).
QString ReadLanguageSetting();
// Exactly "chinese" gives 4 (Chinese); anything else, missing included, 9.
int LanguageFromSetting(const QString& value);

// The OpenRGB SDK server: whether the user switched it on, and its port.
struct OpenRgbSetting {
    bool enabled = false;
    int port = 0;
};
OpenRgbSetting ReadOpenRgbSetting(int defaultPort);
void WriteOpenRgbSetting(const OpenRgbSetting& setting);

}  // namespace zr417
