#include "app/kalvex_app.h"

#include "app/kalvex_dlg.h"
#include "controls/skin.h"
#include "controls/skin_names.h"
#include "platform/fonts.h"
#include "platform/files.h"
#include "platform/hid_bus_factory.h"
#include "platform/settings.h"
#include "platform/single_instance.h"
#include "platform/translations.h"

#include <QApplication>
#include <cstdio>
#include <string>

namespace zr417 {

// The key of the single-instance guard (the original's mutex name, blank
// included).
static const char kInstanceKey[] = " {57D1171D-1a34-0804-8A3A-65ABA2150010}";

bool CKalvexApp::InitInstance(int& argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZR417 RGB Gaming Keyboard"));
    QApplication::setOrganizationName(QStringLiteral("ZR417 RGB Gaming Keyboard"));
    QApplication::setWindowIcon(LoadIconResource(skins::resource::kIconMain));
    UseProgramFont({QStringLiteral("Arial")});
    // Message box buttons, the colour and file dialogs in the program's language.
    UseQtTranslations(MainProgramLocale(LanguageFromSetting(ReadLanguageSetting())));
    // Hiding the window to the tray must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // A socket name may not hold blanks or braces on every system.
    QString key = QString::fromLatin1(kInstanceKey).toLower();
    key.remove(QLatin1Char(' ')).remove(QLatin1Char('{')).remove(QLatin1Char('}')).prepend(QStringLiteral("zr417-"));
    SingleInstance instance(key);
    if (!instance.acquire()) return false;

    // The system's HID devices, or the simulated keyboard of ZR417_SIMULATE.
    std::string error;
    auto bus = CreateHidBus(&error);
    if (!bus) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    // Where the settings live; never a folder other users share.
    auto paths = AppPaths::ForExecutableDir(ExecutableDir());
    if (!paths) {
        int language = LanguageFromSetting(ReadLanguageSetting());
        std::fprintf(stderr, "%.*s\n", static_cast<int>(texts::kNoDataFolderText.english.size()),
                     texts::kNoDataFolderText.english.data());
        auto qs = [](std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); };
        DesktopActions().warn(nullptr, qs(texts::kNoDataFolderText.in(language)), qs(texts::kTitle.in(language)),
                              qs(texts::kOk.in(language)));
        return false;
    }
    MainWindowOptions options;
    options.bus = bus.get();
    options.paths = *paths;
    CKalvexDlg dlg(std::move(options));
    QObject::connect(&instance, &SingleInstance::activationRequested, &dlg, &CKalvexDlg::restoreAndActivate);
    dlg.DoModal();
    return false;
}

}  // namespace zr417
