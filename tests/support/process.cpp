#include "tests/support/process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace zr417::test {
namespace fs = std::filesystem;

ChildProcess::ChildProcess(const fs::path& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env, const fs::path& logFile)
{
    std::vector<std::string> argStrings{program.string()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        auto eq = entry.find('=');
        if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [k, v] : env) merged[k] = v;
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : merged) envStrings.push_back(k + "=" + v);

    pid_ = ::fork();
    if (pid_ == 0) {
        int fd = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        ::setpgid(0, 0);
        std::vector<char*> argv, envp;
        for (auto& s : argStrings) argv.push_back(s.data());
        argv.push_back(nullptr);
        for (auto& s : envStrings) envp.push_back(s.data());
        envp.push_back(nullptr);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
}

ChildProcess::~ChildProcess()
{
    if (running()) terminate();
}

bool ChildProcess::running()
{
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

std::optional<int> ChildProcess::waitFor(std::chrono::milliseconds timeout)
{
    WaitUntil([this] { return !running(); }, timeout);
    return status_;
}

void ChildProcess::terminate()
{
    if (!running()) return;
    ::kill(-pid_, SIGTERM);
    if (!waitFor(std::chrono::seconds(3))) {
        ::kill(-pid_, SIGKILL);
        waitFor(std::chrono::seconds(3));
    }
}

std::optional<PrivateDisplay> StartXvfb(int first, const std::string& screen, const fs::path& logFile)
{
    for (int n = first; n < first + 20; ++n) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n),
                          lock = "/tmp/.X" + std::to_string(n) + "-lock";
        if (fs::exists(socket) || fs::exists(lock)) continue;
        auto server = std::make_unique<ChildProcess>(
            "/usr/bin/Xvfb",
            std::vector<std::string>{":" + std::to_string(n), "-screen", "0", screen, "-nolisten", "tcp", "-noreset"},
            std::map<std::string, std::string>{}, logFile);
        auto ours = [&] {
            int holder = 0;
            std::ifstream(lock) >> holder;
            return holder == server->pid() && fs::exists(socket);
        };
        if (WaitUntil([&] { return ours() || !server->running(); }, std::chrono::seconds(10)) && server->running())
            return PrivateDisplay{":" + std::to_string(n), std::move(server)};
    }
    return std::nullopt;
}

fs::path RuntimeDir()
{
    const char* dir = std::getenv("ZR417_RUNTIME_DIR");
    return dir ? fs::path(dir) : fs::current_path();
}

std::string ReadText(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace zr417::test
