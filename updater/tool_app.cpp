#include "updater/tool_app.h"

#include "device/emu/bootloader_emulator.h"
#include "device/emu/emulated_bus.h"
#include "platform/files.h"
#include "updater/tool_dlg.h"

#include <QApplication>

#include <cstdlib>

namespace zr417::updater {

namespace {

// The HID bus the tool works on. ZR417_SIMULATE_BOOTLOADERS=N plugs N
// emulated bootloaders into an emulated bus (demonstrations and tests).
std::unique_ptr<hid::Bus> CreateToolBus()
{
    auto bus = std::make_unique<emu::EmulatedBus>();
    if (const char* n = std::getenv("ZR417_SIMULATE_BOOTLOADERS"); n && *n) {
        int count = std::clamp(std::atoi(n), 0, 32);
        for (int i = 0; i < count; ++i)
            bus->plug(std::make_shared<emu::BootloaderEmulator>());
    }
    return bus;
}

}  // namespace

int CNorvane_MP_TOOLApp::InitInstance(int& argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvane_MP_TOOL"));
    auto bus = CreateToolBus();
    int result;
    {
        CNorvane_MP_TOOLDlg::Options options;
        options.bus = bus.get();
        options.toolDir = ExecutableDir();
        CNorvane_MP_TOOLDlg dlg(options);
        result = dlg.exec();
    }
    ExitInstance();
    return result == QDialog::Accepted ? 0 : 0;
}

int CNorvane_MP_TOOLApp::ExitInstance()
{
    return 0;
}

}  // namespace zr417::updater
