// How host-action paths are opened: programs start in their folder, files and
// folders go to the desktop's handler, missing paths do nothing.
#include "app/main_logic.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fstream>

using namespace zr417;

namespace {

constexpr std::uint8_t kSound = 4, kProgram = 5, kFile = 6, kFolder = 7;

struct HostOpen : ::testing::Test {
    test::TempDir dir;
    std::filesystem::path make(const std::string& name, mode_t mode)
    {
        auto p = dir.path() / name;
        std::ofstream(p) << "#!/bin/sh\n";
        ::chmod(p.c_str(), mode);
        return p;
    }
};

}  // namespace

TEST_F(HostOpen, ExecutableOfAStartKeyStartsInItsFolder)
{
    auto tool = make("my tool", 0755);
    HostOpenPlan plan = PlanHostOpen(kProgram, dir.path().string(), "my tool");
    EXPECT_EQ(plan.kind, HostOpenPlan::Kind::Start);
    EXPECT_EQ(plan.path, tool.string());
    EXPECT_EQ(plan.directory, dir.path().string());
}

TEST_F(HostOpen, EverythingElseThatExistsOpensWithTheDesktop)
{
    auto script = make("tune.mp3", 0755);  // executable, but a sound key: opened, never run
    EXPECT_EQ(PlanHostOpen(kSound, dir.path().string(), "tune.mp3").kind, HostOpenPlan::Kind::Open);
    EXPECT_EQ(PlanHostOpen(kFile, dir.path().string(), "tune.mp3").kind, HostOpenPlan::Kind::Open);
    auto text = make("notes.txt", 0644);
    EXPECT_EQ(PlanHostOpen(kProgram, dir.path().string(), "notes.txt").kind, HostOpenPlan::Kind::Open)
        << "a program key on a file that cannot run opens it";
    auto folder = dir.path() / "music";
    std::filesystem::create_directories(folder);
    HostOpenPlan plan = PlanHostOpen(kFolder, dir.path().string(), "music");
    EXPECT_EQ(plan.kind, HostOpenPlan::Kind::Open);
    EXPECT_EQ(plan.path, folder.string());
}

TEST_F(HostOpen, MissingEmptyOrSpecialPathsDoNothing)
{
    EXPECT_EQ(PlanHostOpen(kProgram, dir.path().string(), "gone").kind, HostOpenPlan::Kind::Nothing);
    EXPECT_EQ(PlanHostOpen(kFile, dir.path().string(), "").kind, HostOpenPlan::Kind::Nothing);
    EXPECT_EQ(PlanHostOpen(kFile, "C:", "x.exe").kind, HostOpenPlan::Kind::Nothing)
        << "a path stored by the Windows program";
    auto fifo = dir.path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(PlanHostOpen(kFile, dir.path().string(), "pipe").kind, HostOpenPlan::Kind::Nothing);
}
