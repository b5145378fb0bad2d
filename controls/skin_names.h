// Every skin file the program reads, by the folder it is read from, and the
// numbered bitmap and icon resources compiled into the program. Windows use
// these constants instead of spelling names themselves, so one test can check
// that the build ships every picture the program asks for.
#pragma once

#include <array>
#include <string_view>

namespace zr417::skins {

// Subfolders of png/<language>/; the main window reads the folder itself.
inline constexpr std::string_view kMainFolder = "";
inline constexpr std::string_view kConfigFolder = "Config";
inline constexpr std::string_view kCustomFolder = "Custom";
inline constexpr std::string_view kMacroFolder = "MacroManagement";
inline constexpr std::string_view kDiyFolder = "DIY";

// Direction buttons are indexed top, bottom, left, right (x = 29, 79, 129, 179).
enum Direction { kTop = 0, kBottom = 1, kLeft = 2, kRight = 3 };

// Main window and lighting panel: png/<language>/
namespace main_window {
inline constexpr std::string_view kBackground = "main.png";
inline constexpr std::string_view kHelpNormal = "button-help-normal.png";
inline constexpr std::string_view kMinNormal = "button-min-normal.png";
inline constexpr std::string_view kCloseNormal = "button-close-normal.png";
inline constexpr std::string_view kLogo = "logo.png";
inline constexpr std::string_view kKeyboardQV310 = "kb_BK.png";
inline constexpr std::string_view kKeyboardQV420 = "kb_BK_420.png";
inline constexpr std::string_view kKeyboardLitQV310 = "kb_hl.png";
inline constexpr std::string_view kKeyboardLitQV420 = "kb_hl_420.png";
inline constexpr std::string_view kCancelNormal = "button-cancel-normal.png";  // Default and Cancel
inline constexpr std::string_view kSaveNormal = "button-save-normal.png";
inline constexpr std::string_view kProfileButton = "Config.png";
inline constexpr std::string_view kHelpWindow = "HelpWindow.png";
inline constexpr std::string_view kItemBK = "itemBK.png";
inline constexpr std::string_view kLEDEffectOpen = "LEDEffect_open.png";
inline constexpr std::string_view kLightItem = "Light_Item.png";
inline constexpr std::string_view kFreq = "freq.png";
inline constexpr std::string_view kMultiColour = "8.png";
inline constexpr std::string_view kEnable = "Enable.png";
inline constexpr std::string_view kDisable = "Disable.png";
inline constexpr std::array<std::string_view, 4> kDirectionEnable = {
    "Direction-T-Enable.png", "Direction-B-Enable.png", "Direction-L-Enable.png", "Direction-R-Enable.png"};
inline constexpr std::array<std::string_view, 4> kDirectionDisable = {
    "Direction-T-Disable.png", "Direction-B-Disable.png", "Direction-L-Disable.png", "Direction-R-Disable.png"};
inline constexpr std::string_view kMacroManagementBK = "MacroManagementBK.png";
inline constexpr std::string_view kMacroButton = "MacroButton3.png";
inline constexpr std::string_view kGameModeOpen = "gamemode_open.png";
inline constexpr std::string_view kSplashScreen = "SplashScreen.png";
}  // namespace main_window

// Profile manager: png/<language>/Config/
namespace config_panel {
inline constexpr std::string_view kBackground = "Config.png";
inline constexpr std::string_view kCloseNormal = "button-close-normal.png";
inline constexpr std::string_view kNew = "New.png";
inline constexpr std::string_view kDelete = "Delete.png";
}  // namespace config_panel

// Key assignment dialogs: png/<language>/Custom/. The radios of the Advance
// page are spelled in lower case, the Disable toggle in upper case; the look-up
// finds one file for both.
namespace custom {
inline constexpr std::string_view kBackground = "Custom_BK.png";
inline constexpr std::string_view kBackground420 = "Custom_BK_420.png";
inline constexpr std::string_view kCursor = "cursor.png";
inline constexpr std::string_view kMacroBK = "Macro_BK.png";
inline constexpr std::string_view kRadioOff = "disable.png";
inline constexpr std::string_view kRadioOn = "enable.png";
inline constexpr std::string_view kToggleOff = "Disable.png";
inline constexpr std::string_view kToggleOn = "Enable.png";
inline constexpr std::string_view kAdvanced = "Advanced.png";
inline constexpr std::string_view kView = "view.png";
inline constexpr std::string_view kView02 = "view02.png";
inline constexpr std::string_view kCloseNormal = "button-close-normal.png";
inline constexpr std::string_view kCloseOver = "button-close-over.png";
inline constexpr std::string_view kLargeButton = "large_button.png";
inline constexpr std::string_view kLargeButton420 = "large_button420.png";
inline constexpr std::string_view kTabStrip = "single_combine_option.png";
inline constexpr std::string_view kTabStrip420 = "single_combine_option420.png";
inline constexpr std::string_view kCancelNormal = "button-cancel-normal.png";  // Default and Cancel
inline constexpr std::string_view kCancelOver = "button-cancel-over.png";
inline constexpr std::string_view kSaveNormal = "button-save-normal.png";
inline constexpr std::string_view kSaveOver = "button-save-over.png";
}  // namespace custom

// Macro manager: png/<language>/MacroManagement/
namespace macro_manager {
inline constexpr std::string_view kBackground = "MacroManagement.png";
inline constexpr std::string_view kRecordNormal = "Record-normal.png";
inline constexpr std::string_view kRecordOver = "Record-over.png";
inline constexpr std::string_view kPane = "Pane.png";
inline constexpr std::string_view kPaneTick = "PaneMakingTick.png";
inline constexpr std::string_view kNewNormal = "button-new-normal.png";  // New, Delete, OK, Cancel
inline constexpr std::string_view kNewOver = "button-new-over.png";
}  // namespace macro_manager

struct SkinFileName {
    std::string_view folder;
    std::string_view name;
};

// Every (folder, name) pair above; the skin test walks this list.
inline constexpr auto kAllSkinFiles = [] {
    namespace m = main_window;
    namespace c = custom;
    namespace mm = macro_manager;
    namespace cp = config_panel;
    return std::array{
        SkinFileName{kMainFolder, m::kBackground},
        SkinFileName{kMainFolder, m::kHelpNormal},
        SkinFileName{kMainFolder, m::kMinNormal},
        SkinFileName{kMainFolder, m::kCloseNormal},
        SkinFileName{kMainFolder, m::kLogo},
        SkinFileName{kMainFolder, m::kKeyboardQV310},
        SkinFileName{kMainFolder, m::kKeyboardQV420},
        SkinFileName{kMainFolder, m::kKeyboardLitQV310},
        SkinFileName{kMainFolder, m::kKeyboardLitQV420},
        SkinFileName{kMainFolder, m::kCancelNormal},
        SkinFileName{kMainFolder, m::kSaveNormal},
        SkinFileName{kMainFolder, m::kProfileButton},
        SkinFileName{kMainFolder, m::kHelpWindow},
        SkinFileName{kMainFolder, m::kItemBK},
        SkinFileName{kMainFolder, m::kLEDEffectOpen},
        SkinFileName{kMainFolder, m::kLightItem},
        SkinFileName{kMainFolder, m::kFreq},
        SkinFileName{kMainFolder, m::kMultiColour},
        SkinFileName{kMainFolder, m::kEnable},
        SkinFileName{kMainFolder, m::kDisable},
        SkinFileName{kMainFolder, m::kDirectionEnable[kTop]},
        SkinFileName{kMainFolder, m::kDirectionEnable[kBottom]},
        SkinFileName{kMainFolder, m::kDirectionEnable[kLeft]},
        SkinFileName{kMainFolder, m::kDirectionEnable[kRight]},
        SkinFileName{kMainFolder, m::kDirectionDisable[kTop]},
        SkinFileName{kMainFolder, m::kDirectionDisable[kBottom]},
        SkinFileName{kMainFolder, m::kDirectionDisable[kLeft]},
        SkinFileName{kMainFolder, m::kDirectionDisable[kRight]},
        SkinFileName{kMainFolder, m::kMacroManagementBK},
        SkinFileName{kMainFolder, m::kMacroButton},
        SkinFileName{kMainFolder, m::kGameModeOpen},
        SkinFileName{kMainFolder, m::kSplashScreen},
        SkinFileName{kConfigFolder, cp::kBackground},
        SkinFileName{kConfigFolder, cp::kCloseNormal},
        SkinFileName{kConfigFolder, cp::kNew},
        SkinFileName{kConfigFolder, cp::kDelete},
        SkinFileName{kCustomFolder, c::kBackground},
        SkinFileName{kCustomFolder, c::kBackground420},
        SkinFileName{kCustomFolder, c::kCursor},
        SkinFileName{kCustomFolder, c::kMacroBK},
        SkinFileName{kCustomFolder, c::kRadioOff},
        SkinFileName{kCustomFolder, c::kRadioOn},
        SkinFileName{kCustomFolder, c::kToggleOff},
        SkinFileName{kCustomFolder, c::kToggleOn},
        SkinFileName{kCustomFolder, c::kAdvanced},
        SkinFileName{kCustomFolder, c::kView},
        SkinFileName{kCustomFolder, c::kView02},
        SkinFileName{kCustomFolder, c::kCloseNormal},
        SkinFileName{kCustomFolder, c::kCloseOver},
        SkinFileName{kCustomFolder, c::kLargeButton},
        SkinFileName{kCustomFolder, c::kLargeButton420},
        SkinFileName{kCustomFolder, c::kTabStrip},
        SkinFileName{kCustomFolder, c::kTabStrip420},
        SkinFileName{kCustomFolder, c::kCancelNormal},
        SkinFileName{kCustomFolder, c::kCancelOver},
        SkinFileName{kCustomFolder, c::kSaveNormal},
        SkinFileName{kCustomFolder, c::kSaveOver},
        SkinFileName{kMacroFolder, mm::kBackground},
        SkinFileName{kMacroFolder, mm::kRecordNormal},
        SkinFileName{kMacroFolder, mm::kRecordOver},
        SkinFileName{kMacroFolder, mm::kPane},
        SkinFileName{kMacroFolder, mm::kPaneTick},
        SkinFileName{kMacroFolder, mm::kNewNormal},
        SkinFileName{kMacroFolder, mm::kNewOver},
    };
}();

// Numbered bitmap resources (compiled into the program) and their sizes.
namespace resource {
inline constexpr int kPressMark = 131;       // 10 x 14; also the tree's background picture
inline constexpr int kTreeCollapsed = 133;   // 9 x 9
inline constexpr int kTreeExpanded = 134;    // 9 x 9
inline constexpr int kDelayMark = 137;       // 14 x 14
inline constexpr int kReleaseMark = 138;     // 10 x 14
inline constexpr int kSliderChannel = 139;   // 220 x 17
inline constexpr int kSliderFill = 140;      // 220 x 17
inline constexpr int kSliderThumb = 141;     // 15 x 14
inline constexpr int kListBackground = 145;  // 127 x 305
// Program icons.
inline constexpr int kIconAbout = 128;
inline constexpr int kIconMain = 155;

struct BitmapSize {
    int id, width, height;
};
inline constexpr std::array<BitmapSize, 9> kBitmaps = {{
    {kPressMark, 10, 14},
    {kTreeCollapsed, 9, 9},
    {kTreeExpanded, 9, 9},
    {kDelayMark, 14, 14},
    {kReleaseMark, 10, 14},
    {kSliderChannel, 220, 17},
    {kSliderFill, 220, 17},
    {kSliderThumb, 15, 14},
    {kListBackground, 127, 305},
}};
inline constexpr std::array<int, 2> kIcons = {kIconAbout, kIconMain};
}  // namespace resource

}  // namespace zr417::skins
