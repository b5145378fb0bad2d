#include "openrgb/keyboard_controllers.h"

#include "app/main_logic.h"
#include "config/keys.h"
#include "config/lighting.h"
#include "device/identities.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace zr417::openrgb {

namespace {

constexpr std::uint32_t kColourFlags = mode_flag::ModeSpecificColour | mode_flag::RandomColour;

OfferedMode Offered(const EffectRow& row, LightingControls c, std::uint32_t speedMax, std::uint32_t brightnessMax)
{
    OfferedMode m{std::string(row.english), row.code, mode_flag::AutomaticSave};
    if (c.speed) m.flags |= mode_flag::Speed, m.speedMax = speedMax;
    if (c.brightness) m.flags |= mode_flag::Brightness, m.brightnessMax = brightnessMax;
    if (c.colour) m.flags |= kColourFlags;
    return m;
}

// The controls the lighting panel offers for each effect of the model.
std::vector<OfferedMode> BuildKeyboardModes(Model model)
{
    std::vector<OfferedMode> modes;
    for (const EffectRow& row : EffectList(model)) {
        const LightingControls c = EffectControls(model, row.code);
        OfferedMode m = Offered(row, c, kMaxSpeed, kMaxBrightness);
        if (c.direction) m.flags |= mode_flag::DirectionLR | mode_flag::DirectionUD;
        if (PicturePageOf(row.code)) m.flags |= mode_flag::PerLedColour;
        // Static never runs without a colour: the multicolour cell turns it white.
        if (WithEffectDefault(model, {row.code, colour::kMulticolour}).colour != colour::kMulticolour)
            m.flags &= ~mode_flag::RandomColour;
        // An effect whose colour never reaches the keyboard (Neon) offers none.
        if (ToKeyboard(model, {row.code, colour::kRed}).colour != colour::kRed) m.flags &= ~kColourFlags;
        modes.push_back(std::move(m));
    }
    return modes;
}

std::vector<OfferedMode> BuildSideLightModes(Model model)
{
    std::vector<OfferedMode> modes;
    for (const EffectRow& row : ZoneModeList(model)) {
        const LightingControls c = ZoneModeControls(model, row.code);
        OfferedMode m = Offered(row, c, kMaxZoneSpeed, kMaxZoneBrightness);
        if (c.direction) m.flags |= mode_flag::DirectionLR;
        modes.push_back(std::move(m));
    }
    return modes;
}

const std::vector<OfferedMode>& Cached(int modelNumber, bool sideLight)
{
    static std::mutex mutex;
    static std::map<std::pair<Model, bool>, std::vector<OfferedMode>> cache;
    std::lock_guard lock(mutex);
    const auto key = std::pair{ModelOf(modelNumber), sideLight};
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, sideLight ? BuildSideLightModes(key.first) : BuildKeyboardModes(key.first)).first;
    return it->second;
}

std::uint32_t SdkDirection(std::uint8_t d)
{
    switch (d) {
        case zr417::direction::kLeft:
            return direction::Left;
        case zr417::direction::kBottom:
            return direction::Down;
        case zr417::direction::kTop:
            return direction::Up;
        default:
            return direction::Right;
    }
}

std::optional<std::uint8_t> ImageDirection(std::uint32_t d, std::uint32_t flags)
{
    if ((flags & mode_flag::DirectionLR) && d == direction::Left) return zr417::direction::kLeft;
    if ((flags & mode_flag::DirectionLR) && d == direction::Right) return zr417::direction::kRight;
    if ((flags & mode_flag::DirectionUD) && d == direction::Up) return zr417::direction::kTop;
    if ((flags & mode_flag::DirectionUD) && d == direction::Down) return zr417::direction::kBottom;
    return std::nullopt;
}

Colour PaletteColour(std::uint8_t index)
{
    const Rgb& c = kPalette[static_cast<std::size_t>(std::clamp<int>(index, colour::kRed, colour::kWhite) - 1)];
    return {c.r, c.g, c.b};
}

// A mode as clients see it, carrying the group's current settings.
Mode Describe(const OfferedMode& offered, std::uint8_t brightness, std::uint8_t speed, std::uint8_t colourIndex,
              std::uint8_t dir)
{
    Mode m;
    m.name = offered.name;
    m.value = offered.code;
    m.flags = offered.flags;
    if (offered.flags & mode_flag::Speed) {
        m.speedMax = offered.speedMax;
        m.speed = std::min<std::uint32_t>(speed, offered.speedMax);
    }
    if (offered.flags & mode_flag::Brightness) {
        m.brightnessMax = offered.brightnessMax;
        m.brightness = std::min<std::uint32_t>(brightness, offered.brightnessMax);
    }
    if (offered.flags & (mode_flag::DirectionLR | mode_flag::DirectionUD)) {
        m.direction = SdkDirection(dir);
        if (!(offered.flags & mode_flag::DirectionUD) && m.direction > direction::Right) m.direction = direction::Right;
    }
    if (offered.flags & mode_flag::PerLedColour) {
        m.colourMode = colour_mode::PerLed;
    } else if (offered.flags & mode_flag::ModeSpecificColour) {
        m.coloursMin = m.coloursMax = 1;
        const bool random = colourIndex == colour::kMulticolour && (offered.flags & mode_flag::RandomColour);
        m.colourMode = random ? colour_mode::Random : colour_mode::ModeSpecific;
        m.colours = {PaletteColour(colourIndex == colour::kMulticolour ? colour::kWhite : colourIndex)};
    }
    return m;
}

// The key picture's rows and columns: rows by the keys' top edges, columns
// by their left edges in units of the narrowest key, kept in order along a row.
struct KeyMatrix {
    std::uint32_t height = 0, width = 0;
    std::vector<std::uint32_t> cells;
};

KeyMatrix BuildKeyMatrix()
{
    std::vector<int> tops;
    int unit = 1 << 30, left = 1 << 30;
    for (const KeyRect& r : g_keyRectByKey) {
        tops.push_back(r.top);
        unit = std::min(unit, r.right - r.left + 1);
        left = std::min(left, r.left);
    }
    std::sort(tops.begin(), tops.end());
    tops.erase(std::unique(tops.begin(), tops.end()), tops.end());
    std::vector<std::vector<int>> rows(tops.size());
    for (int k = 0; k < kKeyCount; ++k) {
        auto row = std::lower_bound(tops.begin(), tops.end(), g_keyRectByKey[k].top) - tops.begin();
        rows[static_cast<std::size_t>(row)].push_back(k);
    }
    std::vector<std::vector<std::pair<int, int>>> placed(rows.size());  // (column, key)
    int width = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::sort(rows[r].begin(), rows[r].end(),
                  [](int a, int b) { return g_keyRectByKey[a].left < g_keyRectByKey[b].left; });
        int next = 0;
        for (int k : rows[r]) {
            int column = std::max(next, (g_keyRectByKey[k].left - left + unit / 2) / unit);
            placed[r].emplace_back(column, k);
            next = column + 1;
        }
        width = std::max(width, next);
    }
    KeyMatrix m;
    m.height = static_cast<std::uint32_t>(rows.size());
    m.width = static_cast<std::uint32_t>(width);
    m.cells.assign(std::size_t{m.height} * m.width, kNoLed);
    for (std::size_t r = 0; r < placed.size(); ++r)
        for (auto [column, key] : placed[r])
            m.cells[r * m.width + static_cast<std::size_t>(column)] = static_cast<std::uint32_t>(key);
    return m;
}

const KeyMatrix& TheKeyMatrix()
{
    static const KeyMatrix m = BuildKeyMatrix();
    return m;
}

std::string ModelName(int model)
{
    for (const auto& id : g_keyboardIdentities)
        if (id.model == model) return "ZR417 " + std::string(id.name);
    return "ZR417";
}

// The mode the image's effect is: what the keyboard holds as Static without
// a colour is Neon on the second model.
std::int32_t ActiveKeyboardMode(const ConfigImage& image, int model)
{
    const std::uint8_t effect = FromKeyboard(ModelOf(model), MainEffect(image)).effect;
    const auto& modes = KeyboardModes(model);
    for (std::size_t i = 0; i < modes.size(); ++i)
        if (modes[i].code == effect) return static_cast<std::int32_t>(i);
    return 0;
}

std::int32_t ActiveSideLightMode(const ConfigImage& image, int model)
{
    const std::uint8_t mode = image.at(settings::ZoneMode) & 0x0F;
    const auto& modes = SideLightModes(model);
    for (std::size_t i = 0; i < modes.size(); ++i)
        if (modes[i].code == mode) return static_cast<std::int32_t>(i);
    return 0;
}

Controller KeyboardController(const KeyboardFacts& facts, const ConfigImage& image,
                              const std::vector<Segment>& segments)
{
    Controller c;
    c.type = kDeviceKeyboard;
    c.name = ModelName(facts.model);
    c.vendor = "ZR417";
    c.description = "ZR417 RGB Gaming Keyboard";
    c.version = std::to_string(facts.firmwareMajor) + "." + std::to_string(facts.firmwareMinor);
    c.serial = facts.serial;
    c.location = facts.location;
    const auto& g = image.settings;
    for (const OfferedMode& offered : KeyboardModes(facts.model))
        c.modes.push_back(Describe(offered, g[settings::Brightness], g[settings::Speed], g[settings::ColourIndex],
                                   g[settings::Direction]));
    c.activeMode = ActiveKeyboardMode(image, facts.model);

    Zone z;
    z.name = "Keyboard";
    z.type = zone_type::Matrix;
    z.ledsMin = z.ledsMax = z.ledsCount = kKeyCount;
    z.matrixHeight = TheKeyMatrix().height;
    z.matrixWidth = TheKeyMatrix().width;
    z.matrix = TheKeyMatrix().cells;
    z.segments = segments;
    c.zones.push_back(std::move(z));

    const auto page = PicturePageOf(image.at(settings::Effect));
    for (int k = 0; k < kKeyCount; ++k) {
        c.leds.push_back({"Key: " + std::string(g_keyLabels[static_cast<std::size_t>(k)]), g_ledPosByKey[k]});
        Rgb rgb = page ? KeyColour(image, *page, k) : Rgb{0, 0, 0};
        c.colours.push_back({rgb.r, rgb.g, rgb.b});
    }
    return c;
}

Controller SideLightController(const KeyboardFacts& facts, const ConfigImage& image,
                               const std::vector<Segment>& segments)
{
    Controller c;
    c.type = kDeviceLight;
    c.name = ModelName(facts.model) + " Side Light";
    c.vendor = "ZR417";
    c.description = "Side light of the ZR417 RGB Gaming Keyboard";
    c.version = std::to_string(facts.firmwareMajor) + "." + std::to_string(facts.firmwareMinor);
    c.serial = facts.serial;
    c.location = facts.location;
    const auto& g = image.settings;
    for (const OfferedMode& offered : SideLightModes(facts.model))
        c.modes.push_back(Describe(offered, g[settings::ZoneBrightness], g[settings::ZoneSpeed],
                                   g[settings::ZoneColourIndex], g[settings::ZoneDirection]));
    c.activeMode = ActiveSideLightMode(image, facts.model);

    Zone z;
    z.name = "Side Light";
    z.type = zone_type::Single;
    z.ledsMin = z.ledsMax = z.ledsCount = 1;
    z.segments = segments;
    c.zones.push_back(std::move(z));
    c.leds.push_back({"Side Light", 0});
    // The one colour it shows, when its mode shows one.
    const Mode& active = c.modes[static_cast<std::size_t>(c.activeMode)];
    c.colours.push_back(active.colourMode == colour_mode::ModeSpecific ? active.colours.front() : Colour{});
    return c;
}

}  // namespace

const std::vector<OfferedMode>& KeyboardModes(int model)
{
    return Cached(model, false);
}

const std::vector<OfferedMode>& SideLightModes(int model)
{
    return Cached(model, true);
}

std::vector<Controller> DescribeKeyboard(const KeyboardFacts& facts, const ConfigImage& image,
                                         const SegmentTable& segments)
{
    return {KeyboardController(facts, image, segments[0]), SideLightController(facts, image, segments[1])};
}

std::uint8_t NearestPaletteIndex(Colour c)
{
    int best = 1;
    long bestDistance = -1;
    for (int i = 0; i < static_cast<int>(kPalette.size()); ++i) {
        const Rgb& p = kPalette[static_cast<std::size_t>(i)];
        long dr = long{c.r} - p.r, dg = long{c.g} - p.g, db = long{c.b} - p.b;
        long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) best = i + 1, bestDistance = d;
    }
    return static_cast<std::uint8_t>(best);
}

bool ApplyMode(ConfigImage& image, int model, std::uint32_t controller, std::int32_t modeIndex, const Mode& requested,
               std::uint32_t version)
{
    if (controller > kSideLightController) return false;
    const bool keyboard = controller == kKeyboardController;
    const auto& modes = keyboard ? KeyboardModes(model) : SideLightModes(model);
    if (modeIndex < 0 || static_cast<std::size_t>(modeIndex) >= modes.size()) return false;
    const OfferedMode& offered = modes[static_cast<std::size_t>(modeIndex)];
    const std::size_t group = keyboard ? settings::LedGroup0 : settings::LedGroup6;
    std::uint8_t* g = &image.at(group);  // mode, brightness, speed, colour index, direction
    std::array<std::uint8_t, settings::LedGroupSize> before;
    std::copy_n(g, before.size(), before.begin());

    g[0] = offered.code;
    if (offered.flags & mode_flag::Speed) g[2] = static_cast<std::uint8_t>(std::min(requested.speed, offered.speedMax));
    if ((offered.flags & mode_flag::Brightness) && version >= 3)
        g[1] = static_cast<std::uint8_t>(std::min(requested.brightness, offered.brightnessMax));
    if (auto d = ImageDirection(requested.direction, offered.flags)) g[4] = *d;
    if (requested.colourMode == colour_mode::Random && (offered.flags & mode_flag::RandomColour))
        g[3] = colour::kMulticolour;
    else if (requested.colourMode == colour_mode::ModeSpecific && (offered.flags & mode_flag::ModeSpecificColour) &&
             !requested.colours.empty())
        g[3] = NearestPaletteIndex(requested.colours.front());
    if (keyboard) SetMainEffect(image, WithEffectDefault(ModelOf(model), MainEffect(image)));
    return !std::equal(before.begin(), before.end(), g);
}

bool SetLedColours(ConfigImage& image, std::uint32_t controller, std::uint32_t first, std::span<const Colour> colours)
{
    if (controller != kKeyboardController) return false;
    const auto page = PicturePageOf(image.at(settings::Effect));
    if (!page) return false;
    bool changed = false;
    for (std::size_t i = 0; i < colours.size() && first + i < static_cast<std::size_t>(kKeyCount); ++i) {
        const int key = static_cast<int>(first + i);
        Rgb rgb{colours[i].r, colours[i].g, colours[i].b};
        if (KeyColour(image, *page, key) == rgb) continue;
        SetKeyColour(image, *page, key, rgb);
        changed = true;
    }
    return changed;
}

bool SetCustomMode(ConfigImage& image, std::uint32_t controller)
{
    if (controller != kKeyboardController || PicturePageOf(image.at(settings::Effect))) return false;
    image.at(settings::Effect) = kFirstPictureEffect;
    return true;
}

void CopyLighting(const ConfigImage& from, ConfigImage& to)
{
    auto copy = [&](std::size_t at, std::size_t n) {
        std::copy_n(from.settings.begin() + static_cast<std::ptrdiff_t>(at), n,
                    to.settings.begin() + static_cast<std::ptrdiff_t>(at));
    };
    copy(settings::LedGroup0, settings::LedGroupSize);
    copy(settings::LedGroup6, settings::LedGroupSize);
    copy(settings::PicturePages, settings::PageSize * settings::PicturePageCount);
}

bool SameLighting(const ConfigImage& a, const ConfigImage& b)
{
    auto same = [&](std::size_t at, std::size_t n) {
        return std::equal(a.settings.begin() + static_cast<std::ptrdiff_t>(at),
                          a.settings.begin() + static_cast<std::ptrdiff_t>(at + n),
                          b.settings.begin() + static_cast<std::ptrdiff_t>(at));
    };
    return same(settings::LedGroup0, settings::LedGroupSize) && same(settings::LedGroup6, settings::LedGroupSize) &&
           same(settings::PicturePages, settings::PageSize * settings::PicturePageCount);
}

}  // namespace zr417::openrgb
