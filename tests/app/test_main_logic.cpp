#include "app/main_logic.h"

#include "config/keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>

using namespace zr417;

namespace {

constexpr Model kQV310 = Model::QV310;
constexpr Model kQV420 = Model::QV420;

struct Panel : ::testing::Test {
    std::unique_ptr<ConfigImage> owned = std::make_unique<ConfigImage>();
    ConfigImage& image = *owned;
    PanelState state;

    std::uint8_t at(std::size_t offset) const { return image.at(offset); }
    // y of the middle of effect-list row r.
    static int rowY(int r) { return kEffectListTop + 20 * r + 10; }
};

}  // namespace

TEST_F(Panel, ReportIntervalFollowsTheClickedQuarter)
{
    const std::array<std::pair<int, int>, 5> cases = {{{35, 8}, {90, 4}, {145, 2}, {200, 1}, {247, 1}}};
    for (auto [x, expected] : cases) {
        ASSERT_EQ(MainHitTest(x, 538, 0), kCmdReportInterval) << x;
        ApplyPanelCommand(image, state, kCmdReportInterval, x);
        EXPECT_EQ(at(settings::ReportInterval), expected) << "x = " << x;
    }
}

TEST_F(Panel, StaticWithMulticolourBecomesWhiteOnBothModels)
{
    for (Model model : {kQV310, kQV420}) {
        image.at(settings::ColourIndex) = 0;
        int row = model == kQV310 ? 0 : 1;  // Static
        EffectListClick(image, state, model, 100, rowY(row));
        EXPECT_TRUE(IsStaticEffect(model, at(settings::Effect)));
        EXPECT_EQ(at(settings::ColourIndex), 7) << "model " << static_cast<int>(model);
    }
    // A chosen colour is kept.
    image.at(settings::ColourIndex) = 3;
    EffectListClick(image, state, kQV310, 100, rowY(0));
    EXPECT_EQ(at(settings::ColourIndex), 3);
}

TEST_F(Panel, EffectRowsMapToTheModelsCodes)
{
    EffectListClick(image, state, kQV420, 100, rowY(4));
    EXPECT_EQ(at(settings::Effect), 9) << "Neon exists on the second model";
    EffectListClick(image, state, kQV310, 100, rowY(4));
    EXPECT_EQ(at(settings::Effect), 3) << "Wave on the first model";
    // The bottom edge is one past the last row and picks effect 0.
    image.at(settings::Effect) = 5;
    EffectListClick(image, state, kQV310, 100, 393);
    EXPECT_EQ(at(settings::Effect), 0);
    image.at(settings::Effect) = 5;
    EffectListClick(image, state, kQV420, 100, 493);
    EXPECT_EQ(at(settings::Effect), 0);
    // Outside the list only closes it.
    state.effectListOpen = true;
    image.at(settings::Effect) = 5;
    EffectListClick(image, state, kQV310, 100, 394);
    EXPECT_EQ(at(settings::Effect), 5);
    EXPECT_FALSE(state.effectListOpen);
}

TEST_F(Panel, DiyEffectsTurnPerKeyModeOnAndOthersOff)
{
    EffectListClick(image, state, kQV310, 100, rowY(6));
    EXPECT_EQ(at(settings::Effect), 11);
    EXPECT_TRUE(state.perKeyMode);
    EffectListClick(image, state, kQV420, 100, rowY(15));
    EXPECT_EQ(at(settings::Effect), 15);
    EXPECT_TRUE(state.perKeyMode);
    EffectListClick(image, state, kQV420, 100, rowY(2));
    EXPECT_FALSE(state.perKeyMode);
}

TEST_F(Panel, WinLockFollowsGameMode)
{
    ApplyPanelCommand(image, state, kCmdWinLockOn, 0);
    EXPECT_EQ(at(settings::WinLock), 0) << "Win Lock cannot go on while Game Mode is off";
    ApplyPanelCommand(image, state, kCmdGameModeOn, 0);
    EXPECT_EQ(at(settings::GameMode), 1);
    EXPECT_EQ(at(settings::WinLock), 1);
    ApplyPanelCommand(image, state, kCmdWinLockOff, 0);
    EXPECT_EQ(at(settings::WinLock), 0);
    ApplyPanelCommand(image, state, kCmdGameModeOn, 0);
    EXPECT_EQ(at(settings::WinLock), 0) << "Game Mode already on: nothing changes";
    ApplyPanelCommand(image, state, kCmdWinLockOn, 0);
    EXPECT_EQ(at(settings::WinLock), 1);
    ApplyPanelCommand(image, state, kCmdGameModeOff, 0);
    EXPECT_EQ(at(settings::GameMode), 0);
    EXPECT_EQ(at(settings::WinLock), 0);
}

TEST_F(Panel, ColourDirectionAndZoneCommands)
{
    for (int i = 0; i < 8; ++i) {
        int x = 48 + 25 * i - 10;
        int cmd = MainHitTest(x, 233, 0);
        ASSERT_EQ(cmd, kCmdColourFirst + i);
        ApplyPanelCommand(image, state, cmd, x);
        EXPECT_EQ(at(settings::ColourIndex), i == 7 ? 0 : i + 1);
        cmd = MainHitTest(x, 460, 0);
        ASSERT_EQ(cmd, kCmdZoneColourFirst + i);
        ApplyPanelCommand(image, state, cmd, x);
        EXPECT_EQ(at(settings::ZoneColourIndex), i == 7 ? 0 : i + 1);
    }
    const std::array<int, 4> directions = {3, 2, 1, 0};
    for (int i = 0; i < 4; ++i) {
        int cmd = MainHitTest(29 + 50 * i, 205, 0);
        ASSERT_EQ(cmd, kCmdDirectionTop + i);
        ApplyPanelCommand(image, state, cmd, 0);
        EXPECT_EQ(at(settings::Direction), directions[i]);
    }
    ApplyPanelCommand(image, state, MainHitTest(35, 430, 0), 0);
    EXPECT_EQ(at(settings::ZoneDirection), 1);
    ApplyPanelCommand(image, state, MainHitTest(85, 430, 0), 0);
    EXPECT_EQ(at(settings::ZoneDirection), 0);
}

TEST_F(Panel, ZoneListPicksTheModeRow)
{
    ZoneListClick(image, state, kQV310, 100, 404 + 20 * 2 + 5);
    EXPECT_EQ(at(settings::ZoneMode), 2);
    ZoneListClick(image, state, kQV420, 100, 504);
    EXPECT_EQ(at(settings::ZoneMode), 5);
    image.at(settings::ZoneMode) = 1;
    ZoneListClick(image, state, kQV310, 100, 403);
    EXPECT_EQ(at(settings::ZoneMode), 1) << "the top edge is outside the list";
    EXPECT_EQ(ZoneModeName(kQV310, 1, kLanguageEnglish), "Wave");
    EXPECT_EQ(ZoneModeName(kQV420, 0, kLanguageEnglish), "Wave");
    EXPECT_EQ(ZoneModeName(kQV420, 1, kLanguageChinese), "霓虹");
    EXPECT_EQ(ZoneModeName(kQV310, 4, kLanguageEnglish), "");
}

TEST(MainHitTest, OrderOfRegions)
{
    EXPECT_EQ(MainHitTest(940, 10, 0), kCmdHelp);
    EXPECT_EQ(MainHitTest(994, 20, 0), kCmdClose);
    // The Keymap/DIY switch exists only for effects above 10, ahead of the
    // direction buttons it overlaps.
    EXPECT_EQ(MainHitTest(35, 205, 11), kCmdKeymap);
    EXPECT_EQ(MainHitTest(35, 205, 10), kCmdDirectionTop);
    EXPECT_EQ(MainHitTest(135, 205, 12), kCmdDiy);
    EXPECT_EQ(MainHitTest(300, 460, 0), kCmdMacroManager);
    EXPECT_EQ(MainHitTest(565, 463, 0), kCmdGameModeOn);
    EXPECT_EQ(MainHitTest(610, 463, 0), kCmdGameModeOff);
    EXPECT_EQ(MainHitTest(695, 463, 0), kCmdWinLockOn);
    EXPECT_EQ(MainHitTest(740, 463, 0), kCmdWinLockOff);
    EXPECT_EQ(MainHitTest(50, 610, 0), kCmdProfiles);
    EXPECT_EQ(MainHitTest(810, 620, 0), kCmdDefault);
    EXPECT_EQ(MainHitTest(870, 620, 0), kCmdCancel);
    EXPECT_EQ(MainHitTest(950, 620, 0), kCmdSave);
    EXPECT_EQ(MainHitTest(100, 390, 0), kCmdZoneList);
    EXPECT_EQ(MainHitTest(100, 60, 0), kCmdLogo);
    EXPECT_EQ(MainHitTest(700, 300, 0), kCmdNone);
    // Colour cells: x in [c - 20, c], strictly between 222 and 244.
    EXPECT_EQ(MainHitTest(28, 223, 0), kCmdColourFirst);
    EXPECT_EQ(MainHitTest(27, 223, 0), kCmdNone);
    EXPECT_EQ(MainHitTest(28, 222, 0), kCmdNone);
}

TEST(ChangedKeys, MarksNonDefaultKeysButNeverKey100)
{
    auto image = std::make_unique<ConfigImage>();
    for (int k = 0; k < kKeyCount; ++k) image->plane(0, g_matrixPosByKey[k]) = KeyCode(g_defaultVkByKey[k]);
    std::array<std::uint8_t, 255> marks{};
    MarkChangedKeys(*image, marks);
    EXPECT_EQ(std::count(marks.begin(), marks.end(), 1), 0);

    image->plane(0, g_matrixPosByKey[4]) = 0;       // disabled
    image->plane(1, g_matrixPosByKey[10]) = 1;      // combination
    image->plane(0, g_matrixPosByKey[100]) = 0x04;  // key 100 is never marked
    marks[50] = 1;                                  // marks are only set here
    MarkChangedKeys(*image, marks);
    EXPECT_EQ(marks[4], 1);
    EXPECT_EQ(marks[10], 1);
    EXPECT_EQ(marks[50], 1);
    EXPECT_EQ(marks[100], 0);
    EXPECT_EQ(std::count(marks.begin(), marks.end(), 1), 3);
}

TEST(FirmwareVersion, OnlyCharactersFiveAndSevenCount)
{
    const std::string text = "xxxxx2y4zzzz";
    auto v = ParseVersionFile({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    EXPECT_EQ(v.major, 2);
    EXPECT_EQ(v.minor, 4);
    const std::string shortFile = "VER 2.";
    v = ParseVersionFile({reinterpret_cast<const std::uint8_t*>(shortFile.data()), shortFile.size()});
    EXPECT_EQ(v.major, 0);
    EXPECT_EQ(v.minor, 0);
    const std::string letters = "VER  a.b   ";
    v = ParseVersionFile({reinterpret_cast<const std::uint8_t*>(letters.data()), letters.size()});
    EXPECT_EQ(v.major, 0) << "a non-digit must not turn into a huge version";
}

TEST(FirmwareVersion, PromptsOnlyForANewerFile)
{
    FirmwareVersion keyboard{2, 5};
    EXPECT_FALSE(FirmwareUpdatePrompt({2, 4}, keyboard, kLanguageEnglish));
    EXPECT_FALSE(FirmwareUpdatePrompt({2, 5}, keyboard, kLanguageEnglish));
    EXPECT_FALSE(FirmwareUpdatePrompt({0, 0}, keyboard, kLanguageEnglish));
    auto major = FirmwareUpdatePrompt({3, 0}, keyboard, kLanguageEnglish);
    ASSERT_TRUE(major);
    EXPECT_EQ(major->text, "Update new firmware?");
    EXPECT_EQ(major->caption, "Firmware Update");
    auto zhMajor = FirmwareUpdatePrompt({3, 0}, keyboard, kLanguageChinese);
    auto zhMinor = FirmwareUpdatePrompt({2, 6}, keyboard, kLanguageChinese);
    ASSERT_TRUE(zhMajor && zhMinor);
    EXPECT_EQ(zhMajor->text, "更新到新的固件吗？");
    EXPECT_EQ(zhMinor->text, "更新到新的固件吗?");
    EXPECT_EQ(zhMinor->caption, "固件更新");
}

TEST_F(Panel, LayoutFollowsEffectZoneModeAndOpenLists)
{
    image.at(settings::Effect) = 3;  // Wave on the first model
    PanelLayout l = ComputePanelLayout(image, state, kQV310);
    EXPECT_TRUE(l.directions);
    EXPECT_FALSE(l.colourCells);
    EXPECT_TRUE(l.speed);
    EXPECT_FALSE(l.keymapSwitch);
    // The same code is Ripple on the second model: colour cells, no directions.
    l = ComputePanelLayout(image, state, kQV420);
    EXPECT_FALSE(l.directions);
    EXPECT_TRUE(l.colourCells);

    image.at(settings::Effect) = 8;  // Static on the second model: no speed
    EXPECT_FALSE(ComputePanelLayout(image, state, kQV420).speed);
    image.at(settings::Effect) = 12;
    l = ComputePanelLayout(image, state, kQV420);
    EXPECT_TRUE(l.keymapSwitch);
    EXPECT_FALSE(l.speed);
    EXPECT_FALSE(l.colourCells);

    // Second zone by mode (low four bits).
    struct Case {
        Model model;
        std::uint8_t mode;
        bool directions, cells, brightness, speed;
    };
    for (Case c : {Case{kQV310, 0, false, false, false, false}, Case{kQV310, 1, true, false, true, true},
                   Case{kQV310, 2, false, true, true, false}, Case{kQV310, 0x13, false, true, true, true},
                   Case{kQV420, 0, true, false, false, false}, Case{kQV420, 4, false, false, false, false}}) {
        image.at(settings::ZoneMode) = c.mode;
        l = ComputePanelLayout(image, state, c.model);
        EXPECT_EQ(l.zoneDirections, c.directions) << static_cast<int>(c.model) << "/" << int(c.mode);
        EXPECT_EQ(l.zoneColourCells, c.cells) << static_cast<int>(c.model) << "/" << int(c.mode);
        EXPECT_EQ(l.sliderVisible(kSliderZoneBrightness), c.brightness)
            << static_cast<int>(c.model) << "/" << int(c.mode);
        EXPECT_EQ(l.sliderVisible(kSliderZoneSpeed), c.speed) << static_cast<int>(c.model) << "/" << int(c.mode);
    }

    // An open list hides the sliders it is drawn over.
    image.at(settings::Effect) = 1;
    image.at(settings::ZoneMode) = 3;
    state.effectListOpen = true;
    l = ComputePanelLayout(image, state, kQV420);
    for (int id : {kSliderBrightness, kSliderSpeed, kSliderZoneBrightness, kSliderZoneSpeed, kSliderHidden})
        EXPECT_FALSE(l.sliderVisible(id)) << id;
    state.effectListOpen = false;
    state.zoneListOpen = true;
    l = ComputePanelLayout(image, state, kQV420);
    EXPECT_TRUE(l.sliderVisible(kSliderBrightness));
    EXPECT_FALSE(l.sliderVisible(kSliderZoneBrightness));
}

TEST_F(Panel, SaveCopiesPlainSliderPositions)
{
    CopySliderToImage(image, kSliderBrightness, 4);
    CopySliderToImage(image, kSliderSpeed, 6);
    CopySliderToImage(image, kSliderZoneBrightness, 2);
    CopySliderToImage(image, kSliderZoneSpeed, 3);
    CopySliderToImage(image, kSliderHidden, 3);  // stands for no byte
    EXPECT_EQ(at(settings::Brightness), 4);
    EXPECT_EQ(at(settings::Speed), 6);
    EXPECT_EQ(at(settings::ZoneBrightness), 2);
    EXPECT_EQ(at(settings::ZoneSpeed), 3);
    EXPECT_EQ(at(0), 0);
    ASSERT_NE(FindSlider(kSliderZoneSpeed), nullptr);
    EXPECT_EQ(FindSlider(kSliderZoneSpeed)->maximum, 4);
    EXPECT_EQ(FindSlider(kSliderZoneSpeed)->y, 530);
}

TEST_F(Panel, KeyColoursGoToTheLedPositionOfThePicturePage)
{
    // DIY2 (effect 12): picture page 1; Esc (key 0) at LED 0, F1 (key 1) at LED 2.
    auto page = PicturePageOf(12);
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(*page, 1);
    SetKeyColour(image, *page, 0, {0xFF, 0, 0});
    EXPECT_EQ(at(settings::PicturePages + 513 + 1 + 0), 0xFF);
    EXPECT_EQ(at(settings::PicturePages + 513 + 129 + 0), 0);
    SetKeyColour(image, *page, 1, {1, 2, 3});
    EXPECT_EQ(at(settings::PicturePages + 513 + 1 + 2), 1);
    EXPECT_EQ(at(settings::PicturePages + 513 + 129 + 2), 2);
    EXPECT_EQ(at(settings::PicturePages + 513 + 257 + 2), 3);
    EXPECT_EQ(at(settings::PicturePages + 513 + 1 + 1), 0);
    EXPECT_EQ(KeyColour(image, *page, 1), (Rgb{1, 2, 3}));
    // Black is an unlit key again.
    SetKeyColour(image, *page, 1, {0, 0, 0});
    EXPECT_EQ(KeyColour(image, *page, 1), (Rgb{0, 0, 0}));
}

TEST_F(Panel, OnlyTheFiveDiyEffectsHaveAPicture)
{
    // A keyboard may report any effect byte; a code past DIY5 must never
    // address memory beyond the five pages.
    EXPECT_FALSE(PicturePageOf(10).has_value());
    EXPECT_EQ(PicturePageOf(11), 0);
    EXPECT_EQ(PicturePageOf(15), 4);
    EXPECT_FALSE(PicturePageOf(16).has_value());
    EXPECT_FALSE(PicturePageOf(255).has_value());
    ConfigImage before = image;
    SetKeyColour(image, 5, 103, {9, 9, 9});
    SetKeyColour(image, 0, 104, {9, 9, 9});
    EXPECT_EQ(image, before);
}

TEST(HelpMenu, RowsAndEdges)
{
    EXPECT_EQ(HelpMenuRow(830, 22), 0);
    EXPECT_EQ(HelpMenuRow(996, 46), 0);
    EXPECT_EQ(HelpMenuRow(900, 47), 1);
    EXPECT_EQ(HelpMenuRow(900, 99), 3);
    EXPECT_EQ(HelpMenuRow(829, 30), -1);
    EXPECT_EQ(HelpMenuRow(900, 100), -1);
    EXPECT_EQ(HelpMenuRow(997, 30), -1);
}

TEST(ZoneList, HoverRowsStayOnTheModelsRows)
{
    EXPECT_EQ(ZoneListHoverRow(kQV310, 100, 404), 0);
    EXPECT_EQ(ZoneListHoverRow(kQV310, 100, 483), 3);
    EXPECT_EQ(ZoneListHoverRow(kQV310, 100, 484), 3) << "the bottom edge is the last row";
    EXPECT_EQ(ZoneListHoverRow(kQV310, 100, 485), -1);
    EXPECT_EQ(ZoneListHoverRow(kQV420, 100, 503), 4);
    EXPECT_EQ(ZoneListHoverRow(kQV420, 20, 450), -1);
}

TEST(Texts, BothLanguagesOfTheWindowsFixedTexts)
{
    EXPECT_EQ(texts::kProfile.in(kLanguageChinese), "配置");
    EXPECT_EQ(texts::kProfile.in(kLanguageEnglish), "Profile");
    EXPECT_EQ(texts::kExit.in(kLanguageChinese), "退出");
    EXPECT_EQ(texts::kResetText.in(kLanguageEnglish), "Confirm to return Factory Setting?");
    EXPECT_EQ(texts::kWinLock.in(kLanguageChinese), "Win Lock模式");
    EXPECT_EQ(texts::kSave.in(0), "Save") << "any language but Chinese is English";
}
