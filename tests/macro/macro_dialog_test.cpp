// The macro manager window driven as a user drives it: clicks at its fixed
// coordinates, keystrokes through the key hook with their own time stamps,
// the step menu, in-place edits, and a recorded macro travelling to the
// emulated keyboard's macro page.
#include "config/image.h"
#include "controls/skin_names.h"
#include "device/device_link.h"
#include "device/emu/emulated_bus.h"
#include "device/emu/keyboard_emulator.h"
#include "device/protocol.h"
#include "keymap/key_assignment.h"
#include "keymap/key_hook.h"
#include "macro/macro_record_dlg.h"
#include "qt_env.h"
#include "tests/support/temp_dir.h"

#include <QTest>

#include <fstream>
#include <iterator>
#include <memory>

namespace zr417 {
namespace {

namespace fs = std::filesystem;
using testing::MacroQtTest;
using testing::Pump;
using testing::SendKey;

// Client points inside the hot regions.
constexpr QPoint kRecordButton{300, 110};
constexpr QPoint kRecordDelayBox{372, 172};
constexpr QPoint kLoopsBox{300, 320};
constexpr QPoint kNewButton{40, 380};
constexpr QPoint kDeleteButton{100, 380};
constexpr QPoint kOkButton{300, 410};
constexpr QPoint kCancelButton{360, 410};

QString Line(std::uint8_t vk, const char* suffix)
{
    return QString::fromStdString(std::string(KeyName(vk)) + suffix);
}

QStringList Texts(const CTransparentListBox* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->Text(i);
    return out;
}

struct MenuEntry {
    QString text;
    std::vector<MenuEntry> children;
    bool operator==(const MenuEntry&) const = default;
};
std::vector<MenuEntry> Entries(const QMenu& menu)
{
    std::vector<MenuEntry> out;
    for (QAction* a : menu.actions())
        out.push_back({a->text(), a->menu() ? Entries(*a->menu()) : std::vector<MenuEntry>{}});
    return out;
}
// The action with `text` along a path of menu texts.
QAction* Find(const QMenu& menu, const QStringList& path)
{
    for (QAction* a : menu.actions()) {
        if (a->text() != path.front()) continue;
        if (path.size() == 1) return a;
        return a->menu() ? Find(*a->menu(), path.mid(1)) : nullptr;
    }
    return nullptr;
}

class MacroDialogTest : public MacroQtTest {
protected:
    void SetUp() override
    {
        dir_ = tmp_.path();
        paths_ = AppPaths{testing::RuntimeDir(), dir_};
        store_ = std::make_unique<MacroStore>(paths_.macroFile());
    }
    void TearDown() override
    {
        dialog_.reset();
        removehook();
    }

    void Seed(int count)
    {
        MacroTable table = store_->g_macroTable();
        for (int i = 0; i < count; ++i) {
            SetMacroName(table[i], std::string_view("M" + std::to_string(i)));
            table[i].setLoops(1);
        }
        store_->SetMacroTable(table);
    }
    CMacroRecordDlg& Open(int language = kLanguageEnglish)
    {
        MacroManagerSeams seams;
        seams.messageBox = [this](QWidget*, const QString& text, const QString& caption, bool okCancel) {
            messages_.push_back(caption + "|" + text + (okCancel ? "|okcancel" : "|ok"));
            return answerOk_;
        };
        seams.execMenu = [this](QMenu& menu, const QPoint&) -> QAction* {
            ++menusOpened_;
            lastMenu_ = Entries(menu);
            return choice_.isEmpty() ? nullptr : Find(menu, choice_);
        };
        dialog_ = std::make_unique<CMacroRecordDlg>(*store_, language, paths_, nullptr, seams);
        dialog_->show();
        QApplication::setActiveWindow(dialog_.get());
        Pump();
        return *dialog_;
    }
    void Click(QPoint p, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(dialog_.get(), button, {}, p);
        Pump();
    }
    void Key(int qtKey, bool release, quint64 t, bool repeat = false)
    {
        SendKey(dialog_.get(), qtKey, release, t, repeat);
    }
    void Tap(int qtKey, quint64 down, quint64 up)
    {
        Key(qtKey, false, down);
        Key(qtKey, true, up);
    }
    QPoint RowCentre(CTransparentListBox* list, int row) const
    {
        QListWidgetItem* it = list->item(row);
        return it ? list->visualItemRect(it).center() : QPoint(-1, -1);
    }
    void SelectRow(CTransparentListBox* list, int row)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, row));
        Pump();
    }
    void RightClickStepList(QPoint at = {10, 10})
    {
        QTest::mousePress(dialog_->stepList()->viewport(), Qt::RightButton, {}, at);
        QTest::mouseRelease(dialog_->stepList()->viewport(), Qt::RightButton, {}, at);
        Pump();
    }
    void EditRow(CTransparentListBox* list, int row, const QString& typed, Qt::Key end = Qt::Key_Return)
    {
        SelectRow(list, row);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, row));
        Pump();
        ASSERT_NE(list->editor(), nullptr);
        QTest::keyClick(list->editor(), Qt::Key_Backspace);
        QTest::keyClicks(list->editor(), typed);
        QTest::keyClick(list->editor(), end);
        Pump();
    }
    const MacroRecord& Work(int i) const { return store_->g_macroWorkTable()[i]; }

    zr417::test::TempDir tmp_{"macro-ui"};
    fs::path dir_;
    AppPaths paths_;
    std::unique_ptr<MacroStore> store_;
    std::unique_ptr<CMacroRecordDlg> dialog_;
    std::vector<QString> messages_;
    bool answerOk_ = true;
    int menusOpened_ = 0;
    std::vector<MenuEntry> lastMenu_;
    QStringList choice_;
};

// --- recording through the hook ------------------------------------------------------

TEST_F(MacroDialogTest, RecordingWithoutDelaysShowsFourKeyLines)
{
    Seed(1);
    CMacroRecordDlg& dlg = Open();
    ASSERT_EQ(dlg.size(), QSize(400, 430));  // sized to the background picture
    Click(kRecordButton);
    EXPECT_TRUE(dlg.model().recording());
    EXPECT_EQ(hookedWindow(), &dlg);
    Tap(Qt::Key_A, 1000, 1100);
    Tap(Qt::Key_B, 1350, 1400);
    EXPECT_EQ(Texts(dlg.stepList()),
              (QStringList{Line(0x41, " dn"), Line(0x41, " up"), Line(0x42, " dn"), Line(0x42, " up")}));
    EXPECT_EQ(dlg.stepList()->currentRow(), 3);
    Click(kRecordButton);
    EXPECT_EQ(hookedWindow(), nullptr);
    for (int s = 0; s < 4; ++s) EXPECT_EQ(Work(0).deviceSteps[s].delay(), 0);
    Click(kOkButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(StepCount(store_->g_macroTable()[0].deviceSteps), 4);
}

TEST_F(MacroDialogTest, DelaysComeFromTheKeyEventsOwnTimes)
{
    Seed(1);
    CMacroRecordDlg& dlg = Open();
    Click(kRecordDelayBox);
    EXPECT_EQ(dlg.region(CMacroRecordDlg::kRecordDelayBox).state, 1);
    Click(kRecordButton);
    Key(Qt::Key_A, false, 10'000);
    QTest::qWait(30);  // handling time must not count
    Key(Qt::Key_A, true, 10'040);
    Key(Qt::Key_B, false, 10'250);
    Key(Qt::Key_B, true, 10'250 + 120'000);  // two minutes
    EXPECT_EQ(Texts(dlg.stepList()), (QStringList{Line(0x41, " dn"), "40 ms", Line(0x41, " up"), "210 ms",
                                                  Line(0x42, " dn"), "60000 ms", Line(0x42, " up")}));
    EXPECT_EQ(Work(0).deviceSteps[3].delay(), 60000);
    EXPECT_EQ(Work(0).options, 1);
}

TEST_F(MacroDialogTest, AHeldKeyRecordsOnePress)
{
    Seed(1);
    CMacroRecordDlg& dlg = Open();
    Click(kRecordButton);
    Key(Qt::Key_A, false, 100);
    for (int i = 1; i <= 5; ++i) Key(Qt::Key_A, false, 100 + 500 + 33 * i, true);
    Key(Qt::Key_A, true, 900);
    EXPECT_EQ(Texts(dlg.stepList()), (QStringList{Line(0x41, " dn"), Line(0x41, " up")}));
}

TEST_F(MacroDialogTest, AnEditBeginningStopsTheRecording)
{
    Seed(1);
    CMacroRecordDlg& dlg = Open();
    Click(kRecordButton);
    Tap(Qt::Key_A, 0, 10);
    EditRow(dlg.macroList(), 0, "Renamed");
    EXPECT_FALSE(dlg.model().recording());
    EXPECT_EQ(hookedWindow(), nullptr);
    EXPECT_EQ(MacroName(Work(0)), "Renamed");
    Tap(Qt::Key_B, 20, 30);
    EXPECT_EQ(dlg.stepList()->count(), 2);
}

// --- macros, loops, OK and Cancel -----------------------------------------------------------

TEST_F(MacroDialogTest, NewAndDeleteThroughTheButtons)
{
    CMacroRecordDlg& dlg = Open();
    EXPECT_EQ(dlg.macroList()->count(), 0);
    Click(kNewButton);
    Click(kNewButton);
    EXPECT_EQ(Texts(dlg.macroList()), (QStringList{"Macro_001", "Macro_002"}));
    EXPECT_EQ(dlg.macroList()->currentRow(), 1);
    EXPECT_EQ(dlg.loopEdit()->text(), "1");
    EXPECT_FALSE(dlg.loopEdit()->isEnabled());

    answerOk_ = false;
    Click(kDeleteButton);
    EXPECT_EQ(dlg.macroList()->count(), 2);
    answerOk_ = true;
    Click(kDeleteButton);
    EXPECT_EQ(messages_.back(), "Macro Manager|Confirm to delete?|okcancel");
    EXPECT_EQ(Texts(dlg.macroList()), QStringList{"Macro_001"});
    EXPECT_EQ(dlg.macroList()->currentRow(), 0);
    Click(kDeleteButton);
    EXPECT_EQ(dlg.macroList()->count(), 0);
    EXPECT_EQ(dlg.macroList()->currentRow(), -1);
    EXPECT_EQ(dlg.stepList()->count(), 0);
    Click(kDeleteButton);
    EXPECT_EQ(messages_.back(), "Macro Manager|Please select a Macro file to delete\n|ok");
    Click(kRecordButton);
    EXPECT_EQ(messages_.back(), "Macro Manager|Please select a Macro file to record \n|ok");
}

TEST_F(MacroDialogTest, NewWithThirtyTwoMacrosDoesNothing)
{
    Seed(32);
    CMacroRecordDlg& dlg = Open();
    Click(kNewButton);
    EXPECT_EQ(dlg.macroList()->count(), 32);
    EXPECT_EQ(Texts(dlg.macroList()).back(), "M31");
}

TEST_F(MacroDialogTest, TheLoopFieldTakesThreeDigitsAndUncheckingStoresOne)
{
    Seed(1);
    CMacroRecordDlg& dlg = Open();
    EXPECT_FALSE(dlg.loopEdit()->isEnabled());
    Click(kLoopsBox);
    EXPECT_TRUE(dlg.loopEdit()->isEnabled());
    EXPECT_EQ(dlg.region(CMacroRecordDlg::kLoopsBox).state, 1);
    dlg.loopEdit()->selectAll();
    QTest::keyClicks(dlg.loopEdit(), "a4b2x7z9");
    Pump();
    EXPECT_EQ(dlg.loopEdit()->text(), "427");
    EXPECT_EQ(Work(0).loops(), 427);

    Click(kLoopsBox);
    EXPECT_EQ(dlg.loopEdit()->text(), "1");
    EXPECT_FALSE(dlg.loopEdit()->isEnabled());
    Click(kOkButton);
    EXPECT_EQ(store_->g_macroTable()[0].loops(), 1);
}

TEST_F(MacroDialogTest, CancelKeepsTheCommittedTable)
{
    Seed(2);
    const MacroTable before = store_->g_macroTable();
    CMacroRecordDlg& dlg = Open();
    Click(kNewButton);
    Click(kRecordButton);
    Tap(Qt::Key_A, 0, 10);
    Click(kCancelButton);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(hookedWindow(), nullptr);
    EXPECT_EQ(store_->g_macroTable(), before);
}

TEST_F(MacroDialogTest, EnterAndEscapeNeverCloseTheDialog)
{
    Seed(1);
    CMacroRecordDlg& dlg = Open();
    for (QWidget* w :
         {static_cast<QWidget*>(&dlg), static_cast<QWidget*>(dlg.loopEdit()), static_cast<QWidget*>(dlg.macroList())}) {
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(w, key);
            Pump();
            EXPECT_TRUE(dlg.isVisible());
        }
    }
    // Escape in an editor cancels the edit only.
    EditRow(dlg.macroList(), 0, "gone", Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(MacroName(Work(0)), "M0");
}

TEST_F(MacroDialogTest, RenamesReachTheRecordAtOnceAndAnEmptyNameIsRefused)
{
    Seed(2);
    CMacroRecordDlg& dlg = Open();
    EditRow(dlg.macroList(), 1, "Jump");
    EXPECT_EQ(MacroName(Work(1)), "Jump");
    EditRow(dlg.macroList(), 1, "");
    EXPECT_EQ(dlg.macroList()->Text(1), "Jump");
    EXPECT_EQ(MacroName(Work(1)), "Jump");
    Click(kOkButton);
    EXPECT_EQ(MacroNames(store_->g_macroTable()), (std::vector<std::string>{"M0", "Jump"}));
}

// --- the step menu and step editing ------------------------------------------------------------

TEST_F(MacroDialogTest, TheStepMenuSpeaksTheUsersLanguageAndOpensOnlyOverTheStepList)
{
    Seed(1);
    Open(kLanguageEnglish);
    RightClickStepList();
    ASSERT_EQ(menusOpened_, 1);
    const std::vector<MenuEntry> clicks = {{"Down", {}}, {"Up", {}}, {"Click", {}}};
    EXPECT_EQ(lastMenu_, (std::vector<MenuEntry>{
                             {"Insert Before", {}},
                             {"Insert After", {}},
                             {"Insert Mouse Key", {{"Left", clicks}, {"Right", clicks}, {"Middle", clicks}}},
                             {"Insert Delay", {}},
                             {"Delete", {}},
                         }));

    // Elsewhere no menu: the macro list, the background.
    QTest::mouseClick(dialog_->macroList()->viewport(), Qt::RightButton, {}, QPoint(10, 10));
    Click({300, 200}, Qt::RightButton);
    Click({140, 300}, Qt::RightButton);  // just left of the step list
    EXPECT_EQ(menusOpened_, 1);

    Open(kLanguageChinese);
    RightClickStepList();
    const std::vector<MenuEntry> zh = {{"压下", {}}, {"释放", {}}, {"单击", {}}};
    EXPECT_EQ(lastMenu_, (std::vector<MenuEntry>{
                             {"在之前开始录入", {}},
                             {"在之后开始录入", {}},
                             {"插入鼠标按键", {{"左键", zh}, {"右键", zh}, {"中健", zh}}},
                             {"插入延迟", {}},
                             {"删除", {}},
                         }));
}

TEST_F(MacroDialogTest, InsertAfterCapturesATappedKeyAndTheRightClickKeepsTheSelection)
{
    Seed(1);
    CMacroRecordDlg& dlg = Open();
    Click(kRecordButton);
    Tap(Qt::Key_A, 0, 10);
    Click(kRecordButton);
    SelectRow(dlg.stepList(), 1);
    choice_ = {"Insert After"};
    RightClickStepList(RowCentre(dlg.stepList(), 0));  // over another line: the selection stays
    EXPECT_EQ(dlg.stepList()->currentRow(), 1);
    EXPECT_EQ(dlg.model().insertMode(), 0x01);
    EXPECT_EQ(hookedWindow(), &dlg);
    Tap(Qt::Key_B, 20, 30);
    EXPECT_EQ(Texts(dlg.stepList()),
              (QStringList{Line(0x41, " dn"), Line(0x41, " up"), Line(0x42, " dn"), Line(0x42, " up")}));
    EXPECT_EQ(Work(0).deviceSteps[3].flags, 0x81);
    EXPECT_EQ(hookedWindow(), nullptr);

    SelectRow(dlg.stepList(), 0);
    choice_ = {"Insert Before"};
    RightClickStepList();
    Tap(Qt::Key_C, 40, 50);
    EXPECT_EQ(dlg.stepList()->Text(0), Line(0x43, " dn"));
    EXPECT_EQ(dlg.stepList()->Text(1), Line(0x43, " up"));
}

TEST_F(MacroDialogTest, MouseStepsDelaysAndDeletionFromTheMenu)
{
    Seed(1);
    CMacroRecordDlg& dlg = Open();
    Click(kRecordButton);
    Tap(Qt::Key_A, 0, 10);
    Click(kRecordButton);

    SelectRow(dlg.stepList(), 0);
    choice_ = {"Insert Delay"};
    RightClickStepList();
    EXPECT_EQ(Texts(dlg.stepList()), (QStringList{Line(0x41, " dn"), "50 ms", Line(0x41, " up")}));
    // Again on the delay line: the message, nothing else.
    SelectRow(dlg.stepList(), 1);
    RightClickStepList();
    EXPECT_EQ(messages_.back(), "Macro Manager|Please edit current delay\n|ok");

    SelectRow(dlg.stepList(), 1);
    choice_ = {"Insert Mouse Key", "Left", "Click"};
    RightClickStepList();
    EXPECT_EQ(Texts(dlg.stepList()),
              (QStringList{Line(0x41, " dn"), "50 ms", Line(0x41, " up"), "MsLB  dn", "MsLB  up"}));
    EXPECT_EQ(Work(0).deviceSteps[2], (MacroStep{0x01, kMouseLeft}));
    EXPECT_EQ(Work(0).deviceSteps[3], (MacroStep{0x81, kMouseLeft}));

    SelectRow(dlg.stepList(), 4);
    choice_ = {"Insert Mouse Key", "Right", "Click"};
    RightClickStepList();
    EXPECT_EQ(Work(0).deviceSteps[4], (MacroStep{0x00, kMouseRight}));
    EXPECT_EQ(Work(0).deviceSteps[5], (MacroStep{0x80, kMouseRight}));

    SelectRow(dlg.stepList(), 1);
    choice_ = {"Delete"};
    RightClickStepList();
    EXPECT_EQ(dlg.stepList()->Text(1), Line(0x41, " up"));
    EXPECT_EQ(Work(0).deviceSteps[1].delay(), 0);
    EXPECT_EQ(Work(0).deviceSteps[0].flags, 0x01);
    SelectRow(dlg.stepList(), 0);
    RightClickStepList();
    EXPECT_EQ(dlg.stepList()->Text(0), Line(0x41, " up"));
    EXPECT_EQ(Work(0).deviceSteps[0].flags, 0x81);
}

TEST_F(MacroDialogTest, DelaysEditedInPlaceAreKeptInRange)
{
    Seed(1);
    CMacroRecordDlg& dlg = Open();
    Click(kRecordDelayBox);
    Click(kRecordButton);
    Tap(Qt::Key_A, 700, 1000);
    Click(kRecordButton);
    ASSERT_EQ(dlg.stepList()->Text(1), "300 ms");

    EditRow(dlg.stepList(), 1, "1");
    EXPECT_EQ(Work(0).deviceSteps[1].delay(), 2);
    EXPECT_EQ(Work(0).vkSteps[1].delay(), 2);
    EXPECT_EQ(dlg.stepList()->Text(1), "2 ms");
    EditRow(dlg.stepList(), 1, "99999");
    EXPECT_EQ(Work(0).deviceSteps[1].delay(), 60000);
    EditRow(dlg.stepList(), 1, "5", Qt::Key_Escape);
    EXPECT_EQ(Work(0).deviceSteps[1].delay(), 60000);
    EXPECT_EQ(dlg.stepList()->Text(1), "60000 ms");
    EXPECT_TRUE(dlg.isVisible());
}

// --- hot regions --------------------------------------------------------------------------------

TEST_F(MacroDialogTest, HotRegionsIncludeTheirBordersAndLightUpUnderThePointer)
{
    Seed(1);
    CMacroRecordDlg& dlg = Open();
    EXPECT_EQ(dlg.HitTestMacroButton({290, 100}), 0);
    EXPECT_EQ(dlg.HitTestMacroButton({379, 124}), 0);
    EXPECT_EQ(dlg.HitTestMacroButton({380, 124}), -1);
    EXPECT_EQ(dlg.HitTestMacroButton({382, 182}), 1);
    EXPECT_EQ(dlg.HitTestMacroButton({397, 424}), 6);
    EXPECT_EQ(dlg.HitTestMacroButton({138, 380}), -1);

    QTest::mouseMove(&dlg, kNewButton);
    Pump();
    EXPECT_EQ(dlg.region(CMacroRecordDlg::kNew).state, 1);
    QTest::mouseMove(&dlg, kRecordDelayBox);  // check boxes do not light up
    Pump();
    EXPECT_EQ(dlg.region(CMacroRecordDlg::kNew).state, 1);
    QTest::mouseMove(&dlg, kOkButton);
    Pump();
    EXPECT_EQ(dlg.region(CMacroRecordDlg::kNew).state, 0);
    EXPECT_EQ(dlg.region(CMacroRecordDlg::kOk).state, 1);

    // What is drawn: the ticked box and the hovered button's pictures.
    Click(kRecordDelayBox);
    const QImage frame = dlg.RenderFrame();
    const QImage tick = dlg.skins().Image(skins::macro_manager::kPaneTick);
    const QImage over = dlg.skins().Image(skins::macro_manager::kNewOver);
    ASSERT_FALSE(tick.isNull());
    EXPECT_EQ(frame.copy(368, 168, tick.width(), tick.height()), tick.convertToFormat(frame.format()));
    QTest::mouseMove(&dlg, {200, 20});
    Pump();
    EXPECT_EQ(dlg.region(CMacroRecordDlg::kOk).state, 0);
    const QImage plain = dlg.skins().Image(skins::macro_manager::kNewNormal);
    EXPECT_EQ(dlg.RenderFrame().copy(20, 368, 20, 4), plain.copy(0, 0, 20, 4).convertToFormat(frame.format()));
    EXPECT_NE(over.copy(0, 0, 20, 4), plain.copy(0, 0, 20, 4));
}

// --- the way to the keyboard -------------------------------------------------------------------

TEST_F(MacroDialogTest, ARecordedMacroBoundToAKeyReachesTheKeyboardsMacroPage)
{
    CMacroRecordDlg& dlg = Open();
    Click(kNewButton);
    Click(kRecordDelayBox);
    Click(kRecordButton);
    Tap(Qt::Key_A, 5'000, 5'100);          // A up after 100 ms
    Tap(Qt::Key_B, 5'100 + 1'000, 6'109);  // B down after 1 s, up after 9 ms
    Click(kOkButton);
    ASSERT_EQ(dlg.result(), QDialog::Accepted);

    // What the main window does after OK: place, bind, save both files, send.
    ConfigImage image;
    store_->PlaceMacrosInImage(image);
    KeyAssignmentState state;
    state.SelectKey(20);
    state.SetPendingKind(kind::Macro);
    state.SelectMacro(0);
    ASSERT_EQ(ApplyKeyAssignment(state, image, store_->g_macroTable(), kLanguageEnglish), ApplyResult::Applied);
    ASSERT_TRUE(store_->SaveMacroFile());

    emu::EmulatedBus bus;
    auto keyboard = std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity("QV310"));
    bus.plug(keyboard);
    bus.drainEvents();
    auto noPause = [](std::chrono::milliseconds) {};
    DeviceLink link(bus, {}, noPause);
    link.OpenDeviceHandles();
    ASSERT_TRUE(link.connected());
    KeyboardProtocol protocol(link, image, noPause);
    protocol.DownloadAll();
    EXPECT_EQ(protocol.failures(), 0);

    const auto page = keyboard->memory().pages[0];
    EXPECT_EQ(page[0], 0x00);  // loop count 1, big-endian
    EXPECT_EQ(page[1], 0x01);
    const std::uint8_t expected[4][4] = {
        {0x00, KeyCode(0x41), 0, 0},
        {0x80, KeyCode(0x41), 0, 100 / 8 + 1},
        {0x00, KeyCode(0x42), 0, 1000 / 8 + 1},
        {0x80, KeyCode(0x42), 0, 9 / 8 + 1},
    };
    for (int k = 0; k < 4; ++k)
        for (int b = 0; b < 4; ++b) EXPECT_EQ(page[2 + 4 * k + b], expected[k][b]) << k << "," << b;
    EXPECT_EQ(page[2 + 4 * 4 + 1], 0);  // the macro ends there
    // The image keeps milliseconds; the file holds the table.
    EXPECT_EQ(image.settings[settings::MacroSlots + 2 + 4 * 2 + 2], 1000 >> 8);
    std::ifstream in(paths_.macroFile(), std::ios::binary);
    std::vector<char> file(std::istreambuf_iterator<char>(in), {});
    ASSERT_EQ(file.size(), kMacroTableSize);
    EXPECT_EQ(0, std::memcmp(file.data(), &store_->g_macroTable(), kMacroTableSize));
}

}  // namespace
}  // namespace zr417
