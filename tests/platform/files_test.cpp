#include "platform/files.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>

namespace zr417 {
namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class TempDir : public ::testing::Test {
protected:
    std::vector<std::string> Names(const fs::path& d) const
    {
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(d)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    zr417::test::TempDir tmp_{"files"};
    fs::path dir_ = tmp_.path();
};

// ---- ReadFileBytes ----------------------------------------------------------

using ReadFileBytesTest = TempDir;

TEST_F(ReadFileBytesTest, MissingAndDirectoryGiveNothing)
{
    EXPECT_FALSE(ReadFileBytes(dir_ / "missing.bin").has_value());
    EXPECT_FALSE(ReadFileBytes(dir_).has_value());
    fs::create_directory(dir_ / "keymap.bin");
    EXPECT_FALSE(ReadFileBytes(dir_ / "keymap.bin", 100).has_value());
    test::WriteBytes(dir_ / "plain", {1});
    EXPECT_FALSE(ReadFileBytes(dir_ / "plain" / "below").has_value());
}

TEST_F(ReadFileBytesTest, ShortEmptyAndCappedFiles)
{
    Bytes data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    test::WriteBytes(dir_ / "f", data);

    auto all = ReadFileBytes(dir_ / "f");
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(*all, data);

    auto more = ReadFileBytes(dir_ / "f", 5000);  // asking for more gives what is there
    ASSERT_TRUE(more.has_value());
    EXPECT_EQ(*more, data);

    auto capped = ReadFileBytes(dir_ / "f", 10);
    ASSERT_TRUE(capped.has_value());
    EXPECT_EQ(*capped, Bytes(data.begin(), data.begin() + 10));

    auto none = ReadFileBytes(dir_ / "f", 0);
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());

    test::WriteBytes(dir_ / "empty", {});
    auto empty = ReadFileBytes(dir_ / "empty");
    ASSERT_TRUE(empty.has_value());  // an empty file exists; it is not "missing"
    EXPECT_TRUE(empty->empty());
}

TEST_F(ReadFileBytesTest, UnreadableFileGivesNothing)
{
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
    test::WriteBytes(dir_ / "locked", {1, 2, 3});
    ASSERT_EQ(::chmod((dir_ / "locked").c_str(), 0), 0);
    EXPECT_FALSE(ReadFileBytes(dir_ / "locked").has_value());
}

// ---- WriteFileAtomic --------------------------------------------------------

using WriteFileAtomicTest = TempDir;

TEST_F(WriteFileAtomicTest, CreatesAndReplacesWithExactlyTheNewBytes)
{
    fs::path f = dir_ / "keymap.bin";
    Bytes first(5000, 0xAA);
    ASSERT_TRUE(WriteFileAtomic(f, first));
    EXPECT_EQ(test::ReadBytes(f), first);

    Bytes second = {1, 2, 3};  // shorter: nothing of the old file may remain
    ASSERT_TRUE(WriteFileAtomic(f, second));
    EXPECT_EQ(test::ReadBytes(f), second);

    ASSERT_TRUE(WriteFileAtomic(f, Bytes{}));
    EXPECT_EQ(fs::file_size(f), 0u);
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"keymap.bin"}));
}

TEST_F(WriteFileAtomicTest, PartsAreWrittenInOrder)
{
    fs::path f = dir_ / "two.bin";
    Bytes a = {1, 2, 3}, b = {}, c = {9, 8};
    ASSERT_TRUE(WriteFileAtomic(f, {a, b, c}));
    EXPECT_EQ(test::ReadBytes(f), (Bytes{1, 2, 3, 9, 8}));
}

TEST_F(WriteFileAtomicTest, ReplacesByRenameSoAnOpenReaderKeepsTheOldContents)
{
    fs::path f = dir_ / "keymap.bin";
    ASSERT_TRUE(WriteFileAtomic(f, Bytes(100, 0x11)));
    struct stat before {};
    ASSERT_EQ(::stat(f.c_str(), &before), 0);
    std::ifstream reader(f, std::ios::binary);

    ASSERT_TRUE(WriteFileAtomic(f, Bytes(100, 0x22)));
    struct stat after {};
    ASSERT_EQ(::stat(f.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);  // a new file took the name
    Bytes seen(std::istreambuf_iterator<char>(reader), {});
    EXPECT_EQ(seen, Bytes(100, 0x11));
    EXPECT_EQ(test::ReadBytes(f), Bytes(100, 0x22));
}

TEST_F(WriteFileAtomicTest, NewFileGetsOrdinaryPermissions)
{
    mode_t old = ::umask(022);
    const auto written = WriteFileAtomic(dir_ / "perm", Bytes{1});
    ::umask(old);
    ASSERT_TRUE(written);
    struct stat st {};
    ASSERT_EQ(::stat((dir_ / "perm").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // not mkstemp's 0600
}

TEST_F(WriteFileAtomicTest, FailureKeepsTheOldFileAndLeavesNoTemporary)
{
    fs::path f = dir_ / "keymap.bin";
    ASSERT_TRUE(WriteFileAtomic(f, Bytes(64, 0x5A)));

    // Each failure says why, for the message the user sees.
    // A directory standing where the file should go is not replaced.
    fs::create_directory(dir_ / "taken");
    EXPECT_EQ(WriteFileAtomic(dir_ / "taken", Bytes{1, 2}).error, std::errc::is_a_directory);
    EXPECT_TRUE(fs::is_directory(dir_ / "taken"));

    // A parent that is a regular file cannot hold anything.
    EXPECT_EQ(WriteFileAtomic(f / "inner", Bytes{1, 2}).error, std::errc::not_a_directory);
    EXPECT_EQ(test::ReadBytes(f), Bytes(64, 0x5A));

    // A missing folder is not created.
    EXPECT_EQ(WriteFileAtomic(dir_ / "nope" / "x.bin", Bytes{1}).error, std::errc::no_such_file_or_directory);
    EXPECT_FALSE(fs::exists(dir_ / "nope"));

    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"keymap.bin", "taken"}));
}

TEST_F(WriteFileAtomicTest, ReadOnlyFolderKeepsTheOldFile)
{
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root; covered by the parent-is-a-file case";
    fs::path f = dir_ / "keymap.bin";
    ASSERT_TRUE(WriteFileAtomic(f, Bytes(64, 0x5A)));
    ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
    EXPECT_EQ(WriteFileAtomic(f, Bytes(64, 0x00)).error, std::errc::permission_denied);
    ::chmod(dir_.c_str(), 0755);
    EXPECT_EQ(test::ReadBytes(f), Bytes(64, 0x5A));
    EXPECT_EQ(Names(dir_), (std::vector<std::string>{"keymap.bin"}));
}

TEST_F(WriteFileAtomicTest, ReplacingKeepsTheModeAndWritesThroughLinks)
{
    fs::create_directory(dir_ / "store");
    fs::path real = dir_ / "store" / "keymap.bin";
    test::WriteBytes(real, Bytes(10, 1));
    ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
    ASSERT_TRUE(WriteFileAtomic(real, Bytes(10, 2)));
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "a private file stays private";

    // A link (relative, through a second link) is followed: the target gets
    // the bytes, the links stay links.
    fs::create_symlink("store/keymap.bin", dir_ / "first");
    fs::create_symlink(dir_ / "first", dir_ / "keymap.bin");
    ASSERT_TRUE(WriteFileAtomic(dir_ / "keymap.bin", Bytes(10, 3)));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir_ / "keymap.bin")));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir_ / "first")));
    EXPECT_EQ(test::ReadBytes(real), Bytes(10, 3));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(Names(dir_ / "store"), (std::vector<std::string>{"keymap.bin"}));

    fs::create_symlink("loop-b", dir_ / "loop-a");
    fs::create_symlink("loop-a", dir_ / "loop-b");
    EXPECT_FALSE(WriteFileAtomic(dir_ / "loop-a", Bytes{1})) << "a loop of links has no target";
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir_ / "loop-a")));
}

TEST_F(WriteFileAtomicTest, KillsDuringSavesLeaveNoStrayFilesAndAWholeFile)
{
    fs::path f = dir_ / "keymap.bin";
    const Bytes a(213116, 0xA1), b(213116, 0xB2), c(213116, 0xC3);
    std::mt19937 rng(16);
    for (int round = 0; round < 15; ++round) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (bool flip = false;; flip = !flip) WriteFileAtomic(f, flip ? a : b);
        }
        ::usleep(2000 + rng() % 20000);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        if (fs::exists(f)) {
            Bytes now = test::ReadBytes(f);
            EXPECT_TRUE(now == a || now == b || now == c) << "round " << round << ": a torn file";
        }
        // The program's next save of the file.
        ASSERT_TRUE(WriteFileAtomic(f, c));
        EXPECT_EQ(Names(dir_), (std::vector<std::string>{"keymap.bin"})) << "round " << round;
    }
}

// ---- AppPaths -------------------------------------------------------------

// Sets or clears an environment variable for the life of the object.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvVar()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

using AppPathsTest = TempDir;

TEST_F(AppPathsTest, WritableExecutableFolderHoldsTheDataFiles)
{
    EnvVar forced("ZR417_DATA_DIR", nullptr);
    AppPaths p = AppPaths::ForExecutableDir(dir_).value();
    EXPECT_EQ(p.exeDir, dir_);
    EXPECT_EQ(p.dataDir, dir_);
    EXPECT_EQ(p.keymapFile(), dir_ / "keymap.bin");
    EXPECT_EQ(p.macroFile(), dir_ / "MacroDefine.bin");
    EXPECT_EQ(p.profileDir(), dir_ / "Configure");
    EXPECT_EQ(p.skinDir(4), dir_ / "png" / "chinese");
    EXPECT_EQ(p.skinDir(9), dir_ / "png" / "english");
}

TEST_F(AppPathsTest, DataDirVariableWinsAndIsCreated)
{
    fs::path forcedDir = dir_ / "forced" / "deeper";
    EnvVar forced("ZR417_DATA_DIR", forcedDir.c_str());
    AppPaths p = AppPaths::ForExecutableDir(dir_).value();
    EXPECT_EQ(p.exeDir, dir_);
    EXPECT_EQ(p.dataDir, forcedDir);
    EXPECT_TRUE(fs::is_directory(forcedDir));
    EXPECT_EQ(p.keymapFile(), forcedDir / "keymap.bin");
}

TEST_F(AppPathsTest, UnwritableExecutableFolderFallsBackToTheUserDataFolder)
{
    EnvVar forced("ZR417_DATA_DIR", nullptr);
    fs::path xdg = dir_ / "xdg";
    EnvVar data("XDG_DATA_HOME", xdg.c_str());

    fs::path exe = dir_ / "install";
    if (::geteuid() == 0) {
        exe = dir_ / "not-there";  // root may write anywhere; a missing folder cannot be written
    } else {
        fs::create_directory(exe);
        ASSERT_EQ(::chmod(exe.c_str(), 0555), 0);
    }
    AppPaths p = AppPaths::ForExecutableDir(exe).value();
    EXPECT_EQ(p.exeDir, exe);
    EXPECT_EQ(p.dataDir, xdg / "ZR417 RGB Gaming Keyboard");
    EXPECT_TRUE(fs::is_directory(p.dataDir));
    EXPECT_EQ(p.skinDir(9), exe / "png" / "english");  // artwork stays with the program
}

// Root can write /usr; an installed copy must still keep root's files in
// root's data folder, not in the program folder every user runs.
TEST_F(AppPathsTest, InstalledCopyUsesTheUserDataFolderEvenWhenItsFolderIsWritable)
{
    EnvVar forced("ZR417_DATA_DIR", nullptr);
    fs::path xdg = dir_ / "xdg";
    EnvVar data("XDG_DATA_HOME", xdg.c_str());
    fs::path exe = dir_ / "lib" / "zr417";
    fs::create_directories(exe);
    ASSERT_TRUE(WriteFileAtomic(exe / kInstalledCopyMarker, std::span<const std::uint8_t>{}));
    ASSERT_EQ(::access(exe.c_str(), W_OK), 0);
    AppPaths p = AppPaths::ForExecutableDir(exe).value();
    EXPECT_EQ(p.dataDir, xdg / "ZR417 RGB Gaming Keyboard");
    EXPECT_EQ(p.skinDir(9), exe / "png" / "english");
}

TEST_F(AppPathsTest, WithoutHomeTheAccountsOwnFolderIsUsedNeverASharedOne)
{
    EnvVar data("XDG_DATA_HOME", nullptr);
    EnvVar homeVar("HOME", nullptr);
    const struct passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(UserDataFolder(), fs::path(pw->pw_dir) / ".local" / "share" / "ZR417 RGB Gaming Keyboard");

    // An account the password database does not know has no folder at all
    // (only root can become one; test.sh runs as root in CI).
    if (::geteuid() == 0) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            uid_t unknown = 54321;
            while (::getpwuid(unknown)) ++unknown;
            if (::setuid(unknown) != 0) ::_exit(2);
            ::_exit(UserDataFolder() ? 1 : 0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
}

TEST_F(AppPathsTest, RelativeXdgDataHomeIsIgnored)
{
    EnvVar forced("ZR417_DATA_DIR", nullptr);
    EnvVar data("XDG_DATA_HOME", "relative/dir");
    fs::path home = dir_ / "home";
    EnvVar homeVar("HOME", home.c_str());
    AppPaths p = AppPaths::ForExecutableDir(dir_ / "not-there").value();
    EXPECT_EQ(p.dataDir, home / ".local" / "share" / "ZR417 RGB Gaming Keyboard");
    EXPECT_TRUE(fs::is_directory(p.dataDir));
}

// The tests' temporary folders open up read-only subfolders before removal;
// that must never reach through a link (one run left /dev/null mode 0755).
TEST(TestTempDir, RemovalLeavesTheTargetsOfLinksAlone)
{
    test::TempDir outside("outside");
    const fs::path target = outside.path() / "target";
    std::ofstream(target) << "x";
    ::chmod(target.c_str(), 0600);
    {
        test::TempDir inside("inside");
        fs::create_directory(inside.path() / "sub");
        fs::create_symlink(target, inside.path() / "sub" / "link");
        ::chmod((inside.path() / "sub").c_str(), 0500);
    }
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

}  // namespace
}  // namespace zr417
