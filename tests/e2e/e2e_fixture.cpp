#include "e2e_fixture.h"

#include "config/keys.h"
#include "platform/sim_wire.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

namespace zr417::e2e {
namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

Output Capture(const std::string& command)
{
    Output out;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, p)) out.text += buffer;
    int status = ::pclose(p);
    out.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

}  // namespace

std::vector<std::uint8_t> ReadBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void E2E::SetUp()
{
    // The test command installs these; a missing one is a set-up fault, not a pass.
    for (auto [tool, package] :
         {std::pair{"Xvfb", "xvfb"}, {"xdotool", "xdotool"}, {"xprop", "x11-utils"}, {"import", "imagemagick"}})
        ASSERT_EQ(Capture(std::string("command -v ") + tool).code, 0)
            << tool << " is not installed (package " << package << "; scripts/setup.sh --tests installs it)";
    const fs::path runtime = test::RuntimeDir();
    fs::create_directories(programDir());
    for (const char* name : {"ZR417 RGB Gaming Keyboard", "VER.bin", "VER_420.bin", "png", "home", "QV310", "QV420"}) {
        std::error_code ec;
        fs::copy(runtime / name, programDir() / name, fs::copy_options::recursive, ec);
        ASSERT_FALSE(ec) << "copying " << name << ": " << ec.message();
    }
    for (const char* sub : {"data", "run", "home", "config", "state"}) fs::create_directories(root() / sub);
    ::chmod((root() / "run").c_str(), 0700);

    // A display of our own.
    if (auto display = test::StartXvfb(90 + ::getpid() % 400, xvfbScreen_, root() / "xvfb.log")) {
        display_ = display->name;
        xvfb_ = std::move(display->server);
    }
    ASSERT_FALSE(display_.empty()) << test::ReadText(root() / "xvfb.log");
    startSimulator();
}

void E2E::TearDown()
{
    if (HasFailure() && xvfb_) screenshot("failure");
    for (int pid : adopted_) {
        // Only a process of this test: its program lives in our folder.
        std::error_code ec;
        auto exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
        if (!ec && exe.string().rfind(root().string(), 0) == 0) {
            ::kill(pid, SIGTERM);
            test::WaitUntil([&] { return !fs::exists("/proc/" + std::to_string(pid) + "/exe"); }, 3s);
            ::kill(pid, SIGKILL);
        }
    }
    program_.reset();
    sim_.reset();
    xvfb_.reset();
    if (HasFailure()) {
        std::printf("--- program log ---\n%s\n--- simulator log ---\n%s\n", programLog().c_str(),
                    test::ReadText(root() / "sim.log").c_str());
    }
}

std::map<std::string, std::string> E2E::environment() const
{
    return {
        {"DISPLAY", display_},
        {"QT_QPA_PLATFORM", "xcb"},
        {"ZR417_SIM", "1"},
        {"XDG_RUNTIME_DIR", (root() / "run").string()},
        {"ZR417_DATA_DIR", dataDir().string()},
        {"HOME", (root() / "home").string()},
        {"XDG_CONFIG_HOME", (root() / "config").string()},
        {"XDG_STATE_HOME", (root() / "state").string()},
        {"XDG_DATA_HOME", (root() / "home").string()},
        {"ZR417_TRACE", "1"},
        {"LANG", "C.UTF-8"},
        {"LC_ALL", "C.UTF-8"},
    };
}

Output E2E::ctl(const std::string& args)
{
    std::string command = "env";
    for (const auto& [k, v] : environment()) command += " " + k + "=" + Quote(v);
    return Capture(command + " " + Quote((test::RuntimeDir() / "zr417ctl").string()) + " " + args);
}

std::vector<std::uint8_t> E2E::keyboardImage()
{
    auto file = root() / "keyboard.bin";
    fs::remove(file);
    Output o = ctl("read " + file.string());
    EXPECT_EQ(o.code, 0) << o.text;
    return ReadBytes(file);
}

Output E2E::xdo(const std::string& args)
{
    return Capture("DISPLAY=" + display_ + " xdotool " + args);
}

void E2E::startSimulator()
{
    auto socket = root() / "run" / "zr417-sim.sock";
    sim_ = std::make_unique<test::ChildProcess>(test::RuntimeDir() / "zr417-sim",
                                                std::vector<std::string>{"--state-dir", (root() / "state").string()},
                                                environment(), root() / "sim.log");
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            int fd = simwire::ConnectSocket(socket);
            if (fd >= 0) ::close(fd);
            return fd >= 0;
        },
        10s))
        << test::ReadText(root() / "sim.log");
}

void E2E::stopSimulator()
{
    sim_.reset();
}

test::ChildProcess& E2E::startProgram()
{
    program_ = std::make_unique<test::ChildProcess>(programDir() / "ZR417 RGB Gaming Keyboard",
                                                    std::vector<std::string>{}, environment(), root() / "program.log");
    return *program_;
}

std::string E2E::programLog() const
{
    return test::ReadText(root() / "program.log");
}

bool E2E::waitProgramStarted()
{
    return test::WaitUntil([&] { return fs::exists(keymapFile()) && fs::file_size(keymapFile()) > 0; }, 30s);
}

std::vector<Window> E2E::windows(int pid)
{
    std::vector<Window> result;
    std::istringstream ids(xdo("search --onlyvisible --pid " + std::to_string(pid)).text);
    for (std::string line; std::getline(ids, line);) {
        if (line.empty() || line.find_first_not_of("0123456789") != std::string::npos) continue;
        Window w;
        w.id = std::stoul(line);
        std::istringstream geometry(xdo("getwindowgeometry --shell " + line).text);
        for (std::string g; std::getline(geometry, g);) {
            auto eq = g.find('=');
            if (eq == std::string::npos) continue;
            std::string key = g.substr(0, eq);
            int value = std::atoi(g.c_str() + eq + 1);
            if (key == "X") w.x = value;
            if (key == "Y") w.y = value;
            if (key == "WIDTH") w.width = value;
            if (key == "HEIGHT") w.height = value;
        }
        w.name = xdo("getwindowname " + line).text;
        while (!w.name.empty() && w.name.back() == '\n') w.name.pop_back();
        if (w.width > 1 && w.height > 1) result.push_back(w);
    }
    return result;
}

std::optional<Window> E2E::waitWindow(int pid, int minWidth, int maxWidth, std::chrono::milliseconds timeout)
{
    std::optional<Window> found;
    test::WaitUntil(
        [&] {
            for (const auto& w : windows(pid))
                if (w.width >= minWidth && w.width <= maxWidth) {
                    found = w;
                    return true;
                }
            return false;
        },
        timeout);
    if (found) std::this_thread::sleep_for(300ms);  // let it paint and take input
    return found;
}

std::optional<Window> E2E::waitWindowNamed(const std::string& name, std::chrono::milliseconds timeout)
{
    std::optional<Window> found;
    test::WaitUntil(
        [&] {
            Output o = xdo("search --onlyvisible --name " + Quote("^" + name + "$"));
            std::istringstream ids(o.text);
            for (std::string line; std::getline(ids, line);) {
                if (line.empty() || line.find_first_not_of("0123456789") != std::string::npos) continue;
                Window w;
                w.id = std::stoul(line);
                w.name = name;
                found = w;
                return true;
            }
            return false;
        },
        timeout);
    if (found) std::this_thread::sleep_for(300ms);
    return found;
}

bool E2E::waitNoWindowNamed(const std::string& name, std::chrono::milliseconds timeout)
{
    return test::WaitUntil([&] { return xdo("search --onlyvisible --name " + Quote("^" + name + "$")).text.empty(); },
                           timeout);
}

void E2E::click(const Window& w, int x, int y)
{
    xdo("mousemove --window " + std::to_string(w.id) + " " + std::to_string(x) + " " + std::to_string(y) +
        " sleep 0.15 mousedown 1 sleep 0.05 mouseup 1");
    std::this_thread::sleep_for(250ms);
}

void E2E::keys(const Window& w, const std::string& k)
{
    xdo("windowfocus --sync " + std::to_string(w.id));
    xdo("key --delay 80 " + k);
    std::this_thread::sleep_for(200ms);
}

void E2E::type(const Window& w, const std::string& text)
{
    xdo("windowfocus --sync " + std::to_string(w.id));
    xdo("type --delay 30 " + Quote(text));
    std::this_thread::sleep_for(200ms);
}

std::string E2E::xprop(const Window& w, const std::string& property)
{
    return Capture("DISPLAY=" + display_ + " xprop -id " + std::to_string(w.id) + " " + Quote(property)).text;
}

void E2E::screenshot(const std::string& name)
{
    auto folder = test::RuntimeDir().parent_path() / "e2e-screens";
    fs::create_directories(folder);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string file = (folder / (std::string(info ? info->name() : "test") + "-" + name + ".png")).string();
    Capture("DISPLAY=" + display_ + " import -window root " + Quote(file));
}

void E2E::adopt(int pid)
{
    if (pid > 0) adopted_.push_back(pid);
}

std::pair<int, int> E2E::KeyCentre(int index)
{
    const KeyRect& r = g_keyRectByKey[static_cast<std::size_t>(index)];
    return {(r.left + r.right) / 2 + kKeyboardPictureX, (r.top + r.bottom) / 2 + kKeyboardPictureY};
}

fs::file_time_type E2E::keymapTime() const
{
    std::error_code ec;
    return fs::last_write_time(keymapFile(), ec);
}

bool E2E::waitKeymapWritten(fs::file_time_type before, std::chrono::milliseconds timeout)
{
    return test::WaitUntil([&] { return keymapTime() != before; }, timeout);
}

}  // namespace zr417::e2e
