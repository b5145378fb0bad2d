// The main window while it talks to the keyboard (an emulated QV310 with the
// protocol's real pauses): the longest the event loop goes without running
// (a 1 ms timer probe) during Save, Default, an arrival read-out and a
// profile applied through the program; and the wall time and reports of
// profile applies that differ from what the keyboard holds in the lighting
// only, in one key, or not at all.
#include "app/kalvex_dlg.h"
#include "app/profile_commands.h"
#include "app/profile_requests.h"
#include "bench/app/bench_app.h"
#include "device/emu/emulated_bus.h"
#include "device/emu/keyboard_emulator.h"
#include "tests/support/process.h"
#include "tests/support/qt_events.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTimer>

#include <cstdlib>
#include <optional>

namespace zr417 {
namespace {

using bench::App;
using bench::RuntimeDirectory;

// Says yes to every question (Default's confirmation), shows nothing.
struct YesDesktop : DesktopActions {
    bool openUrl(const QUrl&) override { return true; }
    bool startDetached(const QString&, const QString&) override { return true; }
    bool confirm(QWidget*, const QString&, const QString&) override { return true; }
    void warn(QWidget*, const QString&, const QString&, const QString&) override {}
};

// The longest gap between two ticks of a 1 ms timer: how long the event
// loop did not run.
class StallProbe {
public:
    StallProbe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { longest_ = std::max(longest_, clock_.restart()); });
    }
    void start()
    {
        longest_ = 0;
        clock_.start();
        timer_.start();
    }
    qint64 stop()
    {
        timer_.stop();
        return std::max(longest_, clock_.elapsed());
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

// A shown main window on an emulated QV310, started up, with real pauses.
struct Window {
    Window()
    {
        App();
        keyboard = std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity("QV310"));
        port = bus.plug(keyboard);
        MainWindowOptions o;
        o.bus = &bus;
        o.paths = AppPaths{RuntimeDirectory(), dir.path()};
        o.language = 9;
        o.dialogs = &dialogs;
        o.desktop = &desktop;
        o.splash = false;
        o.trayAvailable = false;
        dlg = std::make_unique<CKalvexDlg>(std::move(o));
        dlg->OnInitDialog();
        dlg->show();
        waitIdle();
        requests = std::make_unique<ProfileRequests>(*dlg);
    }
    ~Window()
    {
        requests.reset();
        dlg.reset();
    }
    void waitIdle()
    {
        QElapsedTimer t;
        t.start();
        while ((dlg->refreshCount() < 1 || dlg->keyboardBusy() || dlg->writingFiles()) && t.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    void click(int x, int y) { test::SendClick(*dlg, QPointF(x, y)); }
    // Writes `image` as profile `name`.
    void saveProfile(const std::string& name, const ConfigImage& image)
    {
        std::filesystem::create_directories(dir.path() / "Configure");
        WriteFileAtomic(dir.path() / "Configure" / (name + ".bin"), {image.settings, image.keyTable});
    }
    // Asks for `request` as zr417ctl would and runs the event loop until the answer.
    std::pair<int, std::string> ask(const QString& request)
    {
        std::optional<std::pair<int, std::string>> reply;
        requests->handle(request, [&](int code, const QString& text) { reply.emplace(code, text.toStdString()); });
        QElapsedTimer t;
        t.start();
        while (!reply && t.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return reply.value_or(std::pair<int, std::string>{-1, "no answer"});
    }

    test::TempDir dir;
    emu::EmulatedBus bus;
    std::shared_ptr<emu::KeyboardEmulator> keyboard;
    int port = 0;
    PlaceholderSubDialogs dialogs;
    YesDesktop desktop;
    std::unique_ptr<CKalvexDlg> dlg;
    std::unique_ptr<ProfileRequests> requests;
};

// Runs `act` and the event loop until the window is done with the keyboard;
// reports the longest stall and the time the whole took.
template <typename Act>
void MeasureStall(benchmark::State& state, Window& w, Act act)
{
    StallProbe probe;
    qint64 longest = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        probe.start();
        act();
        while ((w.dlg->keyboardBusy() || w.dlg->writingFiles()) && t.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        longest = std::max(longest, probe.stop());
        state.SetIterationTime(static_cast<double>(t.elapsed()) / 1000.0);
    }
    state.counters["longest_stall_ms"] = static_cast<double>(longest);
}

// The same probe over a second in which the window does nothing: the floor
// the machine's load sets under the figures above.
void BM_StallWhileIdle(benchmark::State& state)
{
    Window w;
    MeasureStall(state, w, [] {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    });
}
BENCHMARK(BM_StallWhileIdle)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_StallDuringSave(benchmark::State& state)
{
    Window w;
    MeasureStall(state, w, [&] { w.click(950, 620); });
}
BENCHMARK(BM_StallDuringSave)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_StallDuringDefault(benchmark::State& state)
{
    Window w;
    MeasureStall(state, w, [&] { w.click(830, 620); });
}
BENCHMARK(BM_StallDuringDefault)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// The keyboard unplugged and plugged back; the arrival read-out runs.
void BM_StallDuringArrivalReadout(benchmark::State& state)
{
    Window w;
    MeasureStall(state, w, [&] {
        w.bus.unplug(w.port);
        QElapsedTimer t;
        t.start();
        while (w.dlg->link().g_hCommandDev() && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const int refreshes = w.dlg->refreshCount();
        w.port = w.bus.plug(w.keyboard);
        while (!w.dlg->keyboardBusy() && w.dlg->refreshCount() == refreshes && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    });
}
BENCHMARK(BM_StallDuringArrivalReadout)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// Two profiles that differ in everything the keyboard holds, applied in turn.
void BM_StallDuringProfileApply(benchmark::State& state)
{
    Window w;
    ConfigImage a = w.dlg->store().current(), b = a;
    b.at(settings::Effect) = 3;
    for (std::size_t i = 0; i < settings::KeyMatrixSize - 1; ++i) b.settings[settings::KeyMatrix + 1 + i] ^= 0x01;
    for (std::size_t n = 0; n < 12; ++n) b.settings[settings::MacroSlots + settings::MacroSlotSize * n + 1] = 1;
    for (std::size_t k = 0; k < 5; ++k) b.settings[settings::PicturePages + settings::PageSize * k + 7] = 0x40;
    b.at(settings::ZoneMode) = 2;
    w.saveProfile("A", a);
    w.saveProfile("B", b);
    bool toB = true;
    MeasureStall(state, w, [&] {
        w.ask(toB ? "profile apply B" : "profile apply A");
        toB = !toB;
    });
}
BENCHMARK(BM_StallDuringProfileApply)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

// Profile applies through the program: request to answer, and the reports
// that reached the keyboard. `change` makes the second profile of the pair.
template <typename Change>
void MeasureApply(benchmark::State& state, Change change)
{
    Window w;
    ConfigImage a = w.dlg->store().current(), b = a;
    change(b);
    w.saveProfile("A", a);
    w.saveProfile("B", b);
    w.ask("profile apply A");  // the keyboard holds A
    bool toB = true;
    int sets = 0, gets = 0;
    for (auto _ : state) {
        const auto before = w.keyboard->counters();
        QElapsedTimer t;
        t.start();
        auto answer = w.ask(toB ? "profile apply B" : "profile apply A");
        state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
        if (answer.first != profile_exit::kOk) state.SkipWithError(answer.second.c_str());
        const auto after = w.keyboard->counters();
        sets = after.sets - before.sets;
        gets = after.gets - before.gets;
        toB = !toB;
    }
    state.counters["set_reports"] = sets;
    state.counters["get_reports"] = gets;
}

void BM_ApplyLightingOnly(benchmark::State& state)
{
    MeasureApply(state, [](ConfigImage& b) {
        b.at(settings::Effect) = 3;
        b.at(settings::Brightness) = 2;
        b.at(settings::Speed) = 5;
    });
}
BENCHMARK(BM_ApplyLightingOnly)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

void BM_ApplyOneKey(benchmark::State& state)
{
    MeasureApply(state, [](ConfigImage& b) { b.plane(0, 10) ^= 0x01; });
}
BENCHMARK(BM_ApplyOneKey)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

void BM_ApplyWhatTheKeyboardHolds(benchmark::State& state)
{
    MeasureApply(state, [](ConfigImage&) {});
}
BENCHMARK(BM_ApplyWhatTheKeyboardHolds)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zr417

BENCHMARK_MAIN();
