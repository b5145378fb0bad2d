// The process watch with 1,000 processes of the user running (sleeps this
// benchmark starts): the first look that reads them all, a look that reads
// the list and one that need not, and the watching thread's CPU over 20 s
// of looks once a second, as the program looks, as a share of one core (the
// goal is under 0.3 %). Other processes being started meanwhile cost their
// reading: in a private process namespace only the 1,000 run:
//   unshare -p -f --mount-proc build/bench/automation_bench
#include "automation/auto_switcher.h"
#include "automation/process_watch.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace zr417 {
namespace {

using namespace std::chrono_literals;

constexpr int kProcesses = 1000;

// The sleeps, started once for every benchmark and ended at exit.
class Sleeps {
public:
    Sleeps()
    {
        char sleep[] = "sleep", span[] = "3600";
        char* argv[] = {sleep, span, nullptr};
        for (int i = 0; i < kProcesses; ++i) {
            pid_t pid = 0;
            if (::posix_spawnp(&pid, "sleep", nullptr, nullptr, argv, environ) == 0) pids_.push_back(pid);
        }
        // Past the ages at which the watch looks at a young process again.
        std::this_thread::sleep_for(21s);
    }
    ~Sleeps()
    {
        for (pid_t pid : pids_) ::kill(pid, SIGKILL);
        for (pid_t pid : pids_) ::waitpid(pid, nullptr, 0);
    }
    std::size_t count() const { return pids_.size(); }

private:
    std::vector<pid_t> pids_;
};

Sleeps& RunningSleeps()
{
    static Sleeps sleeps;
    return sleeps;
}

// The thread's own run time, to the nanosecond (getrusage counts whole clock
// ticks, which a thread waking once a second hits by chance).
double ThreadCpuMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

AutoRules SomeRules()
{
    AutoRules rules;
    rules.defaultProfile = "Office";
    AddRule(rules, "racing-game", "Racing");
    AddRule(rules, "flight.exe", "Flight");
    return rules;
}

void BM_FirstLook(benchmark::State& state)
{
    state.counters["processes"] = static_cast<double>(RunningSleeps().count());
    for (auto _ : state) {
        ProcessWatch watch;
        benchmark::DoNotOptimize(watch.Scan(BootClockNow()));
    }
}
BENCHMARK(BM_FirstLook)->Unit(benchmark::kMillisecond);

// A look that reads the list (some process was started since the last).
void BM_ListingLook(benchmark::State& state)
{
    state.counters["processes"] = static_cast<double>(RunningSleeps().count());
    ProcessWatch watch;
    watch.Scan(BootClockNow());  // everyone read
    for (auto _ : state) {
        watch.Relist();
        benchmark::DoNotOptimize(watch.Scan(BootClockNow()));
    }
}
BENCHMARK(BM_ListingLook)->Unit(benchmark::kMicrosecond);

// A look when no process was started since the last (on a busy machine
// most looks read the list all the same).
void BM_QuietLook(benchmark::State& state)
{
    state.counters["processes"] = static_cast<double>(RunningSleeps().count());
    ProcessWatch watch;
    watch.Scan(BootClockNow());
    for (auto _ : state) benchmark::DoNotOptimize(watch.Scan(BootClockNow()));
}
BENCHMARK(BM_QuietLook)->Unit(benchmark::kMicrosecond);

// The thread's CPU over 20 s of waking once a second, with `work` done at
// each wake-up.
template <typename Work>
double CpuMsOver20s(Work work, double& wallMs)
{
    const auto start = std::chrono::steady_clock::now();
    const double before = ThreadCpuMs();
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_until(start + std::chrono::seconds(i + 1));
        work();
    }
    wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return ThreadCpuMs() - before;
}

// The switcher looking once a second for 20 s, as the program runs it. A
// thread that merely wakes once a second costs something by itself (the
// program wakes for its own timers anyway): that is measured first and
// taken off.
void BM_WatchCpuShare(benchmark::State& state)
{
    state.counters["processes"] = static_cast<double>(RunningSleeps().count());
    ProcessWatch watch;
    AutoSwitcher switcher(watch, [](const std::string&) { return true; });
    switcher.SetRules(SomeRules());
    switcher.Tick(BootClockNow());  // the first look reads everyone
    double percent = 0, wakePercent = 0, readsPerS = 0;
    for (auto _ : state) {
        double wakeWall = 0, wall = 0;
        const double wake = CpuMsOver20s([] {}, wakeWall);
        const auto reads = watch.reads();
        const double cpu = CpuMsOver20s([&] { switcher.Tick(BootClockNow()); }, wall);
        wakePercent = 100.0 * wake / wakeWall;
        percent = 100.0 * cpu / wall - wakePercent;
        readsPerS = static_cast<double>(watch.reads() - reads) * 1000 / wall;
    }
    state.counters["cpu_percent_of_a_core"] = percent;
    state.counters["wakeup_percent"] = wakePercent;
    state.counters["process_reads_per_s"] = readsPerS;
    std::printf(
        "watch with %zu processes: %.4f %% of one core (waking once a second by itself: %.4f %%), "
        "%.1f processes looked into per second\n",
        RunningSleeps().count(), percent, wakePercent, readsPerS);
}
BENCHMARK(BM_WatchCpuShare)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace zr417

BENCHMARK_MAIN();
