// DownloadAll against the keyboard emulator: with the protocol's real pauses
// (reported as a ratio to the floor those pauses set), and with no pauses
// (the CPU cost of one download). A profile applied without the program (read
// back, then only what differs sent). And the listener's CPU use while no
// report arrives.
#include "config/image.h"
#include "device/device_link.h"
#include "device/emu/emulated_bus.h"
#include "device/emu/keyboard_emulator.h"
#include "device/protocol.h"
#include "platform/hidraw_input.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

namespace zr417 {
namespace {

struct Setup {
    explicit Setup(PauseFn pause)
        : keyboard(std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity("QV420"))),
          link(bus, {}, [](auto) {}),
          image(std::make_unique<ConfigImage>()),
          protocol(link, *image, std::move(pause))
    {
        bus.plug(keyboard);
        link.OpenDeviceHandles();
        std::mt19937 rng(1);
        for (std::size_t i = settings::Plane0; i < settings::MacroPages; ++i)
            image->settings[i] = static_cast<std::uint8_t>(rng());
        for (std::size_t i = settings::PicturePages; i < settings::PicturePages + 5 * settings::PageSize; ++i)
            image->settings[i] = static_cast<std::uint8_t>(rng());
    }
    emu::EmulatedBus bus;
    std::shared_ptr<emu::KeyboardEmulator> keyboard;
    DeviceLink link;
    std::unique_ptr<ConfigImage> image;
    KeyboardProtocol protocol;
};

// The sum of the fixed pauses of one DownloadAll in which every write verifies.
double FloorMs()
{
    long total = 0;
    Setup s([&](std::chrono::milliseconds d) { total += d.count(); });
    s.protocol.DownloadAll();
    return static_cast<double>(total);
}

void BM_DownloadAllRealPauses(benchmark::State& state)
{
    const double floor = FloorMs();
    Setup s(RealPause);
    double elapsedMs = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        s.protocol.DownloadAll();
        elapsedMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    double perRun = elapsedMs / static_cast<double>(state.iterations());
    state.counters["floor_ms"] = floor;
    state.counters["ms_per_download"] = perRun;
    state.counters["ratio_to_floor"] = perRun / floor;
    std::printf("DownloadAll floor of fixed pauses: %.0f ms; measured %.1f ms per download; ratio %.4f\n", floor,
                perRun, perRun / floor);
    if (s.protocol.failures() != 0) state.SkipWithError("a write did not verify");
}
BENCHMARK(BM_DownloadAllRealPauses)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DownloadAllNoPauses(benchmark::State& state)
{
    Setup s([](std::chrono::milliseconds) {});
    for (auto _ : state) s.protocol.DownloadAll();
    if (s.protocol.failures() != 0) state.SkipWithError("a write did not verify");
}
BENCHMARK(BM_DownloadAllNoPauses)->Unit(benchmark::kMicrosecond);

// zr417ctl profile apply without the program: everything read back, then
// only what differs from it sent (lighting only, one key, nothing), with
// the real pauses; wall time and reports.
template <typename Change>
void MeasureApplyAlone(benchmark::State& state, Change change)
{
    Setup s(RealPause);
    s.protocol.DownloadAll();  // the keyboard holds the image
    ConfigImage profile = *s.image;
    change(profile);
    int sets = 0, gets = 0;
    for (auto _ : state) {
        // The keyboard back to the image, out of the clock.
        state.PauseTiming();
        ConfigImage held = *s.image;
        {
            KeyboardProtocol reset(s.link, held, [](auto) {});
            reset.DownloadAll();
        }
        const auto before = s.keyboard->counters();
        state.ResumeTiming();
        ConfigImage work;
        KeyboardContents contents;
        KeyboardProtocol alone(s.link, work, RealPause);
        alone.TrackContents(&contents);
        alone.ReadEverything();
        work = profile;
        alone.Hold();
        const auto after = s.keyboard->counters();
        sets = after.sets - before.sets;
        gets = after.gets - before.gets;
        if (alone.failures() != 0) state.SkipWithError("a write did not verify");
    }
    state.counters["set_reports"] = sets;
    state.counters["get_reports"] = gets;
}

void BM_ApplyAloneLightingOnly(benchmark::State& state)
{
    MeasureApplyAlone(state, [](ConfigImage& p) { p.at(settings::Effect) ^= 1; });
}
BENCHMARK(BM_ApplyAloneLightingOnly)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ApplyAloneOneKey(benchmark::State& state)
{
    MeasureApplyAlone(state, [](ConfigImage& p) { p.plane(0, 10) ^= 1; });
}
BENCHMARK(BM_ApplyAloneOneKey)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ApplyAloneWhatTheKeyboardHolds(benchmark::State& state)
{
    MeasureApplyAlone(state, [](ConfigImage&) {});
}
BENCHMARK(BM_ApplyAloneWhatTheKeyboardHolds)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

double ProcessCpuMs()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Process CPU time spent while the benchmark thread sleeps a second and only
// the listener runs, waiting for a report that never comes.
void BM_ListenerIdleCpu(benchmark::State& state)
{
    emu::EmulatedBus bus;
    bus.plug(std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity("QV420")));
    DeviceLink link(bus, {{}, [](std::uint8_t) {}, [] {}}, [](auto) {});
    link.OpenAtStartup();
    double cpuMs = 0;
    for (auto _ : state) {
        double before = ProcessCpuMs();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        cpuMs += ProcessCpuMs() - before;
    }
    state.counters["cpu_ms_per_idle_s"] = cpuMs / static_cast<double>(state.iterations());
    if (!link.listenerRunning()) state.SkipWithError("listener not running");
}
BENCHMARK(BM_ListenerIdleCpu)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same for the hidraw backend's input wait (poll on the node's descriptor).
void BM_HidrawInputIdleCpu(benchmark::State& state)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, fds) != 0) {
        state.SkipWithError("socketpair");
        return;
    }
    hidraw::InputReader reader({{7, 0, 34, 0}}, true);
    reader.attach(fds[0]);
    std::atomic<bool> stop{false};
    std::thread listener([&] {
        std::uint8_t buffer[34];
        while (!stop) reader.read(buffer, sizeof buffer, InputListener::kReadWait, nullptr);
    });
    double cpuMs = 0;
    for (auto _ : state) {
        double before = ProcessCpuMs();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        cpuMs += ProcessCpuMs() - before;
    }
    stop = true;
    reader.interrupt();
    listener.join();
    ::close(fds[1]);
    state.counters["cpu_ms_per_idle_s"] = cpuMs / static_cast<double>(state.iterations());
}
BENCHMARK(BM_HidrawInputIdleCpu)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zr417

BENCHMARK_MAIN();
