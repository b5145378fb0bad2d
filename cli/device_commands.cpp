// info, read, save and reset: the main program's device link driven from the
// command line, against the keyboard or the simulated one.
#include "app/main_logic.h"
#include "app/profile_commands.h"
#include "cli/cli.h"
#include "config/image.h"
#include "device/device_link.h"
#include "device/protocol.h"
#include "platform/files.h"
#include "platform/hid_bus_factory.h"

#include <cstdio>
#include <memory>

namespace zr417::cli {
namespace {

// An open keyboard with its own configuration image.
struct Session {
    std::unique_ptr<hid::Bus> bus;
    std::unique_ptr<DeviceLink> link;
    std::unique_ptr<KeymapStore> store;
    std::unique_ptr<KeyboardProtocol> protocol;

    ConfigImage& image() { return store->current(); }
    std::string modelName() const
    {
        for (const auto& id : g_keyboardIdentities)
            if (id.model == link->g_nModel()) return std::string(id.name);
        return "?";
    }
};

// Opens the keyboard; prints why not and returns the exit code otherwise.
int openSession(const Options& options, Session& s, const std::filesystem::path& file = {})
{
    std::string error;
    s.bus = options.simulate.empty() ? CreateHidBus(&error) : CreateHidBus(options.simulate, &error);
    if (!s.bus) {
        std::fprintf(stderr, "zr417ctl: %s\n", error.c_str());
        return kUsage;
    }
    s.link = std::make_unique<DeviceLink>(*s.bus, DeviceLink::Events{});
    s.link->OpenDeviceHandles();
    if (!s.link->g_hCommandDev()) {
        std::fprintf(stderr,
                     "zr417ctl: no ZR417 keyboard found (is it plugged in, and may this user open its hidraw "
                     "nodes? --simulate MODEL uses the simulated one)\n");
        return kNoKeyboard;
    }
    s.store = std::make_unique<KeymapStore>(file);
    s.protocol = std::make_unique<KeyboardProtocol>(*s.link, s.image());
    return kOk;
}

int finish(const Session& s, const char* what)
{
    if (s.protocol->failures() == 0) return kOk;
    std::fprintf(stderr, "zr417ctl: %s: the keyboard did not confirm %d step(s)\n", what, s.protocol->failures());
    return kIncomplete;
}

}  // namespace

int RunInfo(const Options& options, const std::vector<std::string>&)
{
    Session s;
    if (int rc = openSession(options, s)) return rc;
    s.protocol->ReadStatus();
    if (s.protocol->failures() > 0) {
        std::fprintf(stderr, "zr417ctl: info: the keyboard did not answer the status request\n");
        return kIncomplete;
    }
    const auto& r = s.protocol->g_abStatusReply();
    s.link->FindDevicePath(kTagCommand);
    std::printf("Model:            %s\n", s.modelName().c_str());
    std::printf("Path:             %s\n", s.link->g_szDevicePath().c_str());
    std::printf("Firmware version: %u.%u\n", r[4], r[5]);
    std::printf("Win Lock:         %s\n", (r[7] & 1) ? "on" : "off");
    std::printf("Game Mode:        %s\n", (r[7] & 2) ? "off" : "on");
    return kOk;
}

int RunRead(const Options& options, const std::vector<std::string>& operands)
{
    Session s;
    if (int rc = openSession(options, s, operands[0])) return rc;
    // A fresh image: what the keyboard holds, and the key table a new
    // keymap.bin has (every key at its default).
    s.store->RefreshKeyCodes();
    s.protocol->StartupReadout();
    if (!s.store->SaveKeymapFile()) {
        std::fprintf(stderr, "zr417ctl: read: cannot write %s: %s\n", operands[0].c_str(),
                     WriteFailureCause(s.store->saveError(), kLanguageEnglish).c_str());
        return kFileError;
    }
    std::printf("Read %s keyboard (firmware %u.%u) into %s\n", s.modelName().c_str(), s.protocol->g_nFwMajor(),
                s.protocol->g_nFwMinor(), operands[0].c_str());
    return finish(s, "read");
}

int RunSave(const Options& options, const std::vector<std::string>& operands)
{
    const std::string& file = operands[0];
    // Check the file before touching the keyboard.
    auto read = ReadWholeImage(file, file);
    if (auto* problem = std::get_if<std::string>(&read)) {
        std::fprintf(stderr, "zr417ctl: save: %s\n", problem->c_str());
        return kFileError;
    }
    Session s;
    if (int rc = openSession(options, s)) return rc;
    s.image() = std::get<ConfigImage>(read);
    s.protocol->DownloadAll();
    int rc = finish(s, "save");
    if (rc == kOk) std::printf("Saved %s into the %s keyboard\n", file.c_str(), s.modelName().c_str());
    return rc;
}

int RunReset(const Options& options, const std::vector<std::string>&)
{
    Session s;
    if (int rc = openSession(options, s)) return rc;
    s.protocol->FactoryReset();
    int rc = finish(s, "reset");
    if (rc == kOk)
        std::printf("Reset the %s keyboard to its factory settings (firmware %u.%u)\n", s.modelName().c_str(),
                    s.protocol->g_nFwMajor(), s.protocol->g_nFwMinor());
    return rc;
}

}  // namespace zr417::cli
