// What the key assignment dialogs of both models do, apart from painting:
// the button table and its hit test, the Advance page's zones and path
// display, the tabs, key capture and focus switching, and the Save rules.
// The windows (keymap_dialogs.h) draw from this state and forward their
// mouse, focus and keystroke events here; everything the logic needs from a
// window goes through KeymapDialogView, so it runs in unit tests without one.
#pragma once

#include "config/image.h"
#include "keymap/key_assignment.h"
#include "macro/macro_model.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr417 {

constexpr std::uint8_t kNoHit = 255;

// Records of the button table.
namespace keymap_button {
constexpr int Close = 0;
constexpr int TabSingle = 1;
constexpr int TabMacro = 2;
constexpr int TabBasic = 3;
constexpr int TabAdvance = 4;
constexpr int TabStrip = 5;  // drawn only
constexpr int Toggle = 6;    // Disable toggle, state 1 = key disabled
constexpr int Default = 7;
constexpr int Cancel = 8;
constexpr int Save = 9;
constexpr int Count = 10;
}  // namespace keymap_button

// Tabs (the current page).
namespace keymap_tab {
constexpr int SingleCombine = 0;
constexpr int Macro = 1;
constexpr int Basic = 2;
constexpr int Advance = 3;
}  // namespace keymap_tab

struct SkinButton {
    int left, top, right, bottom;  // client pixels, edges included
    std::string_view images[3];    // normal, highlighted, a third that is never drawn
    int state;                     // 0 shows images[0], 1 images[1]

    bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};
using KeymapButtonTable = std::array<SkinButton, keymap_button::Count>;

// The table as a dialog initialises it; the second model's tab rectangles
// are widened (so button 4's rectangle lies inside button 3's).
KeymapButtonTable KeymapButtons(bool secondModel);

// Button 6 first, grown by 5 pixels on every side, then records 0 to 9 in
// order; kNoHit for none.
std::uint8_t HitTestKeymapButtons(const KeymapButtonTable& table, int x, int y);

// The 16 zones of the Advance page: four per row r (0..3), 30 pixels apart:
// radio (column 0), label (1), path (2), browse (3); zone = 4 r + column.
struct ZoneRect {
    int left, top, right, bottom;
};
constexpr int kAdvancedZoneCount = 16;
constexpr int kAdvancedRows = 4;
constexpr int kAdvancedRowPitch = 30;
ZoneRect AdvancedZone(int zone);
std::uint8_t HitTestAdvancedZones(int x, int y);

// What the path field of the Advance page shows: a path of at most 13 units
// whole; a longer one as ".." and the part from its last separator ('/' or
// '\\') that has at least two units after it; nothing when there is none.
std::u16string ShownActionPath(std::u16string_view path);

// Entry byte 1 of an Advanced assignment, per row, and back.
constexpr bool IsAdvancedKind(std::uint8_t k)
{
    return k >= kind::PlaySound && k <= kind::OpenFolder;
}

// The dialog's texts in both languages (UTF-8).
struct KeymapTexts {
    std::string_view currentKey;  // "Current Key:" line, the key's name follows
    std::array<std::string_view, 4> tabs;
    std::string_view single, combine;
    std::array<std::string_view, 4> actions;  // Advance rows
    std::string_view disable, defaultButton, cancel, save;
    std::string_view selectSubItem;  // Save on a Basic heading
    std::string_view selectFolder;   // the folder chooser gave no path
};
const KeymapTexts& KeymapTextsFor(int language);

// The key boxes.
enum class KeyBox { Single, Combine };

// What the logic asks of its window.
class KeymapDialogView {
public:
    virtual ~KeymapDialogView() = default;

    // Box contents; the caret goes to the end.
    virtual void SetBoxText(KeyBox box, const std::string& text) = 0;
    virtual void FocusBox(KeyBox box) = 0;
    // The macro list: row (-1 clears the selection), focus, current row (-1 none).
    virtual void SelectMacroRow(int row) = 0;
    virtual void FocusMacroList() = 0;
    virtual int MacroSelection() const = 0;
    // The macro list's rows.
    virtual void SetMacroNames(const std::vector<std::string>& names) = 0;
    // The function tree, by index into BasicTreeItems(); -1 none. Selecting
    // an item expands its group.
    virtual void SelectTreeItem(int item) = 0;
    virtual int SelectedTreeItem() const = 0;
    // A message box with OK.
    virtual void ShowMessage(std::string_view text) = 0;
    // The chooser of Advance row 0..3: nullopt when cancelled, else the
    // absolute path chosen (may come out empty for a folder).
    virtual std::optional<std::u16string> ChoosePath(int row) = 0;
    // The page, the controls' visibility, the buttons: draw again.
    virtual void Redraw() = 0;
    // Ends the dialog (OK or Cancel).
    virtual void EndDialog(bool ok) = 0;
};

// One run of a key assignment dialog. Construct, call Init (the window then
// shows itself), feed it events; it ends with view.EndDialog.
class KeymapDialogLogic {
public:
    KeymapDialogLogic(KeymapDialogView& view, KeyAssignmentState& state, ConfigImage& image, const MacroTable& macros,
                      int language, bool secondModel);

    // OnInitDialog without the window parts: the button table, the entry's
    // kind into the tab, boxes and state, the toggle. Keeps a copy of the
    // key's entry so Cancel can put it back.
    void Init();
    // The hook's result; keystrokes count only while it is set.
    void SetHookInstalled(bool installed) { hookInstalled_ = installed; }
    bool hookInstalled() const { return hookInstalled_; }

    // A keystroke from the hook (virtual-key code); false when ignored.
    bool OnKeystroke(std::uint8_t vk);
    // A key box got the focus (moved there by the user or at the first
    // activation; not when the window is merely activated again).
    void OnBoxFocus(KeyBox box);
    // Mouse moved to (x, y) client; returns true when something drawn changed.
    bool OnMouseMove(int x, int y);
    // The cursor left the window.
    bool OnMouseLeave() { return OnMouseMove(-1000, -1000); }
    // Left button released at (x, y).
    void OnClick(int x, int y);
    // Button `b` pressed (without the Advance zone handling).
    void OnButton(int b);
    // The window asked to close (window manager, Alt+F4): Cancel.
    void OnCloseRequest();

    // Painting reads these.
    int tab() const { return tab_; }
    bool secondModel() const { return secondModel_; }
    int language() const { return language_; }
    const KeymapButtonTable& buttons() const { return buttons_; }
    bool keyDisabledToggle() const { return buttons_[keymap_button::Toggle].state == 1; }
    // Browse button highlighted (row 0..3) or -1.
    int hoveredBrowseRow() const { return hoveredBrowseRow_; }
    // Macro list rows (the first 12 names, up to the first free record).
    const std::vector<std::string>& macroNames() const { return macroNames_; }
    // Tree item to select after building the tree (the stored function), -1 none.
    int preselectedTreeItem() const { return preselectedTreeItem_; }
    // The ending: nullopt while open.
    std::optional<bool> result() const { return result_; }
    // The second model shows an Advanced assignment (tab 3) as a read-only
    // row: its zones do nothing, Save keeps it.
    bool advancedReadOnly() const { return secondModel_ && tab_ == keymap_tab::Advance; }
    const KeyAssignmentState& state() const { return state_; }

    // The selected key's entry.
    std::uint8_t* entry();

private:
    void SwitchToBox(KeyBox box);
    // The button's action; a value when it ends the dialog (true = OK).
    std::optional<bool> HandleButton(int b);
    std::optional<bool> Save();
    void HandleZone(std::uint8_t zone);
    void Finish(bool ok);
    void RestoreEntry();
    bool ChooseAction(int row);
    bool FunctionSelected(int item) const;

    KeymapDialogView& view_;
    KeyAssignmentState& state_;
    ConfigImage& image_;
    const MacroTable& macros_;
    int language_;
    bool secondModel_;

    KeymapButtonTable buttons_{};
    int tab_ = keymap_tab::SingleCombine;
    std::uint8_t lastHover_ = kNoHit;
    int hoveredBrowseRow_ = -1;
    bool hookInstalled_ = false;
    std::vector<std::string> macroNames_;
    int preselectedTreeItem_ = -1;
    std::array<std::uint8_t, kKeyEntrySize> savedEntry_{};
    std::array<std::uint8_t, kKeyEntrySize> scratch_{};
    std::optional<bool> result_;
};

}  // namespace zr417
