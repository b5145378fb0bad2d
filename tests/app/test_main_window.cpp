// The main window driven by mouse events at its fixed coordinates, against
// the keyboard emulator: commands, Save and factory reset, refresh marks, the
// lighting panel of both models, per-key colours, firmware prompts, closing,
// plugging, host actions.
#include "tests/app/main_window_fixture.h"

#include "app/profile_commands.h"
#include "app/profile_requests.h"
#include "device/protocol.h"
#include "platform/autostart.h"

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QTimer>
#include "controls/bit_slider.h"

#include <sys/stat.h>

using namespace zr417;
using namespace zr417::test;
using Memory = emu::KeyboardEmulator::Memory;

namespace {

// Effect-list rows.
constexpr int kRowStatic310 = 0, kRowWave310 = 4, kRowDiy1_310 = 6;
constexpr int kRowStatic420 = 1, kRowNeon420 = 4, kRowWave420 = 6;

}  // namespace

TEST_F(MainWindowTest, StartupReadsTheKeyboardAndSavesKeymapBin)
{
    auto kb = plugKeyboard("QV420");
    Memory m = kb->memory();
    m.groups[0] = {3, 0x53, 0, 7, 4, 2, 5, 1};  // Breathing, brightness 4, speed 2, magenta
    m.groups[6] = {3, 0x53, 6, 1, 2, 3, 6, 1};
    kb->setMemory(m);
    start();
    EXPECT_EQ(dlg->model(), kModelQV420);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(at(settings::Effect), 7);
    EXPECT_EQ(at(settings::GameMode), 1) << "the start-up read-out forces Game Mode on";
    EXPECT_EQ(dlg->slider(kSliderBrightness)->value(), 4);
    EXPECT_EQ(dlg->slider(kSliderSpeed)->value(), 2);
    EXPECT_EQ(dlg->slider(kSliderZoneBrightness)->value(), 2);
    EXPECT_EQ(dlg->slider(kSliderZoneSpeed)->value(), 3);
    EXPECT_FALSE(dlg->slider(kSliderHidden)->isVisible());
    EXPECT_EQ(keymapFile(), bytesOf(image())) << "the refresh writes the working image";
    EXPECT_TRUE(std::filesystem::exists(dataDir() / "MacroDefine.bin"));
}

TEST_F(MainWindowTest, TitleButtonsHelpMenuAndCancel)
{
    plugKeyboard();
    start();
    click(944, 12);  // help
    EXPECT_TRUE(dlg->panel().helpOpen);
    click(900, 30);  // row 0: our home page
    EXPECT_FALSE(dlg->panel().helpOpen);
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_TRUE(desktop.opened[0].isLocalFile());
    EXPECT_TRUE(desktop.opened[0].toLocalFile().endsWith("home/index.html"));

    click(944, 12);
    click(900, 55);  // row 1: the update tool, detached, in its folder
    ASSERT_EQ(desktop.started.size(), 1u);
    EXPECT_EQ(desktop.started[0].first.toStdString(),
              (exeDir() / "QV310" / "ZR417 RGB Gaming Keyboard_Update").string());
    EXPECT_EQ(desktop.started[0].second.toStdString(), (exeDir() / "QV310").string());

    click(944, 12);
    click(500, 300);  // elsewhere: only closes the menu
    EXPECT_FALSE(dlg->panel().helpOpen);
    EXPECT_EQ(desktop.started.size(), 1u);
    EXPECT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(dialogs.keyCalls, 0) << "a click that closes a pop-up does nothing else";

    click(965, 12);  // minimise = hide to the tray
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(dlg->ended());
    dlg->OnTrayActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(dlg->isVisible()) << "double-click with the keyboard connected shows the window";
    click(890, 620);  // Cancel hides too
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(MainWindowTest, SaveSendsTheImageAndTheKeyboardHoldsIt)
{
    auto kb = plugKeyboard("QV310");
    start();
    chooseEffectRow(kRowWave310);
    click(30 + 50 * 2 + 10, 205);  // direction left
    EXPECT_EQ(at(settings::Direction), 1);
    dlg->slider(kSliderBrightness)->setValue(2);
    dlg->slider(kSliderSpeed)->setValue(5);
    click(565, 463);          // Game Mode on (already on after the read-out)
    click(40, 396);           // second-zone list
    click(100, zoneRowY(3));  // Breathing: colour cells and both sliders
    EXPECT_EQ(at(settings::ZoneMode), 3);
    click(48 + 25 * 3 - 10, 460);  // zone colour 4 (blue)
    EXPECT_EQ(at(settings::ZoneColourIndex), 4);
    dlg->slider(kSliderZoneBrightness)->setValue(1);
    dlg->slider(kSliderZoneSpeed)->setValue(3);
    EXPECT_NE(kb->memory().groups[0][3], 3) << "nothing is sent before Save";

    click(950, 620);  // Save
    Memory m = kb->memory();
    EXPECT_EQ(m.groups[0], (std::array<std::uint8_t, 8>{3, 0x53, 0, 3, 2, 5, image().at(settings::ColourIndex), 1}));
    EXPECT_EQ(m.groups[6], (std::array<std::uint8_t, 8>{3, 0x53, 6, 3, 1, 3, 4, image().at(settings::ZoneDirection)}));
    EXPECT_TRUE(std::equal(m.matrix.begin(), m.matrix.end(), image().settings.begin() + settings::KeyMatrix + 1));
    EXPECT_EQ(dlg->store().saved(), image()) << "Save commits the saved image";
    EXPECT_EQ(keymapFile(), bytesOf(image()));
}

TEST_F(MainWindowTest, SaveAndFactoryResetWithoutAKeyboardStillWriteKeymapBin)
{
    start();  // no keyboard
    EXPECT_TRUE(dlg->hiddenForNoKeyboard());
    EXPECT_FALSE(dlg->isVisible());
    dlg->show();
    click(48 + 25 * 1 - 10, 233);  // colour 2
    click(950, 620);
    EXPECT_EQ(at(settings::ColourIndex), 2);
    EXPECT_EQ(keymapFile(), bytesOf(image()));
    click(830, 620);  // Default, confirmed
    ASSERT_EQ(desktop.questions.size(), 1u);
    EXPECT_EQ(keymapFile(), bytesOf(image()));
}

TEST_F(MainWindowTest, FactoryResetAsksThenResetsTheKeyboardAndClearsTheKeyTable)
{
    auto kb = plugKeyboard("QV310");
    Memory m = kb->memory();
    m.groups[0] = {3, 0x53, 0, 2, 1, 1, 3, 0};
    std::uint16_t pos = g_matrixPosByKey[10];
    m.matrix[pos] = 0x04;  // key 10 sends A
    kb->setMemory(m);
    start(kLanguageChinese);
    EXPECT_EQ(dlg->keyState().g_abKeyChanged()[10], 1);
    image().entry(10)[entry::Kind] = 1;

    desktop.answer = false;
    click(830, 620);
    ASSERT_EQ(desktop.questions.size(), 1u);
    EXPECT_EQ(desktop.questions[0].first.toStdString(), "确认恢复至出厂设置吗？");
    EXPECT_EQ(desktop.questions[0].second.toStdString(), "出厂设置");
    EXPECT_EQ(at(settings::Effect), 2) << "Cancel changes nothing";

    desktop.answer = true;
    click(830, 620);
    EXPECT_EQ(kb->memory().groups[0][3], 0) << "the keyboard is back to Static";
    EXPECT_EQ(at(settings::Effect), 0);
    EXPECT_EQ(at(settings::ColourIndex), 7);
    EXPECT_EQ(image().plane(0, pos), KeyCode(g_defaultVkByKey[10]));
    EXPECT_EQ(image().entry(10)[entry::Kind], 0) << "the key table is cleared";
    EXPECT_EQ(image().entry(10)[entry::Vk], g_defaultVkByKey[10]) << "with its key codes refreshed";
    EXPECT_EQ(dlg->keyState().g_abKeyChanged()[10], 0);
    EXPECT_EQ(dlg->store().saved(), image());
    EXPECT_EQ(keymapFile(), bytesOf(image()));
}

TEST_F(MainWindowTest, RefreshMarksChangedKeysButNeverKey100AndHighlightsThem)
{
    auto kb = plugKeyboard("QV310");
    Memory m = kb->memory();
    m.matrix[g_matrixPosByKey[20]] = 0x05;
    m.matrix[128 + g_matrixPosByKey[30]] = 1;  // plane 1
    m.matrix[g_matrixPosByKey[100]] = 0x04;
    m.matrix[g_matrixPosByKey[kFnKey]] = 0x04;
    kb->setMemory(m);
    start();
    const auto& marks = dlg->keyState().g_abKeyChanged();
    EXPECT_EQ(marks[20], 1);
    EXPECT_EQ(marks[30], 1);
    EXPECT_EQ(marks[100], 0);
    EXPECT_EQ(marks[21], 0);
    EXPECT_EQ(marks[kFnKey], 1) << "Fn is marked";

    move(5, 630);  // off the keyboard: no hover
    QImage shot = dlg->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage lit(QString::fromStdString((exeDir() / "png/english/kb_hl.png").string()));
    QImage plain(QString::fromStdString((exeDir() / "png/english/kb_BK.png").string()));
    ASSERT_FALSE(lit.isNull());
    lit = lit.convertToFormat(QImage::Format_RGB32);
    plain = plain.convertToFormat(QImage::Format_RGB32);
    auto samePixel = [&](const QImage& pic, int key) {
        QPoint c = keyCentre(key);
        return shot.pixel(c) == pic.pixel(c - QPoint(kKeyboardPictureX, kKeyboardPictureY));
    };
    EXPECT_TRUE(samePixel(lit, 20));
    EXPECT_TRUE(samePixel(lit, 30));
    EXPECT_TRUE(samePixel(plain, 21));
    EXPECT_TRUE(samePixel(plain, kFnKey)) << "Fn is never drawn highlighted";
    EXPECT_TRUE(samePixel(plain, 100));
}

// The window keeps the background and the plain keyboard as one picture;
// another model plugged in while it is open must not show the old keyboard.
TEST_F(MainWindowTest, AnotherModelPluggedInShowsItsOwnKeyboardPicture)
{
    plugKeyboard("QV310");
    start();
    move(5, 630);
    const QImage first = dlg->grab().toImage().convertToFormat(QImage::Format_RGB32);
    bus.unplug(port);
    ASSERT_TRUE(Spin([&] { return !dlg->isVisible(); }));
    plugKeyboard("QV420");
    ASSERT_TRUE(Spin([&] { return dlg->isVisible() && dlg->model() == kModelQV420; }));
    ASSERT_GE(dlg->keyState().g_nSelectedKey(), kKeyCount);  // none
    ASSERT_EQ(std::count(dlg->keyState().g_abKeyChanged().begin(), dlg->keyState().g_abKeyChanged().end(), 1), 0);
    const QImage second = dlg->grab().toImage().convertToFormat(QImage::Format_RGB32);

    auto picture = [&](const char* name) {
        return QImage(QString::fromStdString((exeDir() / "png/english" / name).string()))
            .convertToFormat(QImage::Format_RGB32);
    };
    const QImage qv310 = picture("kb_BK.png"), qv420 = picture("kb_BK_420.png");
    ASSERT_FALSE(qv310.isNull());
    ASSERT_EQ(qv310.size(), qv420.size());
    int differing = 0, wrongBefore = 0, wrongAfter = 0;
    for (int y = 0; y < qv310.height(); ++y)
        for (int x = 0; x < qv310.width(); ++x) {
            if (qv310.pixel(x, y) == qv420.pixel(x, y)) continue;
            ++differing;
            const QPoint at(x + kKeyboardPictureX, y + kKeyboardPictureY);
            wrongBefore += first.pixel(at) != qv310.pixel(x, y);
            wrongAfter += second.pixel(at) != qv420.pixel(x, y);
        }
    ASSERT_GT(differing, 0);
    EXPECT_EQ(wrongBefore, 0);
    EXPECT_EQ(wrongAfter, 0);
}

TEST_F(MainWindowTest, EffectListsOfBothModels)
{
    plugKeyboard("QV420");
    start();
    click(100, 165);
    EXPECT_TRUE(dlg->panel().effectListOpen);
    EXPECT_FALSE(dlg->slider(kSliderSpeed)->isVisible());
    EXPECT_FALSE(dlg->slider(kSliderBrightness)->isVisible());
    move(100, effectRowY(15));
    EXPECT_EQ(dlg->effectListHoverRow(), 15) << "the second model's list has 16 rows";
    click(100, effectRowY(kRowNeon420));
    EXPECT_FALSE(dlg->panel().effectListOpen);
    EXPECT_EQ(at(settings::Effect), 9);
    EXPECT_TRUE(dlg->slider(kSliderBrightness)->isVisible());

    click(48 + 25 * 2 - 10, 233);  // a colour: Neon is still sent as Static with colour 0
    click(950, 620);
    EXPECT_EQ(keyboard->memory().groups[0][3], 8);
    EXPECT_EQ(keyboard->memory().groups[0][6], 0);
    EXPECT_EQ(at(settings::Effect), 8) << "the picture then shows Static";

    chooseEffectRow(kRowWave420);
    EXPECT_EQ(at(settings::Effect), 1);
    click(100, 165);
    click(400, 300);  // outside the list: just closes it
    EXPECT_FALSE(dlg->panel().effectListOpen);
    EXPECT_EQ(at(settings::Effect), 1);
}

TEST_F(MainWindowTest, FirstModelListHasElevenRowsAndStaticTurnsMulticolourWhite)
{
    plugKeyboard("QV310");
    start();
    click(100, 165);
    move(100, effectRowY(12));
    EXPECT_EQ(dlg->effectListHoverRow(), -1) << "below the eleventh row of the first model";
    move(100, effectRowY(3));
    EXPECT_EQ(dlg->effectListHoverRow(), 3);
    click(100, effectRowY(1));
    EXPECT_EQ(at(settings::Effect), 2);  // Racing
    EXPECT_TRUE(dlg->slider(kSliderSpeed)->isVisible());

    click(203 + 10, 233);  // multicolour cell
    EXPECT_EQ(at(settings::ColourIndex), 0);
    chooseEffectRow(kRowStatic310);
    EXPECT_EQ(at(settings::Effect), 0);
    EXPECT_EQ(at(settings::ColourIndex), 7);
    EXPECT_FALSE(dlg->slider(kSliderSpeed)->isVisible()) << "Static has no speed";
}

TEST_F(MainWindowTest, GameModeAndWinLockRules)
{
    plugKeyboard();
    start();
    click(610, 463);  // Game Mode off: Win Lock off too
    EXPECT_EQ(at(settings::GameMode), 0);
    EXPECT_EQ(at(settings::WinLock), 0);
    click(695, 463);  // Win Lock on refused while Game Mode is off
    EXPECT_EQ(at(settings::WinLock), 0);
    click(565, 463);  // Game Mode on: Win Lock on
    EXPECT_EQ(at(settings::GameMode), 1);
    EXPECT_EQ(at(settings::WinLock), 1);
    click(742, 463);
    EXPECT_EQ(at(settings::WinLock), 0);
    click(695, 463);
    EXPECT_EQ(at(settings::WinLock), 1);
}

TEST_F(MainWindowTest, ReportIntervalByQuarter)
{
    plugKeyboard();
    start();
    for (auto [x, v] : {std::pair{35, 8}, {90, 4}, {145, 2}, {200, 1}}) {
        click(x, 538);
        EXPECT_EQ(at(settings::ReportInterval), v) << "x = " << x;
    }
}

TEST_F(MainWindowTest, DiyTurnsPerKeyModeOnAndKeyClicksPaintColours)
{
    plugKeyboard("QV310");
    start();
    chooseEffectRow(kRowDiy1_310);
    EXPECT_EQ(at(settings::Effect), 11);
    EXPECT_TRUE(dlg->panel().perKeyMode);
    EXPECT_FALSE(dlg->slider(kSliderSpeed)->isVisible());

    desktop.colour = QColor(255, 0, 0);
    clickKey(1);  // F1: LED position 2
    ASSERT_EQ(desktop.colourInitials.size(), 1u);
    EXPECT_EQ(desktop.colourInitials[0], QColor(0, 0, 0)) << "the dialog starts at black";
    const std::size_t page = settings::PicturePages;
    EXPECT_EQ(at(page + 1 + 2), 255);
    EXPECT_EQ(at(page + 129 + 2), 0);
    EXPECT_EQ(at(page + 1 + 1), 0) << "not LED position 1";
    EXPECT_EQ(dialogs.keyCalls, 0) << "no key assignment in per-key mode";

    desktop.colour = QColor(10, 20, 30);
    clickKey(kFnKey);  // Fn can be painted
    std::size_t fnLed = g_ledPosByKey[kFnKey] & 0xFF;
    EXPECT_EQ(at(page + 1 + fnLed), 10);
    EXPECT_EQ(at(page + 129 + fnLed), 20);
    EXPECT_EQ(at(page + 257 + fnLed), 30);

    desktop.colour.reset();  // Cancel
    clickKey(1);
    EXPECT_EQ(at(page + 1 + 2), 255);

    // The painted key is filled with its colour.
    QImage shot = dlg->grab().toImage();
    const KeyRect& r = g_keyRectByKey[1];
    EXPECT_EQ(QColor(shot.pixel(r.left + kKeyboardPictureX + 1, r.top + kKeyboardPictureY + 1)), QColor(255, 0, 0));

    click(35, 207);  // Keymap: per-key mode off, key clicks assign again
    EXPECT_FALSE(dlg->panel().perKeyMode);
    clickKey(1);
    EXPECT_EQ(dialogs.keyCalls, 1);
    EXPECT_EQ(dialogs.lastKey, 1);
    click(137, 207);  // DIY
    EXPECT_TRUE(dlg->panel().perKeyMode);
}

TEST_F(MainWindowTest, KeyClickRunsTheAssignmentDialogAndHighlightsTheKey)
{
    plugKeyboard("QV420");
    start();
    dialogs.onKey = [](KeyAssignmentState& s, ConfigImage&) {
        s.SetPendingKind(kind::Single);
        s.SetKeys({0x41});  // 'A'
        return true;
    };
    clickKey(5);
    EXPECT_EQ(dialogs.keyCalls, 1);
    EXPECT_EQ(dialogs.lastModel, kModelQV420);
    EXPECT_EQ(dlg->keyState().g_abKeyChanged()[5], 1);
    EXPECT_EQ(keymapFile(), bytesOf(image())) << "the assignment saves keymap.bin";
    clickKey(kFnKey);
    EXPECT_EQ(dialogs.keyCalls, 1) << "Fn cannot be picked outside per-key mode";
}

TEST_F(MainWindowTest, MacroManagerOkPlacesMacrosAndWritesBothFiles)
{
    plugKeyboard();
    start();
    auto before = ReadFileBytes(dataDir() / "MacroDefine.bin");
    click(400, 465);
    EXPECT_EQ(dialogs.macroCalls, 1);
    EXPECT_EQ(ReadFileBytes(dataDir() / "MacroDefine.bin"), before) << "Cancel writes nothing";

    dialogs.onMacro = [](const DialogContext& ctx) {
        ctx.macros->BeginWork();
        MacroRecord& r = ctx.macros->EditWorkRecord(0);
        SetMacroName(r, std::string_view("Combo"));
        r.setLoops(3);
        ctx.macros->CommitWork();
        return true;
    };
    click(400, 465);
    EXPECT_EQ(dialogs.macroCalls, 2);
    EXPECT_EQ(at(settings::MacroSlots + 1), 3) << "loop count placed big-endian into slot 0";
    EXPECT_EQ(keymapFile(), bytesOf(image()));
    auto file = ReadFileBytes(dataDir() / "MacroDefine.bin");
    ASSERT_TRUE(file);
    EXPECT_NE(file, before);
}

TEST_F(MainWindowTest, ProfilesRefreshWithoutAskingForFirmware)
{
    auto kb = plugKeyboard();
    kb->setFirmwareVersion(1, 0);
    writeVersionFile("VER.bin", "VER: 2.0  \r\n");
    start();
    ASSERT_EQ(desktop.questions.size(), 1u) << "start-up offers the newer firmware";
    desktop.questions.clear();
    dialogs.onProfile = [](const DialogContext& ctx) { ctx.store->current().at(settings::Brightness) = 3; };
    int refreshes = dlg->refreshCount();
    click(50, 620);
    EXPECT_EQ(dialogs.profileCalls, 1);
    EXPECT_EQ(dlg->refreshCount(), refreshes + 1);
    EXPECT_EQ(dlg->slider(kSliderBrightness)->value(), 3) << "the sliders follow the loaded profile";
    EXPECT_TRUE(desktop.questions.empty()) << "a profile refresh offers no update";
}

TEST_F(MainWindowTest, FirmwarePromptsCompareMajorFirst)
{
    auto kb = plugKeyboard("QV420");
    kb->setFirmwareVersion(2, 5);
    writeVersionFile("VER_420.bin", "VER: 2.4\r\n  ");
    start();
    EXPECT_EQ(dlg->fileVersion().major, 2);
    EXPECT_EQ(dlg->fileVersion().minor, 4);
    EXPECT_TRUE(desktop.questions.empty()) << "2.4 is older than 2.5";

    dlg.reset();
    writeVersionFile("VER_420.bin", "VER: 3.0\r\n  ");
    desktop.answer = true;
    start();
    ASSERT_EQ(desktop.questions.size(), 1u);
    EXPECT_EQ(desktop.questions[0].first.toStdString(), "Update new firmware?");
    EXPECT_EQ(desktop.questions[0].second.toStdString(), "Firmware Update");
    ASSERT_EQ(desktop.started.size(), 1u);
    EXPECT_EQ(desktop.started[0].first.toStdString(),
              (exeDir() / "QV420" / "ZR417 RGB Gaming Keyboard_Update").string());
}

TEST_F(MainWindowTest, MissingOrShortVersionFileOffersNothing)
{
    auto kb = plugKeyboard();
    kb->setFirmwareVersion(0, 0);
    writeVersionFile("VER.bin", "VER:");
    start();
    EXPECT_TRUE(desktop.questions.empty());
    EXPECT_EQ(dlg->fileVersion().major, 0);
}

TEST_F(MainWindowTest, ClosingAfterAnUnsavedChangeKeepsTheSavedImage)
{
    plugKeyboard();
    start();
    ConfigImage saved = dlg->store().saved();
    click(48 + 25 * 4 - 10, 233);  // colour 5, not saved
    click(35, 538);
    ASSERT_NE(image(), saved);
    click(985, 12);  // close
    EXPECT_TRUE(dlg->ended());
    EXPECT_EQ(keymapFile(), bytesOf(saved));
}

TEST_F(MainWindowTest, TrayExitEndsWithoutWritingAndSpeaksTheLanguage)
{
    plugKeyboard();
    start(kLanguageChinese);
    ASSERT_NE(dlg->trayMenu(), nullptr);
    QAction* exit = dlg->trayMenu()->actions().value(dlg->trayMenu()->actions().size() - 1);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->text().toStdString(), "退出");
    auto before = keymapFile();
    click(48 + 25 * 4 - 10, 233);
    exit->trigger();
    EXPECT_TRUE(dlg->ended());
    EXPECT_EQ(keymapFile(), before);
}

TEST_F(MainWindowTest, KeyboardAbsentAtStartComesToLifeWhenPlugged)
{
    start();
    EXPECT_TRUE(dlg->hiddenForNoKeyboard());
    EXPECT_FALSE(dlg->isVisible());
    dlg->OnTrayActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(dlg->isVisible()) << "no keyboard: the balloon, not the window";

    auto kb = plugKeyboard("QV420");
    Memory m = kb->memory();
    m.groups[0] = {3, 0x53, 0, 3, 1, 4, 2, 0};
    kb->setMemory(m);
    ASSERT_TRUE(Spin([&] { return dlg->isVisible(); }));
    EXPECT_TRUE(dlg->link().g_hCommandDev());
    EXPECT_TRUE(dlg->link().listenerRunning());
    EXPECT_EQ(dlg->model(), kModelQV420);
    EXPECT_EQ(at(settings::Effect), 3) << "the arrival read-out filled the image";
    EXPECT_EQ(dlg->slider(kSliderSpeed)->value(), 4);
    EXPECT_GE(dlg->refreshCount(), 1);
}

TEST_F(MainWindowTest, UnpluggingHidesTheWindowAndClosesEveryHandle)
{
    plugKeyboard();
    start();
    ASSERT_TRUE(dlg->isVisible());
    bus.unplug(port);
    ASSERT_TRUE(Spin([&] { return !dlg->isVisible() && !dlg->link().g_hCommandDev(); }));
    EXPECT_FALSE(dlg->link().g_hInputDev());
    EXPECT_FALSE(dlg->ended());

    port = bus.plug(keyboard);  // plugged back: alive again
    ASSERT_TRUE(Spin([&] { return dlg->isVisible() && dlg->link().listenerRunning(); }));
}

TEST_F(MainWindowTest, WithoutATrayHidingMinimisesInstead)
{
    plugKeyboard();
    start(kLanguageEnglish, /*trayAvailable=*/false);
    click(965, 12);
    EXPECT_TRUE(dlg->isVisible()) << "no tray: the window stays reachable";
    EXPECT_TRUE(dlg->isMinimized());
}

TEST_F(MainWindowTest, HostActionKeysOpenTheirTargets)
{
    auto kb = plugKeyboard("QV310");
    // Key 40 (E on the picture) starts a program, key 41 opens a folder, key 42
    // points at a file that is gone.
    auto program = dir.path() / "tools" / "run me";
    std::filesystem::create_directories(program.parent_path());
    std::ofstream(program) << "#!/bin/sh\n";
    ::chmod(program.c_str(), 0755);
    auto folder = dir.path() / "music";
    std::filesystem::create_directories(folder);
    Memory m = kb->memory();
    for (int key : {40, 41, 42}) m.matrix[g_matrixPosByKey[key]] = kHostActionCode;
    kb->setMemory(m);
    start();
    auto setAction = [&](int key, std::uint8_t kindCode, const std::string& path) {
        std::uint8_t* e = image().entry(key);
        e[entry::Kind] = kindCode;
        std::u16string wide = QString::fromStdString(path).toStdU16String();
        for (std::size_t i = 0; i < wide.size(); ++i) {
            e[entry::Path + 2 * i] = static_cast<std::uint8_t>(wide[i] & 0xFF);
            e[entry::Path + 2 * i + 1] = static_cast<std::uint8_t>(wide[i] >> 8);
        }
    };
    setAction(40, kind::StartProgram, program.string());
    setAction(41, kind::OpenFolder, folder.string());
    setAction(42, kind::OpenFile, (dir.path() / "gone.wav").string());

    ASSERT_TRUE(kb->pressKey(g_matrixPosByKey[40]));
    ASSERT_TRUE(Spin([&] { return !desktop.started.empty(); }));
    EXPECT_EQ(desktop.started[0].first.toStdString(), program.string());
    EXPECT_EQ(desktop.started[0].second.toStdString(), program.parent_path().string());

    ASSERT_TRUE(kb->pressKey(g_matrixPosByKey[41]));
    ASSERT_TRUE(Spin([&] { return !desktop.opened.empty(); }));
    EXPECT_EQ(desktop.opened[0], QUrl::fromLocalFile(QString::fromStdString(folder.string())));

    ASSERT_TRUE(kb->pressKey(g_matrixPosByKey[42]));
    Pump(300);
    EXPECT_EQ(desktop.opened.size(), 1u) << "a path that is gone opens nothing";
    EXPECT_EQ(desktop.started.size(), 1u);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(MainWindowTest, MouseMovesRedrawOnlyWhenSomethingChanges)
{
    plugKeyboard();
    start();
    move(5, 630);
    dlg->repaint();
    int composed = dlg->composeCount();
    move(6, 631);  // nothing under the cursor, nothing changes
    move(7, 632);
    Pump(50);
    EXPECT_EQ(dlg->composeCount(), composed);

    QPoint c = keyCentre(20);
    move(c.x(), c.y());  // a key: redraw with its highlight
    EXPECT_EQ(dlg->keyState().g_nSelectedKey(), 20);
    QImage hovered = dlg->grab().toImage().convertToFormat(QImage::Format_RGB32);
    move(5, 630);
    QImage plain = dlg->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_NE(hovered.pixel(c), plain.pixel(c)) << "the hovered key is drawn from the highlighted picture";
}

TEST_F(MainWindowTest, BothLanguagesDrawTheirLabels)
{
    plugKeyboard();
    start(kLanguageEnglish);
    QImage english = dlg->grab().toImage().convertToFormat(QImage::Format_RGB32);
    dlg.reset();
    start(kLanguageChinese);
    QImage chinese = dlg->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(english.size(), QSize(1000, 640));
    // Strongly red pixels: the label's strokes, antialiased over the button.
    auto countRed = [](const QImage& img, QRect area) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                QColor c(img.pixel(x, y));
                n += c.red() > 140 && c.green() < 70 && c.blue() < 70;
            }
        return n;
    };
    // "Profile" / "配置" in red beside the profile button.
    EXPECT_GT(countRed(english, QRect(45, 610, 45, 18)), 5);
    EXPECT_GT(countRed(chinese, QRect(45, 610, 45, 18)), 5);
    // The save label differs between the languages (and is present in both).
    QRect save(930, 610, 45, 20);
    EXPECT_NE(english.copy(save), chinese.copy(save));
    EXPECT_NE(english.copy(QRect(28, 137, 60, 16)), chinese.copy(QRect(28, 137, 60, 16)));
}

namespace zr417::test {
namespace {

// zr417ctl's profile requests as the running program answers them: through
// the window, so the picture, keymap.bin and the keyboard agree.
TEST_F(MainWindowTest, ProfileAppliedFromOutsideReachesWindowKeyboardAndKeymapFileOnce)
{
    auto kb = plugKeyboard();
    start();
    ConfigImage profile = image();
    profile.at(settings::Effect) = 3;
    profile.at(settings::Brightness) = 2;
    profile.at(settings::Speed) = 5;
    profile.entry(7)[entry::Kind] = 5;  // host-only: a program key
    std::filesystem::create_directories(dataDir() / "Configure");
    ASSERT_TRUE(WriteFileAtomic(dataDir() / "Configure" / "Racing.bin", {profile.settings, profile.keyTable}));
    ASSERT_TRUE(WriteFileAtomic(dataDir() / "Configure" / "Cut.bin", std::vector<std::uint8_t>(kImageSize - 1, 1)));

    ProfileRequests requests(*dlg);
    auto ask = [&](const QString& request) {
        std::optional<std::pair<int, std::string>> reply;
        requests.handle(request, [&](int code, const QString& text) { reply.emplace(code, text.toStdString()); });
        EXPECT_TRUE(Spin([&] { return reply.has_value(); }));
        return reply.value_or(std::pair<int, std::string>{-1, ""});
    };

    const int setsBefore = kb->counters().sets;
    auto applied = ask("profile apply Racing");
    EXPECT_EQ(applied.first, profile_exit::kOk) << applied.second;
    EXPECT_EQ(dlg->slider(kSliderBrightness)->value(), 2) << "the window shows the profile";
    EXPECT_EQ(dlg->slider(kSliderSpeed)->value(), 5);
    EXPECT_EQ(kb->memory().groups[0][3], 3) << "the keyboard got its effect";
    EXPECT_EQ(kb->memory().groups[0][4], 2);
    EXPECT_EQ(image().entry(7)[entry::Kind], 5);
    EXPECT_EQ(dlg->store().saved(), image()) << "saved as Save saves";
    EXPECT_EQ(keymapFile(), bytesOf(image()));
    EXPECT_GT(kb->counters().sets, setsBefore);

    // Again: the keyboard holds it, so nothing goes to it.
    const int setsAfter = kb->counters().sets;
    auto again = ask("profile apply Racing");
    EXPECT_EQ(again.first, profile_exit::kOk) << again.second;
    EXPECT_NE(again.second.find("already"), std::string::npos) << again.second;
    EXPECT_EQ(kb->counters().sets, setsAfter);

    // Refused, and nothing changes: an unknown name (the known ones listed),
    // a cut file, and any request while a dialog of the window is open.
    const ConfigImage before = image();
    auto unknown = ask("profile apply Rally");
    EXPECT_EQ(unknown.first, profile_exit::kUnknownProfile);
    EXPECT_NE(unknown.second.find("  Cut\n  Racing\n"), std::string::npos) << unknown.second;
    EXPECT_EQ(ask("profile apply Cut").first, profile_exit::kFileError);
    QDialog modal(dlg.get());
    modal.setModal(true);
    modal.show();
    ASSERT_TRUE(Spin([&] { return QApplication::activeModalWidget() == &modal; }));
    EXPECT_EQ(ask("profile save Racing").first, profile_exit::kBusy);
    modal.hide();
    EXPECT_EQ(image(), before);
    EXPECT_EQ(kb->counters().sets, setsAfter);
    EXPECT_EQ(ask("profile list").second, "Cut\nRacing\n");
}

TEST_F(MainWindowTest, TrayMenuOffersToStartWithTheDesktopInBothLanguages)
{
    TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (config.path() / "system").c_str(), 1);
    for (int language : {kLanguageEnglish, kLanguageChinese}) {
        start(language);
        QAction* item = dlg->trayMenu()->actions().value(0);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->text().toStdString(), language == kLanguageChinese ? "开机启动" : "Start with the desktop");
        EXPECT_TRUE(item->isCheckable());
        EXPECT_FALSE(item->isChecked());
        item->trigger();
        EXPECT_TRUE(item->isChecked());
        EXPECT_TRUE(AutostartEnabled(AutostartFolders::FromEnvironment()));
        item->trigger();
        EXPECT_FALSE(AutostartEnabled(AutostartFolders::FromEnvironment()));
        dlg.reset();
    }
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_CONFIG_DIRS");
}

// A start at login: no splash, and the window stays hidden in the tray
// whether or not a keyboard is there; without a keyboard it stays hidden
// even on a desktop without a tray.
TEST_F(MainWindowTest, StartAtLoginShowsNeitherSplashNorWindow)
{
    for (auto [withKeyboard, tray] : {std::pair{false, true}, {false, false}, {true, true}}) {
        if (withKeyboard) plugKeyboard();
        MainWindowOptions o;
        o.bus = &bus;
        o.paths = AppPaths{exeDir(), dataDir()};
        o.pause = [](std::chrono::milliseconds) {};
        o.dialogs = &dialogs;
        o.desktop = &desktop;
        o.trayAvailable = tray;
        o.splash = false;
        o.startHidden = true;
        dlg = std::make_unique<CKalvexDlg>(std::move(o));
        bool shown = false;
        QTimer poll;
        // Once the start-up read-out is in (or there is no keyboard to read),
        // look, then end through the tray's exit item.
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (withKeyboard && dlg->refreshCount() < 1) return;
            poll.stop();
            shown = dlg->isVisible() || QApplication::activeModalWidget();
            dlg->trayMenu()->actions().last()->trigger();
        });
        poll.start(20);
        dlg->DoModal();
        EXPECT_FALSE(shown) << (withKeyboard ? "with" : "without") << " a keyboard, " << (tray ? "with" : "without")
                            << " a tray";
        dlg.reset();
    }
}

}  // namespace
}  // namespace zr417::test
