// zr417-sim and zr417ctl sim as a user runs them: exit codes, messages, a
// second simulator on the same socket, a clean stop on SIGTERM, and the device
// commands of zr417ctl against the simulator.
#include "platform/sim_wire.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>

namespace zr417::test {
namespace {

using namespace std::chrono_literals;

struct CtlRun {
    int code = -1;
    std::string out;
};

CtlRun RunShell(const std::string& command)
{
    CtlRun r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p)) r.out += buffer;
    int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Runs zr417ctl with ZR417_SIM set to `socket`; stdout and stderr together.
// `as` goes before the program (setpriv, or variables).
CtlRun Ctl(const std::filesystem::path& socket, const std::string& args, const std::string& as = {},
           const std::filesystem::path& program = RuntimeDir() / "zr417ctl")
{
    return RunShell("ZR417_SIM='" + socket.string() + "' " + as + " '" + program.string() + "' " + args);
}

// Another user on the machine, through setpriv (acting as one needs root).
std::vector<std::string> AsUser(uid_t uid)
{
    std::string id = std::to_string(uid);
    return {"--reuid=" + id, "--regid=" + id, "--clear-groups", "--"};
}
std::string AsUserPrefix(uid_t uid)
{
    std::string prefix = "setpriv";
    for (const auto& a : AsUser(uid)) prefix += " " + a;
    return prefix;
}

bool Answers(const std::filesystem::path& socket)
{
    int fd = simwire::ConnectSocket(socket);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

class SimPrograms : public ::testing::Test {
protected:
    std::filesystem::path socket() const { return dir.path() / "sim.sock"; }
    std::unique_ptr<ChildProcess> startSim(const std::vector<std::string>& extra = {}, const char* log = "sim.log")
    {
        std::vector<std::string> args{"--socket", socket().string(), "--state-dir", (dir.path() / "state").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return std::make_unique<ChildProcess>(RuntimeDir() / "zr417-sim", args, std::map<std::string, std::string>{},
                                              dir.path() / log);
    }
    // The programs where another user may run them, whatever the build
    // folder's modes.
    std::filesystem::path openToAll()
    {
        auto bin = dir.path() / "bin";
        std::filesystem::create_directories(bin);
        for (const char* name : {"zr417ctl", "zr417-sim"})
            std::filesystem::copy_file(RuntimeDir() / name, bin / name,
                                       std::filesystem::copy_options::overwrite_existing);
        ::chmod(dir.path().c_str(), 0755);
        ::chmod(bin.c_str(), 0755);
        return bin;
    }
    TempDir dir;
};

constexpr uid_t kOtherUser = 65534;  // nobody

TEST_F(SimPrograms, ControlCommandsAnswerWithClearExitCodes)
{
    CtlRun none = Ctl(socket(), "sim list");
    EXPECT_EQ(none.code, 3);
    EXPECT_NE(none.out.find("no simulator answers at " + socket().string()), std::string::npos) << none.out;

    auto sim = startSim({"--plug", "QV310"});
    ASSERT_TRUE(WaitUntil([&] { return Answers(socket()); }, 10s)) << ReadText(dir.path() / "sim.log");

    CtlRun list = Ctl(socket(), "sim list");
    EXPECT_EQ(list.code, 0);
    EXPECT_NE(list.out.find("QV310  keyboard   plugged   1c4f:5dc4 1.0"), std::string::npos) << list.out;

    CtlRun plug = Ctl(socket(), "sim plug qv420");
    EXPECT_EQ(plug.code, 0);
    EXPECT_NE(plug.out.find("plugged device 2 (QV420 keyboard)"), std::string::npos) << plug.out;

    EXPECT_EQ(Ctl(socket(), "sim version 1 1.5").code, 0);
    CtlRun info = Ctl(socket(), "info");  // the first keyboard found: the QV310
    EXPECT_EQ(info.code, 0) << info.out;
    EXPECT_NE(info.out.find("Firmware version: 1.5"), std::string::npos) << info.out;

    CtlRun noAction = Ctl(socket(), "sim press 1 F5");
    EXPECT_EQ(noAction.code, 1);
    EXPECT_NE(noAction.out.find("holds no host action"), std::string::npos) << noAction.out;

    EXPECT_EQ(Ctl(socket(), "sim press 1 NoSuchKey").code, 2);
    EXPECT_EQ(Ctl(socket(), "sim press 1 104").code, 2) << "key indices end at 103";
    EXPECT_EQ(Ctl(socket(), "sim version 1 12").code, 2);
    EXPECT_EQ(Ctl(socket(), "sim version x 1.2").code, 2);
    EXPECT_EQ(Ctl(socket(), "sim unplug 9").code, 1);
    EXPECT_EQ(Ctl(socket(), "sim unplug 1 0").code, 2);
    EXPECT_EQ(Ctl(socket(), "sim frobnicate").code, 2);
    EXPECT_EQ(Ctl(socket(), "sim").code, 2);

    CtlRun unplug = Ctl(socket(), "sim unplug 1");
    EXPECT_EQ(unplug.code, 0) << unplug.out;
    CtlRun after = Ctl(socket(), "info");
    EXPECT_EQ(after.code, 0) << "the QV420 is still there: " << after.out;
    EXPECT_NE(after.out.find("QV420"), std::string::npos) << after.out;
    EXPECT_EQ(Ctl(socket(), "sim unplug 2").code, 0);
    EXPECT_EQ(Ctl(socket(), "info").code, 3) << "no keyboard plugged";
}

TEST_F(SimPrograms, TheSimulatorAndTheBuiltInKeyboardKeepTheirMemoriesApart)
{
    // Both at their default places under one state folder.
    const std::string state = (dir.path() / "state").string();
    ChildProcess sim(RuntimeDir() / "zr417-sim", {"--socket", socket().string(), "--plug", "QV310"},
                     {{"XDG_STATE_HOME", state}}, dir.path() / "sim.log");
    ASSERT_TRUE(WaitUntil([&] { return Answers(socket()); }, 10s)) << ReadText(dir.path() / "sim.log");
    ASSERT_EQ(Ctl(socket(), "sim version 1 0.8").code, 0);

    // The built-in keyboard neither reads the simulator's memory nor has its
    // own written over by it.
    const std::string builtIn =
        "env -u ZR417_SIM XDG_STATE_HOME='" + state + "' '" + (RuntimeDir() / "zr417ctl").string() + "' ";
    CtlRun info = RunShell(builtIn + "--simulate QV310 info");
    EXPECT_NE(info.out.find("Firmware version: 1.0"), std::string::npos) << info.out;
    ASSERT_EQ(Ctl(socket(), "sim version 1 0.7").code, 0);
    sim.terminate();
    ASSERT_TRUE(sim.waitFor(10s));
    info = RunShell(builtIn + "--simulate QV310 info");
    EXPECT_NE(info.out.find("Firmware version: 1.0"), std::string::npos) << info.out;
}

TEST_F(SimPrograms, OneSimulatorPerSocketAndACleanStop)
{
    auto sim = startSim();
    ASSERT_TRUE(WaitUntil([&] { return Answers(socket()); }, 10s));
    auto second = startSim({}, "second.log");
    auto code = second->waitFor(10s);
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 1);
    EXPECT_NE(ReadText(dir.path() / "second.log").find("a simulator already serves"), std::string::npos);
    EXPECT_TRUE(Answers(socket())) << "the first one still serves";

    EXPECT_EQ(Ctl(socket(), "sim plug OEM").code, 0);
    sim->terminate();
    EXPECT_FALSE(std::filesystem::exists(socket())) << "the socket goes with the simulator";
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "state" / "sim-OEM.bin")) << "the memory was written";
    EXPECT_EQ(Ctl(socket(), "sim list").code, 3);

    CtlRun bad = Ctl(socket(), "sim plug");
    EXPECT_EQ(bad.code, 2);
}

TEST_F(SimPrograms, ProgramsOfAnotherUserAndTheSimulatorRefuseEachOther)
{
    if (::geteuid() != 0) GTEST_SKIP() << "acting as a second user needs root (CI runs the tests as root)";
    auto bin = openToAll();

    // Our simulator, their zr417ctl: the file's mode lets them in, so only
    // the simulator's own check stands in the way.
    auto sim = startSim();
    ASSERT_TRUE(WaitUntil([&] { return Answers(socket()); }, 10s)) << ReadText(dir.path() / "sim.log");
    ASSERT_EQ(::chmod(socket().c_str(), 0777), 0);
    CtlRun theirs = Ctl(socket(), "sim plug QV310", AsUserPrefix(kOtherUser), bin / "zr417ctl");
    EXPECT_EQ(theirs.code, 3) << theirs.out;
    EXPECT_NE(theirs.out.find(" only, not "), std::string::npos) << theirs.out;
    EXPECT_NE(ReadText(dir.path() / "sim.log").find("refused a connection from a program of"), std::string::npos);
    EXPECT_NE(Ctl(socket(), "sim list").out.find("no simulated devices"), std::string::npos) << "nothing was plugged";

    // Their simulator, our zr417ctl.
    auto their = dir.path() / "theirs";
    std::filesystem::create_directories(their);
    ASSERT_EQ(::chown(their.c_str(), kOtherUser, kOtherUser), 0);
    auto args = AsUser(kOtherUser);
    for (std::string a :
         {(bin / "zr417-sim").string(), std::string("--socket"), (their / "sim.sock").string(),
          std::string("--state-dir"), (their / "state").string(), std::string("--plug"), std::string("QV420")})
        args.push_back(a);
    ChildProcess other("/usr/bin/setpriv", args, {}, dir.path() / "other.log");
    ASSERT_TRUE(WaitUntil([&] { return Answers(their / "sim.sock"); }, 10s)) << ReadText(dir.path() / "other.log");
    CtlRun ours = Ctl(their / "sim.sock", "sim list");
    EXPECT_EQ(ours.code, 3);
    EXPECT_NE(ours.out.find("belongs to"), std::string::npos) << ours.out;
    EXPECT_NE(ours.out.find("uid 65534"), std::string::npos) << ours.out;
    // A socket file handed to us changes nothing: the listener is who counts.
    ASSERT_EQ(::chown((their / "sim.sock").c_str(), 0, 0), 0);
    ours = Ctl(their / "sim.sock", "info");
    EXPECT_EQ(ours.code, 3);
    EXPECT_NE(ours.out.find("is served by a program of"), std::string::npos) << ours.out;
    // Run through sudo by that user, root works with the user's simulator.
    CtlRun sudo = Ctl(their / "sim.sock", "sim list", "SUDO_UID=65534 SUDO_GID=65534");
    EXPECT_EQ(sudo.code, 0) << sudo.out;
    EXPECT_NE(sudo.out.find("QV420"), std::string::npos) << sudo.out;
}

TEST_F(SimPrograms, UnderSudoTheSocketIsInTheUsersOwnFolder)
{
    if (::geteuid() != 0) GTEST_SKIP() << "acting as a second user needs root (CI runs the tests as root)";
    auto bin = openToAll();
    // A user no one has, so the folder's name is this test's alone.
    const uid_t user = 3000000 + static_cast<uid_t>(::getpid() % 1000000);
    const std::filesystem::path folder = "/tmp/zr417-" + std::to_string(user);
    ASSERT_FALSE(std::filesystem::exists(folder));
    struct Cleanup {
        std::filesystem::path path;
        ~Cleanup() { std::filesystem::remove_all(path); }
    } cleanup{folder};
    // No runtime folder, as under sudo, ssh and cron.
    std::map<std::string, std::string> env{{"XDG_RUNTIME_DIR", ""},
                                           {"ZR417_SIM", ""},
                                           {"SUDO_UID", std::to_string(user)},
                                           {"SUDO_GID", std::to_string(user)}};
    std::vector<std::string> args{"--state-dir", (dir.path() / "state").string()};
    auto sim = std::make_unique<ChildProcess>(RuntimeDir() / "zr417-sim", args, env, dir.path() / "sim.log");
    ASSERT_TRUE(WaitUntil([&] { return Answers(folder / "zr417-sim.sock"); }, 10s)) << ReadText(dir.path() / "sim.log");
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, user);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // The user's own zr417ctl, without sudo, reaches it.
    CtlRun mine = RunShell("XDG_RUNTIME_DIR= ZR417_SIM=1 " + AsUserPrefix(user) + " '" + (bin / "zr417ctl").string() +
                           "' sim plug QV310");
    EXPECT_EQ(mine.code, 0) << mine.out;
    sim.reset();

    // Someone else made the folder first: the simulator will not serve there.
    ASSERT_EQ(::chown(folder.c_str(), user + 1, user + 1), 0);
    ChildProcess again(RuntimeDir() / "zr417-sim", args, env, dir.path() / "again.log");
    EXPECT_EQ(again.waitFor(10s), 1);
    EXPECT_NE(ReadText(dir.path() / "again.log").find("belongs to uid " + std::to_string(user + 1)), std::string::npos)
        << ReadText(dir.path() / "again.log");
}

}  // namespace
}  // namespace zr417::test
