#include "platform/instance_link.h"

#include "platform/user_runtime.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <thread>

namespace zr417 {
namespace {

// The original's single-instance name, blank and braces included; a socket
// name may hold neither on every system.
constexpr std::string_view kInstanceName = " {57D1171D-1a34-0804-8A3A-65ABA2150010}";

using Clock = std::chrono::steady_clock;

int Connect(const std::filesystem::path& path)
{
    sockaddr_un addr{};
    if (path.native().size() >= sizeof addr.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.native().size());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::string MainProgramInstanceKey()
{
    std::string key = "zr417-";
    for (char c : kInstanceName)
        if (c != ' ' && c != '{' && c != '}') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

std::string InstanceSocketName(std::string_view key, uid_t uid)
{
    return std::string(key) + "-" + std::to_string(uid);
}

std::filesystem::path InstanceSocketPath(const std::filesystem::path& folder, std::string_view key, uid_t uid)
{
    return folder / InstanceSocketName(key, uid);
}

bool MainProgramHoldsLock(const std::filesystem::path& lock)
{
    // The lock file's first line is the holder's process id (QLockFile's layout).
    std::ifstream in(lock);
    long pid = 0;
    if (!(in >> pid) || pid <= 0) return false;
    const std::string process = "/proc/" + std::to_string(pid);
    struct stat st {};
    if (::stat(process.c_str(), &st) != 0 || st.st_uid != ::geteuid()) return false;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink(process + "/exe", ec);
    if (!ec) {
        std::string name = exe.filename().string();
        // The program's file was replaced (an upgrade) while it runs.
        constexpr std::string_view kDeleted = " (deleted)";
        if (name.size() > kDeleted.size() && name.ends_with(kDeleted)) name.resize(name.size() - kDeleted.size());
        return name == kMainProgramFile;
    }
    // A zombie has no executable; one we may not look into still has its
    // name, cut to 15 bytes.
    if (ec != std::errc::permission_denied) return false;
    std::ifstream commFile(process + "/comm");
    std::string comm;
    return std::getline(commFile, comm) && !comm.empty() && comm == kMainProgramFile.substr(0, 15);
}

std::string FormatInstanceReply(const InstanceReply& reply)
{
    return std::to_string(reply.exitCode) + "\n" + reply.text;
}

std::optional<InstanceReply> ParseInstanceReply(std::string_view bytes)
{
    auto end = bytes.find('\n');
    if (end == std::string_view::npos || end == 0 || end > 3) return std::nullopt;
    InstanceReply reply;
    for (char c : bytes.substr(0, end)) {
        if (c < '0' || c > '9') return std::nullopt;
        reply.exitCode = reply.exitCode * 10 + (c - '0');
    }
    reply.text = std::string(bytes.substr(end + 1));
    return reply;
}

AskResult AskMainProgram(std::string_view request, InstanceReply* reply, std::string* error,
                         std::chrono::milliseconds timeout)
{
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return AskResult::Failed;
    };
    const std::string key = MainProgramInstanceKey();
    auto folder =
        UserRuntimeFolder({::geteuid(), ::getegid()}, /*prepare=*/false, nullptr, InstanceSocketName(key, ::geteuid()));
    if (!folder) return AskResult::NotRunning;
    const auto socket = InstanceSocketPath(*folder, key, ::geteuid());
    const auto lock = socket.string() + ".lock";

    // A copy that holds the lock but does not listen yet is still starting
    // (or listening again): give it a few seconds rather than talk to the
    // keyboard beside it.
    int fd = -1;
    const auto startDeadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
        fd = Connect(socket);
        if (fd >= 0) break;
        if (errno != ENOENT && errno != ECONNREFUSED) return fail(socket.string() + ": " + std::strerror(errno));
        if (!MainProgramHoldsLock(lock)) return AskResult::NotRunning;
        if (Clock::now() > startDeadline) return fail("the program runs but does not answer on " + socket.string());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    auto peer = PeerUid(fd);
    if (!peer || *peer != ::geteuid()) {
        ::close(fd);
        return fail(socket.string() + " is held by a program of " + (peer ? DescribeUser(*peer) : "an unknown user") +
                    ", not one of yours: not asking it anything");
    }
    if (!WriteAll(fd, std::string(request) + "\n")) {
        ::close(fd);
        return fail("the program closed its socket before the request was sent");
    }
    std::string bytes;
    const auto deadline = Clock::now() + timeout;
    char buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            ::close(fd);
            return fail("the program did not answer within " + std::to_string(timeout.count() / 1000) + " s");
        }
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    auto parsed = ParseInstanceReply(bytes);
    if (!parsed) return fail("the program's answer could not be understood");
    if (reply) *reply = std::move(*parsed);
    return AskResult::Answered;
}

}  // namespace zr417
