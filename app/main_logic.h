// What the main window does to the configuration image, without any window:
// the click hit test, the lighting and mode commands, the effect lists of both
// models, the refresh marks, and the version file.
#pragma once

#include "config/image.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace zr417 {

// Model numbers as the device link reports them: 1 = QV310, 2 = QV420,
// 0 = the third identity (treated as the second model).
constexpr int kModelQV310 = 1;

struct Rect {
    int left, top, right, bottom;  // inclusive
    bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

// Hot-spot table of the main window (22 entries; 18..21 are never tested).
extern const std::array<Rect, 22> g_mainHotSpots;

// Commands of the main window's hit test.
enum MainCommand : int {
    kCmdNone = -1,
    kCmdHelp = 0,
    kCmdHide = 1,
    kCmdClose = 2,
    kCmdEffectList = 3,
    kCmdDirectionTop = 4,     // 4..7: top, bottom, left, right
    kCmdDirectionRight = 7,
    kCmdBrightnessArea = 8,
    kCmdMacroManager = 9,
    kCmdGameModeOn = 10,
    kCmdGameModeOff = 11,
    kCmdNothing12 = 12,
    kCmdReportInterval = 13,
    kCmdProfiles = 14,
    kCmdDefault = 15,
    kCmdCancel = 16,
    kCmdSave = 17,
    kCmdColourFirst = 22,     // 22..28 colours 1..7, 29 multicolour
    kCmdColourMulti = 29,
    kCmdLogo = 30,
    kCmdWinLockOn = 31,
    kCmdWinLockOff = 32,
    kCmdKeymap = 33,          // per-key mode off
    kCmdDiy = 34,             // per-key mode on
    kCmdZoneList = 35,
    kCmdZoneColourFirst = 36, // 36..42 colours 1..7, 43 multicolour
    kCmdZoneColourMulti = 43,
    kCmdZoneLeft = 44,
    kCmdZoneRight = 45,
};

// The command under a client point, in the hit-test order of the window.
int MainHitTest(int x, int y, std::uint8_t effectCode);

// One row of an effect or second-zone list.
struct EffectRow {
    std::string_view english;
    std::string_view chinese;
    std::uint8_t code;
};
// Effect list of the model (11 rows for QV310, 16 otherwise).
std::span<const EffectRow> EffectList(int model);
// Second-zone modes of the model, indexed by mode (4 for QV310, 5 otherwise).
std::span<const EffectRow> ZoneModeList(int model);
// Name of an effect code / a second-zone mode in the language; empty when
// the model has none.
std::string_view EffectName(int model, std::uint8_t code, int language);
std::string_view ZoneModeName(int model, std::uint8_t mode, int language);

constexpr int kEffectListTop = 173;  // row r at 173 + 20 r
constexpr int kZoneListTop = 404;    // row r at 404 + 20 r
constexpr int kListRowHeight = 20;

// Static is 0 on the first model and 8 on the others; Wave 3 and 1.
bool IsStaticEffect(int model, std::uint8_t effect);
bool IsWaveEffect(int model, std::uint8_t effect);
// The zone mode whose page shows the direction buttons (Wave).
std::uint8_t ZoneWaveMode(int model);

// Row of the effect list under a point while it is open (hover), or -1.
int EffectListHoverRow(int model, int x, int y);

// State the main window keeps beside the image.
struct PanelState {
    bool effectListOpen = false;
    bool zoneListOpen = false;
    bool helpOpen = false;
    bool perKeyMode = false;
};

// A click while the effect list is open: picks a row (effect, per-key mode,
// effect default) or just closes the list.
void EffectListClick(ConfigImage& image, PanelState& state, int model, int x, int y);
// A click while the second-zone list is open.
void ZoneListClick(ConfigImage& image, PanelState& state, int model, int x, int y);

// The lighting, Game Mode, Win Lock, report interval and per-key commands:
// they change the image and the panel state only. Returns false for a
// command this function does not handle.
bool ApplyPanelCommand(ConfigImage& image, PanelState& state, int command, int x);

// Static with colour index 0 becomes white (7).
void ApplyEffectDefault(ConfigImage& image, int model);

// Marks keys that carry a non-default assignment (marks are only set, never
// cleared here), then clears the mark of key 100.
void MarkChangedKeys(const ConfigImage& image, std::span<std::uint8_t, 255> marks);

// Firmware version offered by a version file: characters 5 and 7 as ASCII
// digits. A missing, short or non-digit file gives 0.0 (no offer).
struct FirmwareVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
};
FirmwareVersion ParseVersionFile(std::span<const std::uint8_t> bytes);
// The prompt to show when the file's version is newer, none otherwise.
struct UpdatePrompt {
    std::string_view text;
    std::string_view caption;
};
std::optional<UpdatePrompt> FirmwareUpdatePrompt(FirmwareVersion file, FirmwareVersion keyboard, int language);

// "VER.bin" for the first model, "VER_420.bin" otherwise; the update tool's
// folder "QV310" / "QV420".
std::string_view VersionFileName(int model);
std::string_view UpdateToolFolder(int model);
constexpr std::string_view kUpdateToolName = "ZR417 RGB Gaming Keyboard_Update";

}  // namespace zr417
