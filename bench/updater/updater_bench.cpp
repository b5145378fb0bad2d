// Update tool speed: a 60 KiB burn against the bootloader emulator with the
// real fixed waits (2000 + 200 + 100 + 100 ms), sixteen burns at once, and
// converting a 60 KiB HEX file.
#include "device/emu/bootloader_emulator.h"
#include "device/emu/emulated_bus.h"
#include "updater/flashing.h"
#include "updater/hex_image.h"
#include "updater/update_tool.h"

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace zr417;
using namespace zr417::updater;

constexpr double kFixedWaitsMs = 2000 + 200 + 100 + 100;

std::vector<std::uint8_t> Image()
{
    std::vector<std::uint8_t> image(kImageLimit);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 1);
    return image;
}

std::string HexText(const std::vector<std::uint8_t>& image)
{
    std::string text;
    char buf[16];  // ":10" + 4 digits + "00" and the terminator
    for (std::size_t a = 0; a < image.size(); a += 16) {
        unsigned sum = 16 + (a >> 8) + (a & 0xFF);
        std::snprintf(buf, sizeof buf, ":10%04X00", static_cast<unsigned>(a));
        text += buf;
        for (std::size_t i = 0; i < 16; ++i) {
            std::snprintf(buf, sizeof buf, "%02X", image[a + i]);
            text += buf;
            sum += image[a + i];
        }
        std::snprintf(buf, sizeof buf, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += buf;
    }
    return text + ":00000001FF\r\n";
}

struct TempFolder {
    std::filesystem::path path;
    TempFolder()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zr417-bench-XXXXXX").string();
        path = ::mkdtemp(tmpl.data());
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
};

void WriteFile(const std::filesystem::path& path, const void* data, std::size_t size)
{
    std::ofstream(path, std::ios::binary).write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

class RealWaitHost : public BurnHost {
public:
    bool IsStopRequested(int) override { return false; }
    ProbeResult RecordedProbe(int) override { return {true, 8}; }
    int Language() override { return 0; }
    void Wait(std::chrono::milliseconds d) override { std::this_thread::sleep_for(d); }
};

void BM_BurnOneDevice(benchmark::State& state)
{
    TempFolder dir;
    auto image = Image();
    WriteFile(dir.path / "fw.bin", image.data(), image.size());
    RealWaitHost host;
    for (auto _ : state) {
        emu::EmulatedBus bus;
        int port = bus.plug(std::make_shared<emu::BootloaderEmulator>());
        BurnJob job;
        job.dataPath = bus.pathOf(port, emu::BootloaderEmulator::kDataIndex);
        job.commandPath = bus.pathOf(port, emu::BootloaderEmulator::kCommandIndex);
        job.slot = 0;
        job.imagePath = (dir.path / "fw.bin").string();
        job.serial = 1;
        if (DoBurn(bus, host, job) != BURN_OK) state.SkipWithError("burn failed");
    }
    state.counters["fixed_waits_ms"] = kFixedWaitsMs;
}
BENCHMARK(BM_BurnOneDevice)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// All devices of a bus burned at once by the tool's slot workers, from
// Update to the idle message.
class IdleView : public ToolView {
public:
    class Quiet : public StatusControl {
    public:
        void SetLine1(const std::string&) override {}
        void SetLine2(const std::string&) override {}
        void SetColour(int) override {}
        void Redraw(bool) override {}
    };
    StatusControl& SlotControl(int slot) override { return controls[static_cast<std::size_t>(slot)]; }
    void SetButtonStates(bool, bool, bool, bool) override {}
    void SetCounterTexts(int, int) override {}
    void PostBurnIdle(bool) override
    {
        std::lock_guard lock(mutex);
        idle = true;
        cv.notify_all();
    }
    void WaitIdle()
    {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return idle; });
        idle = false;
    }
    std::array<Quiet, kSlotCount> controls;
    std::mutex mutex;
    std::condition_variable cv;
    bool idle = false;
};

void BM_BurnDevicesAtOnce(benchmark::State& state)
{
    const int devices = static_cast<int>(state.range(0));
    TempFolder dir;
    auto image = Image();
    WriteFile(dir.path / "fw.bin", image.data(), image.size());
    std::string ini = "[Firmware]\nPath=fw.bin\n";
    for (auto _ : state) {
        state.PauseTiming();
        emu::EmulatedBus bus;
        std::vector<std::shared_ptr<emu::BootloaderEmulator>> all;
        for (int i = 0; i < devices; ++i) {
            all.push_back(std::make_shared<emu::BootloaderEmulator>());
            bus.plug(all.back());
        }
        IdleView view;
        auto tool = std::make_unique<UpdateTool>(bus, view);
        struct : MessageSink {
            void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
        } sink;
        tool->LoadSettings(IniFile::FromBytes({ini.begin(), ini.end()}), dir.path, sink);
        tool->Enumerate(true);
        tool->AssignNewDevices();
        state.ResumeTiming();

        tool->OnUpdate();
        view.WaitIdle();

        state.PauseTiming();
        for (auto& d : all)
            if (d->finishCount() != 1) state.SkipWithError("a device was not burned");
        tool.reset();
        state.ResumeTiming();
    }
    state.counters["fixed_waits_ms"] = kFixedWaitsMs;
}
BENCHMARK(BM_BurnDevicesAtOnce)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ParseHex60K(benchmark::State& state)
{
    std::string text = HexText(Image());
    std::vector<std::uint8_t> buffer(kImageLimit);
    for (auto _ : state) {
        std::size_t length = 0;
        benchmark::DoNotOptimize(
            ParseHexImage({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, length, buffer.data()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseHex60K)->Unit(benchmark::kMicrosecond);

void BM_ConvertHexFile60K(benchmark::State& state)
{
    TempFolder dir;
    std::string text = HexText(Image());
    WriteFile(dir.path / "fw.hex", text.data(), text.size());
    const std::string path = (dir.path / "fw.hex").string();
    for (auto _ : state) {
        // Read, parse and write the image atomically (synced to disk).
        if (ConvertFirmware(path, nullptr) != ConvertResult::Converted) state.SkipWithError("conversion failed");
    }
}
BENCHMARK(BM_ConvertHexFile60K)->Unit(benchmark::kMicrosecond);

void BM_LoadHexFile60K(benchmark::State& state)
{
    TempFolder dir;
    std::string text = HexText(Image());
    WriteFile(dir.path / "fw.hex", text.data(), text.size());
    const std::string path = (dir.path / "fw.hex").string();
    std::vector<std::uint8_t> buffer(kImageLimit);
    for (auto _ : state) {
        std::size_t length = 0;
        benchmark::DoNotOptimize(LoadHexImage(path, length, buffer.data(), nullptr));
    }
}
BENCHMARK(BM_LoadHexFile60K)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
