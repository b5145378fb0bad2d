// The OpenRGB SDK network protocol, versions 0 to 5, as bytes: the 16-byte
// packet header, framing a byte stream into packets, the string, colour and
// data_size encodings, the controller description block in each version, and
// every request a client sends. Plain data in, plain data out: no sockets.
//
// All integers are little-endian. A parser never reads past what it was given
// and says why it refused a packet, so the server can tell a client that
// merely sent nonsense (ignore the packet) from one that broke the framing
// rules (drop the connection).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zr417::openrgb {

constexpr std::uint32_t kServerProtocolVersion = 5;
constexpr std::uint16_t kDefaultPort = 6742;
constexpr std::size_t kHeaderSize = 16;
constexpr std::array<std::uint8_t, 4> kMagic = {'O', 'R', 'G', 'B'};
// Nothing a client may send comes near this; a larger payload is refused
// before it is read.
constexpr std::uint32_t kMaxPayload = 1u << 20;

namespace packet {
constexpr std::uint32_t RequestControllerCount = 0;
constexpr std::uint32_t RequestControllerData = 1;
constexpr std::uint32_t RequestProtocolVersion = 40;
constexpr std::uint32_t SetClientName = 50;
constexpr std::uint32_t DeviceListUpdated = 100;
constexpr std::uint32_t RequestRescanDevices = 140;
constexpr std::uint32_t RequestProfileList = 150;
constexpr std::uint32_t RequestSaveProfile = 151;
constexpr std::uint32_t RequestLoadProfile = 152;
constexpr std::uint32_t RequestDeleteProfile = 153;
constexpr std::uint32_t RequestPluginList = 200;
constexpr std::uint32_t PluginSpecific = 201;
constexpr std::uint32_t ResizeZone = 1000;
constexpr std::uint32_t ClearSegments = 1001;
constexpr std::uint32_t AddSegment = 1002;
constexpr std::uint32_t UpdateLeds = 1050;
constexpr std::uint32_t UpdateZoneLeds = 1051;
constexpr std::uint32_t UpdateSingleLed = 1052;
constexpr std::uint32_t SetCustomMode = 1100;
constexpr std::uint32_t UpdateMode = 1101;
constexpr std::uint32_t SaveMode = 1102;
}  // namespace packet

// Device types (only 0..14 mean the same in every release).
constexpr std::int32_t kDeviceKeyboard = 5;
constexpr std::int32_t kDeviceLight = 11;

namespace mode_flag {
constexpr std::uint32_t Speed = 0x001;
constexpr std::uint32_t DirectionLR = 0x002;
constexpr std::uint32_t DirectionUD = 0x004;
constexpr std::uint32_t DirectionHV = 0x008;
constexpr std::uint32_t Brightness = 0x010;
constexpr std::uint32_t PerLedColour = 0x020;
constexpr std::uint32_t ModeSpecificColour = 0x040;
constexpr std::uint32_t RandomColour = 0x080;
constexpr std::uint32_t ManualSave = 0x100;
constexpr std::uint32_t AutomaticSave = 0x200;
constexpr std::uint32_t AnyColour = PerLedColour | ModeSpecificColour | RandomColour;
}  // namespace mode_flag

namespace direction {
constexpr std::uint32_t Left = 0, Right = 1, Up = 2, Down = 3, Horizontal = 4, Vertical = 5;
}
namespace colour_mode {
constexpr std::uint32_t None = 0, PerLed = 1, ModeSpecific = 2, Random = 3;
}
namespace zone_type {
constexpr std::int32_t Single = 0, Linear = 1, Matrix = 2;
}
constexpr std::uint32_t kNoLed = 0xFFFFFFFF;  // an empty matrix cell

struct Colour {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Colour&) const = default;
};

struct Mode {
    std::string name;
    std::int32_t value = 0;  // the device's own number, echoed by clients
    std::uint32_t flags = 0;
    std::uint32_t speedMin = 0, speedMax = 0;
    std::uint32_t brightnessMin = 0, brightnessMax = 0;  // version 3 on
    std::uint32_t coloursMin = 0, coloursMax = 0;
    std::uint32_t speed = 0;
    std::uint32_t brightness = 0;  // version 3 on
    std::uint32_t direction = 0;
    std::uint32_t colourMode = 0;
    std::vector<Colour> colours;
    bool operator==(const Mode&) const = default;
};

struct Segment {
    std::string name;
    std::int32_t type = zone_type::Linear;
    std::uint32_t start = 0, count = 0;
    bool operator==(const Segment&) const = default;
};

struct Zone {
    std::string name;
    std::int32_t type = zone_type::Single;
    std::uint32_t ledsMin = 0, ledsMax = 0, ledsCount = 0;
    std::uint32_t matrixHeight = 0, matrixWidth = 0;
    std::vector<std::uint32_t> matrix;  // row-major; empty: no map
    std::vector<Segment> segments;      // version 4 on
    std::uint32_t flags = 0;            // version 5 on
};

struct Led {
    std::string name;
    std::uint32_t value = 0;
};

struct Controller {
    std::int32_t type = 0;
    std::string name, vendor, description, version, serial, location;
    std::vector<Mode> modes;
    std::int32_t activeMode = 0;
    std::vector<Zone> zones;
    std::vector<Led> leds;
    std::vector<Colour> colours;  // one per LED
    std::vector<std::string> ledAltNames;
    std::uint32_t flags = 0;
};

struct Header {
    std::uint32_t devId = 0;
    std::uint32_t id = 0;
    std::uint32_t size = 0;
};

// --- writing ------------------------------------------------------------------

class Writer {
public:
    void u16(std::uint16_t v);
    void u32(std::uint32_t v);
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    // u16 length (the NUL included), the bytes, a NUL. Longer texts are cut.
    void str(std::string_view s);
    void colour(Colour c);
    void bytes(std::span<const std::uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
    std::size_t size() const { return out_.size(); }
    // Overwrites the u32 at `at` (data_size once the payload is complete).
    void patchU32(std::size_t at, std::uint32_t v);
    std::vector<std::uint8_t>& data() { return out_; }

private:
    std::vector<std::uint8_t> out_;
};

std::array<std::uint8_t, kHeaderSize> EncodeHeader(std::uint32_t devId, std::uint32_t id, std::uint32_t size);
// A whole packet: header and payload.
std::vector<std::uint8_t> EncodePacket(std::uint32_t devId, std::uint32_t id, std::span<const std::uint8_t> payload);

// The controller block for `version` (capped at the server's), data_size first.
std::vector<std::uint8_t> EncodeControllerData(const Controller& c, std::uint32_t version);
void EncodeMode(Writer& w, const Mode& m, std::uint32_t version);

// Replies. Each is a whole packet.
std::vector<std::uint8_t> ControllerCountReply(std::uint32_t count);
std::vector<std::uint8_t> ControllerDataReply(std::uint32_t index, const Controller& c, std::uint32_t version);
std::vector<std::uint8_t> ProtocolVersionReply();
std::vector<std::uint8_t> ProfileListReply(const std::vector<std::string>& names);
std::vector<std::uint8_t> PluginListReply();  // always empty: we have no plugins
std::vector<std::uint8_t> DeviceListUpdatedNotice();

// --- reading --------------------------------------------------------------------

// Reads little-endian fields from a payload; once a read would pass the end,
// ok() is false and every later read yields zero.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}
    std::uint16_t u16();
    std::uint32_t u32();
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::string str();
    Colour colour();
    bool ok() const { return ok_; }
    std::size_t left() const { return ok_ ? data_.size() - at_ : 0; }

private:
    const std::uint8_t* take(std::size_t n);
    std::span<const std::uint8_t> data_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

std::optional<Header> ParseHeader(std::span<const std::uint8_t> bytes);  // needs 16 bytes and the magic

// Splits a byte stream into packets by their headers. Bytes may come in any
// pieces; payloads larger than kMaxPayload and a wrong magic stop it for good.
class PacketFramer {
public:
    enum class Status { Packet, NeedMore, BadMagic, TooLarge };
    struct Packet {
        Header header;
        std::vector<std::uint8_t> payload;
    };
    void feed(std::span<const std::uint8_t> bytes);
    // The next whole packet, if any.
    Status next(Packet& out);
    std::size_t buffered() const { return buffer_.size() - start_; }

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
    std::optional<Status> broken_;
};

// Why a request was refused. SizeMismatch (data_size is not the payload's
// length, or a fixed-size packet has another size) breaks the protocol's
// rules; Malformed is a payload that is inconsistent in itself.
enum class ParseError { SizeMismatch, Malformed };

template <typename T>
struct Parsed {
    std::optional<T> value;
    ParseError error = ParseError::Malformed;
    static Parsed fail(ParseError e) { return {std::nullopt, e}; }
};

struct UpdateLedsRequest {
    std::vector<Colour> colours;
};
struct UpdateZoneLedsRequest {
    std::uint32_t zone = 0;
    std::vector<Colour> colours;
};
struct UpdateSingleLedRequest {
    std::int32_t led = 0;
    Colour colour;
};
struct UpdateModeRequest {
    std::int32_t modeIndex = 0;
    Mode mode;
};
struct AddSegmentRequest {
    std::uint32_t zone = 0;
    Segment segment;
};
struct ResizeZoneRequest {
    std::int32_t zone = 0, size = 0;
};

// RequestControllerData: the block version it asks for (0 without a 4-byte payload).
std::uint32_t RequestedBlockVersion(std::span<const std::uint8_t> payload);
// RequestProtocolVersion: the client's version (0 without a 4-byte payload).
std::uint32_t ClientProtocolVersion(std::span<const std::uint8_t> payload);
// A bare string (client and profile names): the bytes up to the first NUL.
std::string ParseBareString(std::span<const std::uint8_t> payload);

Parsed<UpdateLedsRequest> ParseUpdateLeds(std::span<const std::uint8_t> payload);
Parsed<UpdateZoneLedsRequest> ParseUpdateZoneLeds(std::span<const std::uint8_t> payload);
Parsed<UpdateSingleLedRequest> ParseUpdateSingleLed(std::span<const std::uint8_t> payload);
// UpdateMode and SaveMode; the mode block in the connection's version.
Parsed<UpdateModeRequest> ParseUpdateMode(std::span<const std::uint8_t> payload, std::uint32_t version);
Parsed<AddSegmentRequest> ParseAddSegment(std::span<const std::uint8_t> payload);
Parsed<ResizeZoneRequest> ParseResizeZone(std::span<const std::uint8_t> payload);
// ClearSegments: the zone index.
Parsed<std::uint32_t> ParseClearSegments(std::span<const std::uint8_t> payload);

// The requests as a client writes them (tests and the fuzzer's seeds).
std::vector<std::uint8_t> UpdateLedsPayload(const std::vector<Colour>& colours);
std::vector<std::uint8_t> UpdateZoneLedsPayload(std::uint32_t zone, const std::vector<Colour>& colours);
std::vector<std::uint8_t> UpdateSingleLedPayload(std::int32_t led, Colour colour);
std::vector<std::uint8_t> UpdateModePayload(std::int32_t modeIndex, const Mode& mode, std::uint32_t version);
std::vector<std::uint8_t> AddSegmentPayload(std::uint32_t zone, const Segment& segment);
std::vector<std::uint8_t> BareStringPayload(std::string_view s);

}  // namespace zr417::openrgb
