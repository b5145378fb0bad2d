#include "app/kalvex_app.h"

#include "app/kalvex_dlg.h"
#include "app/program_icons.h"
#include "device/emu/emulated_bus.h"
#include "device/emu/keyboard_emulator.h"
#include "platform/single_instance.h"

#include <QApplication>
#include <cstdlib>

namespace zr417 {

// The key of the single-instance guard (the original's mutex name, blank
// included).
static const char kInstanceKey[] = " {57D1171D-1a34-0804-8A3A-65ABA2150010}";

namespace {

// Until the program's bus factory is in place: the simulated keyboard named
// by ZR417_SIMULATE, else an empty bus (no keyboard).
std::unique_ptr<hid::Bus> MakeBus()
{
    auto bus = std::make_unique<emu::EmulatedBus>();
    if (const char* name = std::getenv("ZR417_SIMULATE"); name && *name) {
        if (auto identity = FindKeyboardIdentity(name))
            bus->plug(std::make_shared<emu::KeyboardEmulator>(*identity));
    }
    return bus;
}

}  // namespace

bool CKalvexApp::InitInstance(int& argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZR417 RGB Gaming Keyboard"));
    QApplication::setOrganizationName(QStringLiteral("ZR417 RGB Gaming Keyboard"));
    QApplication::setWindowIcon(ProgramIcon(kIconMain));
    // Hiding the window to the tray must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // A socket name may not hold blanks or braces on every system.
    QString key = QString::fromLatin1(kInstanceKey).toLower();
    key.remove(QLatin1Char(' ')).remove(QLatin1Char('{')).remove(QLatin1Char('}')).prepend(QStringLiteral("zr417-"));
    SingleInstance instance(key);
    if (!instance.acquire())
        return false;

    auto bus = MakeBus();
    MainWindowOptions options;
    options.bus = bus.get();
    CKalvexDlg dlg(std::move(options));
    QObject::connect(&instance, &SingleInstance::activationRequested, &dlg, &CKalvexDlg::restoreAndActivate);
    dlg.DoModal();
    return false;
}

}  // namespace zr417
