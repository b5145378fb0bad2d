#include "openrgb/sdk_wire.h"

#include <algorithm>
#include <cstring>

namespace zr417::openrgb {

namespace {

void PutU32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// The first u32 of a payload that must carry its own length.
bool DataSizeMatches(std::span<const std::uint8_t> payload)
{
    return payload.size() >= 4 && GetU32(payload.data()) == payload.size();
}

void EncodeZone(Writer& w, const Zone& z, std::uint32_t version)
{
    w.str(z.name);
    w.i32(z.type);
    w.u32(z.ledsMin);
    w.u32(z.ledsMax);
    w.u32(z.ledsCount);
    const std::size_t cells = std::size_t{z.matrixHeight} * z.matrixWidth;
    if (cells == 0 || z.matrix.size() != cells) {
        w.u16(0);
    } else {
        // A byte count: height, width and the cells.
        w.u16(static_cast<std::uint16_t>(8 + 4 * cells));
        w.u32(z.matrixHeight);
        w.u32(z.matrixWidth);
        for (std::uint32_t cell : z.matrix) w.u32(cell);
    }
    if (version >= 4) {
        w.u16(static_cast<std::uint16_t>(z.segments.size()));
        for (const Segment& s : z.segments) {
            w.str(s.name);
            w.i32(s.type);
            w.u32(s.start);
            w.u32(s.count);
        }
    }
    if (version >= 5) w.u32(z.flags);
}

}  // namespace

// --- writing ------------------------------------------------------------------

void Writer::u16(std::uint16_t v)
{
    out_.push_back(static_cast<std::uint8_t>(v));
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Writer::u32(std::uint32_t v)
{
    std::uint8_t b[4];
    PutU32(b, v);
    out_.insert(out_.end(), b, b + 4);
}

void Writer::str(std::string_view s)
{
    s = s.substr(0, std::min(s.find('\0'), std::size_t{0xFFFE}));
    u16(static_cast<std::uint16_t>(s.size() + 1));
    out_.insert(out_.end(), s.begin(), s.end());
    out_.push_back(0);
}

void Writer::colour(Colour c)
{
    out_.insert(out_.end(), {c.r, c.g, c.b, 0});
}

void Writer::patchU32(std::size_t at, std::uint32_t v)
{
    if (at + 4 <= out_.size()) PutU32(out_.data() + at, v);
}

std::array<std::uint8_t, kHeaderSize> EncodeHeader(std::uint32_t devId, std::uint32_t id, std::uint32_t size)
{
    std::array<std::uint8_t, kHeaderSize> h{};
    std::copy(kMagic.begin(), kMagic.end(), h.begin());
    PutU32(h.data() + 4, devId);
    PutU32(h.data() + 8, id);
    PutU32(h.data() + 12, size);
    return h;
}

std::vector<std::uint8_t> EncodePacket(std::uint32_t devId, std::uint32_t id, std::span<const std::uint8_t> payload)
{
    auto h = EncodeHeader(devId, id, static_cast<std::uint32_t>(payload.size()));
    std::vector<std::uint8_t> out(h.begin(), h.end());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

void EncodeMode(Writer& w, const Mode& m, std::uint32_t version)
{
    w.str(m.name);
    w.i32(m.value);
    w.u32(m.flags);
    w.u32(m.speedMin);
    w.u32(m.speedMax);
    if (version >= 3) {
        w.u32(m.brightnessMin);
        w.u32(m.brightnessMax);
    }
    w.u32(m.coloursMin);
    w.u32(m.coloursMax);
    w.u32(m.speed);
    if (version >= 3) w.u32(m.brightness);
    w.u32(m.direction);
    w.u32(m.colourMode);
    w.u16(static_cast<std::uint16_t>(m.colours.size()));
    for (Colour c : m.colours) w.colour(c);
}

std::vector<std::uint8_t> EncodeControllerData(const Controller& c, std::uint32_t version)
{
    version = std::min(version, kServerProtocolVersion);
    Writer w;
    w.u32(0);  // data_size, below
    w.i32(c.type);
    w.str(c.name);
    if (version >= 1) w.str(c.vendor);
    w.str(c.description);
    w.str(c.version);
    w.str(c.serial);
    w.str(c.location);
    w.u16(static_cast<std::uint16_t>(c.modes.size()));
    w.i32(c.activeMode);
    for (const Mode& m : c.modes) EncodeMode(w, m, version);
    w.u16(static_cast<std::uint16_t>(c.zones.size()));
    for (const Zone& z : c.zones) EncodeZone(w, z, version);
    w.u16(static_cast<std::uint16_t>(c.leds.size()));
    for (const Led& l : c.leds) {
        w.str(l.name);
        w.u32(l.value);
    }
    w.u16(static_cast<std::uint16_t>(c.colours.size()));
    for (Colour col : c.colours) w.colour(col);
    if (version >= 5) {
        w.u16(static_cast<std::uint16_t>(c.ledAltNames.size()));
        for (const auto& n : c.ledAltNames) w.str(n);
        w.u32(c.flags);
    }
    w.patchU32(0, static_cast<std::uint32_t>(w.size()));
    return std::move(w.data());
}

std::vector<std::uint8_t> ControllerCountReply(std::uint32_t count)
{
    Writer w;
    w.u32(count);
    return EncodePacket(0, packet::RequestControllerCount, w.data());
}

std::vector<std::uint8_t> ControllerDataReply(std::uint32_t index, const Controller& c, std::uint32_t version)
{
    return EncodePacket(index, packet::RequestControllerData, EncodeControllerData(c, version));
}

std::vector<std::uint8_t> ProtocolVersionReply()
{
    Writer w;
    w.u32(kServerProtocolVersion);
    return EncodePacket(0, packet::RequestProtocolVersion, w.data());
}

std::vector<std::uint8_t> ProfileListReply(const std::vector<std::string>& names)
{
    Writer w;
    w.u32(0);
    w.u16(static_cast<std::uint16_t>(std::min<std::size_t>(names.size(), 0xFFFF)));
    for (std::size_t i = 0; i < names.size() && i < 0xFFFF; ++i) w.str(names[i]);
    w.patchU32(0, static_cast<std::uint32_t>(w.size()));
    return EncodePacket(0, packet::RequestProfileList, w.data());
}

std::vector<std::uint8_t> PluginListReply()
{
    Writer w;
    w.u32(6);
    w.u16(0);
    return EncodePacket(0, packet::RequestPluginList, w.data());
}

std::vector<std::uint8_t> DeviceListUpdatedNotice()
{
    return EncodePacket(0, packet::DeviceListUpdated, {});
}

// --- reading --------------------------------------------------------------------

const std::uint8_t* Reader::take(std::size_t n)
{
    if (!ok_ || data_.size() - at_ < n) {
        ok_ = false;
        return nullptr;
    }
    const std::uint8_t* p = data_.data() + at_;
    at_ += n;
    return p;
}

std::uint16_t Reader::u16()
{
    const std::uint8_t* p = take(2);
    return p ? static_cast<std::uint16_t>(p[0] | p[1] << 8) : 0;
}

std::uint32_t Reader::u32()
{
    const std::uint8_t* p = take(4);
    return p ? GetU32(p) : 0;
}

std::string Reader::str()
{
    std::uint16_t len = u16();
    const std::uint8_t* p = take(len);
    if (!p) return {};
    // Read as a C string: up to the NUL that ends it.
    const auto* end = std::find(p, p + len, std::uint8_t{0});
    return std::string(p, end);
}

Colour Reader::colour()
{
    const std::uint8_t* p = take(4);
    return p ? Colour{p[0], p[1], p[2]} : Colour{};
}

std::optional<Header> ParseHeader(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kHeaderSize || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) return std::nullopt;
    return Header{GetU32(bytes.data() + 4), GetU32(bytes.data() + 8), GetU32(bytes.data() + 12)};
}

void PacketFramer::feed(std::span<const std::uint8_t> bytes)
{
    if (broken_) return;
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

PacketFramer::Status PacketFramer::next(Packet& out)
{
    if (broken_) return *broken_;
    const std::size_t have = buffer_.size() - start_;
    const std::uint8_t* p = buffer_.data() + start_;
    // A wrong magic shows in its first bytes already.
    if (!std::equal(p, p + std::min(have, kMagic.size()), kMagic.begin())) return *(broken_ = Status::BadMagic);
    if (have < kHeaderSize) return Status::NeedMore;
    Header h = *ParseHeader({p, kHeaderSize});
    if (h.size > kMaxPayload) return *(broken_ = Status::TooLarge);
    if (have - kHeaderSize < h.size) return Status::NeedMore;
    out.header = h;
    out.payload.assign(p + kHeaderSize, p + kHeaderSize + h.size);
    start_ += kHeaderSize + h.size;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return Status::Packet;
}

std::uint32_t RequestedBlockVersion(std::span<const std::uint8_t> payload)
{
    return payload.size() == 4 ? std::min(GetU32(payload.data()), kServerProtocolVersion) : 0;
}

std::uint32_t ClientProtocolVersion(std::span<const std::uint8_t> payload)
{
    return payload.size() == 4 ? GetU32(payload.data()) : 0;
}

std::string ParseBareString(std::span<const std::uint8_t> payload)
{
    auto end = std::find(payload.begin(), payload.end(), std::uint8_t{0});
    return std::string(payload.begin(), end);
}

Parsed<UpdateLedsRequest> ParseUpdateLeds(std::span<const std::uint8_t> payload)
{
    if (!DataSizeMatches(payload)) return Parsed<UpdateLedsRequest>::fail(ParseError::SizeMismatch);
    Reader r(payload.subspan(4));
    std::uint16_t n = r.u16();
    if (!r.ok() || r.left() != std::size_t{n} * 4) return Parsed<UpdateLedsRequest>::fail(ParseError::Malformed);
    UpdateLedsRequest req;
    req.colours.reserve(n);
    for (int i = 0; i < n; ++i) req.colours.push_back(r.colour());
    return {std::move(req)};
}

Parsed<UpdateZoneLedsRequest> ParseUpdateZoneLeds(std::span<const std::uint8_t> payload)
{
    if (!DataSizeMatches(payload)) return Parsed<UpdateZoneLedsRequest>::fail(ParseError::SizeMismatch);
    Reader r(payload.subspan(4));
    UpdateZoneLedsRequest req;
    req.zone = r.u32();
    std::uint16_t n = r.u16();
    if (!r.ok() || r.left() != std::size_t{n} * 4) return Parsed<UpdateZoneLedsRequest>::fail(ParseError::Malformed);
    req.colours.reserve(n);
    for (int i = 0; i < n; ++i) req.colours.push_back(r.colour());
    return {std::move(req)};
}

Parsed<UpdateSingleLedRequest> ParseUpdateSingleLed(std::span<const std::uint8_t> payload)
{
    if (payload.size() != 8) return Parsed<UpdateSingleLedRequest>::fail(ParseError::SizeMismatch);
    Reader r(payload);
    UpdateSingleLedRequest req;
    req.led = r.i32();
    req.colour = r.colour();
    return {req};
}

Parsed<UpdateModeRequest> ParseUpdateMode(std::span<const std::uint8_t> payload, std::uint32_t version)
{
    if (!DataSizeMatches(payload)) return Parsed<UpdateModeRequest>::fail(ParseError::SizeMismatch);
    version = std::min(version, kServerProtocolVersion);
    Reader r(payload.subspan(4));
    UpdateModeRequest req;
    req.modeIndex = r.i32();
    Mode& m = req.mode;
    m.name = r.str();
    m.value = r.i32();
    m.flags = r.u32();
    m.speedMin = r.u32();
    m.speedMax = r.u32();
    if (version >= 3) {
        m.brightnessMin = r.u32();
        m.brightnessMax = r.u32();
    }
    m.coloursMin = r.u32();
    m.coloursMax = r.u32();
    m.speed = r.u32();
    if (version >= 3) m.brightness = r.u32();
    m.direction = r.u32();
    m.colourMode = r.u32();
    std::uint16_t n = r.u16();
    if (!r.ok() || r.left() != std::size_t{n} * 4) return Parsed<UpdateModeRequest>::fail(ParseError::Malformed);
    m.colours.reserve(n);
    for (int i = 0; i < n; ++i) m.colours.push_back(r.colour());
    return {std::move(req)};
}

Parsed<AddSegmentRequest> ParseAddSegment(std::span<const std::uint8_t> payload)
{
    if (!DataSizeMatches(payload)) return Parsed<AddSegmentRequest>::fail(ParseError::SizeMismatch);
    Reader r(payload.subspan(4));
    AddSegmentRequest req;
    req.zone = r.u32();
    req.segment.name = r.str();
    req.segment.type = r.i32();
    req.segment.start = r.u32();
    req.segment.count = r.u32();
    if (!r.ok() || r.left() != 0) return Parsed<AddSegmentRequest>::fail(ParseError::Malformed);
    return {std::move(req)};
}

Parsed<ResizeZoneRequest> ParseResizeZone(std::span<const std::uint8_t> payload)
{
    if (payload.size() != 8) return Parsed<ResizeZoneRequest>::fail(ParseError::SizeMismatch);
    Reader r(payload);
    ResizeZoneRequest req;
    req.zone = r.i32();
    req.size = r.i32();
    return {req};
}

Parsed<std::uint32_t> ParseClearSegments(std::span<const std::uint8_t> payload)
{
    if (payload.size() != 4) return Parsed<std::uint32_t>::fail(ParseError::SizeMismatch);
    return {GetU32(payload.data())};
}

std::vector<std::uint8_t> UpdateLedsPayload(const std::vector<Colour>& colours)
{
    Writer w;
    w.u32(static_cast<std::uint32_t>(6 + 4 * colours.size()));
    w.u16(static_cast<std::uint16_t>(colours.size()));
    for (Colour c : colours) w.colour(c);
    return std::move(w.data());
}

std::vector<std::uint8_t> UpdateZoneLedsPayload(std::uint32_t zone, const std::vector<Colour>& colours)
{
    Writer w;
    w.u32(static_cast<std::uint32_t>(10 + 4 * colours.size()));
    w.u32(zone);
    w.u16(static_cast<std::uint16_t>(colours.size()));
    for (Colour c : colours) w.colour(c);
    return std::move(w.data());
}

std::vector<std::uint8_t> UpdateSingleLedPayload(std::int32_t led, Colour colour)
{
    Writer w;
    w.i32(led);
    w.colour(colour);
    return std::move(w.data());
}

std::vector<std::uint8_t> UpdateModePayload(std::int32_t modeIndex, const Mode& mode, std::uint32_t version)
{
    Writer w;
    w.u32(0);
    w.i32(modeIndex);
    EncodeMode(w, mode, std::min(version, kServerProtocolVersion));
    w.patchU32(0, static_cast<std::uint32_t>(w.size()));
    return std::move(w.data());
}

std::vector<std::uint8_t> AddSegmentPayload(std::uint32_t zone, const Segment& segment)
{
    Writer w;
    w.u32(0);
    w.u32(zone);
    w.str(segment.name);
    w.i32(segment.type);
    w.u32(segment.start);
    w.u32(segment.count);
    w.patchU32(0, static_cast<std::uint32_t>(w.size()));
    return std::move(w.data());
}

std::vector<std::uint8_t> BareStringPayload(std::string_view s)
{
    std::vector<std::uint8_t> out(s.begin(), s.end());
    out.push_back(0);
    return out;
}

}  // namespace zr417::openrgb
