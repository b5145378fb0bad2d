#include "app/kalvex_app.h"

#include "app/auto_profiles.h"
#include "app/auto_profiles_host.h"
#include "app/kalvex_dlg.h"
#include "app/openrgb_link.h"
#include "app/profile_requests.h"
#include "controls/skin.h"
#include "controls/skin_names.h"
#include "platform/autostart.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/hid_bus_factory.h"
#include "platform/instance_link.h"
#include "platform/settings.h"
#include "platform/single_instance.h"
#include "platform/translations.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zr417 {

namespace {

bool StartedAtLogin()
{
    const char* value = std::getenv(std::string(kAutostartVariable).c_str());
    return value && std::string_view(value) == "1";
}

}  // namespace

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

    // A start at login finds the program running (started by hand): it
    // leaves its window alone.
    const bool atLogin = StartedAtLogin();
    SingleInstance instance(QString::fromStdString(MainProgramInstanceKey()));
    instance.setActivateRunningCopy(!atLogin);
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
    // At login: no splash, and the window waits in the notification area.
    options.splash = !atLogin;
    options.startHidden = atLogin;
    // At login the notification area may come up after the programs the
    // session starts.
    if (atLogin) options.trayWait = std::chrono::seconds(10);
    CKalvexDlg dlg(std::move(options));
    QObject::connect(&instance, &SingleInstance::activationRequested, &dlg, &CKalvexDlg::restoreAndActivate);
    // The OpenRGB SDK server, when the user switched it on.
    OpenRgbLink openrgb(dlg);
    dlg.setTrayItems([&openrgb](QMenu& menu) { openrgb.addTrayItem(menu); });
    openrgb.startFromSettings();
    // Automatic profiles switch through the window.
    MainWindowAutoHost autoHost(dlg);
    AutoProfiles autoProfiles(autoHost);
    dlg.setAutoProfiles(&autoProfiles);
    autoProfiles.start();
    // zr417ctl's profile and openrgb requests, answered through the window;
    // the rules of automatic profiles by their owner.
    ProfileRequests requests(dlg);
    instance.setRequestHandler(
        [&requests, &openrgb, &autoProfiles](const QString& request, SingleInstance::Reply reply) {
            if (OpenRgbLink::IsRequest(request))
                openrgb.handle(request, reply);
            else if (IsAutoRequestLine(request.toStdString()))
                autoProfiles.handle(request, reply);
            else
                requests.handle(request, std::move(reply));
        });
    dlg.DoModal();
    instance.setRequestHandler({});
    return false;
}

}  // namespace zr417
