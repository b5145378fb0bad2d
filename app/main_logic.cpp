#include "app/main_logic.h"

#include "config/keys.h"

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace zr417 {

// clang-format off
const std::array<Rect, 22> g_mainHotSpots = {{
    {936, 5, 952, 20},     // 0 help
    {957, 5, 973, 20},     // 1 minimise (hide)
    {978, 5, 994, 20},     // 2 close
    {28, 158, 248, 173},   // 3 current effect field
    {29, 197, 64, 212},    // 4 direction top
    {79, 197, 114, 212},   // 5 direction bottom
    {129, 197, 164, 212},  // 6 direction left
    {179, 197, 214, 212},  // 7 direction right
    {28, 258, 245, 280},   // 8 brightness slider area
    {299, 456, 539, 474},  // 9 macro manager
    {560, 459, 570, 468},  // 10 Game Mode on
    {605, 459, 615, 468},  // 11 Game Mode off
    {306, 533, 526, 549},  // 12 nothing
    {35, 534, 247, 543},   // 13 report interval
    {19, 605, 89, 633},    // 14 profiles
    {800, 605, 857, 635},  // 15 Default
    {861, 605, 918, 635},  // 16 Cancel
    {923, 605, 980, 635},  // 17 Save
    {0, 0, -1, -1},        // 18..21 never tested
    {0, 0, -1, -1},
    {0, 0, -1, -1},
    {0, 0, -1, -1},
}};
// clang-format on

namespace {

bool firstModel(Model model)
{
    return model == Model::QV310;
}

std::string_view label(const EffectRow& row, int language)
{
    return language == kLanguageChinese ? row.chinese : row.english;
}

// Bottom edge of the open effect list (inclusive) for clicks.
int effectListBottom(Model model)
{
    return firstModel(model) ? 393 : 493;
}

}  // namespace

int MainHitTest(int x, int y, std::uint8_t effectCode)
{
    for (int i = 0; i <= 2; ++i)
        if (g_mainHotSpots[i].contains(x, y)) return i;
    if (IsPerKeyEffect(effectCode)) {
        if (Rect{28, 200, 42, 214}.contains(x, y)) return kCmdKeymap;
        if (Rect{130, 200, 144, 214}.contains(x, y)) return kCmdDiy;
    }
    for (int i = 3; i <= 8; ++i)
        if (g_mainHotSpots[i].contains(x, y)) return i;
    if (Rect{299, 456, 539, 474}.contains(x, y)) return kCmdMacroManager;
    for (int i = 0; i < 8; ++i) {
        int c = 48 + 25 * i;
        if (x >= c - 20 && x <= c && y > 222 && y < 244) return kCmdColourFirst + i;
    }
    for (int i = 10; i <= 11; ++i)
        if (g_mainHotSpots[i].contains(x, y)) return i;
    if (Rect{690, 459, 700, 468}.contains(x, y)) return kCmdWinLockOn;
    if (Rect{737, 459, 747, 468}.contains(x, y)) return kCmdWinLockOff;
    for (int i = 12; i <= 17; ++i)
        if (g_mainHotSpots[i].contains(x, y)) return i;
    if (Rect{19, 32, 261, 102}.contains(x, y)) return kCmdLogo;
    if (Rect{28, 388, 248, 403}.contains(x, y)) return kCmdZoneList;
    for (int i = 0; i < 8; ++i) {
        int c = 48 + 25 * i;
        if (x >= c - 20 && x <= c && y >= 450 && y <= 520) return kCmdZoneColourFirst + i;
    }
    for (int i = 0; i < 2; ++i) {
        int c = 43 + 50 * i;
        if (x >= c - 14 && x <= c && y > 424 && y < 441) return kCmdZoneLeft + i;
    }
    return kCmdNone;
}

std::string_view EffectName(Model model, std::uint8_t code, int language)
{
    for (const auto& row : EffectList(model))
        if (row.code == code) return label(row, language);
    return {};
}

std::string_view ZoneModeName(Model model, std::uint8_t mode, int language)
{
    auto modes = ZoneModeList(model);
    std::uint8_t m = mode & 0x0F;
    return m < modes.size() ? label(modes[m], language) : std::string_view{};
}

int EffectListHoverRow(Model model, int x, int y)
{
    int limit = firstModel(model) ? 394 : 494;
    if (x >= 28 && x <= 248 && y > 172 && y < limit) return (y - kEffectListTop) / kListRowHeight;
    return -1;
}

void EffectListClick(ConfigImage& image, PanelState& state, Model model, int x, int y)
{
    state.effectListOpen = false;
    if (x - 28 < 0 || x - 28 > 220 || y < kEffectListTop || y > effectListBottom(model)) return;
    auto rows = EffectList(model);
    std::size_t row = static_cast<std::size_t>((y - kEffectListTop) / kListRowHeight);
    // One past the last row (the list's bottom edge) picks code 0.
    std::uint8_t effect = row < rows.size() ? rows[row].code : 0;
    image.at(settings::Effect) = effect;
    state.perKeyMode = IsPerKeyEffect(effect);
    SetMainEffect(image, WithEffectDefault(model, MainEffect(image)));
}

void ZoneListClick(ConfigImage& image, PanelState& state, Model model, int x, int y)
{
    state.zoneListOpen = false;
    int bottom = firstModel(model) ? 484 : 504;
    if (x >= 28 && x <= 248 && y > 403 && y <= bottom)
        image.at(settings::ZoneMode) = static_cast<std::uint8_t>((y - kZoneListTop) / kListRowHeight);
}

bool ApplyPanelCommand(ConfigImage& image, PanelState& state, int command, int x)
{
    auto& gameMode = image.at(settings::GameMode);
    auto& winLock = image.at(settings::WinLock);
    switch (command) {
        case kCmdEffectList:
            state.effectListOpen = true;
            return true;
        case kCmdZoneList:
            state.zoneListOpen = true;
            return true;
        case kCmdDirectionTop:
        case kCmdDirectionTop + 1:
        case kCmdDirectionTop + 2:
        case kCmdDirectionRight:
            image.at(settings::Direction) = static_cast<std::uint8_t>(direction::kTop - (command - kCmdDirectionTop));
            return true;
        case kCmdKeymap:
            state.perKeyMode = false;
            return true;
        case kCmdDiy:
            state.perKeyMode = true;
            return true;
        case kCmdZoneLeft:
            image.at(settings::ZoneDirection) = direction::kLeft;
            return true;
        case kCmdZoneRight:
            image.at(settings::ZoneDirection) = direction::kRight;
            return true;
        case kCmdGameModeOn:
            if (gameMode != 1) {
                gameMode = 1;
                winLock = 1;
            }
            return true;
        case kCmdGameModeOff:
            gameMode = 0;
            winLock = 0;
            return true;
        case kCmdWinLockOn:
            if (gameMode == 1) winLock = 1;
            return true;
        case kCmdWinLockOff:
            winLock = 0;
            return true;
        case kCmdReportInterval: {
            int step = (x - 35) / 55;
            if (step < 0 || step > 3)  // outside the area the hit test gives
                return true;
            image.at(settings::ReportInterval) = static_cast<std::uint8_t>(8 >> step);
            return true;
        }
        default:
            break;
    }
    if (command >= kCmdColourFirst && command <= kCmdColourMulti) {
        image.at(settings::ColourIndex) = command == kCmdColourMulti
                                              ? colour::kMulticolour
                                              : static_cast<std::uint8_t>(command - kCmdColourFirst + 1);
        return true;
    }
    if (command >= kCmdZoneColourFirst && command <= kCmdZoneColourMulti) {
        image.at(settings::ZoneColourIndex) = command == kCmdZoneColourMulti
                                                  ? colour::kMulticolour
                                                  : static_cast<std::uint8_t>(command - kCmdZoneColourFirst + 1);
        return true;
    }
    return false;
}

void MarkChangedKeys(const ConfigImage& image, std::span<std::uint8_t, 255> marks)
{
    for (int k = 0; k < kKeyCount; ++k) {
        std::uint16_t pos = g_matrixPosByKey[k];
        if (image.plane(1, pos) != 0 || image.plane(0, pos) != KeyCode(g_defaultVkByKey[k])) marks[k] = 1;
    }
    marks[100] = 0;
}

FirmwareVersion ParseVersionFile(std::span<const std::uint8_t> bytes)
{
    auto digit = [](std::uint8_t c) { return c >= '0' && c <= '9'; };
    if (bytes.size() < 8 || !digit(bytes[5]) || !digit(bytes[7])) return {};
    return {static_cast<std::uint8_t>(bytes[5] - '0'), static_cast<std::uint8_t>(bytes[7] - '0')};
}

std::optional<UpdatePrompt> FirmwareUpdatePrompt(FirmwareVersion file, FirmwareVersion keyboard, int language)
{
    bool chinese = language == kLanguageChinese;
    if (file.major > keyboard.major)
        return UpdatePrompt{chinese ? "更新到新的固件吗？" : "Update new firmware?",
                            chinese ? "固件更新" : "Firmware Update"};
    if (file.major == keyboard.major && file.minor > keyboard.minor)
        return UpdatePrompt{chinese ? "更新到新的固件吗?" : "Update new firmware?",
                            chinese ? "固件更新" : "Firmware Update"};
    return std::nullopt;
}

std::string_view VersionFileName(int model)
{
    return firstModel(ModelOf(model)) ? "VER.bin" : "VER_420.bin";
}

std::string_view UpdateToolFolder(int model)
{
    return firstModel(ModelOf(model)) ? "QV310" : "QV420";
}

const std::array<SliderSpec, 5> g_mainSliders = {{
    {kSliderBrightness, 28, 260, kMaxBrightness},
    {kSliderSpeed, 28, 303, kMaxSpeed},
    {kSliderHidden, 28, 530, 3},
    {kSliderZoneBrightness, 28, 485, kMaxZoneBrightness},
    {kSliderZoneSpeed, 28, 530, kMaxZoneSpeed},
}};

const SliderSpec* FindSlider(int id)
{
    for (const auto& s : g_mainSliders)
        if (s.id == id) return &s;
    return nullptr;
}

std::size_t SliderImageOffset(int id)
{
    switch (id) {
        case kSliderBrightness:
            return settings::Brightness;
        case kSliderSpeed:
            return settings::Speed;
        case kSliderZoneBrightness:
            return settings::ZoneBrightness;
        case kSliderZoneSpeed:
            return settings::ZoneSpeed;
        default:
            return 0;
    }
}

bool PanelLayout::sliderVisible(int id) const
{
    switch (id) {
        case kSliderBrightness:
            return brightness;
        case kSliderSpeed:
            return speed;
        case kSliderZoneBrightness:
            return zoneBrightness;
        case kSliderZoneSpeed:
            return zoneSpeed;
        default:
            return false;
    }
}

PanelLayout ComputePanelLayout(const ConfigImage& image, const PanelState& state, Model model)
{
    PanelLayout l;
    const std::uint8_t effect = image.at(settings::Effect);
    const LightingControls main = EffectControls(model, effect);
    const bool listOpen = state.effectListOpen;
    l.brightness = main.brightness && !listOpen;
    l.speed = main.speed && !listOpen;
    l.colourCells = main.colour;
    l.directions = main.direction;
    l.keymapSwitch = IsPerKeyEffect(effect);

    const LightingControls zone = ZoneModeControls(model, image.at(settings::ZoneMode));
    l.zoneDirections = zone.direction;
    l.zoneColourCells = zone.colour;
    l.zoneBrightness = zone.brightness;
    l.zoneSpeed = zone.speed;
    // An open list is drawn over the second zone's sliders (the effect list of
    // the second model reaches y 493, the zone list 504); a slider left above
    // it would take the clicks meant for the list's bottom rows.
    if (listOpen || state.zoneListOpen) {
        l.zoneBrightness = false;
        l.zoneSpeed = false;
    }
    return l;
}

void CopySliderToImage(ConfigImage& image, int id, int position)
{
    if (std::size_t offset = SliderImageOffset(id)) image.at(offset) = static_cast<std::uint8_t>(position);
}

void WriteZoneColourTable(ConfigImage& image)
{
    for (std::size_t i = 0; i < kPalette.size(); ++i) {
        image.at(settings::ColourTable + 3 * i) = kPalette[i].r;
        image.at(settings::ColourTable + 3 * i + 1) = kPalette[i].g;
        image.at(settings::ColourTable + 3 * i + 2) = kPalette[i].b;
    }
}

namespace {
std::size_t pictureByte(int page, int key, int channel)
{
    std::size_t led = g_ledPosByKey[static_cast<std::size_t>(key)] & 0xFF;
    return settings::PicturePages + settings::PageSize * static_cast<std::size_t>(page) + 1 + 128 * channel + led;
}
}  // namespace

Rgb KeyColour(const ConfigImage& image, int page, int key)
{
    return {image.at(pictureByte(page, key, 0)), image.at(pictureByte(page, key, 1)),
            image.at(pictureByte(page, key, 2))};
}

void SetKeyColour(ConfigImage& image, int page, int key, Rgb colour)
{
    if (page < 0 || page >= static_cast<int>(settings::PicturePageCount) || key < 0 || key >= kKeyCount) return;
    image.at(pictureByte(page, key, 0)) = colour.r;
    image.at(pictureByte(page, key, 1)) = colour.g;
    image.at(pictureByte(page, key, 2)) = colour.b;
}

int ZoneListHoverRow(Model model, int x, int y)
{
    int bottom = firstModel(model) ? 484 : 504;
    if (x >= 28 && x <= 248 && y > 403 && y <= bottom)
        return std::min((y - kZoneListTop) / kListRowHeight, static_cast<int>(ZoneModeList(model).size()) - 1);
    return -1;
}

int HelpMenuRow(int x, int y)
{
    if (x >= 830 && x <= 996 && y >= 22 && y <= 99) return (y - 22) / 25;
    return -1;
}

HostOpenPlan PlanHostOpen(std::uint8_t kind, const std::string& directory, const std::string& file)
{
    namespace fs = std::filesystem;
    HostOpenPlan plan;
    if (file.empty()) return plan;
    fs::path path = directory.empty() ? fs::path(file) : fs::path(directory) / file;
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) return plan;
    auto st = fs::status(absolute, ec);
    if (ec || !fs::exists(st)) return plan;
    plan.path = absolute.string();
    if (fs::is_directory(st)) {
        plan.kind = HostOpenPlan::Kind::Open;
    } else if (fs::is_regular_file(st)) {
        constexpr std::uint8_t kStartProgram = 5;
        if (kind == kStartProgram && ::access(absolute.c_str(), X_OK) == 0) {
            plan.kind = HostOpenPlan::Kind::Start;
            plan.directory = absolute.parent_path().string();
        } else {
            plan.kind = HostOpenPlan::Kind::Open;
        }
    } else {
        plan.path.clear();  // devices, sockets, pipes: nothing to open
    }
    return plan;
}

}  // namespace zr417
