// The main window's costs: a full repaint, a mouse move that changes nothing
// (it must compose nothing), the time from process start to the splash on
// screen, and the CPU the shown window uses while nothing happens.
#include "app/kalvex_dlg.h"
#include "bench/app/bench_app.h"
#include "device/emu/emulated_bus.h"
#include "device/emu/keyboard_emulator.h"
#include "tests/support/process.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <sys/resource.h>
#include <chrono>
#include <cstdlib>
#include <fstream>

namespace zr417 {
namespace {

using bench::App;
using bench::RuntimeDirectory;

// A shown main window on an emulated QV310, started up and refreshed.
struct Window {
    Window()
    {
        App();
        keyboard = std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity("QV310"));
        bus.plug(keyboard);
        MainWindowOptions o;
        o.bus = &bus;
        o.paths = AppPaths{RuntimeDirectory(), dir.path()};
        o.pause = [](std::chrono::milliseconds) {};
        o.language = 9;
        o.dialogs = &dialogs;
        o.splash = false;
        o.trayAvailable = false;  // the offscreen platform has no tray
        dlg = std::make_unique<CKalvexDlg>(std::move(o));
        dlg->OnInitDialog();
        dlg->show();
        QElapsedTimer t;
        t.start();
        while (dlg->refreshCount() < 1 && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::processEvents();
    }
    void move(int x, int y)
    {
        QPointF p(x, y);
        QMouseEvent ev(QEvent::MouseMove, p, dlg->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(dlg.get(), &ev);
    }

    test::TempDir dir;
    emu::EmulatedBus bus;
    std::shared_ptr<emu::KeyboardEmulator> keyboard;
    PlaceholderSubDialogs dialogs;
    std::unique_ptr<CKalvexDlg> dlg;
};

// Composing the whole client area (every picture, label, slider, the
// highlighted keys), as each repaint does.
void BM_FullRepaint(benchmark::State& state)
{
    Window w;
    // Some highlights and an open list make it a busy frame.
    for (int k = 0; k < 104; k += 7) w.dlg->keyState().MarkKeyChanged(static_cast<std::size_t>(k), true);
    QImage frame = MakeFrame(w.dlg->size(), w.dlg->devicePixelRatioF());
    QPainter p(&frame);
    for (auto _ : state) w.dlg->Compose(p, QRegion(w.dlg->rect()));
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Mouse moves over empty places: no hot-spot, no key, nothing to redraw.
void BM_MouseMoveThatChangesNothing(benchmark::State& state)
{
    Window w;
    w.move(150, 590);
    QCoreApplication::processEvents();
    const int before = w.dlg->composeCount();
    int x = 0;
    for (auto _ : state) {
        w.move(140 + (x++ % 20), 590);
        QCoreApplication::processEvents();
    }
    state.counters["repaints"] = w.dlg->composeCount() - before;
    if (w.dlg->composeCount() != before) state.SkipWithError("a mouse move that changes nothing repainted the window");
}
BENCHMARK(BM_MouseMoveThatChangesNothing)->Unit(benchmark::kMicrosecond);

// Process start to the splash's first paint (its trace line), in a fresh
// environment each time so the single-instance guard never interferes.
void BM_StartToSplash(benchmark::State& state)
{
    for (auto _ : state) {
        test::TempDir dir;
        std::map<std::string, std::string> env = {
            {"QT_QPA_PLATFORM", "offscreen"},
            {"ZR417_DATA_DIR", (dir.path() / "data").string()},
            {"XDG_RUNTIME_DIR", dir.path().string()},
            {"XDG_CONFIG_HOME", (dir.path() / "config").string()},
            {"XDG_STATE_HOME", (dir.path() / "state").string()},
            {"ZR417_SIMULATE", "QV310"},
            {"ZR417_TRACE", "1"},
        };
        auto log = dir.path() / "log";
        auto start = std::chrono::steady_clock::now();
        test::ChildProcess program(RuntimeDirectory() / "ZR417 RGB Gaming Keyboard", {}, env, log);
        bool seen = false;
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
            if (test::ReadText(log).find("Splash screen shown") != std::string::npos) {
                seen = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        auto elapsed = std::chrono::steady_clock::now() - start;
        program.terminate();
        if (!seen) {
            state.SkipWithError("the splash never showed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    }
}
BENCHMARK(BM_StartToSplash)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The shown window with its listener running and no input for three
// seconds: CPU time over wall time, in percent of one core.
void BM_IdleCpu(benchmark::State& state)
{
    Window w;
    for (auto _ : state) {
        double cpu0 = CpuSeconds();
        auto t0 = std::chrono::steady_clock::now();
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.counters["cpu_percent"] = 100.0 * (CpuSeconds() - cpu0) / wall;
    }
}
BENCHMARK(BM_IdleCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zr417

BENCHMARK_MAIN();
