// Recording accuracy: keystrokes go through the key capture into the macro
// manager while the window is kept busy for a random while before it gets to
// each one; the stored delays must still be the gaps between the key events'
// own time stamps (at most 1 ms off), not the time the window took.
//
// Counters: max_error_ms (the largest difference seen, must stay <= 1) and
// keystrokes (recorded per second of benchmark time).
#include "keymap/key_hook.h"
#include "macro/macro_record_dlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

namespace zr417 {
namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "zr417_macro_recorder_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

void Send(QWidget* to, int qtKey, bool release, quint64 t)
{
    QKeyEvent e(release ? QEvent::KeyRelease : QEvent::KeyPress, qtKey, Qt::NoModifier, QString());
    e.setTimestamp(t);
    QApplication::sendEvent(to, &e);
}

void BM_RecordedDelayFollowsEventTimestamps(benchmark::State& state)
{
    App();
    const int busyMaxMs = static_cast<int>(state.range(0));
    std::mt19937 rng(417);
    std::uniform_int_distribution<int> gap(1, 900);
    std::uniform_int_distribution<int> busy(0, busyMaxMs);
    constexpr int kKeys = 16;  // 32 steps, below the live limit

    MacroStore store("unused");
    MacroTable table;
    SetMacroName(table[0], std::string_view("bench"));
    store.SetMacroTable(table);
    const AppPaths paths = AppPaths::InFolder(ExecutableDir());
    long long maxError = 0;
    long long strokes = 0;

    for (auto _ : state) {
        state.PauseTiming();
        CMacroRecordDlg dlg(store, 9, paths);
        dlg.model().ToggleRecordDelay();
        dlg.model().ToggleRecording();
        std::vector<quint64> times;
        quint64 t = 1'000'000;
        state.ResumeTiming();

        for (int k = 0; k < kKeys; ++k) {
            const int key = Qt::Key_A + k;
            for (bool release : {false, true}) {
                t += static_cast<quint64>(gap(rng));
                times.push_back(t);
                Send(&dlg, key, release, t);
                // The window is busy elsewhere before it sees the keystroke.
                std::this_thread::sleep_for(std::chrono::milliseconds(busy(rng)));
                QApplication::processEvents();
            }
        }
        // The last release is held back briefly by the capture.
        const StepArray& recorded = store.g_macroWorkTable()[0].deviceSteps;
        const bool complete = QTest::qWaitFor([&] { return StepCount(recorded) == 2 * kKeys; }, 5000);

        state.PauseTiming();
        const StepArray& steps = store.g_macroWorkTable()[0].deviceSteps;
        if (!complete) {
            state.SkipWithError(("not every keystroke was recorded: " + std::to_string(StepCount(steps))).c_str());
            break;
        }
        for (int s = 1; s < 2 * kKeys; ++s) {
            const long long want = static_cast<long long>(times[s] - times[s - 1]);
            maxError = std::max(maxError, std::llabs(steps[s].delay() - want));
        }
        strokes += 2 * kKeys;
        dlg.model().Closing();
        state.ResumeTiming();
    }
    state.counters["max_error_ms"] = static_cast<double>(maxError);
    state.counters["keystrokes"] = benchmark::Counter(static_cast<double>(strokes), benchmark::Counter::kIsRate);
    if (maxError > 1) state.SkipWithError("a recorded delay is more than 1 ms off its time stamps");
}
BENCHMARK(BM_RecordedDelayFollowsEventTimestamps)->Arg(0)->Arg(15)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace zr417

BENCHMARK_MAIN();
