// The key capture on a real X server (a private Xvfb, on Qt's xcb platform)
// with real keyboard layouts and Qt's compose input context, keys typed with
// xdotool: what the offscreen platform cannot show (scan codes, dead keys,
// an input context that takes keys before any window sees them).
#include "keymap/key_hook.h"
#include "tests/support/process.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace zr417 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string g_display;

int Shell(const std::string& command)
{
    return std::system(("DISPLAY=" + g_display + " " + command + " >/dev/null 2>&1").c_str());
}

class XEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        for (const char* tool : {"Xvfb", "xdotool", "setxkbmap"})
            ASSERT_EQ(std::system((std::string("command -v ") + tool + " >/dev/null").c_str()), 0)
                << tool << " is not installed (scripts/setup.sh --tests installs it)";
        if (g_display.empty()) {
            if (auto display = test::StartXvfb(500 + ::getpid() % 400, "640x480x24", dir_.path() / "xvfb.log")) {
                g_display = display->name;
                xvfb_ = std::move(display->server);
            }
        }
        ASSERT_FALSE(g_display.empty()) << test::ReadText(dir_.path() / "xvfb.log");
        ::setenv("DISPLAY", g_display.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        // Qt's own input context, the one every Qt program on X has when no
        // other input method is configured; it composes dead keys.
        ::setenv("QT_IM_MODULE", "compose", 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
        test::QtApp();  // on the server above
    }
    void TearDown() override { xvfb_.reset(); }

private:
    test::TempDir dir_{"xvfb"};
    std::unique_ptr<test::ChildProcess> xvfb_;
};
const auto* const kXEnvironment = ::testing::AddGlobalTestEnvironment(new XEnvironment);

struct Stroke {
    std::uint8_t vk;
    bool release;
};

class StrokeWindow : public QWidget {
public:
    StrokeWindow()
    {
        auto* layout = new QVBoxLayout(this);
        edit = new QLineEdit(this);
        layout->addWidget(edit);
        resize(300, 80);
        show();
        (void)QTest::qWaitForWindowExposed(this);
        edit->setFocus();
        Shell("xdotool windowfocus --sync " + std::to_string(winId()));
        QTest::qWait(100);
    }

    std::vector<Stroke> strokes;
    QLineEdit* edit;

protected:
    void customEvent(QEvent* e) override
    {
        if (e->type() != KeystrokeEvent::eventType()) return;
        auto* k = static_cast<KeystrokeEvent*>(e);
        strokes.push_back({k->vk(), k->isRelease()});
    }
};

// Switches the server's layout and lets Qt take in the new keymap.
void Layout(const std::string& args)
{
    ASSERT_EQ(Shell("setxkbmap " + args), 0) << "setxkbmap " << args;
    QTest::qWait(300);
}

void Keys(const std::string& keysyms)
{
    ASSERT_EQ(Shell("xdotool key --delay 60 " + keysyms), 0) << keysyms;
}

std::vector<std::uint8_t> Presses(const std::vector<Stroke>& strokes)
{
    std::vector<std::uint8_t> out;
    for (const Stroke& s : strokes)
        if (!s.release) out.push_back(s.vk);
    return out;
}

class KeyHookX11Test : public ::testing::Test {
protected:
    void TearDown() override
    {
        removehook();
        Shell("setxkbmap us");
    }
};

TEST_F(KeyHookX11Test, DeadKeysOfUsInternationalReachTheCaptureOnceAndComposeAgainAfterIt)
{
    Layout("us -variant intl");
    StrokeWindow w;
    // Without the capture the input context composes: ` then e is one è.
    Keys("dead_grave e");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.edit->text().isEmpty(); }, 3000));
    ASSERT_EQ(w.edit->text(), QString::fromUtf8("è")) << "the compose input context is not active";

    ASSERT_TRUE(installhook(&w, 0));
    Keys("b dead_grave e dead_acute space");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.strokes.size() >= 5; }, 3000));
    QTest::qWait(200);
    // B, the grave key, E, the apostrophe key (dead acute), Space: every
    // keystroke once, by its key.
    EXPECT_EQ(Presses(w.strokes), (std::vector<std::uint8_t>{0x42, 0xC0, 0x45, 0xDE, 0x20}));
    EXPECT_EQ(w.strokes.size(), 5u);
    EXPECT_EQ(w.edit->text(), QString::fromUtf8("è"));

    // Mode 1 (the macro recorder): the dead key's press and release both come.
    w.strokes.clear();
    ASSERT_TRUE(installhook(&w, 1));
    Keys("dead_grave a");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.strokes.size() >= 4; }, 3000));
    QTest::qWait(200);
    ASSERT_EQ(w.strokes.size(), 4u);
    EXPECT_EQ(w.strokes[0].vk, 0xC0);
    EXPECT_FALSE(w.strokes[0].release);
    EXPECT_EQ(w.strokes[1].vk, 0xC0);
    EXPECT_TRUE(w.strokes[1].release);
    EXPECT_EQ(w.strokes[2].vk, 0x41);
    EXPECT_EQ(w.strokes[3].vk, 0x41);

    // The input method is back once the capture ends.
    removehook();
    QTest::qWait(100);
    Keys("dead_grave e");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.edit->text().size() >= 2; }, 3000));
    EXPECT_EQ(w.edit->text(), QString::fromUtf8("èè"));
    EXPECT_EQ(w.strokes.size(), 4u);
}

TEST_F(KeyHookX11Test, GermanDeadKeysAndLettersAreNamedByTheirKeys)
{
    Layout("de");
    StrokeWindow w;
    // By X key code, as a German keyboard sends them (xdotool would type ^
    // with AltGr on another key): ^ left of 1 (49), o (32), ´ left of
    // Backspace (21), e (26), and ö, the US ; key (47).
    Keys("49 32");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.edit->text().isEmpty(); }, 3000));
    ASSERT_EQ(w.edit->text(), QString::fromUtf8("ô")) << "the German layout or the input context is not active";

    ASSERT_TRUE(installhook(&w, 0));
    Keys("49 32 21 26 47");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.strokes.size() >= 5; }, 3000));
    QTest::qWait(200);
    EXPECT_EQ(Presses(w.strokes), (std::vector<std::uint8_t>{0xC0, 0x4F, 0xBB, 0x45, 0xBA}));
    EXPECT_EQ(w.strokes.size(), 5u);
    EXPECT_EQ(w.edit->text(), QString::fromUtf8("ô"));
}

}  // namespace
}  // namespace zr417
