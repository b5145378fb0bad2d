// The running main program's local socket as other programs of the same user
// reach it: where it is, and the one-line requests it answers. "activate"
// asks it to show its window and gets no reply; every other request gets a
// reply (an exit code line, then text) before the program closes the socket.
// Plain POSIX, so zr417ctl can ask without Qt.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zr417 {

inline constexpr std::string_view kActivateRequest = "activate";
// The main program's file name, as its running process shows it.
inline constexpr std::string_view kMainProgramFile = "ZR417 RGB Gaming Keyboard";

// The key that names the main program's lock and socket.
std::string MainProgramInstanceKey();
// The name of the socket of `key` for `uid`.
std::string InstanceSocketName(std::string_view key, uid_t uid);
// The socket of `key` for `uid` in `folder` (the lock is this path + ".lock").
std::filesystem::path InstanceSocketPath(const std::filesystem::path& folder, std::string_view key, uid_t uid);
// Whether `lock` is held by a running main program of this user: a holder
// that is gone, belongs to another user, or whose process number now belongs
// to another program holds nothing.
bool MainProgramHoldsLock(const std::filesystem::path& lock);

struct InstanceReply {
    int exitCode = 0;
    std::string text;
};
std::string FormatInstanceReply(const InstanceReply& reply);
std::optional<InstanceReply> ParseInstanceReply(std::string_view bytes);

enum class AskResult {
    NotRunning,  // no copy of the main program runs for this user
    Answered,    // `reply` holds its answer
    Failed,      // it runs but could not be asked or did not answer; `error` says why
};

// Sends `request` (one line, without its newline) to this user's running main
// program and waits up to `timeout` for the whole reply.
AskResult AskMainProgram(std::string_view request, InstanceReply* reply, std::string* error,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace zr417
