// One QApplication for a widget test process (headless, offscreen), and the
// folders the windows read their skins from.
#pragma once

#include "keymap/key_hook.h"
#include "platform/files.h"
#include "tests/support/qt_app.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <ostream>

// Readable strings in test failures.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace zr417::testing {

inline QApplication& MacroTestApp()
{
    return test::QtApp();
}

class MacroQtTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { MacroTestApp(); }
};

// Where the programs and their skins are laid out (build/bin).
inline std::filesystem::path RuntimeDir()
{
    if (const char* dir = std::getenv("ZR417_RUNTIME_DIR")) return dir;
    return ExecutableDir().parent_path() / "bin";
}

inline void Pump()
{
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// Counts the keystrokes the key capture delivers to a window.
class KeystrokeCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == KeystrokeEvent::eventType()) ++count;
        return false;
    }
};

// A key event as a keyboard sends it, with its own time stamp in ms. While a
// window holds the key capture, waits until the keystroke has reached it (the
// capture holds a release back for a moment: it may be half of an X11 repeat
// pair).
inline void SendKey(QWidget* to, int qtKey, bool release, quint64 timestamp, bool autoRepeat = false)
{
    QWidget* target = hookedWindow();
    KeystrokeCounter counter;
    if (target) target->installEventFilter(&counter);
    QKeyEvent e(release ? QEvent::KeyRelease : QEvent::KeyPress, qtKey, Qt::NoModifier, QString(), autoRepeat);
    e.setTimestamp(timestamp);
    QApplication::sendEvent(to, &e);
    if (target) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return counter.count > 0; }, 5000)) << "the keystroke never arrived";
        target->removeEventFilter(&counter);
    }
    Pump();
}

}  // namespace zr417::testing
