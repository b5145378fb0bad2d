// Starts the real program twice and checks that one copy remains and that the
// first copy was asked to show its window; also that a first start creates
// keymap.bin at its full size.
#include "config/image.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

using namespace zr417;
using namespace zr417::test;
using namespace std::chrono_literals;

namespace {

std::map<std::string, std::string> ProgramEnvironment(const TempDir& dir)
{
    return {
        {"QT_QPA_PLATFORM", "offscreen"},
        {"ZR417_DATA_DIR", (dir.path() / "data").string()},
        {"XDG_RUNTIME_DIR", dir.path().string()},
        {"XDG_CONFIG_HOME", (dir.path() / "config").string()},
        {"XDG_STATE_HOME", (dir.path() / "state").string()},
        {"ZR417_SIMULATE", "QV310"},
        {"ZR417_TRACE", "1"},
    };
}

}  // namespace

TEST(SingleInstance, SecondStartRaisesTheFirstAndExits)
{
    TempDir dir;
    auto env = ProgramEnvironment(dir);
    auto program = RuntimeDir() / "ZR417 RGB Gaming Keyboard";
    auto firstLog = dir.path() / "first.log";
    ChildProcess first(program, {}, env, firstLog);
    auto keymap = dir.path() / "data" / "keymap.bin";
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(keymap); }, 20s)) << ReadText(firstLog);
    EXPECT_EQ(std::filesystem::file_size(keymap), kImageSize);

    ChildProcess second(program, {}, env, dir.path() / "second.log");
    auto code = second.waitFor(20s);
    ASSERT_TRUE(code.has_value()) << "the second start must end by itself";
    EXPECT_EQ(*code, 0);
    EXPECT_TRUE(first.running()) << "the first copy keeps running";
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadText(firstLog).find("Main window activated by a second start") != std::string::npos; }, 10s))
        << ReadText(firstLog);
}

TEST(SingleInstance, AnotherUsersLockNameDoesNotBlockAStart)
{
    // A copy started with its own runtime folder (as another login would have)
    // is not taken for a second instance.
    TempDir a, b;
    auto program = RuntimeDir() / "ZR417 RGB Gaming Keyboard";
    ChildProcess first(program, {}, ProgramEnvironment(a), a.path() / "log");
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(a.path() / "data" / "keymap.bin"); }, 20s));
    ChildProcess other(program, {}, ProgramEnvironment(b), b.path() / "log");
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(b.path() / "data" / "keymap.bin"); }, 20s));
    EXPECT_TRUE(other.running());
    EXPECT_TRUE(first.running());
}
