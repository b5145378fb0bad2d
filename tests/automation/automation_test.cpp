// Automatic profiles without the program: the rules file, matching programs,
// the watch over a /proc tree laid out by the test, and switching on a clock
// the test turns.
#include "automation/auto_rules.h"
#include "automation/auto_switcher.h"
#include "automation/process_match.h"
#include "automation/process_watch.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include <fstream>
#include <set>

namespace zr417 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using std::chrono::nanoseconds;
using testing::HasSubstr;

std::string Text(const fs::path& file)
{
    auto bytes = ReadFileBytes(file);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<missing>");
}

void Write(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

TEST(AutoRulesFile, KeepsAnyNameAndRefusesDamageWithItsLine)
{
    test::TempDir dir("auto-rules");
    const fs::path file = dir.path() / "sub" / "auto-profiles.conf";

    // A missing file: no rules, and on.
    auto none = LoadAutoRules(file);
    ASSERT_TRUE(std::holds_alternative<AutoRules>(none));
    EXPECT_EQ(std::get<AutoRules>(none), AutoRules{});

    // Names with '=', '#', inner blanks and Chinese survive the file.
    AutoRules rules;
    rules.enabled = false;
    rules.defaultProfile = "办公 #1";
    AddRule(rules, "racing-game", "Racing=fast");
    AddRule(rules, "/opt/My Games/sim; x=1", "Sim");
    AddRule(rules, "Flight.EXE", "Fly");
    AddRule(rules, "flight.exe", "Flight");  // the same program: replaces
    ASSERT_EQ(rules.rules.size(), 3u);
    EXPECT_EQ(rules.rules[2], (AutoRule{"flight.exe", "Flight"}));
    std::string error;
    ASSERT_TRUE(SaveAutoRules(file, rules, &error)) << error;
    auto loaded = LoadAutoRules(file);
    ASSERT_TRUE(std::holds_alternative<AutoRules>(loaded)) << std::get<std::string>(loaded);
    EXPECT_EQ(std::get<AutoRules>(loaded), rules);

    // Only ".exe" names match in any case.
    EXPECT_TRUE(RemoveRule(rules, "FLIGHT.exe"));
    EXPECT_FALSE(RemoveRule(rules, "Racing-Game"));

    // Damaged files: the reason and the line, and the file stays as it was.
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"enabled=on\ncolour=red\n", "line 2: unknown name \"colour\""},
        {"[rule]\nprogram=game\n\n[rule]\nprogram=x\nprofile=P\n", "line 1: the rule has no profile="},
        {"[rule]\nprogram=A.exe\nprofile=P\n[rule]\nprogram=a.EXE\nprofile=Q\n",
         "line 5: the program \"a.EXE\" has a rule already (line 2)"},
        {"[rule]\nprogram=ga\x1bme\nprofile=P\n", "line 2: the line holds control characters"},
        {"[rule]\nprogram=bin/game\nprofile=P\n", "line 2: the program \"bin/game\" is a path"},
        {"[rule]\nprogram=game\nprofile=a/b\n", "line 3: \"a/b\" can be no profile's name"},
        {"enabled=maybe\n", "line 1: enabled= takes on or off"},
        {"[rules]\n", "line 1: unknown section [rules]"},
    };
    for (const auto& [text, reason] : damaged) {
        Write(file, text);
        auto result = LoadAutoRules(file);
        ASSERT_TRUE(std::holds_alternative<std::string>(result)) << text;
        EXPECT_THAT(std::get<std::string>(result), HasSubstr(file.string() + ", " + reason)) << text;
        EXPECT_EQ(Text(file), text);
    }

    // What a user may not give a rule.
    EXPECT_TRUE(ProgramProblem(""));
    EXPECT_TRUE(ProgramProblem("  "));
    EXPECT_TRUE(ProgramProblem("game\n"));
    EXPECT_TRUE(ProgramProblem(" game"));
    EXPECT_TRUE(ProgramProblem("/usr/games/"));
    EXPECT_FALSE(ProgramProblem("Z:\\Games\\flight.exe"));
    EXPECT_TRUE(RuleProfileProblem(""));
    EXPECT_TRUE(RuleProfileProblem("Rac\ting"));
}

TEST(AutoRulesMatch, ByExecutableNamePathCommAndWindowsFirstArgument)
{
    ProcessInfo native{10, "/usr/games/racing-game", "racing-game", "/usr/games/racing-game"};
    EXPECT_TRUE(ProgramMatches("racing-game", native));
    EXPECT_TRUE(ProgramMatches("/usr/games/racing-game", native));
    EXPECT_FALSE(ProgramMatches("/usr/bin/racing-game", native));
    EXPECT_FALSE(ProgramMatches("Racing-Game", native));
    EXPECT_FALSE(ProgramMatches("racing", native));

    // The executable may not be readable; the kernel cuts comm to 15 bytes.
    ProcessInfo hidden{11, "", "a-very-long-gam", "./start"};
    EXPECT_TRUE(ProgramMatches("a-very-long-game-name", hidden));
    EXPECT_FALSE(ProgramMatches("a-very-long-gam-other", ProcessInfo{12, "", "a-very-long-ga", "x"}));
    EXPECT_FALSE(ProgramMatches("/a-very-long-gam", hidden));

    // Wine: the loader is the executable, the Windows path the first argument.
    ProcessInfo wine{13, "/usr/lib/wine/wine64-preloader", "Flight.exe", "Z:\\Games\\Fly\\Flight.exe"};
    EXPECT_TRUE(ProgramMatches("flight.exe", wine));
    EXPECT_TRUE(ProgramMatches("FLIGHT.EXE", wine));
    EXPECT_FALSE(ProgramMatches("Fly", wine));
    EXPECT_TRUE(ProgramMatches("z:\\games\\fly\\FLIGHT.exe", wine));
    EXPECT_FALSE(ProgramMatches("C:\\Games\\Fly\\Flight.exe", wine));
    EXPECT_TRUE(ProgramMatches("race.exe", ProcessInfo{14, "/usr/bin/sleep", "sleep", "C:/Games/RACE.EXE"}));
}

// A /proc laid out by the test: one folder per process with the files the
// watch reads.
class FakeProc {
public:
    FakeProc() : dir_("fake-proc") {}
    const fs::path& root() const { return dir_.path(); }

    void start(int pid, const std::string& exe, const std::string& comm, const std::string& firstArg,
               nanoseconds startedAt)
    {
        const fs::path p = root() / std::to_string(pid);
        fs::create_directories(p);
        Write(root() / "loadavg", "0.10 0.20 0.30 1/200 " + std::to_string(pid) + "\n");
        const long ticks =
            std::chrono::duration_cast<std::chrono::milliseconds>(startedAt).count() * ::sysconf(_SC_CLK_TCK) / 1000;
        // A comm with a blank and a parenthesis, as a process may give itself.
        Write(p / "stat", std::to_string(pid) + " (" + comm + " (x)) S 1 2 3 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 " +
                              std::to_string(ticks) + " 0 0\n");
        exec(pid, exe, comm, firstArg);
    }
    void exec(int pid, const std::string& exe, const std::string& comm, const std::string& firstArg)
    {
        const fs::path p = root() / std::to_string(pid);
        fs::remove(p / "exe");
        fs::create_symlink(exe, p / "exe");
        Write(p / "comm", comm + "\n");
        Write(p / "cmdline", firstArg + std::string("\0--flag\0", 8));
    }
    void end(int pid) { fs::remove_all(root() / std::to_string(pid)); }
    // Ended, but not yet reaped by its parent: still listed.
    void zombie(int pid)
    {
        const fs::path stat = root() / std::to_string(pid) / "stat";
        std::string text = Text(stat);
        text[text.rfind(')') + 2] = 'Z';
        Write(stat, text);
        Write(root() / std::to_string(pid) / "cmdline", "");
    }

private:
    test::TempDir dir_;
};

std::set<int> Pids(const std::vector<ProcessInfo>& list)
{
    std::set<int> pids;
    for (const auto& p : list) pids.insert(p.pid);
    return pids;
}

TEST(ProcessWatchTest, ReadsOnlyWhatIsNewSkipsOthersAndHalfGoneProcesses)
{
    FakeProc proc;
    nanoseconds now = 1000s;
    for (int pid = 100; pid < 150; ++pid) proc.start(pid, "/usr/bin/sleep", "sleep", "sleep", now - 60s);
    proc.start(200, "/usr/games/racing-game", "racing-game", "racing-game", now - 300ms);
    // Ended while read: its folder is still listed, its command line is gone.
    proc.start(201, "/usr/bin/true", "true", "true", now - 60s);
    fs::remove(proc.root() / "201" / "cmdline");
    fs::create_directories(proc.root() / "self");  // not a process number

    ProcessWatch watch(proc.root(), ::getuid());
    auto first = watch.Scan(now);
    EXPECT_EQ(first.seen.size(), 51u);
    EXPECT_EQ(Pids(first.seen).count(201), 0u);
    EXPECT_TRUE(first.gone.empty());
    const auto game = std::find_if(first.seen.begin(), first.seen.end(), [](auto& p) { return p.pid == 200; });
    ASSERT_NE(game, first.seen.end());
    EXPECT_EQ(*game, (ProcessInfo{200, "/usr/games/racing-game", "racing-game", "racing-game", now - 300ms}));

    // The next looks read only the young one and the new one.
    const auto reads = watch.reads();
    proc.end(101);
    proc.start(202, "/bin/bash", "bash", "bash", now + 500ms);
    now += 1s;
    auto second = watch.Scan(now);
    EXPECT_EQ(Pids(second.seen), std::set<int>{202});
    EXPECT_EQ(second.gone, std::vector<int>{101});
    EXPECT_LE(watch.reads() - reads, 3u);

    // The shell turns into the game by exec: found at a later look, and
    // counted as running it since the look before.
    proc.exec(202, "/usr/bin/sleep", "sleep", "Z:\\Games\\Fly\\flight.exe");
    const nanoseconds before = now;
    now += 1s;
    auto third = watch.Scan(now);
    ASSERT_EQ(third.seen.size(), 1u);
    EXPECT_EQ(third.seen[0].firstArg, "Z:\\Games\\Fly\\flight.exe");
    EXPECT_EQ(third.seen[0].since, before);

    // An old process is never read again; a vanished folder is just gone.
    for (int i = 0; i < 20; ++i) now += 1s, watch.Scan(now);
    const auto settled = watch.reads();
    now += 1s;
    EXPECT_TRUE(watch.Scan(now).empty());
    EXPECT_EQ(watch.reads(), settled);

    // Processes of another user are passed over.
    ProcessWatch other(proc.root(), ::getuid() + 1);
    EXPECT_TRUE(other.Scan(now).seen.empty());
    EXPECT_TRUE(other.Processes().empty());
}

class SwitcherTest : public testing::Test {
protected:
    SwitcherTest()
        : watch(proc.root(), ::getuid()),
          switcher(watch, [this](const std::string& p) { return profiles.count(p) > 0; })
    {
        AutoRules rules;
        rules.defaultProfile = "Office";
        AddRule(rules, "racing-game", "Racing");
        AddRule(rules, "flight.exe", "Flight");
        AddRule(rules, "editor", "Gone");  // names a profile that does not exist
        switcher.SetRules(rules);
        proc.start(10, "/usr/bin/bash", "bash", "-bash", now - 100s);
    }
    // Looks every second for `span`; the targets that came out on the way.
    std::vector<AutoTarget> Run(nanoseconds span)
    {
        std::vector<AutoTarget> out;
        for (nanoseconds end = now + span; now < end;) {
            now += 1s;
            if (auto t = switcher.Tick(now)) out.push_back(*t);
        }
        return out;
    }
    static AutoTarget Rule(const std::string& profile, const std::string& program)
    {
        return {AutoTarget::Kind::Rule, profile, program};
    }
    static AutoTarget Default() { return {AutoTarget::Kind::Default, "Office", ""}; }

    FakeProc proc;
    std::set<std::string> profiles{"Office", "Racing", "Flight"};
    nanoseconds now = 5000s;
    ProcessWatch watch;
    AutoSwitcher switcher;
};

TEST_F(SwitcherTest, TwoSecondRunsSwitchAndTheLatestStillRunningComesBack)
{
    EXPECT_EQ(Run(1s), std::vector{Default()});

    // A launcher that lives half a second switches nothing, though a look
    // found it running.
    proc.start(20, "/usr/games/racing-game", "racing-game", "racing-game", now + 500ms);
    EXPECT_TRUE(Run(1s).empty());
    proc.end(20);
    EXPECT_TRUE(Run(5s).empty());

    // Two seconds count from its start, not from the look that found it.
    proc.start(21, "/usr/games/racing-game", "racing-game", "racing-game", now + 100ms);
    auto targets = Run(2s);
    EXPECT_TRUE(targets.empty());
    EXPECT_EQ(Run(1s), std::vector{Rule("Racing", "racing-game")});

    // A game started later wins; when it ends the racing game comes back,
    // and when that ends, the default.
    proc.start(30, "/usr/lib/wine/wine64-preloader", "flight.exe", "Z:\\Games\\Fly\\flight.exe", now + 200ms);
    EXPECT_EQ(Run(3s), std::vector{Rule("Flight", "flight.exe")});
    // The program of a missing profile counts for nothing.
    proc.start(40, "/usr/bin/editor", "editor", "editor", now);
    EXPECT_TRUE(Run(3s).empty());
    proc.zombie(30);
    EXPECT_EQ(Run(1s), std::vector{Rule("Racing", "racing-game")});
    proc.end(21);
    EXPECT_EQ(Run(1s), std::vector{Default()});

    // Without a default the keyboard keeps what it has.
    AutoRules rules = switcher.rules();
    rules.defaultProfile.clear();
    switcher.SetRules(rules);
    EXPECT_EQ(Run(1s), std::vector{AutoTarget{}});

    // Rules added for games already running count their time from their
    // start; one that has ended unnoticed meanwhile counts for nothing.
    proc.start(49, "/opt/sim/bin/old-sim", "old-sim", "old-sim", now - 5s);
    proc.start(50, "/opt/sim/bin/sim", "sim", "sim", now - 10s);
    EXPECT_TRUE(Run(1s).empty());
    proc.end(49);
    AddRule(rules, "/opt/sim/bin/sim", "Flight");
    AddRule(rules, "old-sim", "Racing");
    switcher.SetRules(rules);
    EXPECT_EQ(Run(1s), std::vector{Rule("Flight", "/opt/sim/bin/sim")});

    // Turned off, nothing switches; turned on, a running game is found again.
    rules.enabled = false;
    switcher.SetRules(rules);
    EXPECT_EQ(switcher.target(), AutoTarget{});
    proc.end(50);
    EXPECT_TRUE(Run(3s).empty());
    proc.start(51, "/opt/sim/bin/sim", "sim", "sim", now - 10s);
    rules.enabled = true;
    switcher.SetRules(rules);
    EXPECT_EQ(Run(1s), std::vector{Rule("Flight", "/opt/sim/bin/sim")});
}

}  // namespace
}  // namespace zr417
