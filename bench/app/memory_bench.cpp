// The main program's resident memory: the window shown on a simulated QV310,
// then after each dialog (key assignment, macro manager, profile manager,
// about) was opened, painted and closed once. Each scale runs in a fresh
// process of its own (this program started again with --measure), since
// resident memory counts everything a process ever kept. Goal: at most 60 MB
// at 200 % after the dialogs.
#include "app/kalvex_dlg.h"
#include "bench/app/bench_app.h"
#include "platform/hid_bus_factory.h"
#include "tests/support/process.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace zr417 {
namespace {

using bench::RuntimeDirectory;

long ResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

void Spin(const std::function<bool()>& done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Closes the modal dialog `run` opens once it has painted itself.
template <typename F>
void OpenAndClose(F run)
{
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        closer.stop();
        modal->repaint();
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    });
    closer.start(50);
    run();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// In the child: prints "shown <kB> dialogs <kB>".
int Measure(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::string error;
    auto bus = CreateHidBus(&error);
    if (!bus) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    test::TempDir data;
    MainWindowOptions o;
    o.bus = bus.get();
    o.paths = AppPaths{RuntimeDirectory(), data.path()};
    o.language = 9;
    o.splash = false;
    o.trayAvailable = false;  // the offscreen platform has no tray
    CKalvexDlg dlg(std::move(o));
    dlg.OnInitDialog();
    dlg.show();
    Spin([&] { return dlg.refreshCount() >= 1; });
    dlg.repaint();
    QCoreApplication::processEvents();
    const long shown = ResidentKilobytes();

    DialogContext ctx;
    ctx.parent = &dlg;
    ctx.model = dlg.model();
    ctx.language = dlg.language();
    ctx.paths = dlg.paths();
    ctx.skinDir = dlg.skinDir();
    ctx.store = &dlg.store();
    ctx.macros = &dlg.macros();
    SubDialogs& dialogs = ProgramSubDialogs();
    dlg.keyState().SelectKey(1);
    OpenAndClose([&] { dialogs.runKeyAssignment(ctx, dlg.keyState(), dlg.store().current()); });
    OpenAndClose([&] { dialogs.runMacroManager(ctx); });
    OpenAndClose([&] { dialogs.runProfileManager(ctx, dlg.geometry()); });
    OpenAndClose([&] { dlg.ShowAbout(); });
    dlg.repaint();
    QCoreApplication::processEvents();
    std::printf("shown %ld dialogs %ld\n", shown, ResidentKilobytes());
    return 0;
}

// Resident memory at scale factor state.range(0).
void BM_ResidentMemory(benchmark::State& state)
{
    for (auto _ : state) {
        test::TempDir dir;
        const std::map<std::string, std::string> env = {
            {"QT_QPA_PLATFORM", "offscreen"},
            {"QT_SCALE_FACTOR", std::to_string(state.range(0))},
            {"ZR417_SIMULATE", "QV310"},
            {"ZR417_SIM", ""},
            {"XDG_RUNTIME_DIR", dir.path().string()},
            {"XDG_CONFIG_HOME", (dir.path() / "config").string()},
            {"XDG_STATE_HOME", (dir.path() / "state").string()},
        };
        const auto log = dir.path() / "log";
        test::ChildProcess child("/proc/self/exe", {"--measure"}, env, log);
        const auto code = child.waitFor(std::chrono::seconds(60));
        const std::string text = test::ReadText(log);
        long shown = 0, dialogs = 0;
        const auto at = text.rfind("shown ");
        if (!code || *code != 0 || at == std::string::npos ||
            std::sscanf(text.c_str() + at, "shown %ld dialogs %ld", &shown, &dialogs) != 2) {
            state.SkipWithError(("the measuring process failed: " + text).c_str());
            break;
        }
        state.counters["shown_MB"] = static_cast<double>(shown) * 1024 / 1e6;
        state.counters["after_dialogs_MB"] = static_cast<double>(dialogs) * 1024 / 1e6;
    }
}
BENCHMARK(BM_ResidentMemory)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zr417

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--measure") == 0) return zr417::Measure(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
