// Checks the Linux HID backend against a real kernel: run inside a virtual
// machine that has uhid (see run.sh). It creates the keyboard's interface 1
// as a uhid device whose reports the keyboard emulator answers, then drives
// it through the hidraw backend exactly as the program does: discovery,
// DownloadAll with the real pauses, the start-up read-out, a host-action key
// on the input collection, and the unplug.
#include "../descriptors.h"
#include "config/keys.h"
#include "device/device_link.h"
#include "device/emu/keyboard_emulator.h"
#include "device/protocol.h"
#include "platform/hidraw_bus.h"
#include "platform/trace.h"

#include <linux/uhid.h>

#include <fcntl.h>
#include <unistd.h>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace zr417;

namespace {

int g_failures = 0;

void check(bool ok, const char* what)
{
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++g_failures;
}

int indexOfReport(int id)
{
    return id == 3 ? 0 : id == 4 ? 1 : id == 6 ? 2 : -1;
}

}  // namespace

int main()
{
    int uhid = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (uhid < 0) {
        std::perror("/dev/uhid");
        return 2;
    }
    auto keyboard = std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity("QV420"));
    std::mutex writeMutex;
    auto send = [&](const uhid_event& ev) {
        std::lock_guard lock(writeMutex);
        return ::write(uhid, &ev, sizeof ev) == static_cast<ssize_t>(sizeof ev);
    };
    keyboard->setInputSink([&](std::size_t, std::vector<std::uint8_t> report) {
        uhid_event ev{};
        ev.type = UHID_INPUT2;
        ev.u.input2.size = static_cast<std::uint16_t>(report.size());
        std::memcpy(ev.u.input2.data, report.data(), report.size());
        send(ev);
    });

    auto descriptor = testdata::KeyboardInterface1Descriptor();
    uhid_event create{};
    create.type = UHID_CREATE2;
    std::strcpy(reinterpret_cast<char*>(create.u.create2.name), "ZR417 test keyboard");
    std::strcpy(reinterpret_cast<char*>(create.u.create2.phys), "usb-vm-1/input1");
    create.u.create2.rd_size = static_cast<std::uint16_t>(descriptor.size());
    create.u.create2.bus = 0x03;
    create.u.create2.vendor = 0x260D;
    create.u.create2.product = 0x0015;
    std::memcpy(create.u.create2.rd_data, descriptor.data(), descriptor.size());
    if (!send(create)) {
        std::perror("UHID_CREATE2");
        return 2;
    }

    // The device side: answer the kernel's feature requests from the emulator.
    std::atomic<bool> stop{false};
    std::thread device([&] {
        while (!stop) {
            uhid_event ev{};
            if (::read(uhid, &ev, sizeof ev) <= 0) continue;
            if (ev.type == UHID_GET_REPORT) {
                uhid_event reply{};
                reply.type = UHID_GET_REPORT_REPLY;
                reply.u.get_report_reply.id = ev.u.get_report.id;
                int index = indexOfReport(ev.u.get_report.rnum);
                std::size_t length = index == 0 ? 8 : 513;
                std::uint8_t buffer[513] = {ev.u.get_report.rnum};
                bool ok = index >= 0 && keyboard->getFeature(index, buffer, length);
                reply.u.get_report_reply.err = ok ? 0 : EIO;
                reply.u.get_report_reply.size = ok ? static_cast<std::uint16_t>(length) : 0;
                std::memcpy(reply.u.get_report_reply.data, buffer, length);
                send(reply);
            } else if (ev.type == UHID_SET_REPORT) {
                uhid_event reply{};
                reply.type = UHID_SET_REPORT_REPLY;
                reply.u.set_report_reply.id = ev.u.set_report.id;
                int index = indexOfReport(ev.u.set_report.rnum);
                bool ok = index >= 0 && keyboard->setFeature(index, ev.u.set_report.data, ev.u.set_report.size);
                reply.u.set_report_reply.err = ok ? 0 : EIO;
                send(reply);
            }
        }
    });

    for (int i = 0; i < 100 && !std::filesystem::exists("/sys/class/hidraw/hidraw0"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    hidraw::HidrawBus bus;
    auto list = bus.enumerate();
    for (const auto& c : list)
        std::printf("     %s page %04X feature %u input %u\n", c.path.c_str(), c.usagePage, c.featureReportLength(),
                    c.inputReportLength());
    check(list.size() == 7, "seven collections on the node");

    std::mutex codesMutex;
    std::vector<std::uint8_t> codes;
    std::atomic<int> notConnected{0};
    DeviceLink link(bus, {{},
                          [&](std::uint8_t c) {
                              std::lock_guard lock(codesMutex);
                              codes.push_back(c);
                          },
                          [&] { ++notConnected; }});
    check(link.OpenAtStartup(), "collections 3, 4, 6 and 7 open");
    check(link.g_nModel() == kModelQV420, "model QV420");
    check(link.listenerRunning(), "listener running");

    auto image = std::make_unique<ConfigImage>();
    for (std::size_t i = settings::Plane0; i < settings::MacroPages; ++i)
        image->settings[i] = static_cast<std::uint8_t>(i * 7);
    for (std::size_t i = settings::PicturePages + 1; i < settings::PicturePages + 5 * settings::PageSize; ++i)
        image->settings[i] = static_cast<std::uint8_t>(i * 13);
    image->at(settings::Effect) = 3;
    KeyboardProtocol protocol(link, *image);
    TraceCapture trace;
    auto start = std::chrono::steady_clock::now();
    protocol.DownloadAll();
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("     DownloadAll took %.0f ms\n", ms);
    check(protocol.failures() == 0, "DownloadAll verified every write");
    check(trace.count("Data OK(Macro)\n") == 12 && trace.count("Data OK(SetUserPicture)\n") == 5 &&
              trace.count("Data OK(KeyMatrix)\n") == 1 && trace.count("Data OK\n") == 2,
          "every Data OK line");

    auto readBack = std::make_unique<ConfigImage>();
    KeyboardProtocol reader(link, *readBack);
    reader.StartupReadout();
    check(reader.failures() == 0, "start-up read-out without failures");
    check(
        std::memcmp(readBack->settings.data() + settings::Plane0, image->settings.data() + settings::Plane0, 512) == 0,
        "key matrix read back");
    check(std::memcmp(readBack->settings.data() + settings::PicturePages,
                      image->settings.data() + settings::PicturePages, 5 * settings::PageSize) == 0,
          "pictures read back");

    // A host-action key on A (key index 59).
    auto memory = keyboard->memory();
    memory.matrix[g_matrixPosByKey[59]] = 0xFA;
    keyboard->setMemory(memory);
    keyboard->pressKey(g_matrixPosByKey[59]);
    for (int i = 0; i < 100; ++i) {
        {
            std::lock_guard lock(codesMutex);
            if (!codes.empty()) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    {
        std::lock_guard lock(codesMutex);
        check(codes == std::vector<std::uint8_t>{0x04}, "host-action key delivered once as code 0x04");
    }

    uhid_event destroy{};
    destroy.type = UHID_DESTROY;
    send(destroy);
    for (int i = 0; i < 100 && notConnected == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    check(notConnected > 0, "listener reports the unplugged device");
    std::array<std::uint8_t, 8> status{3, 0x51, 7, 0, 0, 0, 0, 0};
    check(!link.g_hCommandDev()->setFeature(status.data(), status.size()), "feature report fails after unplug");
    check(!link.connected(), "link knows the keyboard is gone");
    start = std::chrono::steady_clock::now();
    protocol.DownloadAll();
    ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("     DownloadAll without the keyboard took %.1f ms\n", ms);
    check(ms < 100, "DownloadAll without the keyboard ends at once");

    link.OnDeviceRemoval();
    stop = true;
    ::close(uhid);
    device.detach();
    std::printf("%s\n", g_failures == 0 ? "VM CHECK PASSED" : "VM CHECK FAILED");
    std::fflush(stdout);
    std::_Exit(g_failures == 0 ? 0 : 1);
}
