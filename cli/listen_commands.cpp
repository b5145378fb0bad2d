// listen: follows the keyboard as the main program does (its device link,
// the plug monitor, the input listener) and prints what happens, one line
// each: host-action keys the keyboard reports, devices plugged in and out,
// the keyboard connecting and going away. Runs until Ctrl-C or SIGTERM.
#include "cli/cli.h"
#include "config/keys.h"
#include "device/device_link.h"
#include "platform/hid_bus_factory.h"
#include "platform/hidraw_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace zr417::cli {
namespace {

int g_stopPipe[2] = {-1, -1};  // written by the signal handler only

void OnStopSignal(int)
{
    char c = 1;
    (void)!::write(g_stopPipe[1], &c, 1);
}

// The listener thread and the main loop both print.
std::mutex g_printMutex;

void Say(const char* format, ...)
{
    std::lock_guard lock(g_printMutex);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

std::string NameOfCode(std::uint8_t code)
{
    for (int vk = 0; vk < 256; ++vk) {
        auto name = KeyName(static_cast<std::uint8_t>(vk));
        if (KeyCode(static_cast<std::uint8_t>(vk)) == code && !name.empty()) {
            std::string s(name);
            while (!s.empty() && s.back() == ' ') s.pop_back();
            return s;
        }
    }
    return "?";
}

std::string ModelName(std::uint8_t model)
{
    for (const auto& id : g_keyboardIdentities)
        if (id.model == model) return std::string(id.name);
    return "?";
}

}  // namespace

int RunListen(const Options& options, const std::vector<std::string>&)
{
    std::string error;
    auto bus = options.simulate.empty() ? CreateHidBus(&error) : CreateHidBus(options.simulate, &error);
    if (!bus) {
        std::fprintf(stderr, "zr417ctl: %s\n", error.c_str());
        return kUsage;
    }
    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("zr417ctl: pipe");
        return kUsage;
    }
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    int keys = 0;
    DeviceLink* self = nullptr;
    auto sayConnected = [&] {
        self->FindDevicePath(kTagCommand);
        Say("keyboard %s connected at %s\n", ModelName(self->g_nModel()).c_str(), self->g_szDevicePath().c_str());
    };
    DeviceLink link(*bus, {sayConnected,
                           [&](std::uint8_t code) {
                               ++keys;
                               Say("host-action key: code 0x%02X (%s)\n", code, NameOfCode(code).c_str());
                           },
                           [] { Say("keyboard gone\n"); }});
    self = &link;

    const char* source = "the simulator";
    if (auto* hidraw = dynamic_cast<hidraw::HidrawBus*>(bus.get())) source = hidraw->monitorSource();
    Say("listening (Ctrl-C ends); plug events from %s\n", bus->eventFd() < 0 ? "nowhere" : source);
    if (link.OpenAtStartup())
        sayConnected();
    else
        Say("no keyboard yet\n");

    for (;;) {
        pollfd fds[2] = {{g_stopPipe[0], POLLIN, 0}, {bus->eventFd(), POLLIN, 0}};
        int n = ::poll(fds, bus->eventFd() < 0 ? 1 : 2, -1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || (fds[0].revents & POLLIN)) break;
        if (!(fds[1].revents & POLLIN)) continue;
        auto events = bus->drainEvents();
        for (const auto& e : events)
            Say("%s %s\n", e.kind == hid::PlugEvent::Kind::Arrival ? "arrival" : "removal", e.path.c_str());
        link.OnPlugEvents(events);
    }
    link.Shutdown();
    Say("stopped after %d host-action key(s)\n", keys);
    ::close(g_stopPipe[0]);
    ::close(g_stopPipe[1]);
    return kOk;
}

}  // namespace zr417::cli
