// What the bytes of the two lighting groups mean, in one place: the model
// type, the effect codes and second-zone modes of each model with the names
// the lighting panel lists, the palette, the directions, the slider ranges,
// what each effect lets the user set, and the rules that keep the host-only
// effect apart from what the keyboard holds. The protocol, the lighting
// panel, the profile commands and the emulator all take them from here.
//
// It lives in config/ because it describes bytes of the configuration image
// (group 0 at settings::LedGroup0, the second zone at settings::LedGroup6,
// the colour table), and every layer that needs it already builds on config/.
#pragma once

#include "config/image.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zr417 {

// Which keyboard. The device link records it as a number (g_nModel, the
// identity table, the simulator's memory file); ModelOf makes it a Model.
// The third identity is the second model everywhere except when Neon is
// read back (FromKeyboard).
enum class Model : std::uint8_t { Third = 0, QV310 = 1, QV420 = 2 };

// 1 and 2 are the two models; any other number is the third identity.
constexpr Model ModelOf(int number)
{
    return number == 1 ? Model::QV310 : number == 2 ? Model::QV420 : Model::Third;
}
constexpr std::uint8_t ModelNumber(Model model)
{
    return static_cast<std::uint8_t>(model);
}

// Effect codes (group 0's first byte) and second-zone modes (group 6's first
// byte, low four bits) of the first model.
namespace qv310 {
inline constexpr std::uint8_t kStatic = 0;
inline constexpr std::uint8_t kBreathing = 1;
inline constexpr std::uint8_t kRacing = 2;
inline constexpr std::uint8_t kWave = 3;
inline constexpr std::uint8_t kRipple = 5;
inline constexpr std::uint8_t kReactive = 6;
// In no list of this model, but a keyboard may hold it: it always goes out
// without a colour.
inline constexpr std::uint8_t kUnlisted = 10;

inline constexpr std::uint8_t kZoneOff = 0;
inline constexpr std::uint8_t kZoneWave = 1;
inline constexpr std::uint8_t kZoneStatic = 2;
inline constexpr std::uint8_t kZoneBreathing = 3;
}  // namespace qv310

// The same for the second model and the third identity.
namespace qv420 {
inline constexpr std::uint8_t kScatter = 0;
inline constexpr std::uint8_t kWave = 1;
inline constexpr std::uint8_t kRotate = 2;
inline constexpr std::uint8_t kRipple = 3;
inline constexpr std::uint8_t kRacing = 4;
inline constexpr std::uint8_t kDotLight = 5;
inline constexpr std::uint8_t kReactive = 6;
inline constexpr std::uint8_t kBreathing = 7;
inline constexpr std::uint8_t kStatic = 8;
// Only the host knows it: the keyboard is told Static without a colour.
inline constexpr std::uint8_t kNeon = 9;
inline constexpr std::uint8_t kOff = 10;

inline constexpr std::uint8_t kZoneWave = 0;
inline constexpr std::uint8_t kZoneRipple = 1;
inline constexpr std::uint8_t kZoneBreathing = 2;
inline constexpr std::uint8_t kZoneStatic = 3;
inline constexpr std::uint8_t kZoneOff = 4;
}  // namespace qv420

// Both models: codes up to 10 are built-in effects; 11..15 are DIY1..DIY5,
// the per-key pictures 0..4. Every code above 10 (a keyboard may report
// codes past 15) shows the Keymap / DIY switch instead of the effect's own
// controls.
inline constexpr std::uint8_t kLastBuiltInEffect = 10;
inline constexpr std::uint8_t kFirstPictureEffect = 11;

constexpr bool IsPerKeyEffect(std::uint8_t effect)
{
    return effect > kLastBuiltInEffect;
}

// The per-key picture of an effect code: 0..4 for DIY1..DIY5, none for any
// other code.
constexpr std::optional<int> PicturePageOf(std::uint8_t effect)
{
    if (effect < kFirstPictureEffect || effect >= kFirstPictureEffect + settings::PicturePageCount) return std::nullopt;
    return effect - kFirstPictureEffect;
}

constexpr std::uint8_t StaticEffect(Model model)
{
    return model == Model::QV310 ? qv310::kStatic : qv420::kStatic;
}
constexpr std::uint8_t WaveEffect(Model model)
{
    return model == Model::QV310 ? qv310::kWave : qv420::kWave;
}
constexpr bool IsStaticEffect(Model model, std::uint8_t effect)
{
    return effect == StaticEffect(model);
}
constexpr bool IsWaveEffect(Model model, std::uint8_t effect)
{
    return effect == WaveEffect(model);
}
// The second-zone mode with the direction buttons, and the one that is off.
constexpr std::uint8_t ZoneWaveMode(Model model)
{
    return model == Model::QV310 ? qv310::kZoneWave : qv420::kZoneWave;
}
constexpr std::uint8_t ZoneOffMode(Model model)
{
    return model == Model::QV310 ? qv310::kZoneOff : qv420::kZoneOff;
}

// Colour indices of both groups: 1..7 pick a palette colour, 0 is the
// multicolour cell.
namespace colour {
inline constexpr std::uint8_t kMulticolour = 0;
inline constexpr std::uint8_t kRed = 1;
inline constexpr std::uint8_t kGreen = 2;
inline constexpr std::uint8_t kYellow = 3;
inline constexpr std::uint8_t kBlue = 4;
inline constexpr std::uint8_t kMagenta = 5;
inline constexpr std::uint8_t kCyan = 6;
inline constexpr std::uint8_t kWhite = 7;
}  // namespace colour

struct Rgb {
    std::uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};
// Colour index i (1..7) at [i - 1]; the image's colour table holds the same.
inline constexpr std::array<Rgb, 7> kPalette{{
    {0xFF, 0x00, 0x00},
    {0x00, 0xFF, 0x00},
    {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF},
    {0xFF, 0x00, 0xFF},
    {0x00, 0xFF, 0xFF},
    {0xFF, 0xFF, 0xFF},
}};

// Directions of group 0; the second zone has left and right only.
namespace direction {
inline constexpr std::uint8_t kRight = 0;
inline constexpr std::uint8_t kLeft = 1;
inline constexpr std::uint8_t kBottom = 2;
inline constexpr std::uint8_t kTop = 3;
}  // namespace direction

// Ranges of the sliders, from 0: brightness runs from Dark to Bright, speed
// from Slow to Fast.
inline constexpr std::uint8_t kMaxBrightness = 5;
inline constexpr std::uint8_t kMaxSpeed = 6;
inline constexpr std::uint8_t kMaxZoneBrightness = 2;
inline constexpr std::uint8_t kMaxZoneSpeed = 4;

// What the panel lets the user set for an effect or a second-zone mode.
struct LightingControls {
    bool brightness = false;
    bool speed = false;
    bool colour = false;     // the palette and the multicolour cell
    bool direction = false;  // four on group 0, left and right on the second zone
    bool operator==(const LightingControls&) const = default;
};

// Every effect has brightness. Built-in effects have speed except Static,
// and a colour except Wave, which has the direction instead; per-key effects
// have neither.
constexpr LightingControls EffectControls(Model model, std::uint8_t effect)
{
    const bool builtIn = !IsPerKeyEffect(effect);
    return {true, builtIn && !IsStaticEffect(model, effect), builtIn && !IsWaveEffect(model, effect),
            IsWaveEffect(model, effect)};
}

// The second zone goes by the mode's number on both models (low four bits):
// 1 and 3 have speed, 1..3 brightness, 2 and 3 a colour; the model's Wave
// mode has the direction.
constexpr LightingControls ZoneModeControls(Model model, std::uint8_t mode)
{
    mode &= 0x0F;
    return {mode >= 1 && mode <= 3, mode == 1 || mode == 3, mode == 2 || mode == 3, mode == ZoneWaveMode(model)};
}

// One row of the effect list or the second-zone list of a model.
struct EffectRow {
    std::string_view english;
    std::string_view chinese;
    std::uint8_t code;
};

// The lists in the panel's order.
inline constexpr std::array<EffectRow, 11> kEffectListQV310{{
    {"Static", "全亮", qv310::kStatic},
    {"Racing", "渐亮跑马", qv310::kRacing},
    {"Breathing", "呼吸", qv310::kBreathing},
    {"Reactive", "即按即灭", qv310::kReactive},
    {"Wave", "波浪模式", qv310::kWave},
    {"Ripple", "涟漪模式", qv310::kRipple},
    {"DIY1", "DIY1", kFirstPictureEffect},
    {"DIY2", "DIY2", kFirstPictureEffect + 1},
    {"DIY3", "DIY3", kFirstPictureEffect + 2},
    {"DIY4", "DIY4", kFirstPictureEffect + 3},
    {"DIY5", "DIY5", kFirstPictureEffect + 4},
}};

inline constexpr std::array<EffectRow, 16> kEffectListQV420{{
    {"OFF", "OFF", qv420::kOff},
    {"Static", "全亮", qv420::kStatic},
    {"Racing", "渐亮跑马", qv420::kRacing},
    {"Breathing", "呼吸", qv420::kBreathing},
    {"Neon", "霓虹", qv420::kNeon},
    {"Reactive", "即按即灭", qv420::kReactive},
    {"Wave", "波浪模式", qv420::kWave},
    {"Ripple", "涟漪模式", qv420::kRipple},
    {"Scatter", "扩散模式", qv420::kScatter},
    {"Rotate", "旋转模式", qv420::kRotate},
    {"Dot Light", "单点亮模式", qv420::kDotLight},
    {"DIY1", "DIY1", kFirstPictureEffect},
    {"DIY2", "DIY2", kFirstPictureEffect + 1},
    {"DIY3", "DIY3", kFirstPictureEffect + 2},
    {"DIY4", "DIY4", kFirstPictureEffect + 3},
    {"DIY5", "DIY5", kFirstPictureEffect + 4},
}};

// Indexed by mode.
inline constexpr std::array<EffectRow, 4> kZoneModeListQV310{{
    {"OFF", "关闭", qv310::kZoneOff},
    {"Wave", "波浪", qv310::kZoneWave},
    {"Static", "静态", qv310::kZoneStatic},
    {"Breathing", "呼吸", qv310::kZoneBreathing},
}};

inline constexpr std::array<EffectRow, 5> kZoneModeListQV420{{
    {"Wave", "波浪", qv420::kZoneWave},
    {"Ripple", "霓虹", qv420::kZoneRipple},
    {"Breathing", "呼吸", qv420::kZoneBreathing},
    {"Static", "静态", qv420::kZoneStatic},
    {"OFF", "关闭", qv420::kZoneOff},
}};

constexpr std::span<const EffectRow> EffectList(Model model)
{
    if (model == Model::QV310) return kEffectListQV310;
    return kEffectListQV420;
}
constexpr std::span<const EffectRow> ZoneModeList(Model model)
{
    if (model == Model::QV310) return kZoneModeListQV310;
    return kZoneModeListQV420;
}

// Group 0's effect and colour index.
struct EffectColour {
    std::uint8_t effect;
    std::uint8_t colour;
    bool operator==(const EffectColour&) const = default;
};
inline EffectColour MainEffect(const ConfigImage& image)
{
    return {image.at(settings::Effect), image.at(settings::ColourIndex)};
}
inline void SetMainEffect(ConfigImage& image, EffectColour value)
{
    image.at(settings::Effect) = value.effect;
    image.at(settings::ColourIndex) = value.colour;
}

// What group 0 tells the keyboard, before every write (the image keeps it):
// Neon exists only on the host, so the second model and the third identity
// get Static without a colour; the first model's code 10 always goes
// without a colour.
constexpr EffectColour ToKeyboard(Model model, EffectColour value)
{
    if (model == Model::QV310) {
        if (value.effect == qv310::kUnlisted) value.colour = colour::kMulticolour;
    } else if (value.effect == qv420::kNeon) {
        value = {qv420::kStatic, colour::kMulticolour};
    }
    return value;
}

// Group 0 as read from the keyboard: on the second model Static without a
// colour is Neon again. The third identity keeps Static.
constexpr EffectColour FromKeyboard(Model model, EffectColour value)
{
    if (model == Model::QV420 && value.effect == qv420::kStatic && value.colour == colour::kMulticolour)
        value.effect = qv420::kNeon;
    return value;
}

// The effect default: Static with the multicolour index becomes white.
constexpr EffectColour WithEffectDefault(Model model, EffectColour value)
{
    if (IsStaticEffect(model, value.effect) && value.colour == colour::kMulticolour) value.colour = colour::kWhite;
    return value;
}

}  // namespace zr417
