// A main window built fresh for each test: an emulated bus with the keyboard
// emulator, pauses of zero, a temporary program folder (the skins linked in
// from the build), and recording stand-ins for the sub-dialogs and the
// desktop. Mouse events go straight to the window at client coordinates.
#pragma once

#include "app/kalvex_dlg.h"
#include "config/keys.h"
#include "device/emu/emulated_bus.h"
#include "device/emu/keyboard_emulator.h"
#include "tests/support/process.h"
#include "tests/support/qt_app.h"
#include "tests/support/qt_events.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QThread>

#include <fstream>
#include <functional>
#include <memory>
#include <vector>

namespace zr417::test {

inline QApplication& App()
{
    QApplication& app = QtApp();
    QApplication::setQuitOnLastWindowClosed(false);
    return app;
}

// Runs the event loop until `condition` holds (or the time is up).
template <typename F>
bool Spin(F condition, int timeoutMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!condition() && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return condition();
}

inline void Pump(int ms = 30)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct RecordingDesktop : DesktopActions {
    std::vector<QUrl> opened;
    std::vector<std::pair<QString, QString>> started;    // program, working directory
    std::vector<std::pair<QString, QString>> questions;  // text, caption
    bool answer = true;
    std::optional<QColor> colour;
    std::vector<QColor> colourInitials;

    bool openUrl(const QUrl& url) override
    {
        opened.push_back(url);
        return true;
    }
    bool startDetached(const QString& program, const QString& dir) override
    {
        started.emplace_back(program, dir);
        return true;
    }
    bool confirm(QWidget*, const QString& text, const QString& caption) override
    {
        questions.emplace_back(text, caption);
        return answer;
    }
    std::vector<std::pair<QString, QString>> warnings;  // text, caption
    QString lastOk;
    void warn(QWidget*, const QString& text, const QString& caption, const QString& ok) override
    {
        warnings.emplace_back(text, caption);
        lastOk = ok;
    }
    std::optional<QColor> pickColour(QWidget*, const QColor& initial) override
    {
        colourInitials.push_back(initial);
        return colour;
    }
};

struct RecordingDialogs : SubDialogs {
    int keyCalls = 0, macroCalls = 0, profileCalls = 0;
    int lastModel = -1;
    std::uint8_t lastKey = kNoKey;
    std::function<bool(KeyAssignmentState&, ConfigImage&)> onKey;
    std::function<bool(const DialogContext&)> onMacro;
    std::function<void(const DialogContext&)> onProfile;

    bool runKeyAssignment(const DialogContext& ctx, KeyAssignmentState& state, ConfigImage& image) override
    {
        ++keyCalls;
        lastModel = ctx.model;
        lastKey = state.g_nSelectedKey();
        return onKey ? onKey(state, image) : false;
    }
    bool runMacroManager(const DialogContext& ctx) override
    {
        ++macroCalls;
        return onMacro ? onMacro(ctx) : false;
    }
    void runProfileManager(const DialogContext& ctx, const QRect&) override
    {
        ++profileCalls;
        if (onProfile) onProfile(ctx);
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() { App(); }
    ~MainWindowTest() override { dlg.reset(); }

    std::filesystem::path exeDir() const { return dir.path() / "exe"; }
    std::filesystem::path dataDir() const { return dir.path() / "data"; }

    void SetUp() override
    {
        std::filesystem::create_directories(exeDir());
        std::filesystem::create_directories(dataDir());
        std::error_code ec;
        std::filesystem::create_directory_symlink(RuntimeDir() / "png", exeDir() / "png", ec);
    }

    // Plugs a keyboard of `model` (QV310 / QV420 / OEM) into the bus.
    std::shared_ptr<emu::KeyboardEmulator> plugKeyboard(std::string_view model = "QV310")
    {
        keyboard = std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity(model));
        port = bus.plug(keyboard);
        return keyboard;
    }

    // Builds and initialises the window; with a keyboard, waits for the
    // start-up read-out's refresh.
    void start(int language = kLanguageEnglish, bool trayAvailable = true)
    {
        MainWindowOptions o;
        o.bus = &bus;
        o.paths = AppPaths{exeDir(), dataDir()};
        o.pause = [](std::chrono::milliseconds) {};
        o.language = language;
        o.dialogs = &dialogs;
        o.desktop = &desktop;
        o.splash = false;
        o.trayAvailable = trayAvailable;
        dlg = std::make_unique<CKalvexDlg>(std::move(o));
        dlg->OnInitDialog();
        if (!dlg->hiddenForNoKeyboard()) dlg->show();
        if (keyboard) {
            ASSERT_TRUE(Spin([&] { return dlg->refreshCount() >= 1; })) << "start-up read-out never refreshed";
            Settle();
        }
        EXPECT_TRUE(Spin([&] { return !dlg->writingFiles(); })) << "keymap.bin was never written";
    }

    // The keyboard is done and the files the window saved are written.
    bool done() const { return !dlg || (!dlg->keyboardBusy() && !dlg->writingFiles()); }

    // Lets the paints a refresh set off run to their end: the sliders repaint
    // once moved, and ask the window to redraw.
    static void Settle()
    {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    }

    // A click, then whatever it set the keyboard talking about runs to its
    // end (as a user who waits for the wait cursor to go).
    void click(int x, int y)
    {
        press(x, y);
        EXPECT_TRUE(Spin([&] { return done(); })) << "the keyboard never got done";
    }
    // A click, and back at once.
    void press(int x, int y) { SendClick(*dlg, QPointF(x, y)); }
    void move(int x, int y, Qt::MouseButtons buttons = Qt::NoButton)
    {
        QPointF p(x, y);
        QMouseEvent ev(QEvent::MouseMove, p, dlg->mapToGlobal(p), Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(dlg.get(), &ev);
    }
    static QPoint keyCentre(int key)
    {
        const KeyRect& r = g_keyRectByKey[key];
        return {(r.left + r.right) / 2 + kKeyboardPictureX, (r.top + r.bottom) / 2 + kKeyboardPictureY};
    }
    void clickKey(int key)
    {
        QPoint c = keyCentre(key);
        click(c.x(), c.y());
    }
    // Middle of effect-list row r / second-zone list row r.
    static int effectRowY(int r) { return kEffectListTop + 20 * r + 10; }
    static int zoneRowY(int r) { return kZoneListTop + 20 * r + 10; }
    void chooseEffectRow(int row)
    {
        click(100, 165);
        click(100, effectRowY(row));
    }

    ConfigImage& image() { return dlg->store().current(); }
    std::uint8_t at(std::size_t offset) { return image().at(offset); }
    std::vector<std::uint8_t> keymapFile()
    {
        return ReadFileBytes(dataDir() / "keymap.bin").value_or(std::vector<std::uint8_t>{});
    }
    static std::vector<std::uint8_t> bytesOf(const ConfigImage& img)
    {
        std::vector<std::uint8_t> v(img.settings.begin(), img.settings.end());
        v.insert(v.end(), img.keyTable.begin(), img.keyTable.end());
        return v;
    }
    void writeVersionFile(std::string_view name, std::string_view content)
    {
        std::ofstream(exeDir() / std::string(name), std::ios::binary) << content;
    }

    TempDir dir;
    emu::EmulatedBus bus;
    std::shared_ptr<emu::KeyboardEmulator> keyboard;
    int port = 0;
    RecordingDesktop desktop;
    RecordingDialogs dialogs;
    std::unique_ptr<CKalvexDlg> dlg;
};

}  // namespace zr417::test
