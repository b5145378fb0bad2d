// The OpenRGB SDK server's work per request: describing the keyboard (what a
// client's controller-data request costs) and taking a streamed frame of
// colours (effect plugins send 30 to 60 a second).
#include "config/lighting.h"
#include "openrgb/sdk_service.h"
#include "tests/openrgb/fake_keyboard_model.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace zr417;
using namespace zr417::openrgb;

void BM_ControllerDataReply(benchmark::State& state)
{
    FakeKeyboardModel model;
    model.image_->at(settings::Effect) = kFirstPictureEffect;
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto controllers = DescribeKeyboard(model.facts(), model.image(), {});
        auto reply = ControllerDataReply(0, controllers[0], kServerProtocolVersion);
        bytes += reply.size();
        benchmark::DoNotOptimize(reply.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ControllerDataReply);

void BM_StreamedFrame(benchmark::State& state)
{
    FakeKeyboardModel model;
    model.canChange_ = false;  // the frames pile up as pending state
    model.image_->at(settings::Effect) = kFirstPictureEffect;
    SdkService service(model, {});
    auto id = service.connect();
    std::vector<std::vector<std::uint8_t>> frames;
    for (int f = 0; f < 2; ++f)
        frames.push_back(
            EncodePacket(0, packet::UpdateLeds,
                         UpdateLedsPayload(std::vector<Colour>(104, {static_cast<std::uint8_t>(f * 255), 0, 0}))));
    std::size_t n = 0;
    for (auto _ : state) service.receive(id, frames[n++ % 2]);
    state.SetItemsProcessed(static_cast<std::int64_t>(n));
}
BENCHMARK(BM_StreamedFrame);

}  // namespace

BENCHMARK_MAIN();
