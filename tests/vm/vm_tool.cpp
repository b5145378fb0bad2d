// Helpers of the virtual-machine test (run inside it, next to zr417ctl):
//   zr417-vm-tool make-image FILE SEED   a keymap.bin whose every region the
//                                        keyboard gives back as it was saved,
//                                        with a host action on the A key
//   zr417-vm-tool compare SAVED READ     those regions compared, one line each
//   zr417-vm-tool bad-devices            uhid devices with the IDs of a
//                                        keyboard but a report descriptor
//                                        discovery must not take, kept until
//                                        SIGTERM
//   zr417-vm-tool bootloaders MARK...    uhid bootloaders with these
//                                        programming-cycle marks, kept until
//                                        SIGTERM; then how often each was
//                                        erased and finished
#include "config/image.h"
#include "config/keys.h"
#include "device/emu/bootloader_emulator.h"
#include "device/emu/keyboard_emulator.h"
#include "device/identities.h"
#include "platform/files.h"
#include "sim/uhid_events.h"
#include "sim/uhid_host.h"
#include "sim/uhid_layout.h"

#include <fcntl.h>
#include <unistd.h>

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace zr417;

namespace {

struct Region {
    const char* name;
    std::size_t offset, size;
};

// What a save followed by a read brings back unchanged (the firmware version
// and the status copy come from the keyboard, not from the file).
// clang-format off
const Region kRegions[] = {
    {"LED group 0", settings::LedGroup0, settings::LedGroupSize},
    {"LED group 6", settings::LedGroup6, settings::LedGroupSize},
    {"Win Lock", settings::WinLock, 1},
    {"key matrix", settings::KeyMatrix, settings::KeyMatrixSize},
    {"macro pages", settings::MacroPages, settings::MacroPageCount * settings::PageSize},
    {"picture pages", settings::PicturePages, settings::PicturePageCount * settings::PageSize},
};
// clang-format on

int KeyIndexOf(const char* name)
{
    for (int k = 0; k < kKeyCount; ++k) {
        std::string n(KeyName(g_defaultVkByKey[k]));
        while (!n.empty() && n.back() == ' ') n.pop_back();
        if (n == name) return k;
    }
    return -1;
}

int MakeImage(const char* file, unsigned seed)
{
    std::vector<std::uint8_t> image(kImageSize, 0);
    auto* s = image.data();
    std::uint32_t x = seed * 2654435761u + 1;
    auto next = [&] {
        x = x * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(x >> 16);
    };
    // Effects outside the models' special cases (8, 9, 10), so they come back as sent.
    const std::uint8_t group0[] = {static_cast<std::uint8_t>(1 + seed % 5), 4, 2, 5, 1};
    const std::uint8_t group6[] = {2, 3, 1, 4, static_cast<std::uint8_t>(seed % 2)};
    std::memcpy(s + settings::LedGroup0, group0, sizeof group0);
    std::memcpy(s + settings::LedGroup6, group6, sizeof group6);
    s[settings::WinLock] = 1;
    s[settings::GameMode] = 1;  // the read-out sets it to 1 in any case

    // Every key sends itself, the A key holds a host action, planes 1-3 vary.
    s[settings::KeyMatrix] = kMatrixReportId;
    for (int k = 0; k < kKeyCount; ++k) s[settings::Plane0 + g_matrixPosByKey[k]] = KeyCode(g_defaultVkByKey[k]);
    int a = KeyIndexOf("A");
    if (a < 0) return 2;
    s[settings::Plane0 + g_matrixPosByKey[a]] = 0xFA;
    for (std::size_t i = settings::Plane0 + settings::PlaneSize; i < settings::MacroPages; ++i) s[i] = next();

    // Macro pages go out with their slot as the first half; data byte 3 of 0
    // keeps the delay conversion out of it, so the page comes back as it is.
    for (std::size_t n = 0; n < settings::MacroPageCount; ++n) {
        std::uint8_t* page = s + settings::MacroPages + n * settings::PageSize;
        page[0] = kDataReportId;
        for (std::size_t i = 1; i < settings::PageSize; ++i) page[i] = next();
        page[1 + 3] = 0;
        std::memcpy(s + settings::MacroSlots + n * settings::MacroSlotSize, page + 1, settings::MacroSlotSize);
    }
    for (std::size_t n = 0; n < settings::PicturePageCount; ++n) {
        std::uint8_t* page = s + settings::PicturePages + n * settings::PageSize;
        page[0] = kDataReportId;
        for (std::size_t i = 1; i < settings::PageSize; ++i) page[i] = next();
    }
    if (!WriteFileAtomic(file, image)) {
        std::fprintf(stderr, "cannot write %s\n", file);
        return 1;
    }
    return 0;
}

int Compare(const char* savedFile, const char* readFile)
{
    auto saved = ReadFileBytes(savedFile, kImageSize + 1);
    auto read = ReadFileBytes(readFile, kImageSize + 1);
    if (!saved || !read || saved->size() != kImageSize || read->size() != kImageSize) {
        std::printf("cannot read two images of %zu bytes\n", kImageSize);
        return 1;
    }
    int differ = 0;
    for (const auto& r : kRegions) {
        std::size_t at = r.offset;
        while (at < r.offset + r.size && (*saved)[at] == (*read)[at]) ++at;
        if (at == r.offset + r.size) {
            std::printf("%s: %zu bytes equal\n", r.name, r.size);
        } else {
            ++differ;
            std::printf("%s: differs at byte %zu (saved %02X, read %02X)\n", r.name, at - r.offset, (*saved)[at],
                        (*read)[at]);
        }
    }
    return differ == 0 ? 0 : 1;
}

volatile std::sig_atomic_t g_stop = 0;

void OnStop(int)
{
    g_stop = 1;
}

bool Create(const char* what, std::uint32_t vid, std::uint32_t pid, std::vector<std::uint8_t> descriptor,
            std::vector<int>& fds)
{
    sim::uhid::DeviceInfo info;
    info.name = std::string("ZR417 test: ") + what;
    info.phys = "usb-zr417-vm-bad." + std::to_string(fds.size()) + "/input1";
    info.vendorId = vid;
    info.productId = pid;
    info.descriptor = std::move(descriptor);
    auto ev = sim::uhid::CreateEvent(info);
    int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (!ev || fd < 0 || ::write(fd, &*ev, sizeof *ev) != static_cast<ssize_t>(sizeof *ev)) {
        std::perror(what);
        return false;
    }
    fds.push_back(fd);
    std::printf("created %s (%04x:%04x)\n", what, vid, pid);
    return true;
}

// Devices that carry a keyboard's IDs but nothing discovery may use: a
// descriptor with an item of an unknown kind (the kernel skips it and makes
// the node; our parser refuses the whole descriptor), one whose reports sit
// outside any collection, and one cut in the middle of an item (the kernel
// refuses it). None of them answers a report.
int BadDevices()
{
    std::signal(SIGTERM, OnStop);
    std::signal(SIGINT, OnStop);
    emu::KeyboardEmulator keyboard(*FindKeyboardIdentity("QV310"));
    auto good = sim::uhid::MakeLayout(keyboard).descriptor;

    auto unknownItem = good;
    unknownItem.insert(unknownItem.begin(), 0xD0);  // main item, tag 13: not defined
    const std::vector<std::uint8_t> noCollection = {
        0x06, 0x00, 0xFF, 0x09, 0x03, 0x85, 0x03, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
        0x95, 0x07, 0x09, 0x03, 0xB1, 0x02, 0x85, 0x07, 0x95, 0x21, 0x09, 0x07, 0x81, 0x02,
    };
    auto cut = good;
    cut.insert(cut.end(), {0x26, 0xFF});  // an item of two data bytes with one left

    std::vector<int> fds;
    bool ok = Create("unknown main item", 0x1C4F, 0x5DC4, unknownItem, fds) &&
              Create("reports outside any collection", 0x260D, 0x0015, noCollection, fds) &&
              Create("descriptor cut inside an item", 0x1B80, 0xB51D, cut, fds);
    std::fflush(stdout);
    while (!g_stop) ::pause();
    for (int fd : fds) ::close(fd);
    return ok ? 0 : 1;
}

// Bootloaders made by zr417-sim's uhid host, each with its own mark, so the
// update tool's probe and its cycle check meet them through the real kernel.
int Bootloaders(int count, char** marks)
{
    // Blocked before the host's threads start, so only sigwait takes them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    std::vector<std::shared_ptr<emu::BootloaderEmulator>> devices;
    {
        sim::UhidHost host(sim::UhidHost::Options{});
        for (int i = 0; i < count; ++i) {
            auto mark = static_cast<std::uint8_t>(std::strtoul(marks[i], nullptr, 0));
            devices.push_back(std::make_shared<emu::BootloaderEmulator>(mark));
            if (host.attach(devices.back()) == 0) return 1;
            std::printf("created bootloader %d (mark 0x%02X)\n", i + 1, mark);
        }
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stop, &signal);
    }
    for (std::size_t i = 0; i < devices.size(); ++i)
        std::printf("bootloader %zu (mark 0x%02X): erased %d time(s), finished %d time(s)\n", i + 1,
                    static_cast<unsigned>(std::strtoul(marks[i], nullptr, 0) & 0xFF), devices[i]->eraseCount(),
                    devices[i]->finishCount());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "make-image" && argc == 4) return MakeImage(argv[2], static_cast<unsigned>(std::atoi(argv[3])));
    if (command == "compare" && argc == 4) return Compare(argv[2], argv[3]);
    if (command == "bad-devices" && argc == 2) return BadDevices();
    if (command == "bootloaders" && argc > 2) return Bootloaders(argc - 2, argv + 2);
    std::fprintf(
        stderr, "usage: zr417-vm-tool make-image FILE SEED | compare SAVED READ | bad-devices | bootloaders MARK...\n");
    return 2;
}
