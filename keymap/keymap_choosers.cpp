// The choosers of the Advance page. Qt's own file dialog is used (not the
// desktop's), because only it honours the executable filter of the program
// row.
#include "keymap/keymap_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

namespace zr417 {

namespace {

enum Row { kSound = 0, kProgram = 1, kFile = 2, kFolder = 3 };

QString StartFolder(int row, const QString& current)
{
    if (!current.isEmpty()) {
        QFileInfo info(current);
        if (row == kFolder && info.isDir()) return info.absoluteFilePath();
        if (info.dir().exists()) return info.absolutePath();
    }
    return QDir::homePath();
}

// Folders and executable files. The dialog's own permission filter cannot
// say this: it keeps only entries with exactly the permissions named, so
// "executable" alone hides everything readable, that is everything.
class ProgramFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (!files) return true;
        const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
        return info.isDir() || info.isExecutable();
    }
};

}  // namespace

std::optional<QString> ChooseActionPath(QWidget* parent, int row, const QString& current)
{
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDirectory(StartFolder(row, current));
    switch (row) {
        case kSound:
            dialog.setFileMode(QFileDialog::ExistingFile);
            dialog.setNameFilters(
                {QStringLiteral("Sound Files(*.mp3 *.wav *.ogg *.oga *.opus *.flac *.m4a *.aac *.wma)"),
                 QStringLiteral("mp3 Files(*.mp3)"), QStringLiteral("All Files(*)")});
            dialog.setDefaultSuffix(QStringLiteral("mp3"));
            break;
        case kProgram:
            // Programs here carry the executable bit, not ".exe".
            dialog.setFileMode(QFileDialog::ExistingFile);
            dialog.setNameFilter(QStringLiteral("Programs(*)"));
            dialog.setProxyModel(new ProgramFilter(&dialog));
            break;
        case kFile:
            dialog.setFileMode(QFileDialog::ExistingFile);
            dialog.setNameFilters({QStringLiteral("txt Files(*.txt)"), QStringLiteral("All Files(*)")});
            dialog.setDefaultSuffix(QStringLiteral("txt"));
            break;
        case kFolder:
            dialog.setWindowTitle(QStringLiteral("modification path"));
            dialog.setFileMode(QFileDialog::Directory);
            dialog.setOption(QFileDialog::ShowDirsOnly, true);
            break;
        default:
            return std::nullopt;
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QString chosen = dialog.selectedFiles().value(0);
    if (chosen.isEmpty()) return QString();
    const QFileInfo info(chosen);
    if (row == kFolder) return info.isDir() ? info.absoluteFilePath() : QString();
    if (!info.isFile()) return std::nullopt;
    if (row == kProgram && !info.isExecutable()) return std::nullopt;
    return info.absoluteFilePath();
}

}  // namespace zr417
