// Automatic profiles with real processes against the running program on the
// simulator: a program of a rule switches the keyboard to its profile and
// back to the default when it ends, a launcher's half second switches
// nothing, a Windows program under Wine is known by its first argument,
// changes not saved in the window hold a switch back, and the end of a
// suspend on the system bus brings back what the keyboard lost.
#include "e2e_fixture.h"

#include "config/image.h"
#include "platform/files.h"

#include <thread>

namespace zr417::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t kOfficeEffect = 1, kRacingEffect = 2, kFlightEffect = 3;
constexpr int kGameModeOnX = 565, kGameModeOffX = 610, kGameModeOnY = 463;
constexpr int kSaveX = 950, kSaveY = 620;

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class AutoProfilesFlows : public E2E {
protected:
    void SetUp() override
    {
        E2E::SetUp();
        if (HasFatalFailure()) return;
        // A copy of sleep named like a game.
        fs::create_directories(root() / "games");
        fs::copy_file("/bin/sleep", racingGame());
        ASSERT_EQ(ctl("sim plug QV310").code, 0);
        // Three profiles of the keyboard's own settings, each with its own effect.
        auto image = keyboardImage();
        ASSERT_EQ(image.size(), kImageSize);
        fs::create_directories(dataDir() / "Configure");
        for (auto [name, effect] :
             {std::pair{"Office", kOfficeEffect}, {"Racing", kRacingEffect}, {"Flight", kFlightEffect}}) {
            image[settings::Effect] = effect;
            ASSERT_TRUE(WriteFileAtomic(dataDir() / "Configure" / (std::string(name) + ".bin"), image));
        }
    }

    fs::path racingGame() const { return root() / "games" / "racing-game"; }

    // A system bus of this test's own, which the program is pointed at.
    void startSystemBus()
    {
        const fs::path socket = root() / "run" / "system_bus";
        bus_ = std::make_unique<test::ChildProcess>(
            "/usr/bin/dbus-daemon",
            std::vector<std::string>{"--session", "--nofork", "--address=unix:path=" + socket.string()},
            std::map<std::string, std::string>{}, root() / "dbus.log");
        ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(socket) || !bus_->running(); }, 10s) && bus_->running())
            << test::ReadText(root() / "dbus.log");
        busAddress_ = "unix:path=" + socket.string();
    }
    std::map<std::string, std::string> environment() const override
    {
        auto env = E2E::environment();
        if (!busAddress_.empty()) env["DBUS_SYSTEM_BUS_ADDRESS"] = busAddress_;
        return env;
    }
    // logind says the computer woke up.
    void resume()
    {
        test::ChildProcess logind(test::RuntimeDir().parent_path() / "tests" / "fake_logind", {}, environment(),
                                  root() / "logind.log");
        auto code = logind.waitFor(10s);
        ASSERT_TRUE(code && *code == 0) << test::ReadText(root() / "logind.log");
    }

    // The program with the rules given through it.
    std::optional<Window> startWithRules()
    {
        auto& p = startProgram();
        EXPECT_TRUE(waitProgramStarted()) << programLog();
        auto w = waitWindow(p.pid(), 900, 1200, 30s);
        for (const char* rule : {"add racing-game Racing", "add flight.exe Flight", "default Office"}) {
            Output o = ctl(std::string("profile auto ") + rule);
            EXPECT_EQ(o.code, 0) << rule << ": " << o.text;
        }
        return w;
    }

    std::unique_ptr<test::ChildProcess> run(const fs::path& program, const std::vector<std::string>& args)
    {
        return std::make_unique<test::ChildProcess>(program, args, std::map<std::string, std::string>{},
                                                    root() / "games.log");
    }

    // Read only while the program is not talking to the keyboard: the two
    // would take turns on its one selected page.
    std::uint8_t keyboardEffect()
    {
        auto image = keyboardImage();
        return image.size() == kImageSize ? image[settings::Effect] : 0xEE;
    }
    std::string now() { return ctl("profile auto list").text; }
    std::unique_ptr<test::ChildProcess> bus_;
    std::string busAddress_;
    // The program says it switched (or waits), through its socket.
    bool waitNow(const std::string& line)
    {
        return test::WaitUntil([&] { return now().find("Now: " + line + "\n") != std::string::npos; }, 30s);
    }
};

TEST_F(AutoProfilesFlows, AGameSwitchesWhileItRunsAndALauncherDoesNot)
{
    ASSERT_TRUE(startWithRules()) << programLog();
    // Nothing of the rules runs: the default.
    ASSERT_TRUE(waitNow("Office: the default profile")) << now() << programLog();
    EXPECT_EQ(keyboardEffect(), kOfficeEffect);

    // Runs of half a second, back to back for 3 s (so the program looks at
    // some of them), then the game for good: only the game switches.
    auto launcher = run("/bin/bash", {"-c", "for i in 1 2 3 4 5 6; do '" + racingGame().string() + "' 0.5; done"});
    ASSERT_TRUE(launcher->waitFor(20s));
    EXPECT_EQ(Count(programLog(), "profile \"Racing\""), 0u) << "the half-second runs switched nothing\n"
                                                             << programLog();
    auto game = run(racingGame(), {"60"});
    ASSERT_TRUE(waitNow("Racing: racing-game runs")) << now() << programLog();
    EXPECT_EQ(keyboardEffect(), kRacingEffect);
    auto keymap = ReadBytes(keymapFile());
    ASSERT_EQ(keymap.size(), kImageSize);
    EXPECT_EQ(keymap[settings::Effect], kRacingEffect) << "keymap.bin follows";

    game->terminate();
    ASSERT_TRUE(waitNow("Office: the default profile")) << "back to the default when it ends\n" << now();
    EXPECT_EQ(keyboardEffect(), kOfficeEffect);

    // A Windows game under Wine: the loader runs it with its Windows path first.
    auto flight = run("/bin/bash", {"-c", "exec -a 'Z:\\Games\\Fly\\flight.exe' sleep 60"});
    ASSERT_TRUE(waitNow("Flight: flight.exe runs")) << now() << programLog();
    EXPECT_EQ(keyboardEffect(), kFlightEffect);
    flight->terminate();
    EXPECT_TRUE(waitNow("Office: the default profile")) << now();
}

TEST_F(AutoProfilesFlows, ChangesNotSavedHoldASwitchBackUntilSaved)
{
    auto w = startWithRules();
    ASSERT_TRUE(w) << programLog();
    ASSERT_TRUE(waitNow("Office: the default profile")) << now() << programLog();

    // Game Mode turned over in the window, not saved.
    const bool gameMode = ReadBytes(keymapFile()).at(settings::GameMode) == 1;
    click(*w, gameMode ? kGameModeOffX : kGameModeOnX, kGameModeOnY);
    auto game = run(racingGame(), {"60"});
    ASSERT_TRUE(waitNow("Office: the default profile\nWaiting to switch to Racing: the window has changes not saved"))
        << now();
    EXPECT_EQ(keyboardEffect(), kOfficeEffect);

    // Saved: the switch goes.
    click(*w, kSaveX, kSaveY);
    ASSERT_TRUE(waitNow("Racing: racing-game runs")) << now() << programLog();
    EXPECT_EQ(keyboardEffect(), kRacingEffect);
}

TEST_F(AutoProfilesFlows, AfterASuspendTheKeyboardGetsBackWhatItLost)
{
    ASSERT_NO_FATAL_FAILURE(startSystemBus());
    ASSERT_TRUE(startWithRules()) << programLog();
    ASSERT_TRUE(waitNow("Office: the default profile")) << now() << programLog();

    // Over the suspend the keyboard came to hold something else.
    auto image = keyboardImage();
    ASSERT_EQ(image.size(), kImageSize);
    image[settings::Effect] = kFlightEffect;
    ASSERT_TRUE(WriteFileAtomic(root() / "lost.bin", image));
    Output lost = ctl("save " + (root() / "lost.bin").string());
    ASSERT_EQ(lost.code, 0) << lost.text;

    resume();
    ASSERT_TRUE(test::WaitUntil(
        [&] { return programLog().find("After the suspend the keyboard lost what it was given") != std::string::npos; },
        30s))
        << programLog();
    ASSERT_TRUE(waitNow("Office: the default profile"));  // answered once the window is free again
    EXPECT_EQ(keyboardEffect(), kOfficeEffect);

    // Woken again with nothing lost: nothing is sent.
    resume();
    EXPECT_TRUE(test::WaitUntil(
        [&] {
            return programLog().find("After the suspend the keyboard holds what it was given") != std::string::npos;
        },
        30s))
        << programLog();
}

}  // namespace
}  // namespace zr417::e2e
