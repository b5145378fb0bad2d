// The main program as a native Wayland client (Qt's wayland platform) under
// weston, the reference compositor, at output scales 1 and 2:
//
// - weston's headless backend: the program starts and shows its window, and
//   at scale 2 the skins on screen are their @2x pictures pixel for pixel.
// - weston's X11 backend on a private Xvfb: the headless backend has no input
//   devices, while this one gives weston a real seat, fed by xdotool. Clicks
//   open the profile panel, the macro manager and a key assignment dialog,
//   keys go through the compositor into the key capture, windows are dragged
//   by the compositor, and Save reaches the keyboard.
//
// weston places windows itself (a client cannot), so each window is found on
// weston's own screenshots by a corner of its skin. The program's Wayland
// requests (WAYLAND_DEBUG) show each sub-dialog as a child of the main window
// and each drag as the compositor's move. Screenshots are kept in the build
// folder (wayland-screens/).
//
// Skipped only where weston cannot start; a missing package fails.
#include "tests/e2e/e2e_fixture.h"

#include "config/image.h"
#include "config/keys.h"
#include "macro/macro_model.h"

#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace zr417::e2e {
namespace {

namespace fs = std::filesystem;

// Logical output size: room around the 1000 x 640 main window.
constexpr int kOutputWidth = 1200, kOutputHeight = 760;

constexpr std::uint8_t kVkRShift = 0xA1, kVkLShift = 0xA0;
constexpr std::uint8_t kVkRControl = 0xA3;
constexpr std::uint8_t kVkNumpad1 = 0x61, kVkDigit1 = 0x31;

// Main window (client coordinates).
constexpr QPoint kProfileButton(50, 618);
constexpr QPoint kMacroButton(419, 465);
constexpr QPoint kSaveButton(950, 620);
constexpr QPoint kEmptyTitleArea(600, 14);
constexpr int kAssignedKey = 31;  // a key of the main block
// Profile panel.
constexpr QPoint kPanelClose(255, 17);
// Macro manager.
constexpr QPoint kMacroNew(48, 380), kMacroRecord(334, 112), kMacroOk(308, 412);
// Key assignment dialog.
constexpr QPoint kDialogBackground(150, 236), kDialogSave(284, 257);

// A corner of a window's skin where nothing else is drawn: how the window is
// found on the compositor's screenshot.
struct Needle {
    std::string_view folder, file;
    QRect part;  // layout units of the skin
};
constexpr Needle kMainNeedle{"", "main.png", QRect(0, 0, 30, 30)};
constexpr Needle kPanelNeedle{"Config", "Config.png", QRect(0, 600, 13, 32)};
constexpr Needle kMacroNeedle{"MacroManagement", "MacroManagement.png", QRect(0, 395, 19, 35)};
constexpr Needle kKeyDialogNeedle{"Custom", "Custom_BK.png", QRect(0, 238, 18, 38)};

struct Setup {
    int scale;
    bool chinese;
};

std::string Name(const Setup& s)
{
    return std::string(s.chinese ? "Chinese" : "English") + "AtScale" + std::to_string(s.scale);
}

std::string RunCommand(const std::string& command, int* code = nullptr)
{
    std::string out;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    const int status = ::pclose(p);
    if (code) *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

// The first place where `needle` lies in `shot` pixel for pixel.
std::optional<QPoint> FindExactly(const QImage& shot, const QImage& needle)
{
    if (needle.isNull() || shot.width() < needle.width() || shot.height() < needle.height()) return std::nullopt;
    const int w = needle.width(), h = needle.height();
    const auto* first = reinterpret_cast<const QRgb*>(needle.constScanLine(0));
    for (int y = 0; y + h <= shot.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        for (int x = 0; x + w <= shot.width(); ++x) {
            if (row[x] != first[0]) continue;
            bool match = true;
            for (int dy = 0; match && dy < h; ++dy) {
                const auto* a = reinterpret_cast<const QRgb*>(shot.constScanLine(y + dy)) + x;
                const auto* b = reinterpret_cast<const QRgb*>(needle.constScanLine(dy));
                match = std::equal(b, b + w, a);
            }
            if (match) return QPoint(x, y);
        }
    }
    return std::nullopt;
}

class Weston : public E2E, public ::testing::WithParamInterface<Setup> {
protected:
    Weston() { xvfbScreen_ = "2560x1600x24"; }

    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "wayland_flows";
        static char* argv[] = {name, nullptr};
        // Only for reading and comparing pictures.
        if (!QGuiApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            new QGuiApplication(argc, argv);
        }
        for (auto [tool, package] : {std::pair{"weston", "weston"}, {"weston-screenshooter", "weston"}}) {
            int code = 0;
            RunCommand(std::string("command -v ") + tool, &code);
            ASSERT_EQ(code, 0) << tool << " is not installed (package " << package
                               << "; scripts/setup.sh --tests installs it)";
        }
        ASSERT_TRUE(fs::exists("/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so") ||
                    !RunCommand("find /usr/lib -name libqwayland-generic.so -path '*qt6*'").empty())
            << "Qt's wayland platform is not installed (package qt6-wayland; scripts/setup.sh installs it)";
        E2E::SetUp();
        if (HasFatalFailure()) return;
        if (GetParam().chinese) {
            std::ofstream(root() / "config" / "QV310.conf") << "[General]\nLanguage=chinese\n";
        }
        shots_ = root() / "shots";
    }

    void TearDown() override
    {
        if (HasFailure() && weston_) keep("failure", screenshot());
        program_.reset();
        weston_.reset();
        if (HasFailure()) std::printf("--- weston log ---\n%s\n", test::ReadText(root() / "weston.log").c_str());
        E2E::TearDown();
    }

    std::map<std::string, std::string> environment() const override
    {
        auto env = E2E::environment();
        env["QT_QPA_PLATFORM"] = "wayland";
        env["WAYLAND_DISPLAY"] = kSocket;
        // The requests the program makes of the compositor, in its log.
        env["WAYLAND_DEBUG"] = "client";
        return env;
    }

    int scale() const { return GetParam().scale; }
    std::string language() const { return GetParam().chinese ? "chinese" : "english"; }

    // weston on the headless or the X11 backend; skips the test where weston
    // cannot start at all.
    void startWeston(bool headless)
    {
        std::ofstream(root() / "weston.ini") << "[core]\nidle-time=0\n"
                                                "[shell]\npanel-position=none\nbackground-color=0xff2a3040\n"
                                                "locking=false\nanimation=none\nstartup-animation=none\n"
                                                "[input-method]\npath=\n";
        const std::vector<std::string> args = {
            headless ? "--backend=headless-backend.so" : "--backend=x11-backend.so",
            "--socket=" + std::string(kSocket),
            "--width=" + std::to_string(kOutputWidth),
            "--height=" + std::to_string(kOutputHeight),
            "--scale=" + std::to_string(scale()),
            "--use-pixman",
            "--debug",  // screenshots
            "--config=" + (root() / "weston.ini").string(),
        };
        auto env = E2E::environment();
        env.erase("QT_QPA_PLATFORM");
        weston_ = std::make_unique<test::ChildProcess>("/usr/bin/weston", args, env, root() / "weston.log");
        const fs::path socket = root() / "run" / kSocket;
        if (!test::WaitUntil([&] { return fs::exists(socket) || !weston_->running(); }, 15s) || !weston_->running()) {
            const std::string log = test::ReadText(root() / "weston.log");
            weston_.reset();
            GTEST_SKIP() << "weston cannot start here (" << (headless ? "headless" : "X11") << " backend):\n" << log;
        }
        std::this_thread::sleep_for(500ms);  // its shell client
    }

    // The compositor's picture of its output, in output pixels.
    QImage screenshot()
    {
        const fs::path dir = shots_ / std::to_string(++shotCount_);
        fs::create_directories(dir);
        std::string command = "cd '" + dir.string() + "' && env";
        for (const auto& [k, v] : environment())
            if (k != "WAYLAND_DEBUG") command += " " + k + "='" + v + "'";
        RunCommand(command + " weston-screenshooter");
        for (const auto& entry : fs::directory_iterator(dir))
            return QImage(QString::fromStdString(entry.path().string())).convertToFormat(QImage::Format_RGB32);
        return {};
    }

    void keep(const std::string& name, const QImage& shot)
    {
        const fs::path folder = test::RuntimeDir().parent_path() / "wayland-screens";
        fs::create_directories(folder);
        shot.save(QString::fromStdString((folder / (Name(GetParam()) + "-" + name + ".png")).string()));
    }

    // The skin part a window is recognised by, in output pixels.
    QImage needleImage(const Needle& n) const
    {
        fs::path file = programDir() / "png" / language();
        if (!n.folder.empty()) file /= std::string(n.folder);
        std::string name(n.file);
        if (scale() == 2) name.insert(name.size() - 4, "@2x");
        const QImage skin =
            QImage(QString::fromStdString((file / name).string())).convertToFormat(QImage::Format_RGB32);
        const int s = scale();
        return skin.copy(n.part.x() * s, n.part.y() * s, n.part.width() * s, n.part.height() * s);
    }

    // Top-left corner of a window (output layout units) on `shot`.
    std::optional<QPoint> locate(const QImage& shot, const Needle& n) const
    {
        auto at = FindExactly(shot, needleImage(n));
        if (!at) return std::nullopt;
        return *at / scale() - n.part.topLeft();
    }

    // Waits for the window to be shown; the screenshot it was found on is `shot`.
    std::optional<QPoint> waitFor(const Needle& n, QImage& shot, std::chrono::milliseconds timeout = 20s)
    {
        std::optional<QPoint> at;
        test::WaitUntil(
            [&] {
                shot = screenshot();
                at = locate(shot, n);
                if (!at) std::this_thread::sleep_for(200ms);
                return at.has_value();
            },
            timeout);
        return at;
    }

    bool waitGone(const Needle& n, std::chrono::milliseconds timeout = 15s)
    {
        return test::WaitUntil(
            [&] {
                if (!locate(screenshot(), n)) return true;
                std::this_thread::sleep_for(200ms);
                return false;
            },
            timeout);
    }

    // weston's X11 backend reads pointer motion relative to the last X event,
    // so the pointer is first pushed into the output's top-left corner; then
    // it stands exactly at `p` (output layout units).
    void pointTo(QPoint p)
    {
        const int s = scale();
        xdo("mousemove " + std::to_string(kOutputWidth * s - 1) + " " + std::to_string(kOutputHeight * s - 1) +
            " sleep 0.05 mousemove 0 0 sleep 0.05 mousemove " + std::to_string(p.x() * s) + " " +
            std::to_string(p.y() * s) + " sleep 0.15");
    }
    void clickAt(QPoint p)
    {
        pointTo(p);
        xdo("mousedown 1 sleep 0.05 mouseup 1");
        std::this_thread::sleep_for(400ms);
    }
    // Holds the left button at `from` and moves the pointer by `by` in steps.
    void drag(QPoint from, QPoint by)
    {
        pointTo(from);
        const int s = scale();
        std::string steps = "mousedown 1 sleep 0.2";
        for (int i = 1; i <= 5; ++i)
            steps += " mousemove " + std::to_string((from.x() + by.x() * i / 5) * s) + " " +
                     std::to_string((from.y() + by.y() * i / 5) * s) + " sleep 0.08";
        xdo(steps + " sleep 0.2 mouseup 1");
        std::this_thread::sleep_for(400ms);
    }
    void pressKeys(const std::string& keys)
    {
        xdo("key --delay 120 " + keys);
        std::this_thread::sleep_for(400ms);
    }

    // What the program asked of the compositor.
    struct Requests {
        std::string mainToplevel;          // xdg_toplevel@N of the 1000 x 640 window
        std::vector<std::string> parents;  // set_parent arguments, in order
        int moves = 0;                     // xdg_toplevel.move
    };
    Requests requests() const
    {
        Requests r;
        std::istringstream log(programLog());
        const std::regex size(R"(-> (xdg_toplevel@\d+)\.set_min_size\(1000, 640\))");
        const std::regex parent(R"(-> xdg_toplevel@\d+\.set_parent\((xdg_toplevel@\d+)\))");
        const std::regex move(R"(-> xdg_toplevel@\d+\.move\()");
        for (std::string line; std::getline(log, line);) {
            std::smatch m;
            if (std::regex_search(line, m, size)) r.mainToplevel = m[1];
            if (std::regex_search(line, m, parent)) r.parents.push_back(m[1]);
            if (std::regex_search(line, move)) ++r.moves;
        }
        return r;
    }

    static constexpr const char* kSocket = "zr417-wayland";
    std::unique_ptr<test::ChildProcess> weston_;
    fs::path shots_;
    int shotCount_ = 0;
};

// Headless: the window comes up, and at scale 2 the main window's skins are
// the @2x pictures on screen pixel for pixel (a 1x picture blown up would
// not match); the logo has no text over it.
class Headless : public Weston {};
class Driven : public Weston {};

TEST_P(Headless, ShowsTheMainWindowWithItsPicturesAtTheOutputScale)
{
    startWeston(true);
    if (IsSkipped()) return;
    ASSERT_EQ(ctl("sim plug QV310").code, 0);
    startProgram();
    ASSERT_TRUE(waitProgramStarted()) << programLog();
    QImage shot;
    const auto main = waitFor(kMainNeedle, shot);
    ASSERT_TRUE(main) << "the main window is not on weston's screen";
    keep("headless-main", shot.copy(QRect(*main * scale(), QSize(1000, 640) * scale())));

    std::string logo = "logo.png";
    if (scale() == 2) logo = "logo@2x.png";
    const QImage picture = QImage(QString::fromStdString((programDir() / "png" / language() / logo).string()))
                               .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.size(), QSize(240, 64) * scale());
    const QImage onScreen = shot.copy(QRect((*main + QPoint(19, 35)) * scale(), picture.size()));
    EXPECT_EQ(onScreen, picture) << "the logo on screen is not " << logo << " pixel for pixel";
    EXPECT_TRUE(program()->running());
}

// Real input through the compositor: drag the main window, open each
// sub-dialog (each a child of the main window, shown over it), record a macro
// and assign a key with keys that only their scan codes tell apart (right
// Shift and Control, the keypad's 1), drag the key dialog, Save.
TEST_P(Driven, EverySubDialogOpensOverTheMainWindowKeysAndDragsWorkAndSaveReachesTheKeyboard)
{
    startWeston(false);
    if (IsSkipped()) return;
    ASSERT_EQ(ctl("sim plug QV310").code, 0);
    startProgram();
    ASSERT_TRUE(waitProgramStarted()) << programLog();
    QImage shot;
    auto main = waitFor(kMainNeedle, shot);
    ASSERT_TRUE(main) << "the main window is not on weston's screen";
    keep("main", shot);

    // The frameless window is moved by the compositor.
    const QPoint by(-40, -30);
    drag(*main + kEmptyTitleArea, by);
    auto moved = waitFor(kMainNeedle, shot, 5s);
    ASSERT_TRUE(moved);
    EXPECT_EQ(*moved, *main + by) << "dragging the main window's title area moves it";
    EXPECT_GE(requests().moves, 1) << "the drag is the compositor's move";
    main = moved;

    // Profile panel.
    clickAt(*main + kProfileButton);
    auto panel = waitFor(kPanelNeedle, shot);
    ASSERT_TRUE(panel) << "the profile panel opens";
    keep("profile-panel", shot);
    EXPECT_TRUE(QRect(*main, QSize(1000, 640)).intersects(QRect(*panel, QSize(263, 632))));
    clickAt(*panel + kPanelClose);
    ASSERT_TRUE(waitGone(kPanelNeedle)) << "the panel's close button closes it";

    // Macro manager: a macro of right Control and the keypad's 1.
    clickAt(*main + kMacroButton);
    auto macros = waitFor(kMacroNeedle, shot);
    ASSERT_TRUE(macros) << "the macro manager opens";
    clickAt(*macros + kMacroNew);
    clickAt(*macros + kMacroRecord);
    pressKeys("Control_R KP_1");
    clickAt(*macros + kMacroRecord);
    keep("macro-manager", screenshot());
    clickAt(*macros + kMacroOk);
    ASSERT_TRUE(waitGone(kMacroNeedle)) << "OK closes the macro manager";
    const auto table = ReadBytes(dataDir() / "MacroDefine.bin");
    ASSERT_EQ(table.size(), kMacroTableSize);
    // xdotool presses a modifier's left twin (and Num Lock for the pad)
    // before the key itself; what matters is that right Control and the
    // keypad's 1 arrive as themselves, which only their scan codes tell.
    std::multiset<int> recorded;
    for (int step = 0; step < kMacroStepCount; ++step) {
        const std::uint8_t vk = table[offsetof(MacroRecord, vkSteps) + 4 * step + 1];
        if (vk != 0) recorded.insert(vk);
    }
    EXPECT_EQ(recorded.count(kVkRControl), 2u) << "right Control pressed and released";
    EXPECT_EQ(recorded.count(kVkNumpad1), 2u) << "the keypad's 1 pressed and released";
    EXPECT_EQ(recorded.count(kVkDigit1), 0u) << "the keypad's 1 read as the main block's 1";

    // Key assignment: right Shift, then Save in the dialog and in the window.
    auto [kx, ky] = KeyCentre(kAssignedKey);
    clickAt(*main + QPoint(kx, ky));
    auto dialog = waitFor(kKeyDialogNeedle, shot);
    ASSERT_TRUE(dialog) << "the key assignment dialog opens";
    pressKeys("Shift_R");
    keep("key-assignment", screenshot());
    const QPoint dialogBy(30, 20);
    drag(*dialog + kDialogBackground, dialogBy);
    auto dialogMoved = waitFor(kKeyDialogNeedle, shot, 5s);
    ASSERT_TRUE(dialogMoved);
    EXPECT_EQ(*dialogMoved, *dialog + dialogBy) << "dragging the dialog's background moves it";
    clickAt(*dialogMoved + kDialogSave);
    ASSERT_TRUE(waitGone(kKeyDialogNeedle)) << "Save closes the dialog";

    auto before = keymapTime();
    clickAt(*main + kSaveButton);
    ASSERT_TRUE(waitKeymapWritten(before, 60s)) << programLog();
    keep("saved", screenshot());
    const auto keyboard = keyboardImage();
    ASSERT_EQ(keyboard.size(), kImageSize);
    const std::size_t plane0 = settings::Plane0 + g_matrixPosByKey[kAssignedKey];
    EXPECT_EQ(keyboard[plane0], KeyCode(kVkRShift))
        << "the key sends right Shift (left Shift is " << int(KeyCode(kVkLShift)) << ")";

    // Each sub-dialog was made a child of the main window, so a compositor
    // that places windows itself keeps it over the main window.
    const Requests r = requests();
    ASSERT_FALSE(r.mainToplevel.empty()) << "no 1000 x 640 window in the program's Wayland requests";
    ASSERT_GE(r.parents.size(), 3u) << "the panel, the macro manager and the key dialog";
    for (const std::string& parent : r.parents) EXPECT_EQ(parent, r.mainToplevel);
    EXPECT_GE(r.moves, 2) << "both drags are the compositor's moves";
}

// Both scales and both languages, each backend in two of the four.
INSTANTIATE_TEST_SUITE_P(Weston, Headless, ::testing::Values(Setup{2, true}, Setup{1, false}),
                         [](const auto& info) { return Name(info.param); });
INSTANTIATE_TEST_SUITE_P(Weston, Driven, ::testing::Values(Setup{2, false}, Setup{1, true}),
                         [](const auto& info) { return Name(info.param); });

}  // namespace
}  // namespace zr417::e2e
