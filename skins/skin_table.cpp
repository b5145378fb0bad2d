// The one list of pictures the generator draws. The build reads the folder and
// file name of every row (one row per line, starting with {"folder", "name"),
// so keep that shape when adding rows.
//
// Sizes follow the positions the windows draw and hit-test at: a button image
// covers its hot-spot rectangle, a background covers every position drawn on it.
#include "artwork.h"

namespace zr417::skingen {

using namespace zr417::art;

const std::vector<SkinSpec>& SkinTable()
{
    static const std::vector<SkinSpec> table = {
        // Main window (png/<language>/), the size of its client area.
        {"", "main.png", 1000, 640, [](QSize s) { return MainBackground(s); }},
        {"", "button-help-normal.png", 16, 16, [](QSize s) { return TitleButton(s, 936, '?'); }},
        {"", "button-min-normal.png", 16, 16, [](QSize s) { return TitleButton(s, 957, '_'); }},
        {"", "button-close-normal.png", 16, 16, [](QSize s) { return TitleButton(s, 978, 'x'); }},
        {"", "logo.png", 240, 64, [](QSize s) { return Logo(s); }},
        {"", "kb_BK.png", 700, 330, [](QSize s) { return Keyboard(s, false, false); }},
        {"", "kb_hl.png", 700, 330, [](QSize s) { return Keyboard(s, false, true); }},
        {"", "kb_BK_420.png", 700, 330, [](QSize s) { return Keyboard(s, true, false); }},
        {"", "kb_hl_420.png", 700, 330, [](QSize s) { return Keyboard(s, true, true); }},
        {"", "button-cancel-normal.png", 58, 31, [](QSize s) { return LightButton(s, 800, 605, false); }},
        {"", "button-save-normal.png", 58, 31, [](QSize s) { return LightButton(s, 924, 605, true); }},
        {"", "Config.png", 76, 31, [](QSize s) { return ProfileButton(s); }},
        {"", "HelpWindow.png", 167, 78, [](QSize s) { return HelpWindow(s); }},
        {"", "itemBK.png", 232, 20, [](QSize s) { return ItemHeader(s); }},
        {"", "LEDEffect_open.png", 232, 46, [](QSize s) { return EffectRow(s); }},
        {"", "Light_Item.png", 221, 16, [](QSize s) { return EffectField(s); }},
        {"", "freq.png", 232, 88, [](QSize s) { return SpeedCard(s); }},
        {"", "8.png", 20, 20, [](QSize s) { return MultiColourCell(s); }},
        {"", "Enable.png", 12, 12, [](QSize s) { return Led(s, true, theme::kCard); }},
        {"", "Disable.png", 12, 12, [](QSize s) { return Led(s, false, theme::kCard); }},
        {"", "Direction-T-Enable.png", 36, 16, [](QSize s) { return DirectionButton(s, 0, true); }},
        {"", "Direction-B-Enable.png", 36, 16, [](QSize s) { return DirectionButton(s, 1, true); }},
        {"", "Direction-L-Enable.png", 36, 16, [](QSize s) { return DirectionButton(s, 2, true); }},
        {"", "Direction-R-Enable.png", 36, 16, [](QSize s) { return DirectionButton(s, 3, true); }},
        {"", "Direction-T-Disable.png", 36, 16, [](QSize s) { return DirectionButton(s, 0, false); }},
        {"", "Direction-B-Disable.png", 36, 16, [](QSize s) { return DirectionButton(s, 1, false); }},
        {"", "Direction-L-Disable.png", 36, 16, [](QSize s) { return DirectionButton(s, 2, false); }},
        {"", "Direction-R-Disable.png", 36, 16, [](QSize s) { return DirectionButton(s, 3, false); }},
        {"", "MacroManagementBK.png", 246, 60, [](QSize s) { return MacroPanel(s); }},
        {"", "MacroButton3.png", 241, 19, [](QSize s) { return MacroButton(s); }},
        {"", "gamemode_open.png", 250, 60, [](QSize s) { return GameModePanel(s); }},
        {"", "SplashScreen.png", 480, 280, [](QSize s) { return SplashScreen(s); }},

        // Profile manager (png/<language>/Config/), opened over the main window's corner.
        {"Config", "Config.png", 263, 632, [](QSize s) { return ConfigPanel(s); }},
        {"Config", "button-close-normal.png", 16, 16, [](QSize s) { return DarkCloseButton(s, theme::kPanel, false); }},
        {"Config", "New.png", 67, 26, [](QSize s) { return IconButton(s, theme::kPanel, '+'); }},
        {"Config", "Delete.png", 67, 26, [](QSize s) { return IconButton(s, theme::kPanel, '-'); }},

        // Key assignment dialogs (png/<language>/Custom/). Enable.png and
        // Disable.png also answer for the lower-case radio names.
        {"Custom", "Custom_BK.png", 325, 276, [](QSize s) { return CustomBackground(s); }},
        {"Custom", "Custom_BK_420.png", 325, 276, [](QSize s) { return CustomBackground(s); }},
        {"Custom", "cursor.png", 10, 6, [](QSize s) { return TabMarker(s); }},
        {"Custom", "Macro_BK.png", 290, 120, [](QSize s) { return AdvancedPage(s); }},
        {"Custom", "Enable.png", 12, 12, [](QSize s) { return Led(s, true, theme::kDialog); }},
        {"Custom", "Disable.png", 12, 12, [](QSize s) { return Led(s, false, theme::kDialog); }},
        {"Custom", "Advanced.png", 158, 16, [](QSize s) { return PathField(s); }},
        {"Custom", "view.png", 47, 16, [](QSize s) { return BrowseButton(s, false); }},
        {"Custom", "view02.png", 47, 16, [](QSize s) { return BrowseButton(s, true); }},
        {"Custom", "button-close-normal.png", 16, 16,
         [](QSize s) { return DarkCloseButton(s, theme::kDialog, false); }},
        {"Custom", "button-close-over.png", 16, 16, [](QSize s) { return DarkCloseButton(s, theme::kDialog, true); }},
        {"Custom", "large_button.png", 81, 26, [](QSize s) { return TabButton(s); }},
        {"Custom", "large_button420.png", 108, 26, [](QSize s) { return TabButton(s); }},
        {"Custom", "single_combine_option.png", 325, 6, [](QSize s) { return TabStrip(s); }},
        {"Custom", "single_combine_option420.png", 325, 6, [](QSize s) { return TabStrip(s); }},
        {"Custom", "button-cancel-normal.png", 42, 23,
         [](QSize s) { return DarkButton(s, theme::kDialog, false, false); }},
        {"Custom", "button-cancel-over.png", 42, 23,
         [](QSize s) { return DarkButton(s, theme::kDialog, true, false); }},
        {"Custom", "button-save-normal.png", 42, 23,
         [](QSize s) { return DarkButton(s, theme::kDialog, false, true); }},
        {"Custom", "button-save-over.png", 42, 23, [](QSize s) { return DarkButton(s, theme::kDialog, true, true); }},

        // Macro manager (png/<language>/MacroManagement/).
        {"MacroManagement", "MacroManagement.png", 400, 430, [](QSize s) { return MacroManagerBackground(s); }},
        {"MacroManagement", "Record-normal.png", 90, 25,
         [](QSize s) { return DarkButton(s, theme::kWell, false, true); }},
        {"MacroManagement", "Record-over.png", 90, 25, [](QSize s) { return DarkButton(s, theme::kWell, true, true); }},
        {"MacroManagement", "Pane.png", 15, 15, [](QSize s) { return CheckBox(s, false); }},
        {"MacroManagement", "PaneMakingTick.png", 15, 15, [](QSize s) { return CheckBox(s, true); }},
        {"MacroManagement", "button-new-normal.png", 58, 25,
         [](QSize s) { return DarkButton(s, theme::kPanel, false, false); }},
        {"MacroManagement", "button-new-over.png", 58, 25,
         [](QSize s) { return DarkButton(s, theme::kPanel, true, false); }},

        // Per-key colour pictures (png/<language>/DIY/): the plain keyboards the
        // coloured keys are painted over.
        {"DIY", "kb_BK.png", 700, 330, [](QSize s) { return Keyboard(s, false, false); }},
        {"DIY", "kb_BK_420.png", 700, 330, [](QSize s) { return Keyboard(s, true, false); }},
    };
    return table;
}

const std::vector<SkinSpec>& ResourceTable()
{
    static const std::vector<SkinSpec> table = {
        {"", "bitmap/131.png", 10, 14, [](QSize s) { return StepMark(s, 0); }},
        {"", "bitmap/133.png", 9, 9, [](QSize s) { return TreeMarker(s, false); }},
        {"", "bitmap/134.png", 9, 9, [](QSize s) { return TreeMarker(s, true); }},
        {"", "bitmap/137.png", 14, 14, [](QSize s) { return StepMark(s, 2); }},
        {"", "bitmap/138.png", 10, 14, [](QSize s) { return StepMark(s, 1); }},
        {"", "bitmap/139.png", 220, 17, [](QSize s) { return SliderChannel(s, false); }},
        {"", "bitmap/140.png", 220, 17, [](QSize s) { return SliderChannel(s, true); }},
        {"", "bitmap/141.png", 15, 14, [](QSize s) { return SliderThumb(s); }},
        {"", "bitmap/145.png", 127, 305, [](QSize s) { return ListBackground(s); }},
        {"", "icon/128.png", 256, 256, [](QSize s) { return ProgramIcon(s, true); }},
        {"", "icon/155.png", 256, 256, [](QSize s) { return ProgramIcon(s, false); }},
    };
    return table;
}

}  // namespace zr417::skingen
