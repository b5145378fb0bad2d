// The step list is rebuilt after every edit and every line's owner is looked
// up by walking the steps again; a full macro must stay cheap to show.
#include "config/image.h"
#include "macro/macro_store.h"

#include <benchmark/benchmark.h>

namespace zr417 {
namespace {

MacroStore FullStore()
{
    MacroStore store("unused");
    for (int m = 0; m < kMacroCount; ++m) {
        MacroRecord& r = store.EditWorkRecord(m);
        SetMacroName(r, std::string_view("Macro_0" + std::to_string(m + 1)));
        for (int s = 0; s < kMacroStepCount; ++s) {
            MacroStep step{static_cast<std::uint8_t>(s % 2 ? 0x80 : 0x00), 0x04, 0, 0};
            step.setDelay(static_cast<std::uint16_t>(s * 100));
            r.deviceSteps[s] = step;
            step.key = 0x41;
            r.vkSteps[s] = step;
        }
    }
    store.CommitWork();
    return store;
}

void BM_BuildStepLinesAndOwners(benchmark::State& state)
{
    MacroStore store = FullStore();
    for (auto _ : state) {
        auto lines = store.BuildStepLines(31);
        int sum = 0;
        for (int l = 0; l < static_cast<int>(lines.size()); ++l) sum += store.LineToStep(l);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_BuildStepLinesAndOwners);

void BM_PlaceMacrosInImage(benchmark::State& state)
{
    MacroStore store = FullStore();
    ConfigImage image;
    for (auto _ : state) {
        store.PlaceMacrosInImage(image);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlaceMacrosInImage);

}  // namespace
}  // namespace zr417

BENCHMARK_MAIN();
