// zr417-sim and zr417ctl sim as a user runs them: exit codes, messages, a
// second simulator on the same socket, a clean stop on SIGTERM, and the device
// commands of zr417ctl against the simulator.
#include "platform/sim_wire.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

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

// Runs zr417ctl with ZR417_SIM set to `socket`; stdout and stderr together.
CtlRun Ctl(const std::filesystem::path& socket, const std::string& args)
{
    std::string command =
        "ZR417_SIM='" + socket.string() + "' '" + (RuntimeDir() / "zr417ctl").string() + "' " + args + " 2>&1";
    CtlRun r;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p)) r.out += buffer;
    int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
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
    TempDir dir;
};

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

}  // namespace
}  // namespace zr417::test
