// What the main window does to the configuration image, without any window:
// the click hit test, the lighting and mode commands, the effect lists of both
// models, the refresh marks, and the version file.
#pragma once

#include "config/image.h"
#include "config/keys.h"
#include "config/lighting.h"
#include "device/identities.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zr417 {

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
    kCmdDirectionTop = 4,  // 4..7: top, bottom, left, right
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
    kCmdColourFirst = 22,  // 22..28 colours 1..7, 29 multicolour
    kCmdColourMulti = 29,
    kCmdLogo = 30,
    kCmdWinLockOn = 31,
    kCmdWinLockOff = 32,
    kCmdKeymap = 33,  // per-key mode off
    kCmdDiy = 34,     // per-key mode on
    kCmdZoneList = 35,
    kCmdZoneColourFirst = 36,  // 36..42 colours 1..7, 43 multicolour
    kCmdZoneColourMulti = 43,
    kCmdZoneLeft = 44,
    kCmdZoneRight = 45,
};

// The command under a client point, in the hit-test order of the window.
int MainHitTest(int x, int y, std::uint8_t effectCode);

// Name of an effect code / a second-zone mode in the language; empty when
// the model has none.
std::string_view EffectName(Model model, std::uint8_t code, int language);
std::string_view ZoneModeName(Model model, std::uint8_t mode, int language);

constexpr int kEffectListTop = 173;  // row r at 173 + 20 r
constexpr int kZoneListTop = 404;    // row r at 404 + 20 r
constexpr int kListRowHeight = 20;

// Row of the effect list under a point while it is open (hover), or -1.
int EffectListHoverRow(Model model, int x, int y);

// State the main window keeps beside the image.
struct PanelState {
    bool effectListOpen = false;
    bool zoneListOpen = false;
    bool helpOpen = false;
    bool perKeyMode = false;
};

// A click while the effect list is open: picks a row (effect, per-key mode,
// effect default) or just closes the list.
void EffectListClick(ConfigImage& image, PanelState& state, Model model, int x, int y);
// A click while the second-zone list is open.
void ZoneListClick(ConfigImage& image, PanelState& state, Model model, int x, int y);

// The lighting, Game Mode, Win Lock, report interval and per-key commands:
// they change the image and the panel state only. Returns false for a
// command this function does not handle.
bool ApplyPanelCommand(ConfigImage& image, PanelState& state, int command, int x);

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
// folder "QV310" / "QV420". `model` is the device link's number (g_nModel).
std::string_view VersionFileName(int model);
std::string_view UpdateToolFolder(int model);
constexpr std::string_view kUpdateToolName = "ZR417 RGB Gaming Keyboard_Update";

// The five sliders of the lighting panel: ID (what the slider-moved signal
// carries), position, maximum (minimum 0, initial position 1). The hidden
// one exists but is never shown.
struct SliderSpec {
    int id;
    int x, y;
    int maximum;
};
constexpr int kSliderBrightness = 1017;      // main brightness
constexpr int kSliderSpeed = 1007;           // main speed
constexpr int kSliderHidden = 1010;          // 0..3, never shown
constexpr int kSliderZoneBrightness = 1019;  // second zone
constexpr int kSliderZoneSpeed = 1018;       // second zone
extern const std::array<SliderSpec, 5> g_mainSliders;
const SliderSpec* FindSlider(int id);
// Image byte a slider stands for (none for kSliderHidden: 0).
std::size_t SliderImageOffset(int id);

// What the lighting panel shows for the image and the panel state; the
// window paints from it and shows or hides its sliders by it.
struct PanelLayout {
    bool speed = false;            // kSliderSpeed with its labels
    bool brightness = false;       // kSliderBrightness with its labels
    bool colourCells = false;      // main colour cells at y 223
    bool directions = false;       // four direction buttons (Wave)
    bool keymapSwitch = false;     // Keymap / DIY switch (per-key effects)
    bool zoneDirections = false;   // left / right of the second zone's Wave
    bool zoneColourCells = false;  // second-zone colour cells at y 450
    bool zoneBrightness = false;   // kSliderZoneBrightness
    bool zoneSpeed = false;        // kSliderZoneSpeed
    bool sliderVisible(int id) const;
};
PanelLayout ComputePanelLayout(const ConfigImage& image, const PanelState& state, Model model);

// Save: the slider positions go into the image (plain positions).
void CopySliderToImage(ConfigImage& image, int id, int position);

// The palette into the image's colour table; rewritten whenever the
// second-zone colour cells are drawn.
void WriteZoneColourTable(ConfigImage& image);

// Colour of key index `key` in picture `page`.
Rgb KeyColour(const ConfigImage& image, int page, int key);
void SetKeyColour(ConfigImage& image, int page, int key, Rgb colour);

// Row of the second-zone list under a point while it is open, or -1.
int ZoneListHoverRow(Model model, int x, int y);

// Help menu (drawn at 830, 22): the row under a click, -1 outside it.
constexpr int kHelpMenuX = 830;
constexpr int kHelpMenuY = 22;
int HelpMenuRow(int x, int y);
enum HelpRow { kHelpHomePage = 0, kHelpUpdate = 1 };

// Every text the main window draws, in both languages.
namespace texts {
inline constexpr Bilingual kTitle{"ZR417 RGB Gaming Keyboard", "ZR417 RGB Gaming Keyboard"};
inline constexpr Bilingual kProfile{"Profile", "配置"};
inline constexpr Bilingual kDefault{"Default", "恢复"};
inline constexpr Bilingual kCancel{"Cancel", "取消"};
inline constexpr Bilingual kSave{"Save", "保存"};
inline constexpr Bilingual kLight{"Light", "灯光"};
inline constexpr Bilingual kZoneLight{"Side Light", "侧灯"};
inline constexpr Bilingual kEffect{"Effect", "效果"};
inline constexpr Bilingual kSpeed{"Speed", "速度"};
inline constexpr Bilingual kSlow{"Slow", "慢"};
inline constexpr Bilingual kFast{"Fast", "快"};
inline constexpr Bilingual kBrightness{"Brightness", "亮度"};
inline constexpr Bilingual kDark{"Dark", "黑"};
inline constexpr Bilingual kBright{"Bright", "亮"};
inline constexpr Bilingual kDirection{"Direction", "方向"};
inline constexpr Bilingual kKeymap{"Keymap", "Keymap"};
inline constexpr Bilingual kDiy{"DIY", "DIY"};
inline constexpr Bilingual kMacroManagement{"Macro Management", "宏管理器"};
inline constexpr Bilingual kGameMode{"Game Mode", "游戏模式"};
inline constexpr Bilingual kWinLock{"Win Lock", "Win Lock模式"};
inline constexpr Bilingual kOn{"On", "开"};
inline constexpr Bilingual kOff{"Off", "关"};
inline constexpr Bilingual kHomePage{"Home Page", "主页"};
inline constexpr Bilingual kUpdateFirmware{"Update Firmware", "驱动更新"};
inline constexpr Bilingual kVersionLine{"Ver: 1.0", "Ver: 1.0"};
inline constexpr Bilingual kResetText{"Confirm to return Factory Setting?", "确认恢复至出厂设置吗？"};
inline constexpr Bilingual kResetCaption{"Factory Setting", "出厂设置"};
inline constexpr Bilingual kNoKeyboard{"No Gaming Keyboard Detected!", "No Gaming Keyboard Detected!"};
inline constexpr Bilingual kWarning{"Warning", "Warning"};
inline constexpr Bilingual kExit{"Exit", "退出"};
inline constexpr Bilingual kStartWithDesktop{"Start with the desktop", "开机启动"};
inline constexpr Bilingual kAbout{"About", "关于"};
inline constexpr Bilingual kAboutTitle{"About ZR417 RGB Gaming Keyboard", "关于 ZR417 RGB Gaming Keyboard"};
inline constexpr Bilingual kAboutName{"ZR417 RGB Gaming Keyboard, Version 1.0",
                                      "ZR417 RGB Gaming Keyboard, Version 1.0"};
inline constexpr Bilingual kAboutRights{"Copyright (C) ZR417. All rights reserved.",
                                        "Copyright (C) ZR417. 保留所有权利。"};
inline constexpr Bilingual kOk{"OK", "确定"};
// A settings file could not be written (a full disk, a read-only folder);
// %1 is the file. The changes stay in memory for a later Save.
inline constexpr Bilingual kSaveFailedText{
    "Cannot write %1.\nThe changes are kept: please Save again once the disk has room or the folder can be written.",
    "无法写入 %1。\n更改已保留：请在磁盘有空间或文件夹可写入后再次保存。"};
inline constexpr Bilingual kSaveFailedCaption{"Save Settings", "保存设置"};
// The program folder cannot be written and the account has no home folder
// for the settings: the program does not start.
inline constexpr Bilingual kNoDataFolderText{
    "Cannot find a folder for the settings: the program folder cannot be written and this account has no home "
    "folder.",
    "找不到保存设置的文件夹：程序文件夹不可写入，且此账户没有主文件夹。"};
}  // namespace texts

// How a host action is opened on this desktop.
struct HostOpenPlan {
    enum class Kind {
        Nothing,  // the path does not exist (or is empty): nothing happens
        Open,     // a folder or a file: the desktop's default handler
        Start,    // a program: started detached in its own folder, no arguments
    };
    Kind kind = Kind::Nothing;
    std::string path;       // absolute or as stored
    std::string directory;  // working directory of a started program
};
// kind 5 (start a program) with an executable regular file starts it; every
// other existing path opens with the desktop's handler (an executable that
// a sound, file or folder key points at is opened, never run).
HostOpenPlan PlanHostOpen(std::uint8_t kind, const std::string& directory, const std::string& file);

}  // namespace zr417
