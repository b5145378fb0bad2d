// What the simulator's socket costs: one feature report round trip, and a
// whole DownloadAll (without the protocol's pauses) over the socket against
// the same on the in-process emulated bus.
#include "config/image.h"
#include "device/device_link.h"
#include "device/emu/keyboard_emulator.h"
#include "device/identities.h"
#include "device/protocol.h"
#include "platform/sim_client_bus.h"
#include "sim/device_host.h"
#include "sim/sim_server.h"
#include "sim/simulator.h"

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <filesystem>
#include <thread>

namespace {

using namespace zr417;

// A simulator with one QV310 on a socket in a fresh folder.
struct Served {
    std::filesystem::path dir;
    sim::EmulatedBusHost host;
    sim::Simulator simulator{host, {}};
    sim::SimServer server{host, simulator};
    std::thread thread;

    Served()
    {
        char name[] = "/tmp/zr417-bench-XXXXXX";
        dir = ::mkdtemp(name);
        simulator.plug("QV310");
        host.bus().drainEvents();
        server.listen(dir / "sim.sock", nullptr);
        thread = std::thread([this] { server.run(); });
    }
    ~Served()
    {
        server.stop();
        thread.join();
        std::filesystem::remove_all(dir);
    }
};

void NoPause(std::chrono::milliseconds) {}

void BM_FeatureRoundTripOverSocket(benchmark::State& state)
{
    Served served;
    auto bus = simwire::ConnectSimulatorBus(served.dir / "sim.sock");
    std::string path;
    for (const auto& c : bus->enumerate())
        if (c.collectionNumber == 3) path = c.path;
    auto device = bus->open(path);
    std::array<std::uint8_t, 8> ask{kCommandReportId, 0x51, 7, 0, 0, 0, 0, 0};
    std::array<std::uint8_t, 8> reply{};
    for (auto _ : state) {
        device->setFeature(ask.data(), ask.size());
        reply[0] = kCommandReportId;
        device->getFeature(reply.data(), reply.size());
        benchmark::DoNotOptimize(reply);
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_FeatureRoundTripOverSocket);

void DownloadAllOn(hid::Bus& bus, benchmark::State& state)
{
    DeviceLink link(bus, DeviceLink::Events{}, NoPause);
    link.OpenDeviceHandles();
    ConfigImage image;
    KeyboardProtocol protocol(link, image, NoPause);
    for (auto _ : state) protocol.DownloadAll();
}

void BM_DownloadAllOverSocket(benchmark::State& state)
{
    Served served;
    auto bus = simwire::ConnectSimulatorBus(served.dir / "sim.sock");
    DownloadAllOn(*bus, state);
}
BENCHMARK(BM_DownloadAllOverSocket)->Unit(benchmark::kMillisecond);

void BM_DownloadAllInProcess(benchmark::State& state)
{
    emu::EmulatedBus bus;
    bus.plug(std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity("QV310")));
    DownloadAllOn(bus, state);
}
BENCHMARK(BM_DownloadAllInProcess)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
