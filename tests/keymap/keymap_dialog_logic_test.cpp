#include "keymap/keymap_dialog_logic.h"
#include "tests/support/temp_dir.h"

#include "config/image.h"
#include "config/keys.h"
#include "keymap/key_assignment.h"
#include "macro/macro_model.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <deque>
#include <filesystem>
#include <functional>

namespace zr417 {
namespace {
namespace fs = std::filesystem;
namespace b = keymap_button;

// Key indices used below.
constexpr int kKeyA = 59;     // A, default virtual key 0x41
constexpr int kKeyF1 = 1;     // F1
constexpr int kKeyCaps = 58;  // Caps

class FakeView : public KeymapDialogView {
public:
    std::string boxes[2];
    int focusedBox = -1;
    int macroRow = -1;
    bool macroFocused = false;
    std::vector<std::string> macroNames;
    int treeItem = -1;
    std::vector<std::string> messages;
    std::deque<std::optional<std::u16string>> chooserAnswers;
    std::vector<int> chooserRows;
    int redraws = 0;
    std::optional<bool> ended;

    void SetBoxText(KeyBox box, const std::string& text) override { boxes[static_cast<int>(box)] = text; }
    void FocusBox(KeyBox box) override { focusedBox = static_cast<int>(box); }
    void SetMacroNames(const std::vector<std::string>& names) override { macroNames = names; }
    void SelectMacroRow(int row) override { macroRow = row; }
    void FocusMacroList() override { macroFocused = true; }
    int MacroSelection() const override { return macroRow; }
    void SelectTreeItem(int item) override { treeItem = item; }
    int SelectedTreeItem() const override { return treeItem; }
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    std::optional<std::u16string> ChoosePath(int row) override
    {
        chooserRows.push_back(row);
        if (chooserAnswers.empty()) return std::nullopt;
        auto a = chooserAnswers.front();
        chooserAnswers.pop_front();
        return a;
    }
    void Redraw() override { ++redraws; }
    void EndDialog(bool ok) override { ended = ok; }

    const std::string& single() const { return boxes[0]; }
    const std::string& combine() const { return boxes[1]; }
};

int TreeItemOf(std::string_view english)
{
    auto items = BasicTreeItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::string_view label =
            items[i].heading ? kBasicGroups[items[i].index].english : g_basicFunctions[items[i].index].english;
        if (label == english) return static_cast<int>(i);
    }
    return -1;
}

// --- tables and hit tests -------------------------------------------------------

TEST(KeymapButtons, ToggleWinsInItsGrownRectangleAndEdgesCount)
{
    auto t = KeymapButtons(false);
    EXPECT_EQ(HitTestKeymapButtons(t, 14, 246), b::Toggle);  // 5 px outside its corner
    EXPECT_EQ(HitTestKeymapButtons(t, 34, 265), b::Toggle);
    EXPECT_EQ(HitTestKeymapButtons(t, 13, 250), kNoHit);
    EXPECT_EQ(HitTestKeymapButtons(t, 35, 250), kNoHit);
    EXPECT_EQ(HitTestKeymapButtons(t, 303, 2), b::Close);
    EXPECT_EQ(HitTestKeymapButtons(t, 318, 17), b::Close);
    EXPECT_EQ(HitTestKeymapButtons(t, 319, 17), kNoHit);
    EXPECT_EQ(HitTestKeymapButtons(t, 81, 40), b::TabSingle);  // shared edge: first record wins
    EXPECT_EQ(HitTestKeymapButtons(t, 100, 30), b::TabStrip);  // strip only above the tabs
    EXPECT_EQ(HitTestKeymapButtons(t, 300, 40), b::TabAdvance);
    EXPECT_EQ(HitTestKeymapButtons(t, 156, 246), b::Default);
    EXPECT_EQ(HitTestKeymapButtons(t, 230, 260), b::Cancel);
    EXPECT_EQ(HitTestKeymapButtons(t, 305, 268), b::Save);
    EXPECT_EQ(HitTestKeymapButtons(t, 200, 260), kNoHit);
}

TEST(KeymapButtons, SecondModelNeverHitsAdvance)
{
    auto t = KeymapButtons(true);
    EXPECT_EQ(HitTestKeymapButtons(t, 300, 40), b::TabBasic);
    EXPECT_EQ(HitTestKeymapButtons(t, 243, 31), b::TabBasic);
    EXPECT_EQ(HitTestKeymapButtons(t, 108, 40), b::TabSingle);
    EXPECT_EQ(HitTestKeymapButtons(t, 109, 40), b::TabMacro);
    EXPECT_EQ(HitTestKeymapButtons(t, 216, 57), b::TabMacro);
    for (int x = 0; x <= 330; ++x)
        for (int y = 0; y <= 280; ++y) ASSERT_NE(HitTestKeymapButtons(t, x, y), b::TabAdvance) << x << "," << y;
}

TEST(AdvancedZones, RowsAndColumns)
{
    EXPECT_EQ(HitTestAdvancedZones(15, 72), 0);
    EXPECT_EQ(HitTestAdvancedZones(25, 81), 0);
    EXPECT_EQ(HitTestAdvancedZones(50, 100), 5);
    EXPECT_EQ(HitTestAdvancedZones(243, 128), 10);
    EXPECT_EQ(HitTestAdvancedZones(302, 173), 15);
    EXPECT_EQ(HitTestAdvancedZones(303, 173), kNoHit);
    EXPECT_EQ(HitTestAdvancedZones(27, 75), kNoHit);   // between radio and label
    EXPECT_EQ(HitTestAdvancedZones(100, 90), kNoHit);  // between rows
}

TEST(ShownActionPath, ThirteenWholeLongerFromTheLastSeparator)
{
    EXPECT_EQ(ShownActionPath(u"/home/u/a.mp3"), u"/home/u/a.mp3");   // 13
    EXPECT_EQ(ShownActionPath(u"/opt/xy/runme.sh"), u"../runme.sh");  // 16: 8-unit name
    EXPECT_EQ(ShownActionPath(u"C:\\Tools\\abc.exe"), u"..\\abc.exe");
    EXPECT_EQ(ShownActionPath(u"/a\\b/mixed/x.txt"), u"../x.txt");
    // A separator with fewer than two units after it is passed over.
    EXPECT_EQ(ShownActionPath(u"/home/user/music/"), u"../music/");
    EXPECT_EQ(ShownActionPath(u"/home/user/dir/x"), u"../dir/x");
    EXPECT_EQ(ShownActionPath(u"averylongfilename.mp3"), u"");
    EXPECT_EQ(ShownActionPath(u""), u"");
}

TEST(KeymapTexts, BothLanguages)
{
    EXPECT_EQ(KeymapTextsFor(kLanguageChinese).selectSubItem, "请选择子项");
    EXPECT_EQ(KeymapTextsFor(kLanguageEnglish).selectSubItem, "Please select Sub item");
    EXPECT_EQ(KeymapTextsFor(kLanguageChinese).selectFolder, "请选择文件夹\n");
    EXPECT_EQ(KeymapTextsFor(kLanguageEnglish).selectFolder, "Please select a folder\n");
    EXPECT_EQ(KeymapTextsFor(kLanguageChinese).currentKey, "当前按键:");
    EXPECT_EQ(KeymapTextsFor(kLanguageEnglish).tabs[3], "Advance");
}

// --- one dialog on an image in memory -------------------------------------------

class KeymapLogicTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 14; ++i) SetMacroName(macros[i], "macro " + std::to_string(i));
    }

    // Opens a dialog on `key` as RunKeyAssignment would.
    KeymapDialogLogic& Open(int key, bool secondModel = false, int language = kLanguageEnglish)
    {
        state.SelectKey(static_cast<std::uint8_t>(key));
        view = FakeView{};
        logic.emplace(view, state, image, macros, language, secondModel);
        logic->Init();
        logic->SetHookInstalled(true);
        return *logic;
    }
    std::uint8_t* E(int key) { return image.entry(static_cast<std::size_t>(key)); }

    ConfigImage image;
    MacroTable macros;
    KeyAssignmentState state;
    FakeView view;
    std::optional<KeymapDialogLogic> logic;
};

TEST_F(KeymapLogicTest, CombinationOfFourKeysStartsAgainAndSavesTheLast)
{
    E(kKeyA)[entry::Kind] = kind::Combination;  // opened on a combination: combine box
    auto& d = Open(kKeyA);
    d.OnBoxFocus(KeyBox::Combine);  // the first focus keeps the loaded keys
    EXPECT_EQ(state.g_nPendingKind(), kind::Combination);
    EXPECT_EQ(state.g_bInitFocus(), 0);

    for (std::uint8_t vk : {0xA2, 0xA0, 0x41}) EXPECT_TRUE(d.OnKeystroke(vk));
    EXPECT_EQ(view.combine(), "LCtrl + LShift + A ");
    EXPECT_EQ(state.g_nKeyCount(), 3);
    EXPECT_TRUE(d.OnKeystroke(0x42));
    EXPECT_EQ(view.combine(), "B ");
    EXPECT_EQ(state.g_nKeyCount(), 1);

    d.OnClick(280, 255);  // Save
    ASSERT_EQ(view.ended, true);
    EXPECT_EQ(state.g_nPendingKind(), kind::Combination);
    EXPECT_EQ(state.g_nKeyCount(), 1);
    EXPECT_EQ(state.g_abKeyBuf()[0], 0x42);
    EXPECT_EQ(state.g_abKeyBuf()[1], 0);
}

TEST_F(KeymapLogicTest, FocusSwitchesModeButFirstFocusKeepsTheLoadedKey)
{
    std::uint8_t* e = E(kKeyA);
    e[entry::Kind] = kind::Single;
    e[entry::Data] = 0x42;
    e[entry::Count] = 1;
    auto& d = Open(kKeyA);
    EXPECT_EQ(view.single(), "B ");
    EXPECT_EQ(view.focusedBox, static_cast<int>(KeyBox::Single));
    EXPECT_EQ(state.g_bInitFocus(), 1);

    d.OnBoxFocus(KeyBox::Single);
    EXPECT_EQ(state.g_abKeyBuf()[0], 0x42);
    EXPECT_EQ(view.single(), "B ");

    d.OnBoxFocus(KeyBox::Combine);
    EXPECT_EQ(state.g_nPendingKind(), kind::Combination);
    EXPECT_EQ(state.g_abKeyBuf()[0], 0);
    EXPECT_EQ(view.single(), "");
    d.OnKeystroke(0x43);
    EXPECT_EQ(view.combine(), "C ");

    d.OnBoxFocus(KeyBox::Single);  // back: fresh single mode
    EXPECT_EQ(state.g_nPendingKind(), kind::Single);
    EXPECT_EQ(view.combine(), "");
    d.OnKeystroke(0x44);
    d.OnKeystroke(0x45);
    EXPECT_EQ(view.single(), "E ");
    EXPECT_EQ(state.g_nKeyCount(), 1);
}

TEST_F(KeymapLogicTest, KeystrokesCountOnlyWithTheHookAndInKeyModes)
{
    auto& d = Open(kKeyA);
    d.SetHookInstalled(false);
    EXPECT_FALSE(d.OnKeystroke(0x41));
    EXPECT_EQ(state.g_abKeyBuf()[0], 0);
    d.SetHookInstalled(true);
    d.OnClick(200, 40);  // Basic tab: pending kind 2
    EXPECT_FALSE(d.OnKeystroke(0x41));
    EXPECT_EQ(state.g_abKeyBuf()[0], 0);
}

TEST_F(KeymapLogicTest, SaveWithoutKeyDisables)
{
    auto& d = Open(kKeyA);
    d.OnClick(280, 255);
    EXPECT_EQ(view.ended, true);
    EXPECT_EQ(state.g_nPendingKind(), kind::Disable);
    EXPECT_EQ(state.g_nKeyCount(), 0);
}

TEST_F(KeymapLogicTest, ToggleDecidesTheEnabledStateOnSave)
{
    state.SetKeyEnabled(false);
    auto& d = Open(kKeyA);
    EXPECT_TRUE(d.keyDisabledToggle());
    d.OnClick(24, 255);
    EXPECT_FALSE(d.keyDisabledToggle());
    d.OnBoxFocus(KeyBox::Single);
    d.OnKeystroke(0x42);
    d.OnClick(14, 246);  // grown corner of the toggle
    EXPECT_TRUE(d.keyDisabledToggle());
    d.OnClick(280, 255);
    EXPECT_EQ(state.g_bKeyEnabled(), 0);
    EXPECT_EQ(state.g_nKeyCount(), 1);
}

TEST_F(KeymapLogicTest, MacroListOffersTwelveAndKeepsTheStoredRow)
{
    std::uint8_t* e = E(kKeyF1);
    e[entry::Kind] = kind::Macro;
    e[entry::Data] = 0x04;
    e[entry::Data + 2] = 5;
    auto& d = Open(kKeyF1);
    EXPECT_EQ(d.tab(), keymap_tab::Macro);
    EXPECT_EQ(view.macroNames.size(), 12u);
    EXPECT_EQ(view.macroRow, 5);
    EXPECT_TRUE(view.macroFocused);
    d.OnClick(280, 255);
    EXPECT_EQ(state.g_nPendingKind(), kind::Macro);
    EXPECT_EQ(state.g_nMacroSel(), 5);

    // A row beyond the list is not selected; Save then disables.
    e[entry::Data + 2] = 13;
    Open(kKeyF1);
    EXPECT_EQ(view.macroRow, -1);
    logic->OnClick(280, 255);
    EXPECT_EQ(state.g_nPendingKind(), kind::Disable);
    EXPECT_EQ(state.g_bKeyEnabled(), 1);
}

TEST_F(KeymapLogicTest, BasicHeadingNeedsASubItemInChinese)
{
    auto& d = Open(kKeyA, false, kLanguageChinese);
    d.OnClick(200, 40);
    EXPECT_EQ(view.treeItem, 0);  // first root item
    view.treeItem = TreeItemOf("Media");
    d.OnClick(280, 255);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "请选择子项");
    EXPECT_FALSE(view.ended);

    view.treeItem = -1;  // nothing selected is no function either
    d.OnClick(280, 255);
    EXPECT_EQ(view.messages.size(), 2u);
    EXPECT_FALSE(view.ended);

    view.treeItem = TreeItemOf("Next");
    d.OnClick(280, 255);
    EXPECT_EQ(view.ended, true);
    EXPECT_EQ(state.g_nPendingKind(), kind::Basic);
    EXPECT_EQ(state.g_szFunction(), "下一曲");
}

TEST_F(KeymapLogicTest, StoredBasicFunctionIsPreselected)
{
    const std::uint8_t next[] = {0x03, 0x00, 0xB5, 0x00};
    std::uint8_t* e = E(kKeyA);
    e[entry::Kind] = kind::Basic;
    std::copy(std::begin(next), std::end(next), e + entry::Data);
    state.SetFunction("Stop");
    auto& d = Open(kKeyA);
    EXPECT_EQ(d.tab(), keymap_tab::Basic);
    EXPECT_EQ(state.g_szFunction(), "Next");
    EXPECT_EQ(view.treeItem, TreeItemOf("Next"));
    EXPECT_EQ(d.preselectedTreeItem(), TreeItemOf("Next"));

    // An unknown stored code selects nothing.
    e[entry::Data + 2] = 0x77;
    Open(kKeyA);
    EXPECT_EQ(state.g_szFunction(), "");
    EXPECT_EQ(view.treeItem, -1);
}

TEST_F(KeymapLogicTest, AdvanceRadioBrowseAndEmptyClick)
{
    auto& d = Open(kKeyA);
    d.OnClick(300, 40);
    EXPECT_EQ(d.tab(), keymap_tab::Advance);
    EXPECT_EQ(E(kKeyA)[entry::Kind], kind::None);
    // The tab's own click lands outside the rows with none chosen.
    EXPECT_EQ(state.g_nPendingKind(), kind::Disable);

    d.OnClick(20, 105);  // radio of row 1
    EXPECT_EQ(state.g_nActionRow(), 1);
    EXPECT_EQ(state.g_nActionRadio(), 4);
    EXPECT_EQ(state.g_nPendingKind(), kind::Disable);  // a radio alone changes no kind

    view.chooserAnswers = {std::nullopt};
    d.OnClick(280, 135);  // browse row 2, cancelled
    EXPECT_EQ(view.chooserRows, std::vector<int>{2});
    EXPECT_EQ(state.g_nActionRow(), 1);
    EXPECT_EQ(state.g_nActionRadio(), 8);

    view.chooserAnswers = {u"/usr/bin/xterm"};
    d.OnClick(280, 105);  // browse row 1
    EXPECT_EQ(state.g_nActionRow(), 1);
    EXPECT_EQ(state.g_nPendingKind(), kind::StartProgram);
    EXPECT_EQ(state.g_szActionPath(), u"/usr/bin/xterm");

    d.OnClick(100, 230);  // a row is chosen now: the empty click changes nothing
    EXPECT_EQ(state.g_nPendingKind(), kind::StartProgram);
    d.OnClick(280, 255);
    EXPECT_EQ(view.ended, true);
    EXPECT_EQ(state.g_nPendingKind(), kind::StartProgram);
}

TEST_F(KeymapLogicTest, FolderChooserWithoutPathShowsTheMessage)
{
    auto& d = Open(kKeyA, false, kLanguageChinese);
    d.OnClick(300, 40);
    view.chooserAnswers = {u""};
    d.OnClick(260, 165);
    EXPECT_EQ(view.messages, std::vector<std::string>{"请选择文件夹\n"});
    EXPECT_EQ(state.g_nActionRow(), kNoHit);

    // A path the entry cannot hold is not taken either.
    view.chooserAnswers = {std::u16string(300, u'a')};
    d.OnClick(260, 165);
    EXPECT_EQ(state.g_nActionRow(), kNoHit);
    EXPECT_TRUE(state.g_szActionPath().empty());
}

TEST_F(KeymapLogicTest, AnotherRowWithoutPathKeepsTheStoredAction)
{
    std::uint8_t* e = E(kKeyA);
    e[entry::Kind] = kind::PlaySound;
    e[entry::Path] = 'x';
    e[entry::Path + 2] = 'y';
    std::array<std::uint8_t, kKeyEntrySize> before;
    std::copy_n(e, kKeyEntrySize, before.begin());

    auto& d = Open(kKeyA);
    EXPECT_EQ(d.tab(), keymap_tab::Advance);
    EXPECT_EQ(state.g_szActionPath(), u"xy");
    d.OnClick(20, 105);  // radio of row 1: the path is gone, no program chosen
    EXPECT_TRUE(state.g_szActionPath().empty());
    d.OnClick(280, 255);
    EXPECT_EQ(view.ended, true);
    EXPECT_EQ(state.g_nPendingKind(), kind::None);  // nothing to apply
    EXPECT_TRUE(std::equal(before.begin(), before.end(), e));

    // Opened on the same key, Save alone applies the stored action again.
    Open(kKeyA);
    logic->OnClick(280, 255);
    EXPECT_EQ(state.g_nPendingKind(), kind::PlaySound);
    EXPECT_EQ(state.g_szActionPath(), u"xy");
}

TEST_F(KeymapLogicTest, CancelPutsBackWhatTabSwitchesCleared)
{
    std::uint8_t* e = E(kKeyA);
    e[entry::Kind] = kind::Combination;
    e[entry::Data] = 0xA2;
    e[entry::Data + 1] = 0x43;
    e[entry::Count] = 2;
    std::array<std::uint8_t, kKeyEntrySize> before;
    std::copy_n(e, kKeyEntrySize, before.begin());

    auto& d = Open(kKeyA);
    d.OnClick(120, 40);  // Macro
    d.OnClick(20, 40);   // Single/Combine from another tab: clears the entry
    EXPECT_EQ(e[entry::Kind], 0);
    EXPECT_EQ(e[entry::Data], 0);
    d.OnClick(300, 40);  // Advance
    EXPECT_EQ(e[entry::Kind], kind::None);
    d.OnClick(230, 255);  // Cancel
    EXPECT_EQ(view.ended, false);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), e));
    EXPECT_EQ(state.g_nKeyCount(), 0);

    // The close button and a close request cancel the same way.
    Open(kKeyA);
    logic->OnClick(300, 40);
    logic->OnClick(310, 10);
    EXPECT_EQ(view.ended, false);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), e));
    Open(kKeyA);
    logic->OnClick(300, 40);
    logic->OnCloseRequest();
    EXPECT_TRUE(std::equal(before.begin(), before.end(), e));
}

TEST_F(KeymapLogicTest, SingleKeyAfterATabSwitchSavesOneCode)
{
    std::uint8_t* e = E(kKeyA);
    e[entry::Kind] = kind::Combination;
    e[entry::Data] = 0xA2;
    e[entry::Data + 1] = 0xA0;
    e[entry::Data + 2] = 0x43;
    e[entry::Count] = 3;
    auto& d = Open(kKeyA);
    d.OnClick(120, 40);
    d.OnClick(20, 40);
    // No focus event came (the box had it already); the buffer must be clean.
    d.OnKeystroke(0x44);
    d.OnClick(280, 255);
    EXPECT_EQ(state.g_nPendingKind(), kind::Single);
    EXPECT_EQ(state.g_nKeyCount(), 1);
    EXPECT_EQ(state.g_abKeyBuf()[1], 0);
}

TEST_F(KeymapLogicTest, DefaultEndsWithOkAndCount255)
{
    auto& d = Open(kKeyA);
    d.OnClick(170, 250);
    EXPECT_EQ(view.ended, true);
    EXPECT_EQ(state.g_nKeyCount(), kDefaultKeyCount);
}

TEST_F(KeymapLogicTest, HoverHighlightsOneButtonAndTheBrowseButton)
{
    auto& d = Open(kKeyA);
    EXPECT_TRUE(d.OnMouseMove(170, 250));
    EXPECT_EQ(d.buttons()[b::Default].state, 1);
    EXPECT_FALSE(d.OnMouseMove(171, 250));
    EXPECT_TRUE(d.OnMouseMove(310, 10));  // straight onto another button
    EXPECT_EQ(d.buttons()[b::Default].state, 0);
    EXPECT_EQ(d.buttons()[b::Close].state, 1);
    d.OnClick(24, 255);  // toggle on
    EXPECT_TRUE(d.OnMouseMove(24, 255));
    EXPECT_TRUE(d.OnMouseMove(100, 100));
    EXPECT_EQ(d.buttons()[b::Close].state, 0);
    EXPECT_EQ(d.buttons()[b::Toggle].state, 1);  // hover never changes the toggle

    EXPECT_EQ(d.hoveredBrowseRow(), -1);
    d.OnClick(300, 40);
    EXPECT_TRUE(d.OnMouseMove(270, 130));
    EXPECT_EQ(d.hoveredBrowseRow(), 2);
    EXPECT_TRUE(d.OnMouseMove(200, 130));
    EXPECT_EQ(d.hoveredBrowseRow(), -1);
}

TEST_F(KeymapLogicTest, SecondModelKeepsAnAdvancedAssignment)
{
    std::uint8_t* e = E(kKeyCaps);
    e[entry::Kind] = kind::OpenFolder;
    const std::u16string path = u"/home/user/Music";
    for (std::size_t i = 0; i < path.size(); ++i) e[entry::Path + 2 * i] = static_cast<std::uint8_t>(path[i]);
    auto& d = Open(kKeyCaps, true);
    EXPECT_EQ(d.tab(), keymap_tab::Advance);
    EXPECT_TRUE(d.advancedReadOnly());
    EXPECT_EQ(state.g_nActionRow(), 3);
    EXPECT_EQ(state.g_szActionPath(), path);

    d.OnClick(260, 165);  // where browse would be: nothing opens
    d.OnClick(20, 165);   // nor does the radio clear the path
    d.OnClick(100, 230);
    EXPECT_TRUE(view.chooserRows.empty());
    d.OnClick(280, 255);
    EXPECT_EQ(view.ended, true);
    EXPECT_EQ(state.g_nPendingKind(), kind::OpenFolder);
    EXPECT_EQ(state.g_szActionPath(), path);

    // (300, 40) is the Basic tab on this model.
    Open(kKeyCaps, true);
    logic->OnClick(300, 40);
    EXPECT_EQ(logic->tab(), keymap_tab::Basic);
    EXPECT_FALSE(logic->advancedReadOnly());
}

// --- the dialog's part of a key click, through RunKeyAssignment ------------------

class KeymapRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = tmp.path();
        store = std::make_unique<KeymapStore>(dir / "keymap.bin");
        store->Startup();
        // Every key sends its own code, as a keyboard read at start gives.
        for (int k = 0; k < kKeyCount; ++k)
            store->current().plane(0, g_matrixPosByKey[k]) = KeyCode(g_defaultVkByKey[k]);
        ASSERT_TRUE(store->SaveKeymapFile());
        SetMacroName(macros[0], "m0");
        macros[0].deviceSteps[0] = {0x01, 0x04, 0, 0};
    }
    using Script = std::function<void(KeymapDialogLogic&, FakeView&)>;
    RunResult Click(int key, const Script& script, bool secondModel = false, int language = kLanguageEnglish)
    {
        return RunKeyAssignment(state, *store, macros, key, language, [&](KeyAssignmentState& s, ConfigImage& img) {
            FakeView v;
            KeymapDialogLogic d(v, s, img, macros, language, secondModel);
            d.Init();
            d.SetHookInstalled(true);
            script(d, v);
            return d.result().value_or(false);
        });
    }
    ConfigImage FileImage()
    {
        KeymapStore other(store->file());
        EXPECT_TRUE(other.LoadKeymapFile());
        return other.current();
    }
    std::array<std::uint8_t, 4> Planes(const ConfigImage& img, int key)
    {
        std::size_t pos = g_matrixPosByKey[static_cast<std::size_t>(key)];
        return {img.plane(0, pos), img.plane(1, pos), img.plane(2, pos), img.plane(3, pos)};
    }

    zr417::test::TempDir tmp{"keydlg"};
    fs::path dir;
    std::unique_ptr<KeymapStore> store;
    MacroTable macros;
    KeyAssignmentState state;
};

TEST_F(KeymapRunTest, NextIsPreselectedAfterReopening)
{
    auto r = Click(kKeyA, [](KeymapDialogLogic& d, FakeView& v) {
        d.OnClick(200, 40);
        v.treeItem = TreeItemOf("Next");
        d.OnClick(280, 255);
    });
    ASSERT_EQ(r, RunResult::Applied);
    EXPECT_EQ(store->current().entry(kKeyA)[entry::Vk], 0xB0);  // loading refreshes byte 0
    ConfigImage file = FileImage();
    const std::uint8_t* e = file.entry(kKeyA);
    EXPECT_EQ(e[entry::Kind], kind::Basic);
    EXPECT_EQ(e[entry::Data + 2], 0xB5);
    EXPECT_EQ(Planes(file, kKeyA)[0], 0xE8);

    state.SetFunction({});
    int preselected = -2;
    Click(kKeyA, [&](KeymapDialogLogic& d, FakeView& v) {
        preselected = v.treeItem;
        EXPECT_EQ(d.tab(), keymap_tab::Basic);
        d.OnClick(230, 255);
    });
    EXPECT_EQ(preselected, TreeItemOf("Next"));
}

TEST_F(KeymapRunTest, CombinationLeavesBAloneInFileAndPlanes)
{
    auto r = Click(kKeyA, [](KeymapDialogLogic& d, FakeView&) {
        d.OnBoxFocus(KeyBox::Combine);
        for (std::uint8_t vk : {0xA2, 0xA0, 0x41, 0x42}) d.OnKeystroke(vk);
        d.OnClick(280, 255);
    });
    ASSERT_EQ(r, RunResult::Applied);
    ConfigImage file = FileImage();
    const std::uint8_t* e = file.entry(kKeyA);
    EXPECT_EQ(e[entry::Kind], kind::Combination);
    EXPECT_EQ(e[entry::Count], 1);
    EXPECT_EQ(e[entry::Data], 0x42);
    EXPECT_EQ(e[entry::Data + 1], 0);
    EXPECT_EQ(Planes(file, kKeyA), (std::array<std::uint8_t, 4>{0x05, 1, 0, 0}));
}

TEST_F(KeymapRunTest, CancelAfterTabSwitchLeavesMemoryAndFileAlone)
{
    Click(kKeyA, [](KeymapDialogLogic& d, FakeView&) {
        d.OnBoxFocus(KeyBox::Single);
        d.OnKeystroke(0x42);
        d.OnClick(280, 255);
    });
    ConfigImage saved = store->current();
    auto r = Click(kKeyA, [](KeymapDialogLogic& d, FakeView&) {
        d.OnClick(300, 40);
        d.OnClick(230, 255);
    });
    EXPECT_EQ(r, RunResult::Cancelled);
    EXPECT_TRUE(store->current() == saved);
    ASSERT_TRUE(store->SaveKeymapFile());  // a later save of the file keeps the key
    EXPECT_EQ(FileImage().entry(kKeyA)[entry::Data], 0x42);
}

TEST_F(KeymapRunTest, EveryKeyButFnTakesEveryKindThroughTheDialog)
{
    // Key k gets kind k mod 8 (single, combination, macro, Basic, and the
    // four host actions), driven as the user drives the first model's dialog.
    const std::uint8_t sound[] = {0x03, 0x00, 0x23, 0x02};
    for (int k = 0; k < kKeyCount; ++k) {
        if (k == kFnKey) continue;
        const int which = k % 8;
        auto r = Click(k, [&](KeymapDialogLogic& d, FakeView& v) {
            switch (which) {
                case 0:
                    d.OnBoxFocus(KeyBox::Single);
                    d.OnKeystroke(g_defaultVkByKey[k] == 0x42 ? 0x43 : 0x42);
                    break;
                case 1:
                    d.OnBoxFocus(KeyBox::Combine);
                    d.OnKeystroke(0xA2);
                    d.OnKeystroke(0x43);
                    break;
                case 2:
                    d.OnClick(120, 40);
                    v.macroRow = 0;
                    break;
                case 3:
                    d.OnClick(200, 40);
                    v.treeItem = TreeItemOf("Close");
                    break;
                default:
                    d.OnClick(300, 40);
                    v.chooserAnswers = {u"/srv/action" + std::u16string(1, static_cast<char16_t>(u'0' + which))};
                    d.OnClick(270, 75 + 30 * (which - 4));
                    break;
            }
            d.OnClick(280, 255);
        });
        ASSERT_EQ(r, RunResult::Applied) << "key " << k;
        const auto p = Planes(store->current(), k);
        const std::uint8_t* e = store->current().entry(static_cast<std::size_t>(k));
        EXPECT_EQ(state.g_abKeyChanged()[static_cast<std::size_t>(k)], 1) << "key " << k;
        switch (which) {
            case 0:
                EXPECT_EQ(p[1], 0) << k;
                EXPECT_NE(p[0], 0) << k;
                break;
            case 1:
                EXPECT_EQ(p, (std::array<std::uint8_t, 4>{0xE0, 1, 0x06, 0})) << k;
                break;
            case 2:
                EXPECT_EQ(p, (std::array<std::uint8_t, 4>{0, 2, 0, 0})) << k;
                break;
            case 3:
                EXPECT_EQ(p, (std::array<std::uint8_t, 4>{0xE2, 1, 0x3D, 0})) << k;
                break;
            default:
                EXPECT_EQ(p, (std::array<std::uint8_t, 4>{kHostActionCode, 0, 0, 0})) << k;
                EXPECT_EQ(e[entry::Kind], kind::PlaySound + (which - 4)) << k;
                EXPECT_TRUE(std::equal(std::begin(sound), std::end(sound), e + entry::Data)) << k;
                break;
        }
    }
    // Every assignment reached the file.
    ConfigImage file = FileImage();
    for (int k = 0; k < kKeyCount; ++k) {
        if (k != kFnKey) {
            ASSERT_EQ(Planes(file, k), Planes(store->current(), k)) << "key " << k;
        }
    }
}

}  // namespace
}  // namespace zr417
