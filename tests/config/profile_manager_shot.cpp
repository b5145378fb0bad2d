// Shows the profile manager with a few profiles for a screenshot:
//   profile_manager_shot <english|chinese> <data folder> [seconds] [menu]
// The panel opens over a main window whose corner is at (41, 41), lists the
// profiles of <data folder>/Configure (three are made when it is empty), with
// "menu" opens its context menu over the second row, and quits after the
// given seconds (default 5).
#include "config/keys.h"
#include "config/ui/configure_dlg.h"
#include "platform/files.h"
#include "platform/fonts.h"

#include <QApplication>
#include <QTimer>

#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    using namespace zr417;
    QApplication app(argc, argv);
    zr417::UseProgramFont();
    if (argc < 3) return 2;
    const int language = std::string(argv[1]) == "chinese" ? kLanguageChinese : kLanguageEnglish;
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 5;
    AppPaths paths{ExecutableDir().parent_path() / "bin", argv[2]};
    std::filesystem::create_directories(paths.profileDir());
    if (std::filesystem::is_empty(paths.profileDir())) {
        const std::vector<std::uint8_t> zeros(kSettingsSize, 0);
        for (const char* name : {"Profile_1", "Profile_2", "FPS"})
            WriteFileAtomic(paths.profileDir() / (std::string(name) + ".bin"), zeros);
    }
    KeymapStore store(paths.keymapFile());
    store.Startup();
    CConfigureDlg dialog(store, language, paths, QRect(41, 41, 1000, 640));
    QTimer::singleShot(seconds * 1000, &dialog, &QDialog::reject);
    dialog.show();
    dialog.list()->setCurrentRow(1);
    if (argc > 4 && std::string(argv[4]) == "menu") {
        QTimer::singleShot(500, &dialog, [&dialog] { dialog.OpenContextMenu(dialog.mapToGlobal(QPoint(90, 62))); });
        QTimer::singleShot(seconds * 1000 - 200, [] {
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        });
    }
    return dialog.exec() == QDialog::Rejected ? 0 : 1;
}
