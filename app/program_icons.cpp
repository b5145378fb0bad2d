#include "app/program_icons.h"

#include "platform/files.h"

#include <QFile>

namespace zr417 {

QIcon ProgramIcon(int id)
{
    QString embedded = QStringLiteral(":/res/icon/%1.png").arg(id);
    if (QFile::exists(embedded))
        return QIcon(embedded);
    QString beside = QString::fromStdString((ExecutableDir() / "res" / "icon").string()) + QStringLiteral("/%1.png").arg(id);
    return QIcon(beside);
}

}  // namespace zr417
