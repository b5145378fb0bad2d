// One picture that shows every skin and resource with its name and size, and
// the main windows composed from them, for reviewing the artwork at a glance.
#pragma once

#include <QImage>
#include <QString>

namespace zr417::skingen {

// Reads the written files: the skins of one language folder and the resources.
QImage ContactSheet(const QString& languageDir, const QString& resourceDir);

}  // namespace zr417::skingen
