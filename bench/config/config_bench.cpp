#include "config/image.h"
#include "config/keys.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {
namespace fs = std::filesystem;

// Every client point of the keyboard picture and around it, as mouse moves do.
void BM_KeyHitTestWholePicture(benchmark::State& state)
{
    for (auto _ : state) {
        int hits = 0;
        for (int y = zr417::kKeyboardPictureY; y < zr417::kKeyboardPictureY + 300; ++y)
            for (int x = zr417::kKeyboardPictureX; x < zr417::kKeyboardPictureX + 700; ++x)
                hits += zr417::KeyHitTest(x, y, false) != zr417::kNoKey;
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(state.iterations() * 700 * 300);
}
BENCHMARK(BM_KeyHitTestWholePicture);

void BM_LoadKeymapFile(benchmark::State& state)
{
    std::string tmpl = (fs::temp_directory_path() / "zr417-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    auto store = std::make_unique<zr417::KeymapStore>(fs::path(tmpl) / "keymap.bin");
    store->current().settings.fill(0x5A);
    store->SaveKeymapFile();
    for (auto _ : state) benchmark::DoNotOptimize(store->LoadKeymapFile());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(zr417::kImageSize));
    std::error_code ec;
    fs::remove_all(tmpl, ec);
}
BENCHMARK(BM_LoadKeymapFile);

void BM_SaveKeymapFile(benchmark::State& state)
{
    std::string tmpl = (fs::temp_directory_path() / "zr417-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    auto store = std::make_unique<zr417::KeymapStore>(fs::path(tmpl) / "keymap.bin");
    for (auto _ : state) benchmark::DoNotOptimize(store->SaveKeymapFile());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(zr417::kImageSize));
    std::error_code ec;
    fs::remove_all(tmpl, ec);
}
BENCHMARK(BM_SaveKeymapFile);

}  // namespace

BENCHMARK_MAIN();
