// One full 1000 x 640 main-window frame composed from cached skins: the
// background, the keyboard picture with lit keys, the lighting panel's small
// pictures and sliders, and about thirty labels. Target: under 2 ms; at 200 %
// (four times the pixels, from the @2x skins) under 8 ms.
// Also the skins on disk (png/, goal at most 4 MB) and what decoding every
// @2x skin costs, as each window decodes its own when it opens.
#include "config/keys.h"
#include "controls/skin.h"
#include "controls/skin_names.h"

#include <QGuiApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

namespace zr417 {
namespace {

struct Label {
    const char* text;
    int x, y, height;
    QColor colour;
};

void ComposeFrame(QPainter& p, const SkinFolder& skins, const std::array<Label, 30>& labels, bool chinese)
{
    namespace m = skins::main_window;
    DrawSkinImage(p, skins, m::kBackground, 0, 0);
    DrawSkinImage(p, skins, m::kHelpNormal, 936, 5);
    DrawSkinImage(p, skins, m::kMinNormal, 957, 5);
    DrawSkinImage(p, skins, m::kCloseNormal, 978, 5);
    DrawSkinImage(p, skins, m::kLogo, 19, 35);
    DrawSkinImage(p, skins, m::kKeyboardQV310, kKeyboardPictureX, kKeyboardPictureY);
    const qreal ratio = DevicePixelRatio(p);
    const QImage& lit = skins.Image(m::kKeyboardLitQV310, ratio);
    for (int k : {0, 17, 30, 58, 94}) {
        const KeyRect& r = g_keyRectByKey[k];
        const QRect rect(QPoint(r.left, r.top), QPoint(r.right, r.bottom));
        DrawSkinImagePart(p, lit, rect.left() + kKeyboardPictureX, rect.top() + kKeyboardPictureY, rect);
    }
    DrawSkinImage(p, skins, m::kCancelNormal, 800, 605);
    DrawSkinImage(p, skins, m::kCancelNormal, 862, 605);
    DrawSkinImage(p, skins, m::kSaveNormal, 924, 605);
    DrawSkinImage(p, skins, m::kProfileButton, 17, 603);
    for (int y : {110, 340}) {
        DrawSkinImage(p, skins, m::kItemBK, 19, y);
        DrawSkinImage(p, skins, m::kLEDEffectOpen, 19, y + 20);
        DrawSkinImage(p, skins, m::kLightItem, 28, y + 48);
    }
    DrawSkinImage(p, skins, m::kFreq, 19, 245);
    const QColor cells[] = {Qt::red, Qt::green, Qt::yellow, Qt::blue, Qt::magenta, Qt::cyan, Qt::white};
    for (int i = 0; i < 7; ++i) p.fillRect(28 + 25 * i, 223, 20, 20, cells[i]);
    DrawSkinImage(p, skins, m::kMultiColour, 203, 223);
    const QImage& channel = LoadBitmapResource(skins::resource::kSliderChannel, ratio);
    const QImage& fill = LoadBitmapResource(skins::resource::kSliderFill, ratio);
    const QImage& thumb = LoadBitmapResource(skins::resource::kSliderThumb, ratio);
    for (int y : {260, 303}) {
        DrawSkinImage(p, channel, 28, y);
        DrawSkinImagePart(p, fill, 28, y, QRect(0, 0, 120, 17));
        DrawSkinImage(p, thumb, 140, y);
    }
    DrawSkinImage(p, skins, m::kMacroManagementBK, 297, 426);
    DrawSkinImage(p, skins, m::kMacroButton, 299, 456);
    DrawSkinImage(p, skins, m::kGameModeOpen, 545, 426);
    DrawSkinImage(p, skins, m::kEnable, 560, 459);
    DrawSkinImage(p, skins, m::kDisable, 605, 459);
    DrawSkinImage(p, skins, m::kEnable, 690, 459);
    DrawSkinImage(p, skins, m::kDisable, 737, 459);
    for (const Label& label : labels)
        DrawSkinText(p, chinese ? QStringLiteral("亮度") : QString::fromLatin1(label.text), label.x, label.y,
                     label.height, label.colour);
}

const std::array<Label, 30> kLabels = {{
    {"Profile", 45, 610, 16, QColor(255, 0, 0)},
    {"Default", 810, 612, 16, QColor(53, 53, 53)},
    {"Cancel", 872, 612, 16, QColor(53, 53, 53)},
    {"Save", 938, 612, 16, QColor(239, 14, 2)},
    {"Light", 28, 112, 15, QColor(53, 53, 53)},
    {"Effect", 28, 137, 15, QColor(53, 53, 53)},
    {"Ripple", 32, 159, 14, QColor(53, 53, 53)},
    {"Brightness", 28, 247, 13, QColor(53, 53, 53)},
    {"Dark", 28, 274, 13, QColor(53, 53, 53)},
    {"Bright", 216, 274, 13, QColor(53, 53, 53)},
    {"Speed", 28, 290, 13, QColor(53, 53, 53)},
    {"Slow", 28, 317, 13, QColor(53, 53, 53)},
    {"Fast", 222, 317, 13, QColor(53, 53, 53)},
    {"Light", 28, 342, 15, QColor(53, 53, 53)},
    {"Effect", 28, 367, 15, QColor(53, 53, 53)},
    {"Wave", 32, 389, 14, QColor(53, 53, 53)},
    {"Direction", 28, 407, 15, QColor(53, 53, 53)},
    {"Brightness", 28, 470, 13, QColor(53, 53, 53)},
    {"Dark", 28, 500, 13, QColor(53, 53, 53)},
    {"Bright", 216, 500, 13, QColor(53, 53, 53)},
    {"Speed", 28, 515, 13, QColor(53, 53, 53)},
    {"Slow", 28, 545, 13, QColor(53, 53, 53)},
    {"Fast", 222, 545, 13, QColor(53, 53, 53)},
    {"Macro", 306, 428, 15, QColor(53, 53, 53)},
    {"Macro Management", 360, 457, 15, QColor(53, 53, 53)},
    {"Game Mode", 552, 428, 15, QColor(53, 53, 53)},
    {"Win Lock", 675, 428, 15, QColor(53, 53, 53)},
    {"www.example.com", 850, 25, 15, QColor(53, 53, 53)},
    {"Update Firmware", 850, 50, 15, QColor(53, 53, 53)},
    {"Ver: 1.0", 850, 75, 15, QColor(53, 53, 53)},
}};

AppPaths RuntimePaths()
{
    const char* dir = std::getenv("ZR417_RUNTIME_DIR");
    return AppPaths::InFolder(dir ? dir : ZR417_DEFAULT_RUNTIME_DIR);
}

void Frame(benchmark::State& state, bool chinese, qreal ratio = 1)
{
    const SkinFolder skins = SkinFolder::ForLanguage(RuntimePaths(), chinese ? kLanguageChinese : kLanguageEnglish);
    if (skins.Image(skins::main_window::kBackground).isNull()) {
        state.SkipWithError("skins not built: build zr417_skins or set ZR417_RUNTIME_DIR");
        return;
    }
    QImage frame = MakeFrame(QSize(1000, 640), ratio, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter warm(&frame);
        ComposeFrame(warm, skins, kLabels, chinese);  // decodes and lays out fonts once
    }
    for (auto _ : state) {
        QPainter p(&frame);
        ComposeFrame(p, skins, kLabels, chinese);
        p.end();
        benchmark::DoNotOptimize(frame.constBits());
    }
}

void BM_MainFrameEnglish(benchmark::State& state)
{
    Frame(state, false);
}
void BM_MainFrameChinese(benchmark::State& state)
{
    Frame(state, true);
}
void BM_MainFrameEnglishAt200Percent(benchmark::State& state)
{
    Frame(state, false, 2);
}
BENCHMARK(BM_MainFrameEnglish)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MainFrameChinese)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MainFrameEnglishAt200Percent)->Unit(benchmark::kMicrosecond);

// png/ as installed: both languages, every @2x twin.
void BM_SkinFilesOnDisk(benchmark::State& state)
{
    const std::filesystem::path png = RuntimePaths().exeDir / "png";
    std::uintmax_t bytes = 0;
    std::size_t files = 0;
    for (auto _ : state) {
        bytes = 0;
        files = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(png)) {
            if (!entry.is_regular_file()) continue;
            bytes += entry.file_size();
            ++files;
        }
    }
    if (files == 0) state.SkipWithError("skins not built: build zr417_skins or set ZR417_RUNTIME_DIR");
    state.counters["png_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["files"] = static_cast<double>(files);
}
BENCHMARK(BM_SkinFilesOnDisk)->Iterations(1)->Unit(benchmark::kMillisecond);

// Every named skin of one language decoded from its @2x twin, each by a
// folder of its own that lets it go again, as a window does when it closes.
void BM_DecodeEveryTwin(benchmark::State& state)
{
    SkinImageCache cache;
    const AppPaths paths = RuntimePaths();
    for (auto _ : state) {
        for (const auto& file : skins::kAllSkinFiles) {
            const SkinFolder folder = SkinFolder::ForLanguage(paths, kLanguageEnglish, file.folder, &cache);
            benchmark::DoNotOptimize(folder.Image(file.name, 2).constBits());
        }
    }
    state.counters["pictures"] = static_cast<double>(skins::kAllSkinFiles.size());
    state.counters["decodes"] =
        benchmark::Counter(static_cast<double>(cache.decodeCount()), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DecodeEveryTwin)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zr417

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
