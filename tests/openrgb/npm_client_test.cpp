// The running program's OpenRGB SDK server against a client we did not
// write: the npm package openrgb-sdk 0.6.0 (installed into the build folder),
// with the program on the simulated keyboard. What the client changes must
// reach the keyboard's memory and keymap.bin; another user's client is shut out.
#include "config/image.h"
#include "config/keys.h"
#include "platform/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <functional>

namespace zr417 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<std::uint8_t> ReadAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int FreePort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

class NpmClient : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* npmDir = std::getenv("ZR417_NPM_DIR");
        ASSERT_TRUE(npmDir && fs::exists(fs::path(npmDir) / "node_modules/openrgb-sdk/package.json"))
            << "the npm client openrgb-sdk is not installed in the build folder (scripts/setup.sh --tests installs "
               "Node and npm; the build installs the package)";
        ASSERT_EQ(std::system("command -v node >/dev/null"), 0) << "node is not installed";
        // Another user must be able to reach the client script and node through here.
        ::chmod(dir_.path().c_str(), 0755);
        for (const char* sub : {"data", "run", "home", "config", "state"}) fs::create_directories(dir_.path() / sub);
        ::chmod((dir_.path() / "run").c_str(), 0700);
        env_ = {
            {"QT_QPA_PLATFORM", "offscreen"},
            {"ZR417_SIM", "1"},
            {"XDG_RUNTIME_DIR", (dir_.path() / "run").string()},
            {"ZR417_DATA_DIR", data().string()},
            {"HOME", (dir_.path() / "home").string()},
            {"XDG_CONFIG_HOME", (dir_.path() / "config").string()},
            {"XDG_STATE_HOME", (dir_.path() / "state").string()},
            {"XDG_DATA_HOME", (dir_.path() / "home").string()},
            {"ZR417_TRACE", "1"},
            {"ZR417_NPM_DIR", npmDir},
        };
        sim_ = std::make_unique<test::ChildProcess>(test::RuntimeDir() / "zr417-sim",
                                                    std::vector<std::string>{"--state-dir", env_["XDG_STATE_HOME"]},
                                                    env_, dir_.path() / "sim.log");
        ASSERT_TRUE(test::WaitUntil([&] { return run(ctl(), {"sim", "list"}) == 0; }, 10s));
        ASSERT_EQ(run(ctl(), {"sim", "plug", "QV310"}), 0);

        // Two profiles: "Calm" is Ripple in cyan, what the keyboard held otherwise.
        auto keyboard = keyboardImage();
        ASSERT_EQ(keyboard.size(), kImageSize);
        keyboard[settings::Effect] = 5;
        keyboard[settings::ColourIndex] = 6;
        fs::create_directories(data() / "Configure");
        ASSERT_TRUE(WriteFileAtomic(data() / "Configure/Calm.bin", keyboard));
        ASSERT_TRUE(WriteFileAtomic(data() / "Configure/Plain.bin", keyboard));

        program_ = std::make_unique<test::ChildProcess>(test::RuntimeDir() / "ZR417 RGB Gaming Keyboard",
                                                        std::vector<std::string>{}, env_, dir_.path() / "program.log");
        // The start-up read-out has landed: keymap.bin holds the firmware version.
        ASSERT_TRUE(test::WaitUntil([&] { return keymap()[settings::StatusCopy + 3] != 0; }, 30s));
        port_ = FreePort();
        ASSERT_EQ(run(ctl(), {"openrgb", "on", "--port", std::to_string(port_)}), 0) << log("ctl.log");
    }

    void TearDown() override
    {
        if (HasFailure())
            std::printf("--- program ---\n%s\n--- steps ---\n%s\n", log("program.log").c_str(),
                        log("node.log").c_str());
        program_.reset();
        sim_.reset();
    }

    fs::path data() const { return dir_.path() / "data"; }
    fs::path ctl() const { return test::RuntimeDir() / "zr417ctl"; }
    std::string log(const std::string& name) const { return test::ReadText(dir_.path() / name); }
    std::vector<std::uint8_t> keymap() const
    {
        auto bytes = ReadAll(data() / "keymap.bin");
        bytes.resize(kImageSize);
        return bytes;
    }

    int run(const fs::path& program, const std::vector<std::string>& args, const std::string& logName = "ctl.log")
    {
        test::ChildProcess p(program, args, env_, dir_.path() / logName);
        auto code = p.waitFor(120s);
        return code ? *code : -1;
    }
    int node(const std::vector<std::string>& args)
    {
        std::vector<std::string> all{"node", (fs::path(ZR417_TEST_SOURCE_DIR) / "npm_client.js").string()};
        all.insert(all.end(), args.begin(), args.end());
        return run("/usr/bin/env", all, "node.log");
    }
    // The keyboard's memory, read past the program (call it once the program is quiet).
    std::vector<std::uint8_t> keyboardImage()
    {
        fs::remove(dir_.path() / "keyboard.bin");
        EXPECT_EQ(run(ctl(), {"read", (dir_.path() / "keyboard.bin").string()}), 0) << log("ctl.log");
        return ReadAll(dir_.path() / "keyboard.bin");
    }
    // Waits until keymap.bin shows the change and the server has sent every change.
    bool waitKeymap(const std::function<bool(const std::vector<std::uint8_t>&)>& ok)
    {
        return test::WaitUntil(
            [&] {
                if (!ok(keymap())) return false;
                fs::remove(dir_.path() / "status.log");
                return run(ctl(), {"openrgb", "status"}, "status.log") == 0 &&
                       log("status.log").find("every change sent") != std::string::npos;
            },
            30s);
    }

    test::TempDir dir_{"openrgb"};
    std::map<std::string, std::string> env_;
    std::unique_ptr<test::ChildProcess> sim_, program_;
    int port_ = 0;
};

std::size_t Picture(int page, int key, int channel)
{
    return settings::PicturePages + settings::PageSize * static_cast<std::size_t>(page) + 1 + 128 * channel +
           g_ledPosByKey[static_cast<std::size_t>(key)];
}

TEST_F(NpmClient, ListsSetsPaintsAndLoadsThroughTheServer)
{
    const auto start = keymap();
    const std::string firmware =
        std::to_string(start[settings::StatusCopy + 3]) + "." + std::to_string(start[settings::StatusCopy + 4]);
    ASSERT_EQ(node({"describe", std::to_string(port_), firmware}), 0);

    ASSERT_EQ(node({"breathing", std::to_string(port_)}), 0);
    auto breathing = [](const std::vector<std::uint8_t>& i) {
        return i[settings::Effect] == 1 && i[settings::ColourIndex] == 4 && i[settings::Speed] == 5 &&
               i[settings::Brightness] == 4;
    };
    ASSERT_TRUE(waitKeymap(breathing));
    EXPECT_TRUE(breathing(keyboardImage())) << "the keyboard breathes in blue";

    ASSERT_EQ(node({"paint", std::to_string(port_)}), 0);
    auto painted = [](const std::vector<std::uint8_t>& i) {
        return i[settings::Effect] == 11 && i[Picture(0, 0, 0)] == 255 && i[Picture(0, 1, 1)] == 255 &&
               i[Picture(0, 103, 2)] == 255 && i[Picture(0, 50, 0)] == 0 && i[Picture(0, 1, 0)] == 0;
    };
    ASSERT_TRUE(waitKeymap(painted));
    EXPECT_TRUE(painted(keyboardImage())) << "the keyboard shows the painted DIY1";

    ASSERT_EQ(node({"profile", std::to_string(port_), "Calm"}), 0);
    auto calm = [](const std::vector<std::uint8_t>& i) {
        return i[settings::Effect] == 5 && i[settings::ColourIndex] == 6;
    };
    ASSERT_TRUE(waitKeymap(calm));
    EXPECT_TRUE(calm(keyboardImage())) << "the keyboard holds the profile";

    // Unplugging and plugging reach every client: no controller, then both again.
    test::ChildProcess watch(
        "/usr/bin/env",
        {"node", (fs::path(ZR417_TEST_SOURCE_DIR) / "npm_client.js").string(), "watch", std::to_string(port_)}, env_,
        dir_.path() / "watch.log");
    ASSERT_TRUE(test::WaitUntil([&] { return log("watch.log").find("ready") != std::string::npos; }, 30s));
    ASSERT_EQ(run(ctl(), {"sim", "unplug", "1"}), 0);
    ASSERT_TRUE(test::WaitUntil([&] { return log("watch.log").find("count 0") != std::string::npos; }, 30s))
        << log("watch.log");
    ASSERT_EQ(run(ctl(), {"sim", "plug", "QV310"}), 0);
    EXPECT_EQ(watch.waitFor(60s), 0) << log("watch.log");

    // Another user's program gets nothing.
    if (::geteuid() == 0) {
        test::ChildProcess other(
            "/usr/bin/setpriv",
            {"--reuid", "nobody", "--regid", "nogroup", "--clear-groups", "--", "node",
             (fs::path(ZR417_TEST_SOURCE_DIR) / "npm_client.js").string(), "raw", std::to_string(port_)},
            {}, dir_.path() / "node.log");
        EXPECT_EQ(other.waitFor(30s), 0);
        EXPECT_NE(log("program.log").find("belongs to user"), std::string::npos);
    } else {
        std::printf("not root: the other user's client is left out\n");
    }
    // The server is still there for this user.
    EXPECT_EQ(node({"describe", std::to_string(port_), firmware}), 0);
}

}  // namespace
}  // namespace zr417
