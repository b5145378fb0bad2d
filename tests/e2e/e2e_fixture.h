// End-to-end tests: the real programs on a private X server (Xvfb), all
// talking to one zr417-sim, driven with xdotool at the windows' coordinates.
// Each test gets a copy of the program folder, its own data, runtime and
// settings folders, and cleans up every process it started, also when it
// fails.
#pragma once

#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zr417::e2e {

using namespace std::chrono_literals;

struct Output {
    int code = -1;
    std::string text;  // stdout and stderr
};

struct Window {
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::string name;
};

class E2E : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Folders of this test.
    std::filesystem::path root() const { return dir_.path(); }
    std::filesystem::path programDir() const { return root() / "program"; }
    std::filesystem::path dataDir() const { return root() / "data"; }
    std::filesystem::path keymapFile() const { return dataDir() / "keymap.bin"; }

    // The environment of every program: the display, the simulator, the folders.
    virtual std::map<std::string, std::string> environment() const;

    // zr417ctl with the programs' environment.
    Output ctl(const std::string& args);
    // The keyboard's memory as zr417ctl reads it.
    std::vector<std::uint8_t> keyboardImage();
    // xdotool on this test's display.
    Output xdo(const std::string& args);

    void startSimulator();
    void stopSimulator();
    // Starts the main program; `log` collects its output.
    test::ChildProcess& startProgram();
    test::ChildProcess* program() { return program_.get(); }
    std::string programLog() const;
    // Waits until the program has read its files (keymap.bin exists).
    bool waitProgramStarted();

    // Visible top-level windows of a process.
    std::vector<Window> windows(int pid);
    // The first visible window of `pid` whose size satisfies the predicate.
    std::optional<Window> waitWindow(int pid, int minWidth, int maxWidth, std::chrono::milliseconds timeout);
    std::optional<Window> waitWindowNamed(const std::string& name, std::chrono::milliseconds timeout);
    bool waitNoWindowNamed(const std::string& name, std::chrono::milliseconds timeout);

    // Mouse click at client coordinates of a window, and keys to a window.
    void click(const Window& w, int x, int y);
    void keys(const Window& w, const std::string& keys);
    void type(const Window& w, const std::string& text);
    // A property of a window, as xprop prints it.
    std::string xprop(const Window& w, const std::string& property);

    // Keeps a screenshot in the build folder (e2e-screens/) for a reader.
    void screenshot(const std::string& name);

    // A process the programs started (the update tool): killed at the end.
    void adopt(int pid);

    // Main window: the centre of key `index` on the keyboard picture.
    static std::pair<int, int> KeyCentre(int index);
    // Waits for keymap.bin to be written again after `before`.
    bool waitKeymapWritten(std::filesystem::file_time_type before, std::chrono::milliseconds timeout);
    std::filesystem::file_time_type keymapTime() const;

    test::TempDir dir_;
    std::string xvfbScreen_ = "1280x1024x24";  // set before SetUp for another size
    std::string display_;
    std::unique_ptr<test::ChildProcess> xvfb_;
    std::unique_ptr<test::ChildProcess> sim_;
    std::unique_ptr<test::ChildProcess> program_;
    std::vector<int> adopted_;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);

}  // namespace zr417::e2e
