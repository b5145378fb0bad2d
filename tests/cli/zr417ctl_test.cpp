// Runs zr417ctl against the simulated keyboard in a temporary home folder.
#include "config/image.h"
#include "platform/files.h"
#include "platform/instance_link.h"
#include "platform/user_runtime.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace zr417 {
namespace {

namespace fs = std::filesystem;

struct Result {
    int exitCode = -1;
    std::string output;  // stdout and stderr
};

class Zr417ctl : public ::testing::Test {
protected:
    Zr417ctl()
    {
        const char* runtime = std::getenv("ZR417_RUNTIME_DIR");
        program_ = fs::path(runtime ? runtime : ".") / "zr417ctl";
    }

    Result run(const std::string& arguments)
    {
        std::string command = "cd '" + home_.string() + "' && env -u XDG_STATE_HOME -u ZR417_SIMULATE HOME='" +
                              home_.string() + "' " + env_ + " '" + program_.string() + "' " + arguments + " 2>&1";
        Result r;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return r;
        std::array<char, 4096> buffer;
        while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) r.output.append(buffer.data(), n);
        int status = ::pclose(pipe);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }

    fs::path file(const std::string& name) const { return home_ / name; }

    // The main program on a simulated QV310 of its own, with runtime folder
    // `runtime` and data folder `data`, which zr417ctl's runs use too.
    std::map<std::string, std::string> useProgramFolders(const fs::path& runtime, const fs::path& data)
    {
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directories(data / "Configure");
        env_ += "XDG_RUNTIME_DIR='" + runtime.string() + "' ZR417_DATA_DIR='" + data.string() + "' ";
        return {
            {"XDG_RUNTIME_DIR", runtime.string()},
            {"ZR417_DATA_DIR", data.string()},
            {"XDG_STATE_HOME", (home_ / "state").string()},
            {"XDG_CONFIG_HOME", (home_ / "config").string()},
            {"HOME", home_.string()},
            {"QT_QPA_PLATFORM", "offscreen"},
            {"ZR417_SIMULATE", "QV310"},
        };
    }
    fs::path mainProgram() const { return program_.parent_path() / std::string(kMainProgramFile); }

    int count(const std::string& text, const std::string& line)
    {
        int n = 0;
        for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
        return n;
    }

    zr417::test::TempDir tmp_{"ctl"};
    fs::path home_ = tmp_.path();
    fs::path program_;
    std::string env_;  // more NAME=value words for every run
};

std::vector<std::uint8_t> someImage()
{
    std::vector<std::uint8_t> image(kImageSize, 0);
    std::mt19937 rng(417);
    for (std::size_t i = settings::Plane0; i < settings::MacroPages; ++i) image[i] = static_cast<std::uint8_t>(rng());
    for (std::size_t i = settings::PicturePages + 1; i < settings::PicturePages + 5 * settings::PageSize; ++i)
        image[i] = static_cast<std::uint8_t>(rng());
    for (int k = 0; k < 5; ++k)  // the report ID byte of each picture page
        image[settings::PicturePages + k * settings::PageSize] = 4;
    std::uint8_t* slot = image.data() + settings::MacroSlots + settings::MacroSlotSize * 2;
    slot[1] = 3;
    slot[2] = 0x80;
    slot[3] = 0x04;
    slot[5] = 50;  // 50 ms: sent as 7 units
    const std::uint8_t group0[] = {3, 4, 2, 5, 1}, group6[] = {1, 2, 3, 4, 1};
    std::copy(std::begin(group0), std::end(group0), image.begin() + settings::LedGroup0);
    std::copy(std::begin(group6), std::end(group6), image.begin() + settings::LedGroup6);
    image[settings::WinLock] = 1;
    image[settings::GameMode] = 1;
    return image;
}

TEST_F(Zr417ctl, SaveThenReadRoundTripsEveryRegionTheReadOutCovers)
{
    auto image = someImage();
    ASSERT_TRUE(WriteFileAtomic(file("keymap.bin"), image));
    auto saved = run("--simulate QV420 --trace save keymap.bin");
    ASSERT_EQ(saved.exitCode, 0) << saved.output;
    EXPECT_EQ(count(saved.output, "Data OK(Macro)\n"), 12);
    EXPECT_EQ(count(saved.output, "Data OK(SetUserPicture)\n"), 5);
    EXPECT_EQ(count(saved.output, "Data OK(KeyMatrix)\n"), 1);
    EXPECT_EQ(count(saved.output, "Data OK\n"), 2);
    EXPECT_EQ(count(saved.output, "ot OK"), 0);

    auto read = run("--simulate QV420 read out.bin");  // a separate run sees the same keyboard
    ASSERT_EQ(read.exitCode, 0) << read.output;
    auto out = ReadFileBytes(file("out.bin"));
    ASSERT_TRUE(out);
    ASSERT_EQ(out->size(), kImageSize);
    auto same = [&](std::size_t from, std::size_t size) {
        return std::equal(image.begin() + from, image.begin() + from + size, out->begin() + from);
    };
    EXPECT_TRUE(same(settings::Plane0, 512));
    EXPECT_TRUE(same(settings::PicturePages, 5 * settings::PageSize));
    EXPECT_TRUE(same(settings::LedGroup0, 10));
    EXPECT_TRUE(same(settings::WinLock, 1));
    EXPECT_TRUE(same(settings::GameMode, 1));
    // The macro page holds the slot as sent: delays in 8 ms units.
    const std::uint8_t* page2 = out->data() + settings::MacroPages + 2 * settings::PageSize;
    EXPECT_EQ(page2[0], 4);
    EXPECT_EQ(page2[2], 3);
    EXPECT_EQ(page2[6], (50 >> 3) + 1);
    EXPECT_EQ((*out)[settings::KeyMatrix], 6);

    auto info = run("--simulate qv420 info");
    EXPECT_EQ(info.exitCode, 0);
    EXPECT_NE(info.output.find("Model:            QV420"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Win Lock:         on"), std::string::npos) << info.output;

    // Each model is a keyboard of its own.
    auto other = run("--simulate QV310 read other.bin");
    ASSERT_EQ(other.exitCode, 0) << other.output;
    auto otherOut = ReadFileBytes(file("other.bin"));
    EXPECT_FALSE(std::equal(image.begin() + settings::Plane0, image.begin() + settings::Plane0 + 512,
                            otherOut->begin() + settings::Plane0));
}

TEST_F(Zr417ctl, ResetRestoresFactorySettings)
{
    ASSERT_TRUE(WriteFileAtomic(file("keymap.bin"), someImage()));
    ASSERT_EQ(run("--simulate QV310 save keymap.bin").exitCode, 0);
    auto reset = run("reset --simulate QV310");
    ASSERT_EQ(reset.exitCode, 0) << reset.output;
    ASSERT_EQ(run("--simulate QV310 read after.bin").exitCode, 0);
    auto after = ReadFileBytes(file("after.bin"));
    ASSERT_TRUE(after);
    EXPECT_EQ((*after)[settings::Effect], 0);  // Static white
    EXPECT_EQ((*after)[settings::ColourIndex], 7);
    EXPECT_EQ((*after)[settings::Plane0 + 0], 0x29);  // Esc sends Esc again
}

TEST_F(Zr417ctl, BadFilesAreRefusedBeforeTheKeyboardIsTouched)
{
    ASSERT_TRUE(WriteFileAtomic(file("short.bin"), std::vector<std::uint8_t>(1000, 1)));
    ASSERT_TRUE(WriteFileAtomic(file("long.bin"), std::vector<std::uint8_t>(kImageSize + 1, 1)));
    ASSERT_TRUE(WriteFileAtomic(file("new.bin"), std::vector<std::uint8_t>(kSettingsSize, 0)));
    for (const char* name : {"short.bin", "long.bin", "new.bin", "missing.bin"}) {
        auto r = run(std::string("--simulate QV420 save ") + name);
        EXPECT_EQ(r.exitCode, 4) << name;
        EXPECT_NE(r.output.find(name), std::string::npos) << r.output;
    }
    EXPECT_NE(run("--simulate QV420 save short.bin").output.find("213116"), std::string::npos);
    EXPECT_FALSE(fs::exists(home_ / ".local/state/zr417/sim-QV420.bin"));  // no keyboard was opened
}

TEST_F(Zr417ctl, UsageErrorsAndMissingKeyboard)
{
    EXPECT_EQ(run("").exitCode, 2);
    EXPECT_EQ(run("frobnicate").exitCode, 2);
    EXPECT_EQ(run("read").exitCode, 2);
    EXPECT_EQ(run("--simulate").exitCode, 2);
    auto unknown = run("--simulate QV999 info");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.output.find("QV999"), std::string::npos);
    // No simulation: this machine has no keyboard (or none this user may open).
    auto none = run("info");
    if (none.exitCode != 0) {
        EXPECT_EQ(none.exitCode, 3);
        EXPECT_NE(none.output.find("no ZR417 keyboard found"), std::string::npos);
    }
    EXPECT_EQ(run("--help").exitCode, 0);
}

TEST_F(Zr417ctl, UnwritableOutputIsAFileError)
{
    auto r = run("--simulate QV420 read no/such/folder/out.bin");
    EXPECT_EQ(r.exitCode, 4) << r.output;
}

// Under a file-size limit a write fails like any other, with a message and
// the old file intact, instead of SIGXFSZ killing zr417ctl.
TEST_F(Zr417ctl, AFileSizeLimitIsAFailedWrite)
{
    const std::vector<std::uint8_t> old(1000, 7);
    ASSERT_TRUE(WriteFileAtomic(file("out.bin"), old));
    const fs::path log = home_ / "log.txt";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_DFL);  // as a shell starts it, whatever this test process does
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 64 * 1024;
        if (::chdir(home_.c_str()) != 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(100);
        if (!std::freopen(log.c_str(), "w", stdout) || ::dup2(STDOUT_FILENO, STDERR_FILENO) < 0) ::_exit(101);
        ::setenv("HOME", home_.c_str(), 1);
        ::unsetenv("XDG_STATE_HOME");
        ::unsetenv("ZR417_SIMULATE");
        ::execl(program_.c_str(), "zr417ctl", "--simulate", "QV420", "read", "out.bin", nullptr);
        ::_exit(102);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_FALSE(WIFSIGNALED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 4) << test::ReadText(log);
    EXPECT_NE(test::ReadText(log).find("cannot write out.bin"), std::string::npos) << test::ReadText(log);
    EXPECT_EQ(ReadFileBytes(file("out.bin")), old);
}

// A profile name is its file with ".bin", always: the row "W.bin" is the file
// W.bin.bin, never profile W. Names whose file could not be written are
// refused, "--" lets a name begin with "-", and a grown file is reported with
// its real size.
TEST_F(Zr417ctl, ProfileNamesAreTheirFilesExactly)
{
    const fs::path data = home_ / "data", profiles = data / "Configure", runtime = home_ / "run";
    fs::create_directories(profiles);
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    env_ = "ZR417_DATA_DIR='" + data.string() + "' XDG_RUNTIME_DIR='" + runtime.string() + "' ";
    auto w = someImage();
    auto wBin = w;
    w[settings::Effect] = 3;
    wBin[settings::Effect] = 6;
    ASSERT_TRUE(WriteFileAtomic(profiles / "W.bin", w));
    ASSERT_TRUE(WriteFileAtomic(profiles / "W.bin.bin", wBin));
    auto applied = run("--simulate QV420 profile apply W.bin");
    ASSERT_EQ(applied.exitCode, 0) << applied.output;
    auto keymap = ReadFileBytes(data / "keymap.bin");
    ASSERT_TRUE(keymap && keymap->size() == kImageSize);
    EXPECT_EQ((*keymap)[settings::Effect], 6);

    auto dashed = run("--simulate QV420 profile save -- -dash");
    EXPECT_EQ(dashed.exitCode, 0) << dashed.output;
    EXPECT_TRUE(fs::exists(profiles / "-dash.bin"));

    const std::string longest(kMaxAtomicFileNameBytes - 4, 'x');
    auto saved = run("--simulate QV420 profile save " + longest);
    EXPECT_EQ(saved.exitCode, 0) << saved.output;
    EXPECT_TRUE(fs::exists(profiles / (longest + ".bin")));
    auto tooLong = run("--simulate QV420 profile save " + longest + "x");
    EXPECT_EQ(tooLong.exitCode, 2) << tooLong.output;
    EXPECT_NE(tooLong.output.find("cannot be a profile name"), std::string::npos) << tooLong.output;

    ASSERT_TRUE(WriteFileAtomic(profiles / "Big.bin", std::vector<std::uint8_t>(2 * kImageSize, 1)));
    auto big = run("profile apply Big");
    EXPECT_EQ(big.exitCode, 4);
    EXPECT_NE(big.output.find(" is 426232 bytes"), std::string::npos) << big.output;
}

// profile apply through the running program and without it, on one keyboard
// of zr417-sim that both see.
TEST_F(Zr417ctl, ProfileApplyGoesThroughTheRunningProgramOrAloneAndSendsNothingTwice)
{
    using namespace std::chrono_literals;
    const fs::path run = home_ / "run", data = home_ / "data", socket = home_ / "sim.sock";
    fs::create_directories(run);
    fs::permissions(run, fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directories(data / "Configure");
    const std::map<std::string, std::string> env{
        {"XDG_RUNTIME_DIR", run.string()},
        {"ZR417_DATA_DIR", data.string()},
        {"ZR417_SIM", socket.string()},
        {"XDG_STATE_HOME", (home_ / "state").string()},
        {"HOME", home_.string()},
        {"QT_QPA_PLATFORM", "offscreen"},
        {"XDG_CONFIG_HOME", (home_ / "config").string()},
        {"ZR417_TRACE", "1"},
    };
    for (const auto& [name, value] : env)
        if (name != "ZR417_TRACE" && name != "QT_QPA_PLATFORM") env_ += name + "='" + value + "' ";
    const fs::path bin = program_.parent_path();
    test::ChildProcess sim(bin / "zr417-sim", {"--socket", socket.string(), "--plug", "QV310"}, env, home_ / "sim.log");
    ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(socket); }, 10s)) << test::ReadText(home_ / "sim.log");

    auto a = someImage();
    auto b = a;
    b[settings::Effect] = 5;
    b[kSettingsSize + 7 * kKeyEntrySize + entry::Kind] = 5;  // a host action: in keymap.bin only
    ASSERT_TRUE(WriteFileAtomic(data / "Configure" / "Calm.bin", a));
    ASSERT_TRUE(WriteFileAtomic(data / "Configure" / "Wave.bin", b));
    ASSERT_TRUE(WriteFileAtomic(data / "Configure" / "New.bin", std::vector<std::uint8_t>(kSettingsSize, 0)));
    auto keymapByte = [&](std::size_t offset) {
        auto keymap = ReadFileBytes(data / "keymap.bin");
        return keymap && keymap->size() == kImageSize ? int((*keymap)[offset]) : -1;
    };

    // Alone: sent once, then recognised; keymap.bin follows.
    auto first = this->run("--trace profile apply Calm");
    ASSERT_EQ(first.exitCode, 0) << first.output;
    EXPECT_EQ(count(first.output, "Data OK(KeyMatrix)\n"), 1);
    auto second = this->run("--trace profile apply Calm");
    EXPECT_EQ(second.exitCode, 0) << second.output;
    EXPECT_NE(second.output.find("already"), std::string::npos) << second.output;
    EXPECT_EQ(count(second.output, "Data"), 0) << "nothing written to the keyboard";
    EXPECT_EQ(keymapByte(settings::Effect), a[settings::Effect]);
    // Refused before the keyboard is opened.
    auto unknown = this->run("profile apply Storm");
    EXPECT_EQ(unknown.exitCode, 6);
    EXPECT_NE(unknown.output.find("  Calm\n  New\n  Wave\n"), std::string::npos) << unknown.output;
    auto empty = this->run("profile apply New");
    EXPECT_EQ(empty.exitCode, 4);
    EXPECT_NE(empty.output.find("new, empty profile"), std::string::npos) << empty.output;

    // The running program answers, applies through its window and keeps the
    // key table; the keyboard then holds the profile for zr417ctl alone too.
    test::ChildProcess program(bin / "ZR417 RGB Gaming Keyboard", {}, env, home_ / "program.log");
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            for (const auto& e : fs::directory_iterator(run))
                if (e.is_socket() && e.path().filename().string().rfind("zr417-57d1171d", 0) == 0) return true;
            return false;
        },
        20s))
        << test::ReadText(home_ / "program.log");
    auto viaProgram = this->run("profile apply Wave");
    ASSERT_EQ(viaProgram.exitCode, 0) << viaProgram.output << test::ReadText(home_ / "program.log");
    EXPECT_NE(viaProgram.output.find("the program and the QV310 keyboard hold it"), std::string::npos)
        << viaProgram.output;
    EXPECT_NE(test::ReadText(home_ / "program.log").find("Profile \"Wave\" applied from outside"), std::string::npos);
    EXPECT_EQ(keymapByte(settings::Effect), 5);
    EXPECT_EQ(keymapByte(kSettingsSize + 7 * kKeyEntrySize + entry::Kind), 5);
    EXPECT_EQ(this->run("profile list").output, "Calm\nNew\nWave\n");
    program.terminate();
    ASSERT_TRUE(program.waitFor(10s).has_value());
    auto after = this->run("--trace profile apply Wave");
    EXPECT_EQ(after.exitCode, 0) << after.output;
    EXPECT_EQ(count(after.output, "Data"), 0) << after.output;
}

// Through the running program a keymap.bin that cannot be written is
// reported at once, as zr417ctl alone reports it, however often; and a start
// at login on a desktop without a notification area takes requests as soon
// as it is ready.
TEST_F(Zr417ctl, TheRunningProgramReportsAnUnwritableKeymapAtOnceAlsoWhenStartedAtLogin)
{
    using namespace std::chrono_literals;
    const fs::path runtime = home_ / "run", data = home_ / "data";
    auto env = useProgramFolders(runtime, data);
    env["ZR417_AUTOSTART"] = "1";
    ASSERT_TRUE(WriteFileAtomic(data / "Configure" / "Calm.bin", someImage()));
    fs::create_directories(data / "keymap.bin");
    const fs::path log = home_ / "program.log";
    test::ChildProcess program(mainProgram(), {}, env, log);
    const fs::path socket = InstanceSocketPath(runtime, MainProgramInstanceKey(), ::geteuid());
    ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(socket); }, 20s)) << test::ReadText(log);
    // The first is sent, the others are held already: each way ends in the file.
    for (int i = 0; i < 3; ++i) {
        auto r = this->run("profile apply Calm");
        EXPECT_EQ(r.exitCode, 4) << r.output << test::ReadText(log);
        EXPECT_NE(r.output.find((data / "keymap.bin").string() + " could not be written"), std::string::npos)
            << r.output;
        EXPECT_TRUE(program.running()) << test::ReadText(log);
    }
}

// A runtime folder too deep for a socket path: the program and zr417ctl meet
// in the same short one.
TEST_F(Zr417ctl, ARuntimeFolderTooDeepForASocketLeadsProgramAndZr417ctlToTheSameShortOne)
{
    using namespace std::chrono_literals;
    const fs::path runtime = home_ / std::string(90, 'r'), data = home_ / "data";
    auto env = useProgramFolders(runtime, data);
    const std::string name = InstanceSocketName(MainProgramInstanceKey(), ::geteuid());
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    auto fallback = UserRuntimeFolder({::geteuid(), ::getegid()}, /*prepare=*/false, nullptr, name);
    ::unsetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(fallback);
    ASSERT_NE(*fallback, runtime);
    if (MainProgramHoldsLock(*fallback / (name + ".lock")))
        GTEST_SKIP() << "the program runs for this user in " << *fallback;
    ASSERT_TRUE(WriteFileAtomic(data / "Configure" / "Calm.bin", someImage()));
    const fs::path log = home_ / "program.log";
    test::ChildProcess program(mainProgram(), {}, env, log);
    ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(data / "keymap.bin"); }, 20s)) << test::ReadText(log);
    EXPECT_NE(test::ReadText(log).find("using " + fallback->string()), std::string::npos) << test::ReadText(log);
    auto r = this->run("profile apply Calm");
    EXPECT_EQ(r.exitCode, 0) << r.output << test::ReadText(log);
    EXPECT_NE(r.output.find("the program and the QV310 keyboard hold it"), std::string::npos) << r.output;
    // The folder is not the test's own: leave nothing of the program there.
    program.terminate();
    ASSERT_TRUE(program.waitFor(10s).has_value());
    std::error_code ec;
    fs::remove(*fallback / name, ec);
    fs::remove(*fallback / (name + ".lock"), ec);
    fs::remove(*fallback, ec);  // when it is empty
}

// The lock names a process that is no copy of the program: one of this
// user's other programs (its number reused), or one of another user's (init
// is root's; as root, a child of our own becomes another user).
TEST_F(Zr417ctl, AStaleLockBlocksNeitherZr417ctlNorAStartOfTheProgram)
{
    using namespace std::chrono_literals;
    const fs::path runtime = home_ / "run", data = home_ / "data";
    auto env = useProgramFolders(runtime, data);
    ASSERT_TRUE(WriteFileAtomic(data / "Configure" / "Calm.bin", someImage()));
    const fs::path lock = InstanceSocketPath(runtime, MainProgramInstanceKey(), ::geteuid()).string() + ".lock";
    std::vector<pid_t> holders{::getpid(), 1};
    pid_t other = -1;
    if (::geteuid() == 0) {
        other = ::fork();
        if (other == 0) {
            if (::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
                ::setresuid(65534, 65534, 65534) == 0)
                ::pause();
            ::_exit(1);
        }
        holders.push_back(other);
    }
    for (pid_t holder : holders) {
        std::ofstream(lock) << holder << "\n";
        auto r = this->run("profile list");
        EXPECT_EQ(r.exitCode, 0) << "lock of " << holder << ": " << r.output;
        EXPECT_EQ(r.output, "Calm\n");
    }
    const fs::path log = home_ / "program.log";
    test::ChildProcess program(mainProgram(), {}, env, log);
    EXPECT_TRUE(test::WaitUntil([&] { return fs::exists(data / "keymap.bin"); }, 20s)) << test::ReadText(log);
    auto r = this->run("profile apply Calm");
    EXPECT_EQ(r.exitCode, 0) << r.output << test::ReadText(log);
    EXPECT_NE(r.output.find("the program and the QV310 keyboard hold it"), std::string::npos) << r.output;
    if (other > 0) {
        ::kill(other, SIGKILL);
        ::waitpid(other, nullptr, 0);
    }
}

}  // namespace
}  // namespace zr417
