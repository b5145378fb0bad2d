#include "updater/tool_app.h"

#include "device/emu/bootloader_emulator.h"
#include "device/emu/emulated_bus.h"
#include "device/emu/keyboard_emulator.h"
#include "platform/files.h"
#include "platform/fonts.h"
#include "platform/hid_bus_factory.h"
#include "platform/translations.h"
#include "updater/tool_dlg.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace zr417::updater {

namespace {

// The HID bus the tool works on: the system's, or the simulated keyboard of
// ZR417_SIMULATE, which then starts an emulated bootloader when told to.
// ZR417_SIMULATE_BOOTLOADERS=N also plugs N emulated bootloaders (on an
// emulated bus of their own when no keyboard is simulated).
std::unique_ptr<hid::Bus> CreateToolBus()
{
    const char* simulate = std::getenv("ZR417_SIMULATE");
    const char* bootloaders = std::getenv("ZR417_SIMULATE_BOOTLOADERS");
    const bool extra = bootloaders && *bootloaders;
    std::unique_ptr<hid::Bus> bus;
    if ((!simulate || !*simulate) && extra) {
        bus = std::make_unique<emu::EmulatedBus>();
    } else {
        std::string error;
        bus = CreateHidBus(&error);
        if (!bus) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return nullptr;
        }
    }
    if (auto* emulated = dynamic_cast<emu::EmulatedBus*>(bus.get())) {
        for (int port : emulated->ports())
            if (auto keyboard = std::dynamic_pointer_cast<emu::KeyboardEmulator>(emulated->device(port)))
                keyboard->setBootloaderFactory([] { return std::make_shared<emu::BootloaderEmulator>(); });
        if (extra) {
            int count = std::clamp(std::atoi(bootloaders), 0, 32);
            for (int i = 0; i < count; ++i) emulated->plug(std::make_shared<emu::BootloaderEmulator>());
            emulated->drainEvents();  // they were there before the tool started
        }
    }
    return bus;
}

}  // namespace

int CNorvane_MP_TOOLApp::InitInstance(int& argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvane_MP_TOOL"));
    UseProgramFont({QStringLiteral("Tahoma")});
    // Qt's own buttons and dialogs in the tool's language.
    UseQtTranslations(UpdateToolLocale(SystemToolLanguage()));
    auto bus = CreateToolBus();
    if (!bus) return 1;
    int result;
    {
        CNorvane_MP_TOOLDlg::Options options;
        options.bus = bus.get();
        options.toolDir = ExecutableDir();
        CNorvane_MP_TOOLDlg dlg(options);
        result = dlg.exec();
    }
    ExitInstance();
    (void)result;
    return 0;
}

int CNorvane_MP_TOOLApp::ExitInstance()
{
    return 0;
}

}  // namespace zr417::updater
