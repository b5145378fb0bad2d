#include "keymap/keymap_dialog_logic.h"

#include "config/keys.h"

#include <algorithm>

namespace zr417 {

namespace {

constexpr std::string_view kLargeButton = "large_button.png";
constexpr std::string_view kCloseNormal = "button-close-normal.png";
constexpr std::string_view kCloseOver = "button-close-over.png";
constexpr std::string_view kStrip = "single_combine_option.png";
constexpr std::string_view kToggleOff = "Disable.png";
constexpr std::string_view kToggleOn = "Enable.png";
constexpr std::string_view kCancelNormal = "button-cancel-normal.png";
constexpr std::string_view kCancelOver = "button-cancel-over.png";
constexpr std::string_view kSaveNormal = "button-save-normal.png";
constexpr std::string_view kSaveOver = "button-save-over.png";

constexpr KeymapButtonTable kButtons = {{
    {303, 2, 318, 17, {kCloseNormal, kCloseOver, {}}, 0},
    {0, 31, 81, 57, {kLargeButton, kLargeButton, {}}, 0},
    {81, 31, 162, 57, {kLargeButton, kLargeButton, {}}, 0},
    {162, 31, 243, 57, {kLargeButton, kLargeButton, {}}, 0},
    {243, 31, 324, 57, {kLargeButton, kLargeButton, {}}, 0},
    {0, 30, 325, 36, {kStrip, kStrip, {}}, 0},
    {19, 251, 29, 260, {kToggleOff, kToggleOn, {}}, 0},
    {156, 246, 197, 268, {kCancelNormal, kCancelOver, {}}, 0},
    {210, 246, 251, 268, {kCancelNormal, kCancelOver, {}}, 0},
    {264, 246, 305, 268, {kSaveNormal, kSaveOver, {}}, 0},
}};

// The second model's wider tabs (Advance keeps its rectangle, now covered).
constexpr std::array<ZoneRect, 3> kWideTabs = {{{0, 31, 108, 57}, {109, 31, 216, 57}, {217, 31, 324, 57}}};

constexpr int kToggleGrow = 5;
constexpr std::size_t kWholePathUnits = 13;

constexpr KeymapTexts kEnglish = {
    "Current Key:",
    {"Single/Combine", "Macro", "Basic", "Advance"},
    "Single",
    "Combine",
    {"Play Sound", "Startup", "Open File", "Open Folder"},
    "Disable",
    "Default",
    "Cancel",
    "Save",
    "Please select Sub item",
    "Please select a folder\n",
};

constexpr KeymapTexts kChinese = {
    "当前按键:",
    {"单键/组合键", "宏", "基本功能", "高级功能"},
    "单键",
    "组合键",
    {"播放声音", "启动程序", "打开文件", "打开目录"},
    "禁用按钮",
    "初始值",
    "取消",
    "保存",
    "请选择子项",
    "请选择文件夹\n",
};

bool IsSeparator(char16_t c)
{
    return c == u'/' || c == u'\\';
}

}  // namespace

KeymapButtonTable KeymapButtons(bool secondModel)
{
    KeymapButtonTable table = kButtons;
    if (secondModel) {
        for (std::size_t i = 0; i < kWideTabs.size(); ++i) {
            SkinButton& b = table[keymap_button::TabSingle + i];
            b.left = kWideTabs[i].left;
            b.top = kWideTabs[i].top;
            b.right = kWideTabs[i].right;
            b.bottom = kWideTabs[i].bottom;
        }
    }
    return table;
}

std::uint8_t HitTestKeymapButtons(const KeymapButtonTable& table, int x, int y)
{
    // The toggle is tiny; it answers in a 5-pixel margin around it first.
    const SkinButton& t = table[keymap_button::Toggle];
    if (x >= t.left - kToggleGrow && x <= t.right + kToggleGrow && y >= t.top - kToggleGrow &&
        y <= t.bottom + kToggleGrow)
        return keymap_button::Toggle;
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].contains(x, y)) return static_cast<std::uint8_t>(i);
    return kNoHit;
}

ZoneRect AdvancedZone(int zone)
{
    const int dy = kAdvancedRowPitch * (zone / 4);
    switch (zone % 4) {
        case 0:
            return {15, 72 + dy, 25, 81 + dy};
        case 1:
            return {30, 69 + dy, 72, 84 + dy};
        case 2:
            return {83, 68 + dy, 243, 83 + dy};
        default:
            return {256, 68 + dy, 302, 83 + dy};
    }
}

std::uint8_t HitTestAdvancedZones(int x, int y)
{
    for (int z = 0; z < kAdvancedZoneCount; ++z) {
        ZoneRect r = AdvancedZone(z);
        if (x >= r.left && x <= r.right && y >= r.top && y <= r.bottom) return static_cast<std::uint8_t>(z);
    }
    return kNoHit;
}

std::u16string ShownActionPath(std::u16string_view path)
{
    if (path.size() <= kWholePathUnits) return std::u16string(path);
    // From the last separator that still has a name of two or more units
    // after it; Linux paths use '/', paths stored on Windows '\'.
    for (std::size_t i = path.size(); i-- > 0;) {
        if (IsSeparator(path[i]) && path.size() - i - 1 >= 2) return u".." + std::u16string(path.substr(i));
    }
    return {};
}

const KeymapTexts& KeymapTextsFor(int language)
{
    return language == kLanguageChinese ? kChinese : kEnglish;
}

// --- the dialog -----------------------------------------------------------------

KeymapDialogLogic::KeymapDialogLogic(KeymapDialogView& view, KeyAssignmentState& state, ConfigImage& image,
                                     const MacroTable& macros, int language, bool secondModel)
    : view_(view), state_(state), image_(image), macros_(macros), language_(language), secondModel_(secondModel)
{
    buttons_ = KeymapButtons(secondModel_);
}

std::uint8_t* KeymapDialogLogic::entry()
{
    // A key index outside the table gets a scratch entry, so nothing is
    // written past the image.
    if (state_.g_nSelectedKey() >= kKeyEntryCount) return scratch_.data();
    return image_.entry(state_.g_nSelectedKey());
}

void KeymapDialogLogic::Init()
{
    KeyAssignmentState& s = state_;
    buttons_ = KeymapButtons(secondModel_);
    tab_ = keymap_tab::SingleCombine;
    lastHover_ = kNoHit;
    hoveredBrowseRow_ = -1;
    result_.reset();

    std::uint8_t* e = entry();
    std::copy_n(e, kKeyEntrySize, savedEntry_.begin());

    if (e[entry::Kind] == kind::Basic) {
        const BasicFunction* f = FindBasicByStored(e + entry::Data);
        s.SetFunction(f ? std::string(BasicLabel(*f, language_)) : std::string());
    }
    preselectedTreeItem_ = -1;
    const std::vector<BasicTreeItem> items = BasicTreeItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i].heading && BasicLabel(g_basicFunctions[items[i].index], language_) == s.g_szFunction())
            preselectedTreeItem_ = static_cast<int>(i);
    }
    if (preselectedTreeItem_ >= 0) view_.SelectTreeItem(preselectedTreeItem_);

    // Only the macros the keyboard's 12 slots can hold are offered.
    macroNames_ = MacroNames(macros_);
    if (macroNames_.size() > static_cast<std::size_t>(kMaxBindableMacros))
        macroNames_.resize(static_cast<std::size_t>(kMaxBindableMacros));
    view_.SetMacroNames(macroNames_);

    s.ClearKeys();
    s.SetActionRow(kNoHit);
    s.SetActionRadio(kNoHit);

    s.SetPendingKind(e[entry::Kind]);
    s.SetKeyCount(e[entry::Count]);
    switch (s.g_nPendingKind()) {
        case kind::Single:
        case kind::Combination: {
            const KeyBox box = s.g_nPendingKind() == kind::Single ? KeyBox::Single : KeyBox::Combine;
            view_.SetBoxText(box, EntryText(e));
            view_.FocusBox(box);
            s.SetKeys(std::span(e + entry::Data, entry::DataSize), s.g_nKeyCount());
            s.SetInitFocus(true);
            break;
        }
        case kind::Macro:
            if (e[entry::Data] == 0x04) {
                tab_ = keymap_tab::Macro;
                const int row = e[entry::Data + 2];
                view_.SelectMacroRow(row < static_cast<int>(macroNames_.size()) ? row : -1);
                view_.FocusMacroList();
            }
            break;
        case kind::Basic:
            tab_ = keymap_tab::Basic;
            break;
        case kind::PlaySound:
        case kind::StartProgram:
        case kind::OpenFile:
        case kind::OpenFolder:
            tab_ = keymap_tab::Advance;
            s.SetActionPath(ReadEntryPath(e));
            s.SetActionRow(static_cast<std::uint8_t>(s.g_nPendingKind() - kind::PlaySound));
            break;
        default:
            break;
    }
    buttons_[keymap_button::Toggle].state = s.g_bKeyEnabled() != 1 ? 1 : 0;
    view_.Redraw();
}

bool KeymapDialogLogic::OnKeystroke(std::uint8_t vk)
{
    if (!hookInstalled_ || result_) return false;
    if (!state_.CaptureKey(vk)) return false;
    if (state_.g_nPendingKind() == kind::Single)
        view_.SetBoxText(KeyBox::Single, std::string(KeyName(vk)));
    else
        view_.SetBoxText(KeyBox::Combine, state_.CapturedText());
    return true;
}

void KeymapDialogLogic::OnBoxFocus(KeyBox box)
{
    if (result_) return;
    const std::uint8_t mode = box == KeyBox::Single ? kind::Single : kind::Combination;
    if (state_.g_bInitFocus() && state_.g_nPendingKind() == mode) {
        // The first focus after opening keeps the keys loaded from the entry.
        state_.SetInitFocus(false);
        return;
    }
    SwitchToBox(box);
}

void KeymapDialogLogic::SwitchToBox(KeyBox box)
{
    state_.SetPendingKind(box == KeyBox::Single ? kind::Single : kind::Combination);
    state_.ClearKeys();
    // Both boxes empty: the one taking the focus must not show a key the
    // cleared buffer no longer holds (Save would disable the key).
    view_.SetBoxText(KeyBox::Single, {});
    view_.SetBoxText(KeyBox::Combine, {});
}

bool KeymapDialogLogic::OnMouseMove(int x, int y)
{
    if (result_) return false;
    bool changed = false;
    const std::uint8_t h = HitTestKeymapButtons(buttons_, x, y);
    if (h != lastHover_) {
        // Leaving a button takes its highlight away (adjacent buttons too).
        if (lastHover_ != kNoHit && lastHover_ != keymap_button::Toggle) buttons_[lastHover_].state = 0;
        if (h == kNoHit) {
            for (int i = 0; i < keymap_button::Count; ++i)
                if (i != keymap_button::Toggle) buttons_[static_cast<std::size_t>(i)].state = 0;
        }
        lastHover_ = h;
        if (h != kNoHit && h != keymap_button::Toggle) buttons_[h].state = 1;
        changed = true;
    }
    int browse = -1;
    if (tab_ == keymap_tab::Advance && !advancedReadOnly()) {
        const std::uint8_t z = HitTestAdvancedZones(x, y);
        if (z != kNoHit && z % 4 == 3) browse = z / 4;
    }
    if (browse != hoveredBrowseRow_) {
        hoveredBrowseRow_ = browse;
        changed = true;
    }
    return changed;
}

void KeymapDialogLogic::OnClick(int x, int y)
{
    if (result_) return;
    const std::uint8_t b = HitTestKeymapButtons(buttons_, x, y);
    std::optional<bool> end;
    if (b != kNoHit) end = HandleButton(b);
    if (b != keymap_button::Close && tab_ == keymap_tab::Advance && !advancedReadOnly())
        HandleZone(HitTestAdvancedZones(x, y));
    if (end) Finish(*end);
}

void KeymapDialogLogic::OnButton(int b)
{
    if (result_ || b < 0 || b >= keymap_button::Count) return;
    if (std::optional<bool> end = HandleButton(b)) Finish(*end);
}

void KeymapDialogLogic::OnCloseRequest()
{
    if (!result_) Finish(false);
}

std::optional<bool> KeymapDialogLogic::HandleButton(int b)
{
    KeyAssignmentState& s = state_;
    std::uint8_t* e = entry();
    switch (b) {
        case keymap_button::Close:
            return false;
        case keymap_button::TabSingle:
            s.SetActionRadio(kNoHit);
            if (tab_ != keymap_tab::SingleCombine) {
                // The whole buffer: codes left behind the first would be saved
                // with the next single key.
                s.ClearKeys();
                view_.SetBoxText(KeyBox::Single, {});
                view_.SetBoxText(KeyBox::Combine, {});
                s.SetPendingKind(kind::Single);
                e[entry::Kind] = 0;
                e[entry::Count] = 0;
                std::fill_n(e + entry::Data, entry::DataSize, 0);
            }
            tab_ = keymap_tab::SingleCombine;
            s.SetActionRow(kNoHit);
            view_.Redraw();
            view_.FocusBox(KeyBox::Single);
            return std::nullopt;
        case keymap_button::TabMacro:
            tab_ = keymap_tab::Macro;
            s.SetActionRadio(kNoHit);
            s.SetPendingKind(kind::Combination);  // Save sets the macro kind
            s.SetActionRow(kNoHit);
            view_.Redraw();
            return std::nullopt;
        case keymap_button::TabBasic:
            if (tab_ != keymap_tab::Basic) view_.SelectTreeItem(0);
            tab_ = keymap_tab::Basic;
            s.SetActionRadio(kNoHit);
            s.SetPendingKind(kind::Macro);  // Save sets the Basic kind
            s.SetActionRow(kNoHit);
            view_.Redraw();
            return std::nullopt;
        case keymap_button::TabAdvance:
            s.SetActionRadio(kNoHit);
            if (tab_ != keymap_tab::Advance) {
                s.ClearKeys();
                e[entry::Kind] = kind::None;
                std::fill_n(e + entry::Data, entry::DataSize, 0);
                view_.SetBoxText(KeyBox::Single, {});
                view_.SetBoxText(KeyBox::Combine, {});
                s.SetPendingKind(kind::None);
                s.SetActionRow(kNoHit);
            }
            tab_ = keymap_tab::Advance;
            view_.Redraw();
            return std::nullopt;
        case keymap_button::Toggle:
            buttons_[keymap_button::Toggle].state = 1 - buttons_[keymap_button::Toggle].state;
            view_.Redraw();
            return std::nullopt;
        case keymap_button::Default:
            s.RequestDefault();
            return true;
        case keymap_button::Cancel:
            s.ClearKeys();
            return false;
        case keymap_button::Save:
            return Save();
        default:
            return std::nullopt;  // the strip under the tabs
    }
}

std::optional<bool> KeymapDialogLogic::Save()
{
    KeyAssignmentState& s = state_;
    const bool enabled = !keyDisabledToggle();
    switch (tab_) {
        case keymap_tab::SingleCombine:
            s.SetKeyEnabled(enabled);
            if (s.g_abKeyBuf()[0] == 0) {
                s.SetKeyCount(0);
                s.SetPendingKind(kind::Disable);
            } else if (s.g_nPendingKind() == kind::Single) {
                s.SetKeyCount(1);  // a single key is one code, whatever follows it
            } else {
                const auto& keys = s.g_abKeyBuf();
                s.SetKeyCount(static_cast<int>(std::find(keys.begin(), keys.end(), std::uint8_t{0}) - keys.begin()));
            }
            return true;
        case keymap_tab::Macro:
            s.SetPendingKind(kind::Macro);
            s.SelectMacro(view_.MacroSelection());
            if (s.g_nMacroSel() < 0 || s.g_nMacroSel() >= static_cast<int>(macroNames_.size())) {
                s.SelectMacro(-1);
                s.SetKeyEnabled(true);
                s.SetPendingKind(kind::Disable);
            } else {
                s.SetKeyEnabled(enabled);
            }
            return true;
        case keymap_tab::Basic: {
            s.SetPendingKind(kind::Basic);
            const int item = view_.SelectedTreeItem();
            if (!FunctionSelected(item)) {
                // A heading (or nothing) selected: the dialog stays open.
                view_.ShowMessage(KeymapTextsFor(language_).selectSubItem);
                return std::nullopt;
            }
            const BasicTreeItem ti = BasicTreeItems()[static_cast<std::size_t>(item)];
            s.SetFunction(std::string(BasicLabel(g_basicFunctions[static_cast<std::size_t>(ti.index)], language_)));
            s.SetKeyEnabled(enabled);
            return true;
        }
        default:
            s.SetKeyEnabled(enabled);
            return true;
    }
}

bool KeymapDialogLogic::FunctionSelected(int item) const
{
    const std::vector<BasicTreeItem> items = BasicTreeItems();
    return item >= 0 && item < static_cast<int>(items.size()) && !items[static_cast<std::size_t>(item)].heading;
}

void KeymapDialogLogic::HandleZone(std::uint8_t z)
{
    KeyAssignmentState& s = state_;
    if (z == kNoHit) {
        if (s.g_nActionRow() == kNoHit) {
            s.SetActionRadio(kNoHit);
            s.SetPendingKind(kind::Disable);
            view_.Redraw();
        }
        return;
    }
    const int row = z / 4;
    switch (z % 4) {
        case 0:  // radio: shows the row, its path still to be chosen
            s.SetActionRadio(z);
            s.SetActionRow(static_cast<std::uint8_t>(row));
            s.SetActionPath({});
            view_.Redraw();
            break;
        case 3:  // browse
            s.SetActionRadio(static_cast<std::uint8_t>(4 * row));
            if (ChooseAction(row)) {
                s.SetActionRow(static_cast<std::uint8_t>(row));
                s.SetPendingKind(static_cast<std::uint8_t>(kind::PlaySound + row));
            }
            view_.Redraw();
            break;
        default:
            break;
    }
}

bool KeymapDialogLogic::ChooseAction(int row)
{
    std::optional<std::u16string> path = view_.ChoosePath(row);
    if (!path) return false;
    if (path->empty()) {
        if (row == 3) view_.ShowMessage(KeymapTextsFor(language_).selectFolder);
        return false;
    }
    // The entry holds 255 units; a cut path would name something else.
    if (path->size() > kActionPathChars) return false;
    state_.SetActionPath(std::move(*path));
    return true;
}

void KeymapDialogLogic::Finish(bool ok)
{
    KeyAssignmentState& s = state_;
    if (ok && s.g_nKeyCount() != kDefaultKeyCount) {
        // A row chosen without a path is not an action; nothing chosen keeps
        // what the key had.
        if (IsAdvancedKind(s.g_nPendingKind()) && s.g_szActionPath().empty()) s.SetPendingKind(kind::None);
        if (s.g_nPendingKind() == kind::None || s.g_nPendingKind() > kind::Disable) RestoreEntry();
    }
    if (!ok) RestoreEntry();  // tab switches cleared the entry in memory; Cancel undoes that
    result_ = ok;
    view_.EndDialog(ok);
}

void KeymapDialogLogic::RestoreEntry()
{
    std::copy(savedEntry_.begin(), savedEntry_.end(), entry());
}

}  // namespace zr417
