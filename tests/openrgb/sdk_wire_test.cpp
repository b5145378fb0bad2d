// The SDK wire codec against the wire reference's worked example and test
// vectors, byte for byte, and the framing of a stream cut anywhere.
#include "openrgb/sdk_wire.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zr417::openrgb {
namespace {

std::vector<std::uint8_t> Hex(const std::string& text)
{
    std::vector<std::uint8_t> out;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        if (word.back() == ':') continue;  // offset labels of a dump
        out.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    }
    return out;
}

std::vector<std::uint8_t> Tail(const std::vector<std::uint8_t>& packet)
{
    return {packet.begin() + kHeaderSize, packet.end()};
}

// The device of the worked example.
Controller Pad()
{
    Controller c;
    c.type = kDeviceKeyboard;
    c.name = "Pad";
    c.vendor = "Acme";
    c.description = "Demo";
    c.version = "1";
    c.location = "L";
    Mode direct;
    direct.name = "Direct";
    direct.flags = mode_flag::PerLedColour;
    direct.colourMode = colour_mode::PerLed;
    c.modes = {direct};
    Zone z;
    z.name = "Z";
    z.type = zone_type::Matrix;
    z.ledsMin = z.ledsMax = z.ledsCount = 3;
    z.matrixHeight = z.matrixWidth = 2;
    z.matrix = {0, 1, 2, kNoLed};
    c.zones = {z};
    c.leds = {{"L0", 0}, {"L1", 1}, {"L2", 2}};
    c.colours = {{0xFF, 0, 0}, {0, 0xFF, 0}, {0, 0, 0xFF}};
    return c;
}

std::uint16_t U16At(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

TEST(SdkWire, ControllerBlockOfTheWorkedExampleInEveryVersion)
{
    const auto reply = ControllerDataReply(0, Pad(), 5);
    EXPECT_EQ(reply, Hex("4F 52 47 42 00 00 00 00 01 00 00 00 CF 00 00 00"
                         " 000: CF 00 00 00 05 00 00 00 04 00 50 61 64 00 05 00"
                         " 016: 41 63 6D 65 00 05 00 44 65 6D 6F 00 02 00 31 00"
                         " 032: 01 00 00 02 00 4C 00 01 00 00 00 00 00 07 00 44"
                         " 048: 69 72 65 63 74 00 00 00 00 00 20 00 00 00 00 00"
                         " 064: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                         " 080: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                         " 096: 00 00 01 00 00 00 00 00 01 00 02 00 5A 00 02 00"
                         " 112: 00 00 03 00 00 00 03 00 00 00 03 00 00 00 18 00"
                         " 128: 02 00 00 00 02 00 00 00 00 00 00 00 01 00 00 00"
                         " 144: 02 00 00 00 FF FF FF FF 00 00 00 00 00 00 03 00"
                         " 160: 03 00 4C 30 00 00 00 00 00 03 00 4C 31 00 01 00"
                         " 176: 00 00 03 00 4C 32 00 02 00 00 00 03 00 FF 00 00"
                         " 192: 00 00 FF 00 00 00 00 FF 00 00 00 00 00 00 00"));

    // Sizes and where num_leds, the matrix length and num_colors sit, per version.
    struct Layout {
        std::uint32_t version, size;
        std::size_t matrixLen, numLeds, numColours;
    };
    for (Layout l : {Layout{0, 176, 107, 133, 162}, Layout{1, 183, 114, 140, 169}, Layout{2, 183, 114, 140, 169},
                     Layout{3, 195, 126, 152, 181}, Layout{4, 197, 126, 154, 183}, Layout{5, 207, 126, 158, 187},
                     Layout{9, 207, 126, 158, 187}}) {
        SCOPED_TRACE(l.version);
        const auto block = EncodeControllerData(Pad(), l.version);
        ASSERT_EQ(block.size(), l.size);
        EXPECT_EQ(block[0] | block[1] << 8, static_cast<int>(l.size)) << "data_size is the whole payload";
        EXPECT_EQ(U16At(block, l.matrixLen), 24);
        EXPECT_EQ(U16At(block, l.numLeds), 3);
        EXPECT_EQ(U16At(block, l.numColours), 3);
    }
}

TEST(SdkWire, TestVectorsOfRequestsAndReplies)
{
    // (a) the client's version request; our reply names our own maximum.
    auto request = Hex("4F 52 47 42 00 00 00 00 28 00 00 00 04 00 00 00 05 00 00 00");
    auto h = ParseHeader(request);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->id, packet::RequestProtocolVersion);
    EXPECT_EQ(ClientProtocolVersion(Tail(request)), 5u);
    EXPECT_EQ(ProtocolVersionReply(), Hex("4F 52 47 42 00 00 00 00 28 00 00 00 04 00 00 00 05 00 00 00"));
    EXPECT_EQ(ClientProtocolVersion({}), 0u) << "no payload means version 0";
    // (b)
    EXPECT_EQ(ControllerCountReply(1), Hex("4F 52 47 42 00 00 00 00 00 00 00 00 04 00 00 00 01 00 00 00"));
    // (c)
    auto single = Hex("4F 52 47 42 00 00 00 00 1C 04 00 00 08 00 00 00 03 00 00 00 11 22 33 00");
    ASSERT_EQ(ParseHeader(single)->id, packet::UpdateSingleLed);
    auto led = ParseUpdateSingleLed(Tail(single));
    ASSERT_TRUE(led.value);
    EXPECT_EQ(led.value->led, 3);
    EXPECT_EQ(led.value->colour, (Colour{0x11, 0x22, 0x33}));
    EXPECT_EQ(EncodePacket(0, packet::UpdateSingleLed, UpdateSingleLedPayload(3, {0x11, 0x22, 0x33})), single);

    auto name = Hex("4F 52 47 42 00 00 00 00 32 00 00 00 07 00 00 00 74 65 73 74 65 72 00");
    EXPECT_EQ(ParseBareString(Tail(name)), "tester");
    EXPECT_EQ(EncodePacket(0, packet::SetClientName, BareStringPayload("tester")), name);
    EXPECT_EQ(DeviceListUpdatedNotice(), Hex("4F 52 47 42 00 00 00 00 64 00 00 00 00 00 00 00"));
    EXPECT_EQ(ProfileListReply({}), Hex("4F 52 47 42 00 00 00 00 96 00 00 00 06 00 00 00 06 00 00 00 00 00"));
    EXPECT_EQ(PluginListReply(), Hex("4F 52 47 42 00 00 00 00 C8 00 00 00 06 00 00 00 06 00 00 00 00 00"));

    // A profile list: data_size, the count, the names as length-prefixed strings.
    EXPECT_EQ(Tail(ProfileListReply({"A", "Bc"})), Hex("0F 00 00 00 02 00 02 00 41 00 03 00 42 63 00"));

    // npm's updateMode(0, 0) at version 5 for the worked example's device.
    auto update =
        Hex("4F 52 47 42 00 00 00 00 4D 04 00 00 43 00 00 00"
            " 43 00 00 00 00 00 00 00 07 00 44 69 72 65 63 74"
            " 00 00 00 00 00 20 00 00 00 00 00 00 00 00 00 00"
            " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
            " 00 00 00 00 00 00 00 00 00 00 00 00 00 01 00 00"
            " 00 00 00");
    ASSERT_EQ(ParseHeader(update)->id, packet::UpdateMode);
    auto mode = ParseUpdateMode(Tail(update), 5);
    ASSERT_TRUE(mode.value);
    EXPECT_EQ(mode.value->modeIndex, 0);
    EXPECT_EQ(mode.value->mode, Pad().modes[0]);
    EXPECT_EQ(UpdateModePayload(0, Pad().modes[0], 5), Tail(update));
    // The same block read in another version does not fit its payload.
    EXPECT_FALSE(ParseUpdateMode(Tail(update), 2).value);
    auto v2 = UpdateModePayload(0, Pad().modes[0], 2);
    EXPECT_EQ(v2.size(), Tail(update).size() - 12) << "no brightness fields below version 3";
    EXPECT_TRUE(ParseUpdateMode(v2, 2).value);
}

TEST(SdkWire, RequestsWhoseSizesDisagreeAreRefusedAndSaySo)
{
    std::vector<Colour> three = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    auto leds = UpdateLedsPayload(three);
    ASSERT_TRUE(ParseUpdateLeds(leds).value);
    EXPECT_EQ(ParseUpdateLeds(leds).value->colours, three);

    auto wrongSize = leds;
    wrongSize[0] += 4;  // data_size past the payload
    EXPECT_EQ(ParseUpdateLeds(wrongSize).error, ParseError::SizeMismatch);
    auto wrongCount = leds;
    wrongCount[4] = 4;  // four colours announced, three sent
    EXPECT_FALSE(ParseUpdateLeds(wrongCount).value);
    EXPECT_EQ(ParseUpdateLeds(wrongCount).error, ParseError::Malformed);

    auto zone = UpdateZoneLedsPayload(0, three);
    EXPECT_EQ(ParseUpdateZoneLeds(zone).value->colours, three);
    zone.pop_back();
    EXPECT_EQ(ParseUpdateZoneLeds(zone).error, ParseError::SizeMismatch);
    EXPECT_EQ(ParseUpdateSingleLed(std::vector<std::uint8_t>(9)).error, ParseError::SizeMismatch);

    Segment s{"Left", zone_type::Linear, 2, 5};
    auto segment = AddSegmentPayload(0, s);
    ASSERT_TRUE(ParseAddSegment(segment).value);
    EXPECT_EQ(ParseAddSegment(segment).value->segment, s);
    segment[9] = 0xFF;  // the name's length runs past the end
    EXPECT_FALSE(ParseAddSegment(segment).value);

    // A string is read up to its NUL; bytes after it inside the length are skipped.
    const auto bytes = Hex("04 00 41 00 42 00 07 00 00 00");
    Reader r(bytes);
    EXPECT_EQ(r.str(), "A");
    EXPECT_EQ(r.u32(), 7u);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.u16(), 0);
    EXPECT_FALSE(r.ok());
}

TEST(SdkWire, FramingFollowsHeadersWhateverPiecesTheBytesComeIn)
{
    auto a = EncodePacket(0, packet::SetClientName, BareStringPayload("client"));
    auto b = EncodePacket(1, packet::RequestControllerData, std::vector<std::uint8_t>{3, 0, 0, 0});
    auto c = EncodePacket(0, packet::RequestControllerCount, {});
    std::vector<std::uint8_t> stream = a;
    stream.insert(stream.end(), b.begin(), b.end());
    stream.insert(stream.end(), c.begin(), c.end());

    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{16}, stream.size()}) {
        SCOPED_TRACE(piece);
        PacketFramer f;
        std::vector<PacketFramer::Packet> got;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            f.feed(std::span(stream).subspan(at, std::min(piece, stream.size() - at)));
            PacketFramer::Packet p;
            while (f.next(p) == PacketFramer::Status::Packet) got.push_back(p);
        }
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(ParseBareString(got[0].payload), "client");
        EXPECT_EQ(got[1].header.devId, 1u);
        EXPECT_EQ(RequestedBlockVersion(got[1].payload), 3u);
        EXPECT_EQ(got[2].header.id, packet::RequestControllerCount);
        EXPECT_EQ(f.buffered(), 0u);
    }

    PacketFramer bad;
    bad.feed(Hex("4F 52 47 43"));
    PacketFramer::Packet p;
    EXPECT_EQ(bad.next(p), PacketFramer::Status::BadMagic);
    bad.feed(c);
    EXPECT_EQ(bad.next(p), PacketFramer::Status::BadMagic) << "a broken stream stays broken";

    PacketFramer huge;
    huge.feed(EncodeHeader(0, packet::UpdateLeds, kMaxPayload + 1));
    EXPECT_EQ(huge.next(p), PacketFramer::Status::TooLarge) << "refused before any of it is buffered";
    PacketFramer largest;
    largest.feed(EncodeHeader(0, packet::UpdateLeds, kMaxPayload));
    EXPECT_EQ(largest.next(p), PacketFramer::Status::NeedMore);
}

}  // namespace
}  // namespace zr417::openrgb
