// Fuzz target: whatever bytes a client sends, the server's every answer is a
// whole packet of a kind it may send, controller blocks carry their own size,
// and the request parsers never read past what they were given.
#include "openrgb/sdk_service.h"
#include "tests/openrgb/fake_keyboard_model.h"

#include <cstdlib>
#include <memory>

namespace {

using namespace zr417;
using namespace zr417::openrgb;

void CheckReplies(const std::vector<std::uint8_t>& out)
{
    PacketFramer f;
    f.feed(out);
    PacketFramer::Packet p;
    std::size_t seen = 0;
    while (f.next(p) == PacketFramer::Status::Packet) {
        seen += kHeaderSize + p.payload.size();
        switch (p.header.id) {
            case packet::RequestControllerCount:
            case packet::RequestProtocolVersion:
                if (p.payload.size() != 4) std::abort();
                break;
            case packet::RequestControllerData:
            case packet::RequestProfileList:
            case packet::RequestPluginList: {
                Reader r(p.payload);
                if (r.u32() != p.payload.size()) std::abort();
                break;
            }
            case packet::DeviceListUpdated:
                if (!p.payload.empty()) std::abort();
                break;
            default:
                std::abort();
        }
    }
    if (seen != out.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    std::span<const std::uint8_t> input(data + 1, size - 1);
    for (std::uint32_t v = 0; v <= 5; ++v) {
        ParseUpdateMode(input, v);
    }
    ParseUpdateLeds(input);
    ParseUpdateZoneLeds(input);
    ParseAddSegment(input);

    FakeKeyboardModel model;
    model.facts_.model = data[0] & 1 ? 1 : 2;
    model.present_ = !(data[0] & 2);
    std::vector<std::uint8_t> out;
    SdkService service(model, {[&](SdkService::ConnectionId, std::vector<std::uint8_t> b) {
                                   out.insert(out.end(), b.begin(), b.end());
                               },
                               {},
                               {}});
    auto id = service.connect();
    // In pieces, as a socket would hand them over.
    const std::size_t piece = 1 + (data[0] >> 2);
    for (std::size_t at = 0; at < input.size(); at += piece) {
        service.receive(id, input.subspan(at, std::min(piece, input.size() - at)));
        service.pump();
    }
    if (data[0] & 0x80) service.keyboardListChanged();
    CheckReplies(out);
    return 0;
}
