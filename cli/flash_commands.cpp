// hex2bin and flash: the firmware update tool's loader and burner driven from
// the command line.
#include "cli/cli.h"
#include "device/emu/bootloader_emulator.h"
#include "device/emu/emulated_bus.h"
#include "device/emu/keyboard_emulator.h"
#include "device/identities.h"
#include "platform/hid_bus_factory.h"
#include "updater/flashing.h"
#include "updater/hex_image.h"
#include "updater/tool_texts.h"
#include "updater/update_tool.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

namespace zr417::cli {
namespace {

namespace up = zr417::updater;
using namespace std::chrono_literals;

// The loader's message boxes become lines on stderr.
class StderrMessages : public up::MessageSink {
public:
    void ShowMessage(const std::string& text, const std::string& caption, up::MessageIcon) override
    {
        std::fprintf(stderr, "zr417ctl: %s: %s\n", caption.c_str(), text.c_str());
    }
};

bool IsNumber(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Converts a HEX file to its image; prints why not. Returns an exit code.
int Convert(const std::string& path, bool quiet)
{
    StderrMessages messages;
    switch (up::ConvertFirmware(path, &messages)) {
        case up::ConvertResult::Converted: {
            std::error_code ec;
            auto size = std::filesystem::file_size(up::MakeImagePath(path), ec);
            if (!quiet)
                std::printf("%s -> %s (%ju bytes)\n", path.c_str(), up::MakeImagePath(path).c_str(),
                            static_cast<std::uintmax_t>(size));
            return kOk;
        }
        case up::ConvertResult::AlreadyImage:
            if (!quiet) std::printf("%s is already an image; nothing to convert\n", path.c_str());
            return kOk;
        case up::ConvertResult::OpenFailed:
            std::fprintf(stderr, "zr417ctl: cannot open %s\n", path.c_str());
            return kFileError;
        case up::ConvertResult::TooBig:
            std::fprintf(stderr, "zr417ctl: %s: an address at or above 0xF000; the image would exceed 60 KiB\n",
                         path.c_str());
            return kImageTooBig;
        case up::ConvertResult::WriteFailed:
            std::fprintf(stderr, "zr417ctl: cannot write %s\n", up::MakeImagePath(path).c_str());
            return kFileError;
    }
    return kFileError;
}

// A slot's status as two texts and a colour, kept for the terminal.
class SlotStatus : public up::StatusControl {
public:
    void SetLine1(const std::string& text) override
    {
        std::lock_guard l(m_);
        line1_ = text;
    }
    void SetLine2(const std::string& text) override
    {
        std::lock_guard l(m_);
        line2_ = text;
    }
    void SetColour(int colour) override
    {
        std::lock_guard l(m_);
        colour_ = colour;
    }
    void Redraw(bool) override {}
    std::string line1() const
    {
        std::lock_guard l(m_);
        return line1_;
    }
    std::string line2() const
    {
        std::lock_guard l(m_);
        return line2_;
    }
    int colour() const
    {
        std::lock_guard l(m_);
        return colour_;
    }

private:
    mutable std::mutex m_;
    std::string line1_, line2_;
    int colour_ = 0;
};

class TerminalView : public up::ToolView {
public:
    up::StatusControl& SlotControl(int slot) override { return slots[static_cast<std::size_t>(slot)]; }
    void SetButtonStates(bool, bool, bool, bool) override {}
    void SetCounterTexts(int, int) override {}
    void PostBurnIdle(bool) override
    {
        std::lock_guard lock(mutex);
        idle = true;
        cv.notify_all();
    }
    std::array<SlotStatus, up::kSlotCount> slots;
    std::mutex mutex;
    std::condition_variable cv;
    bool idle = false;
};

// Overall progress of a burn from its status line: erase, send (to 50 %),
// read back (to 100 %).
int Progress(const SlotStatus& s)
{
    std::string line = s.line1();
    if (s.colour() == up::kGreen) return 100;
    auto percentAfter = [&](const char* prefix) -> double {
        if (line.rfind(prefix, 0) != 0) return -1;
        return std::atof(line.c_str() + std::strlen(prefix));
    };
    if (double p = percentAfter("Send data--"); p >= 0) return 4 + static_cast<int>(p * 0.46);
    if (double p = percentAfter("Read data--"); p >= 0) return 50 + static_cast<int>(p * 0.49);
    if (line == "Erasing...") return 2;
    return 0;
}

void DrawBars(const TerminalView& view, const std::vector<int>& slots, bool redraw)
{
    if (redraw) std::printf("\033[%zuA", slots.size());
    for (int k : slots) {
        const auto& s = view.slots[static_cast<std::size_t>(k)];
        int p = Progress(s);
        std::string bar(30, '.');
        std::fill_n(bar.begin(), p * 30 / 100, '#');
        std::printf("\r\033[KDevice%-2d [%s] %3d%%  %s\n", k + 1, bar.c_str(), p, s.line1().c_str());
    }
    std::fflush(stdout);
}

// The bus for flash: --simulate N plugs N emulated bootloaders; a model name
// gives that simulated keyboard, which goes into an emulated bootloader.
std::unique_ptr<hid::Bus> FlashBus(const Options& options, std::string* error)
{
    if (IsNumber(options.simulate)) {
        auto bus = std::make_unique<emu::EmulatedBus>();
        int count = std::min(std::atoi(options.simulate.c_str()), 64);
        for (int i = 0; i < count; ++i) bus->plug(std::make_shared<emu::BootloaderEmulator>());
        bus->drainEvents();
        return bus;
    }
    auto bus = options.simulate.empty() ? CreateHidBus(error) : CreateHidBus(options.simulate, error);
    if (auto* emulated = dynamic_cast<emu::EmulatedBus*>(bus.get()))
        for (int port : emulated->ports())
            if (auto keyboard = std::dynamic_pointer_cast<emu::KeyboardEmulator>(emulated->device(port)))
                keyboard->setBootloaderFactory([] { return std::make_shared<emu::BootloaderEmulator>(); });
    return bus;
}

// Sends every known keyboard in normal mode into its bootloader and waits
// (a few seconds at most) until the bootloaders have shown up.
void WakeKeyboards(hid::Bus& bus)
{
    int keyboards = 0;
    for (const auto& info : bus.enumerate())
        if (FindKeyboardIdentity(info.vendorId, info.productId) && info.usagePage == up::kVendorUsagePage) ++keyboards;
    if (keyboards == 0) return;
    up::FoundDevices found;
    int before = up::EnumerateDevices(bus, 0, 0, found);
    for (const auto& id : g_keyboardIdentities) up::EnumerateDevices(bus, id.vendorId, id.productId, found);
    auto deadline = std::chrono::steady_clock::now() + 6s;
    while (std::chrono::steady_clock::now() < deadline && up::EnumerateDevices(bus, 0, 0, found) == before)
        std::this_thread::sleep_for(250ms);
    std::this_thread::sleep_for(300ms);  // let every collection of it appear
    bus.drainEvents();
}

}  // namespace

int RunHex2Bin(const Options&, const std::vector<std::string>& operands)
{
    return Convert(operands[0], false);
}

int RunFlash(const Options& options, const std::vector<std::string>& operands)
{
    const std::string file = std::filesystem::absolute(operands[0]).string();
    if (up::MakeImagePath(file) != file) {
        // A HEX file is converted first, as picking it in the tool does.
        if (int rc = Convert(file, true); rc != kOk) return rc;
    } else if (!std::filesystem::is_regular_file(file)) {
        std::fprintf(stderr, "zr417ctl: cannot open %s\n", file.c_str());
        return kFileError;
    }

    std::string error;
    auto bus = FlashBus(options, &error);
    if (!bus) {
        std::fprintf(stderr, "zr417ctl: %s\n", error.c_str());
        return kUsage;
    }
    WakeKeyboards(*bus);

    TerminalView view;
    up::UpdateTool tool(*bus, view);
    tool.CreateBurnWorkers();
    tool.ApplySettings(file, 0, 0, true, 0);
    tool.Enumerate(true);
    tool.Enumerate(true);
    tool.AssignNewDevices();

    std::vector<int> slots;
    std::vector<std::int64_t> serials;
    for (int k = 0; k < up::kSlotCount; ++k)
        if (tool.slotInUse(k)) {
            slots.push_back(k);
            serials.push_back(tool.serialEntry(k));
        }
    if (slots.empty()) {
        std::fprintf(stderr,
                     "zr417ctl: no keyboard or bootloader found (is it plugged in, and may this user open its "
                     "hidraw nodes? --simulate N uses N emulated bootloaders)\n");
        return kNoKeyboard;
    }
    // Bootloaders beyond the 16 slots get none and are not burned.
    std::vector<std::string> leftOut;
    for (const auto& info : bus->enumerate()) {
        if (!up::IsBootloaderDataCollection(info)) continue;
        bool held = false;
        for (int k : slots) held = held || tool.slotDataPath(k) == info.path;
        if (!held) leftOut.push_back(info.path);
    }

    std::printf("burning %s into %zu device(s)\n", file.c_str(), slots.size());
    // What each slot shows on arrival: its number and the cycles left.
    for (int k : slots) {
        const auto& s = view.slots[static_cast<std::size_t>(k)];
        std::string line2 = s.line2();
        std::printf("%s%s%s\n", s.line1().c_str(), line2.empty() ? "" : ", ", line2.c_str());
    }
    for (const auto& path : leftOut)
        std::fprintf(stderr, "zr417ctl: left out (at most %d devices burn at once): %s\n", up::kSlotCount,
                     path.c_str());

    const bool tty = ::isatty(STDOUT_FILENO) != 0;
    tool.OnUpdate();
    if (tty) DrawBars(view, slots, false);
    for (;;) {
        {
            std::unique_lock lock(view.mutex);
            view.cv.wait_for(lock, 100ms, [&] { return view.idle; });
        }
        bool done;
        {
            std::lock_guard lock(view.mutex);
            done = view.idle && !tool.AnyBurning();
            view.idle = false;
        }
        if (tty) DrawBars(view, slots, true);
        if (done && !tool.AnyBurning()) break;
    }

    int failed = 0;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const auto& s = view.slots[static_cast<std::size_t>(slots[i])];
        bool ok = s.colour() == up::kGreen;
        failed += !ok;
        unsigned serial = static_cast<unsigned>(serials[i] & 0xFFFF);
        if (ok)
            std::printf("Device%d: %s, serial number %u (0x%04X)\n", slots[i] + 1, s.line1().c_str(), serial, serial);
        else
            std::printf("Device%d: %s\n", slots[i] + 1, s.line1().c_str());
    }
    std::printf("%zu burned, %d failed", slots.size() - static_cast<std::size_t>(failed), failed);
    if (!leftOut.empty()) std::printf(", %zu left out (run flash again for them)", leftOut.size());
    std::printf("\n");
    return failed == 0 && leftOut.empty() ? kOk : kIncomplete;
}

}  // namespace zr417::cli
