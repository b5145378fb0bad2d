// Shows one key assignment dialog on a prepared key, for looking at it and
// for the screenshots in docs/key-assignment/:
//   zr417_keymap_dialog_demo <model 1|2> <english|chinese> <tab 0..3> [seconds]
// The window stands at (20, 20); it closes by itself after `seconds` (5).
#include "config/image.h"
#include "config/keys.h"
#include "controls/vivid_tree.h"
#include "keymap/key_assignment.h"
#include "keymap/keymap_dialogs.h"
#include "macro/macro_model.h"
#include "platform/files.h"
#include "platform/fonts.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace zr417;

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <model 1|2> <english|chinese> <tab 0..3> [seconds]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    zr417::UseProgramFont();
    const int model = std::atoi(argv[1]);
    const int language = std::string(argv[2]) == "chinese" ? kLanguageChinese : kLanguageEnglish;
    const int tab = std::atoi(argv[3]);
    const int seconds = argc > 4 ? std::atoi(argv[4]) : 5;

    static ConfigImage image;
    MacroTable macros;
    const char* names[] = {"Combo burst", "Build and run", "Reload x3", "Greeting"};
    for (int i = 0; i < 4; ++i) SetMacroName(macros[i], std::string(names[i]));

    KeyAssignmentState state;
    const int key = 59;  // A
    state.SelectKey(key);
    std::uint8_t* e = image.entry(key);
    switch (tab) {
        case 0:  // a combination loaded from the entry
            e[entry::Kind] = kind::Combination;
            e[entry::Data] = 0xA2;
            e[entry::Data + 1] = 0xA0;
            e[entry::Data + 2] = 0x53;
            e[entry::Count] = 3;
            break;
        case 1:
            e[entry::Kind] = kind::Macro;
            e[entry::Data] = 0x04;
            e[entry::Data + 1] = 0x01;
            e[entry::Data + 2] = 1;
            break;
        case 2: {
            e[entry::Kind] = kind::Basic;
            const std::uint8_t next[] = {0x03, 0x00, 0xB5, 0x00};
            std::copy(std::begin(next), std::end(next), e + entry::Data);
            break;
        }
        default: {
            e[entry::Kind] = kind::StartProgram;
            const std::u16string path = u"/usr/local/bin/obs-studio";
            for (std::size_t i = 0; i < path.size(); ++i) e[entry::Path + 2 * i] = static_cast<std::uint8_t>(path[i]);
            break;
        }
    }

    KeymapDialogServices services = KeymapDialogServices::Desktop();
    const AppPaths paths = AppPaths::InFolder(ExecutableDir());
    std::unique_ptr<KeymapDialogBase> dialog;
    if (model == 1)
        dialog = std::make_unique<CKeyMap>(state, image, macros, language, paths, services);
    else
        dialog = std::make_unique<CKeymapDlg420>(state, image, macros, language, paths, services);
    dialog->move(20, 20);
    dialog->show();
    if (tab == 2) dialog->tree()->setFocus();
    // The hover highlight of a browse button, as the mouse over it shows.
    if (tab == 3 && model == 1) dialog->logic().OnMouseMove(270, 100);
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}
