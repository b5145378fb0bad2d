// One QApplication for a widget test process (headless, offscreen), and the
// folders the windows read their skins from.
#pragma once

#include "platform/files.h"

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
    static int argc = 1;
    static char name[] = "zr417_macro_ui_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
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

// A key event as a keyboard sends it, with its own time stamp in ms. The key
// capture holds a release back for a moment (it may be half of an X11 repeat
// pair), so a release is given time to arrive.
inline void SendKey(QWidget* to, int qtKey, bool release, quint64 timestamp, bool autoRepeat = false)
{
    QKeyEvent e(release ? QEvent::KeyRelease : QEvent::KeyPress, qtKey, Qt::NoModifier, QString(), autoRepeat);
    e.setTimestamp(timestamp);
    QApplication::sendEvent(to, &e);
    if (release) QTest::qWait(50);
    Pump();
}

}  // namespace zr417::testing
