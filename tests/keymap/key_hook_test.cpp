#include "keymap/key_hook.h"
#include "config/keys.h"
#include "tests/keymap/evdev_keys.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

namespace zr417 {
namespace {

const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new test::QtAppEnvironment);

struct Stroke {
    std::uint8_t vk;
    bool release;
    bool repeat;
    quint64 timestamp;
    quint32 lParam;
};

// A window that keeps the keystrokes it receives and holds a line edit that
// has the focus.
class StrokeWindow : public QWidget {
public:
    StrokeWindow()
    {
        auto* layout = new QVBoxLayout(this);
        edit = new QLineEdit(this);
        layout->addWidget(edit);
        show();
        activateWindow();
        edit->setFocus();
        QApplication::processEvents();
    }

    std::vector<Stroke> strokes;
    QLineEdit* edit;

protected:
    void customEvent(QEvent* e) override
    {
        if (e->type() != KeystrokeEvent::eventType()) return;
        auto* k = static_cast<KeystrokeEvent*>(e);
        strokes.push_back({k->vk(), k->isRelease(), k->isRepeat(), k->timestamp(), k->lParam()});
    }
};

// A key event as a platform with scan codes sends it (evdev code + 8).
void SendNative(QWidget* to, QEvent::Type type, int qtKey, std::uint16_t evdev, bool autoRepeat = false,
                quint64 timestamp = 0)
{
    QKeyEvent e(type, qtKey, Qt::NoModifier, evdev + 8u, 0, 0, QString(), autoRepeat);
    e.setTimestamp(timestamp);
    QApplication::sendEvent(to, &e);
}

// A key event as the offscreen platform sends it: no scan code.
void SendQt(QWidget* to, QEvent::Type type, int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier,
            bool autoRepeat = false)
{
    QKeyEvent e(type, qtKey, mods, QString(), autoRepeat);
    QApplication::sendEvent(to, &e);
}

class KeyHookTest : public ::testing::Test {
protected:
    void TearDown() override { removehook(); }
};

TEST_F(KeyHookTest, KeysGoToTheWindowAsKeystrokesAndNeverReachItsControls)
{
    StrokeWindow w;
    ASSERT_TRUE(installhook(&w, 0));
    EXPECT_EQ(hookedWindow(), &w);
    QTest::keyClicks(w.edit, "ab");
    QTest::keyClick(w.edit, Qt::Key_Enter, Qt::KeypadModifier);
    QApplication::processEvents();
    EXPECT_TRUE(w.edit->text().isEmpty());
    ASSERT_EQ(w.strokes.size(), 3u);  // mode 0: the presses only
    EXPECT_EQ(w.strokes[0].vk, 0x41);
    EXPECT_EQ(w.strokes[1].vk, 0x42);
    EXPECT_EQ(w.strokes[2].vk, 0x6C);
    EXPECT_FALSE(w.strokes[0].release);

    removehook();
    EXPECT_EQ(hookedWindow(), nullptr);
    QTest::keyClicks(w.edit, "ab");
    QApplication::processEvents();
    EXPECT_EQ(w.edit->text(), "ab");
    EXPECT_EQ(w.strokes.size(), 3u);
}

TEST_F(KeyHookTest, ModeZeroReportsEachKeystrokeOnceModeOneReportsPressesRepeatsAndReleases)
{
    StrokeWindow w;
    ASSERT_TRUE(installhook(&w, 0));
    SendNative(w.edit, QEvent::KeyPress, Qt::Key_A, KEY_A);
    SendNative(w.edit, QEvent::KeyRelease, Qt::Key_A, KEY_A, true);  // X11 auto-repeat: release, press
    SendNative(w.edit, QEvent::KeyPress, Qt::Key_A, KEY_A, true);
    SendNative(w.edit, QEvent::KeyRelease, Qt::Key_A, KEY_A);
    QApplication::processEvents();
    ASSERT_EQ(w.strokes.size(), 1u);
    EXPECT_EQ(w.strokes[0].vk, 0x41);

    w.strokes.clear();
    ASSERT_TRUE(installhook(&w, 1));
    SendNative(w.edit, QEvent::KeyPress, Qt::Key_Shift, KEY_RIGHTSHIFT, false, 1000);
    SendNative(w.edit, QEvent::KeyRelease, Qt::Key_Shift, KEY_RIGHTSHIFT, true, 1500);
    SendNative(w.edit, QEvent::KeyPress, Qt::Key_Shift, KEY_RIGHTSHIFT, true, 1500);
    SendNative(w.edit, QEvent::KeyRelease, Qt::Key_Shift, KEY_RIGHTSHIFT, false, 1620);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.strokes.size() >= 3; }, 2000));
    ASSERT_EQ(w.strokes.size(), 3u);
    EXPECT_EQ(w.strokes[0].vk, 0xA1);
    EXPECT_FALSE(w.strokes[0].release);
    EXPECT_FALSE(w.strokes[0].repeat);
    EXPECT_EQ(w.strokes[0].timestamp, 1000u);
    EXPECT_EQ(w.strokes[0].lParam >> 31, 0u);
    EXPECT_TRUE(w.strokes[1].repeat);
    EXPECT_FALSE(w.strokes[1].release);
    EXPECT_TRUE(w.strokes[2].release);
    EXPECT_EQ(w.strokes[2].timestamp, 1620u);
    EXPECT_EQ(w.strokes[2].lParam >> 31, 1u);
    EXPECT_TRUE(w.edit->text().isEmpty());
}

// Some X servers repeat a held key as release/press pairs with one
// timestamp and no repeat flag: the pairs must read as repeats.
TEST_F(KeyHookTest, UnflaggedReleasePressPairsOfAHeldKeyAreRepeats)
{
    StrokeWindow w;
    for (int mode : {0, 1}) {
        w.strokes.clear();
        ASSERT_TRUE(installhook(&w, mode));
        SendNative(w.edit, QEvent::KeyPress, Qt::Key_B, KEY_B, false, 5000);
        for (quint64 t = 5500; t <= 5580; t += 40) {
            SendNative(w.edit, QEvent::KeyRelease, Qt::Key_B, KEY_B, false, t);
            SendNative(w.edit, QEvent::KeyPress, Qt::Key_B, KEY_B, false, t);
        }
        SendNative(w.edit, QEvent::KeyRelease, Qt::Key_B, KEY_B, false, 5700);
        SendNative(w.edit, QEvent::KeyPress, Qt::Key_C, KEY_C, false, 5700);  // a different key at the same instant
        QTest::qWait(80);
        std::vector<std::pair<bool, bool>> got;  // release, repeat
        for (const Stroke& s : w.strokes) got.emplace_back(s.release, s.repeat);
        if (mode == 0) {
            ASSERT_EQ(w.strokes.size(), 2u);
            EXPECT_EQ(w.strokes[0].vk, 0x42);
            EXPECT_EQ(w.strokes[1].vk, 0x43);
        } else {
            ASSERT_EQ(w.strokes.size(), 6u);
            EXPECT_EQ(got,
                      (std::vector<std::pair<bool, bool>>{
                          {false, false}, {false, true}, {false, true}, {false, true}, {true, false}, {false, false}}));
            EXPECT_EQ(w.strokes[4].timestamp, 5700u);
            EXPECT_EQ(w.strokes[5].vk, 0x43);
        }
    }
}

TEST_F(KeyHookTest, TheScanCodeNamesTheKeyEvenWhereQtCannotTellTheSide)
{
    StrokeWindow w;
    ASSERT_TRUE(installhook(&w, 0));
    // Every physical key of the keyboard, sent with a Qt key that says nothing.
    std::vector<std::uint8_t> expected;
    for (int k = 0; k < kKeyCount; ++k) {
        if (k == kFnKey) continue;
        SendNative(w.edit, QEvent::KeyPress, Qt::Key_unknown, test::kEvdevByKey[k]);
        expected.push_back(g_defaultVkByKey[k]);
    }
    QApplication::processEvents();
    std::vector<std::uint8_t> got;
    for (const Stroke& s : w.strokes) got.push_back(s.vk);
    EXPECT_EQ(got, expected);
}

// Without scan codes (the offscreen platform) Qt's key code and the keypad
// modifier name the key; the right-hand Shift, Ctrl and Alt then read as the
// left ones, and Fn is never seen.
TEST_F(KeyHookTest, WithoutScanCodesQtKeysNameEveryKeyQtCanTellApart)
{
    struct QtKey {
        int key;
        bool keypad;
    };
    using namespace Qt;
    // clang-format off
    const std::array<QtKey, kKeyCount> keys = {{
        {Key_Escape, false},
        {Key_F1, false}, {Key_F2, false}, {Key_F3, false}, {Key_F4, false}, {Key_F5, false}, {Key_F6, false},
        {Key_F7, false}, {Key_F8, false}, {Key_F9, false}, {Key_F10, false}, {Key_F11, false}, {Key_F12, false},
        {Key_Print, false}, {Key_ScrollLock, false}, {Key_Pause, false},
        {Key_QuoteLeft, false}, {Key_1, false}, {Key_2, false}, {Key_3, false}, {Key_4, false}, {Key_5, false},
        {Key_6, false}, {Key_7, false}, {Key_8, false}, {Key_9, false}, {Key_0, false},
        {Key_Minus, false}, {Key_Equal, false}, {Key_Backspace, false}, {Key_Insert, false}, {Key_Home, false},
        {Key_PageUp, false}, {Key_NumLock, false}, {Key_Slash, true}, {Key_Asterisk, true}, {Key_Minus, true},
        {Key_Tab, false}, {Key_Q, false}, {Key_W, false}, {Key_E, false}, {Key_R, false}, {Key_T, false},
        {Key_Y, false}, {Key_U, false}, {Key_I, false}, {Key_O, false}, {Key_P, false},
        {Key_BracketLeft, false}, {Key_BracketRight, false}, {Key_Backslash, false}, {Key_Delete, false},
        {Key_End, false}, {Key_PageDown, false},
        {Key_7, true}, {Key_8, true}, {Key_9, true}, {Key_Plus, true},
        {Key_CapsLock, false}, {Key_A, false}, {Key_S, false}, {Key_D, false}, {Key_F, false}, {Key_G, false},
        {Key_H, false}, {Key_J, false}, {Key_K, false}, {Key_L, false}, {Key_Semicolon, false},
        {Key_Apostrophe, false},
        {Key_Return, false},
        {Key_4, true}, {Key_5, true}, {Key_6, true},
        {Key_Shift, false},
        {Key_Z, false}, {Key_X, false}, {Key_C, false}, {Key_V, false}, {Key_B, false}, {Key_N, false},
        {Key_M, false}, {Key_Comma, false}, {Key_Period, false}, {Key_Slash, false},
        {Key_Shift, false},  // 85 RShift
        {Key_Up, false},
        {Key_1, true}, {Key_2, true}, {Key_3, true}, {Key_Enter, true},
        {Key_Control, false}, {Key_Meta, false}, {Key_Alt, false},
        {Key_Space, false},
        {Key_Alt, false},  // 95 RAlt
        {Key_unknown, false},  // 96 Fn
        {Key_Menu, false},
        {Key_Control, false},  // 98 RCtrl
        {Key_Left, false}, {Key_Down, false}, {Key_Right, false},
        {Key_0, true},
        {Key_Period, true},
    }};
    // clang-format on
    const std::map<int, std::uint8_t> sideless = {{85, 0xA0}, {95, 0xA4}, {98, 0xA2}};

    StrokeWindow w;
    ASSERT_TRUE(installhook(&w, 0));
    std::vector<std::uint8_t> expected;
    for (int k = 0; k < kKeyCount; ++k) {
        if (k == kFnKey) continue;
        auto it = sideless.find(k);
        std::uint8_t want = it != sideless.end() ? it->second : g_defaultVkByKey[k];
        EXPECT_EQ(VkFromQtKey(keys[k].key, keys[k].keypad ? KeypadModifier : NoModifier), want) << "key " << k;
        SendQt(w.edit, QEvent::KeyPress, keys[k].key, keys[k].keypad ? KeypadModifier : NoModifier);
        expected.push_back(want);
    }
    QApplication::processEvents();
    ASSERT_EQ(w.strokes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(w.strokes[i].vk, expected[i]) << i;

    // The pad with Num Lock off still names the pad's keys; AltGr is the right Alt.
    EXPECT_EQ(VkFromQtKey(Key_End, KeypadModifier), 0x61);
    EXPECT_EQ(VkFromQtKey(Key_Delete, KeypadModifier), 0x6E);
    EXPECT_EQ(VkFromQtKey(Key_Clear, KeypadModifier), 0x65);
    EXPECT_EQ(VkFromQtKey(Key_AltGr, NoModifier), 0xA5);
    // Shifted symbols name their key.
    EXPECT_EQ(VkFromQtKey(Key_Exclam, ShiftModifier), 0x31);
    EXPECT_EQ(VkFromQtKey(Key_Question, ShiftModifier), 0xBF);
    EXPECT_EQ(VkFromQtKey(Key_unknown, NoModifier), 0);
}

TEST_F(KeyHookTest, ShortcutsAndDialogKeysDoNotFireWhileTheKeysAreCaptured)
{
    QDialog dialog;
    auto* edit = new QLineEdit(&dialog);
    int fired = 0;
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), &dialog);
    QObject::connect(shortcut, &QShortcut::activated, [&] { ++fired; });
    dialog.show();
    dialog.activateWindow();
    edit->setFocus();
    QApplication::processEvents();

    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(fired, 1);  // the shortcut works when nothing captures the keys

    ASSERT_TRUE(installhook(&dialog, 0));
    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(edit->text().isEmpty());
}

TEST_F(KeyHookTest, DialogsOpenedOverTheCapturingWindowStillTakeTypedKeys)
{
    StrokeWindow w;
    ASSERT_TRUE(installhook(&w, 1));
    QDialog chooser(&w);  // like a file dialog opened from the capturing window
    auto* name = new QLineEdit(&chooser);
    chooser.show();
    name->setFocus();
    QTest::keyClicks(name, "song");
    SendNative(name, QEvent::KeyPress, Qt::Key_Return, KEY_ENTER);
    QApplication::processEvents();
    EXPECT_EQ(name->text(), "song");
    EXPECT_TRUE(w.strokes.empty());

    SendNative(w.edit, QEvent::KeyPress, Qt::Key_Return, KEY_KPENTER);
    QApplication::processEvents();
    ASSERT_EQ(w.strokes.size(), 1u);
    EXPECT_EQ(w.strokes[0].vk, 0x6C);
}

TEST_F(KeyHookTest, TheCaptureEndsWithItsWindowAndMovesToANewOne)
{
    EXPECT_FALSE(installhook(nullptr, 0));
    auto first = std::make_unique<StrokeWindow>();
    EXPECT_FALSE(installhook(first.get(), 2));
    EXPECT_EQ(hookedWindow(), nullptr);

    StrokeWindow second;
    ASSERT_TRUE(installhook(first.get(), 0));
    ASSERT_TRUE(installhook(&second, 1));
    EXPECT_EQ(hookedWindow(), &second);
    SendQt(second.edit, QEvent::KeyPress, Qt::Key_B);
    QApplication::processEvents();
    EXPECT_TRUE(first->strokes.empty());
    ASSERT_EQ(second.strokes.size(), 1u);

    ASSERT_TRUE(installhook(first.get(), 0));
    first.reset();  // destroyed without removehook
    EXPECT_EQ(hookedWindow(), nullptr);
    QTest::keyClicks(second.edit, "x");
    EXPECT_EQ(second.edit->text(), "x");
}

}  // namespace
}  // namespace zr417
