// Automatic profiles without the program: the rules file and matching programs.
#include "automation/auto_rules.h"
#include "automation/process_match.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

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
    EXPECT_TRUE(ProgramMatches("race.exe", ProcessInfo{14, "/usr/bin/sleep", "sleep", "C:/Games/RACE.EXE"}));
}

// A /proc laid out by the test: one folder per process with the files the
// watch reads.
}  // namespace
}  // namespace zr417
