// The keyboards the main program accepts, and the collections it uses.
#pragma once

#include "config/lighting.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zr417 {

// g_nModel values: the numbers of Model. Everything but the first model is
// treated as the second model, except reading Neon back, which only the
// second model does.
constexpr std::uint8_t kModelThird = ModelNumber(Model::Third);
constexpr std::uint8_t kModelQV310 = ModelNumber(Model::QV310);
constexpr std::uint8_t kModelQV420 = ModelNumber(Model::QV420);

struct KeyboardIdentity {
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint8_t model;     // g_nModel
    std::string_view name;  // as given to ZR417_SIMULATE and shown by zr417ctl
};

// A device matches only when the vendor ID and the product ID paired with it
// both match.
constexpr std::array<KeyboardIdentity, 3> g_keyboardIdentities{{
    {0x1C4F, 0x5DC4, kModelQV310, "QV310"},
    {0x260D, 0x0015, kModelQV420, "QV420"},
    {0x1B80, 0xB51D, kModelThird, "OEM"},
}};

std::optional<KeyboardIdentity> FindKeyboardIdentity(std::uint16_t vendorId, std::uint16_t productId);
// Case-insensitive look-up by name ("qv420" finds QV420).
std::optional<KeyboardIdentity> FindKeyboardIdentity(std::string_view name);

// Collection tags searched by FindDevicePath, and the report each handle uses.
constexpr std::string_view kTagCommand = "MI_01&COL03";
constexpr std::string_view kTagData = "MI_01&COL04";
constexpr std::string_view kTagMatrix = "MI_01&COL06";
constexpr std::string_view kTagInput = "MI_01&COL07";

constexpr std::uint8_t kCommandReportId = 3;
constexpr std::uint8_t kDataReportId = 4;
constexpr std::uint8_t kMatrixReportId = 6;
constexpr std::uint8_t kInputReportId = 7;
constexpr std::size_t kCommandReportLength = 8;
constexpr std::size_t kDataReportLength = 513;
constexpr std::size_t kMatrixReportLength = 513;
constexpr std::size_t kInputReportLength = 34;

}  // namespace zr417
