// Starting the built programs from tests: a child process with its own
// environment, output captured to a file, and a bounded wait.
#pragma once

#include "tests/support/temp_dir.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zr417::test {

class ChildProcess {
public:
    // Starts `program` with `args`; `env` entries are added to (or replace
    // those of) the test's own environment. stdout and stderr go to logFile.
    ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, const std::filesystem::path& logFile);
    ~ChildProcess();  // kills the process if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    int pid() const { return pid_; }
    bool running();
    // Exit code once the process has ended within the timeout.
    std::optional<int> waitFor(std::chrono::milliseconds timeout);
    void terminate();

private:
    int pid_ = -1;
    std::optional<int> status_;
};

// An X server (Xvfb) of the test's own, on the first free display from
// `first` on. Tests running side by side race for the same numbers, so a
// display counts as ours only when its lock names our server; -noreset keeps
// it from restarting (and refusing clients a moment) whenever its last
// client leaves.
struct PrivateDisplay {
    std::string name;  // ":N"
    std::unique_ptr<ChildProcess> server;
};
std::optional<PrivateDisplay> StartXvfb(int first, const std::string& screen, const std::filesystem::path& logFile);

std::filesystem::path RuntimeDir();  // ZR417_RUNTIME_DIR: build/bin
std::string ReadText(const std::filesystem::path& file);

// Polls `condition` every 20 ms until it holds or the timeout passes.
template <typename F>
bool WaitUntil(F condition, std::chrono::milliseconds timeout);

}  // namespace zr417::test

#include <thread>

template <typename F>
bool zr417::test::WaitUntil(F condition, std::chrono::milliseconds timeout)
{
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}
