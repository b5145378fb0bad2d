// What OpenRGB clients see of the keyboard, and what their requests do to
// the configuration image. Controller 0 is the keyboard itself: the model's
// effects as modes (the controls each one has are those the lighting panel
// shows for it), five per-key modes DIY1..DIY5 whose colours are the pictures
// of the same number, and one matrix zone of the 104 keys. Controller 1 is
// the second lighting zone, the side light, with its own modes and one LED.
//
// Requests only change the lighting of an image (LED groups 0 and 6 and the
// per-key pictures); sending it to the keyboard is somebody else's business.
#pragma once

#include "config/image.h"
#include "openrgb/sdk_wire.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zr417::openrgb {

constexpr std::uint32_t kKeyboardController = 0;
constexpr std::uint32_t kSideLightController = 1;
constexpr std::size_t kMaxSegmentsPerZone = 32;

// Facts about the plugged keyboard that the image does not hold.
struct KeyboardFacts {
    int model = 1;  // the device link's model number
    std::uint8_t firmwareMajor = 0, firmwareMinor = 0;
    std::string serial;
    std::string location;  // the hidraw node, or where the simulated keyboard lives
};

// One mode as the server offers it. `code` is the effect code (controller
// 0) or the second-zone mode (controller 1) it sets.
struct OfferedMode {
    std::string name;
    std::uint8_t code = 0;
    std::uint32_t flags = 0;
    std::uint32_t speedMax = 0, brightnessMax = 0;  // both ranges start at 0 (slow, dark)
};
const std::vector<OfferedMode>& KeyboardModes(int model);
const std::vector<OfferedMode>& SideLightModes(int model);

// Segments clients added (they live only as long as the server runs), per controller.
using SegmentTable = std::array<std::vector<Segment>, 2>;

// The keyboard and its side light as the image describes them.
std::vector<Controller> DescribeKeyboard(const KeyboardFacts& facts, const ConfigImage& image,
                                         const SegmentTable& segments = {});

// The nearest of the seven palette colours: index 1..7.
std::uint8_t NearestPaletteIndex(Colour c);

// The requests. Each returns true when the image's lighting changed; an
// index out of range or a request the controller has no use for changes
// nothing. `version` is the connection's (mode blocks below 3 carry no
// brightness).
bool ApplyMode(ConfigImage& image, int model, std::uint32_t controller, std::int32_t modeIndex, const Mode& requested,
               std::uint32_t version);
// Colours of LEDs first.. of the controller, into the active per-key
// picture; nothing while a hardware effect runs (no picture is shown).
bool SetLedColours(ConfigImage& image, std::uint32_t controller, std::uint32_t first, std::span<const Colour> colours);
// DIY1 when a hardware effect runs on the keyboard; otherwise nothing.
bool SetCustomMode(ConfigImage& image, std::uint32_t controller);

// Copies the lighting (LED groups 0 and 6 and the five pictures) between images.
void CopyLighting(const ConfigImage& from, ConfigImage& to);
bool SameLighting(const ConfigImage& a, const ConfigImage& b);

}  // namespace zr417::openrgb
