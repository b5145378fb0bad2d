// zr417-sim: the simulated keyboards and their bootloaders as a process of
// their own, served over a local socket to every program started with
// ZR417_SIM=1 (or ZR417_SIM=<socket path>). zr417ctl sim ... controls it.
#include "platform/hid_bus_factory.h"
#include "platform/sim_wire.h"
#include "sim/device_host.h"
#include "sim/sim_server.h"
#include "sim/simulator.h"
#include "sim/uhid_host.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

zr417::sim::SimServer* g_server = nullptr;  // for the signal handler only

void OnSignal(int)
{
    if (g_server) g_server->stop();
}

// Apart from the built-in simulated keyboard's files (ZR417_SIMULATE,
// zr417ctl --simulate): each process holds its keyboards' memory and writes
// it back later, so one file for both would let each read the other's stale
// memory and write over the other's changes.
std::filesystem::path DefaultStateDir()
{
    const std::filesystem::path shared = zr417::SimulatorStateFile("QV310").parent_path();
    return shared.empty() ? shared : shared / "zr417-sim";
}

void Usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: zr417-sim [--socket PATH] [--state-dir DIR] [--plug MODEL]... [--uhid]\n"
                 "\n"
                 "Serves simulated ZR417 keyboards (QV310, QV420, OEM) and their bootloaders to the\n"
                 "programs started with ZR417_SIM=1 (or ZR417_SIM=PATH for another socket).\n"
                 "\n"
                 "  --socket PATH     the socket (default: %s)\n"
                 "  --state-dir DIR   where keyboards keep their memory (default: %s)\n"
                 "  --plug MODEL      plug a keyboard in at start (repeatable)\n"
                 "  --uhid            make the devices kernel HID devices through /dev/uhid (as root), so\n"
                 "                    every program finds them through hidraw without ZR417_SIM\n"
                 "\n"
                 "Control it with: zr417ctl sim list | plug MODEL | unplug ID [REPORTS] | replug ID |\n"
                 "                 press ID KEY | version ID MAJOR.MINOR\n",
                 zr417::simwire::DefaultSocketPath().c_str(), DefaultStateDir().c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace zr417;
    std::filesystem::path socket = simwire::SocketFromEnvironment().value_or(std::filesystem::path());
    std::filesystem::path stateDir = DefaultStateDir();
    std::vector<std::string> plugs;
    bool uhid = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zr417-sim: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--socket")
            socket = value("--socket");
        else if (a == "--state-dir")
            stateDir = value("--state-dir");
        else if (a == "--plug")
            plugs.emplace_back(value("--plug"));
        else if (a == "--uhid")
            uhid = true;
        else if (a == "-h" || a == "--help") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "zr417-sim: unknown argument %s\n", argv[i]);
            Usage(stderr);
            return 2;
        }
    }

    if (socket.empty()) {
        std::string error;
        auto fallback = simwire::PrepareDefaultSocketPath(&error);
        if (!fallback) {
            std::fprintf(stderr, "zr417-sim: %s\n", error.c_str());
            return 1;
        }
        socket = *fallback;
    }

    sim::EmulatedBusHost busHost;
    // In uhid mode the devices live on the kernel's bus; the socket then
    // serves only the control requests (its bus stays empty).
    std::unique_ptr<sim::UhidHost> uhidHost;
    if (uhid) {
        std::string error;
        if (!(uhidHost = sim::CreateUhidHost(&error))) {
            std::fprintf(stderr, "zr417-sim: %s\n", error.c_str());
            return 1;
        }
    }
    sim::DeviceHost& host = uhidHost ? static_cast<sim::DeviceHost&>(*uhidHost) : busHost;
    sim::Simulator simulator(host, stateDir);
    for (const auto& model : plugs) {
        auto r = simulator.plug(model);
        if (!r.ok) {
            std::fprintf(stderr, "zr417-sim: %s\n", r.message.c_str());
            return 2;
        }
        std::printf("zr417-sim: %s\n", r.message.c_str());
    }
    busHost.bus().drainEvents();  // plugged before anyone listened

    sim::SimServer server(busHost, simulator);
    std::string error;
    if (!server.listen(socket, &error)) {
        std::fprintf(stderr, "zr417-sim: %s\n", error.c_str());
        return 1;
    }
    g_server = &server;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("zr417-sim: serving on %s (keyboard memory in %s)\n", socket.c_str(), stateDir.c_str());
    std::fflush(stdout);
    server.run();
    g_server = nullptr;
    std::printf("zr417-sim: stopped\n");
    return 0;
}
