#include "platform/user_runtime.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zr417 {
namespace {

std::optional<unsigned long> ParseId(const char* text)
{
    if (!text || !*text) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != 0 || text[0] == '-') return std::nullopt;
    return value;
}

// A folder of `uid`'s that nobody else can add files to or take them from.
bool PrivateFolderOf(const std::filesystem::path& folder, uid_t uid)
{
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::optional<UserIds> SudoUser()
{
    if (::geteuid() != 0) return std::nullopt;
    auto uid = ParseId(std::getenv("SUDO_UID"));
    auto gid = ParseId(std::getenv("SUDO_GID"));
    if (!uid || !gid || *uid == 0) return std::nullopt;
    return UserIds{static_cast<uid_t>(*uid), static_cast<gid_t>(*gid)};
}

std::string DescribeUser(uid_t uid)
{
    std::string id = "uid " + std::to_string(uid);
    std::vector<char> buffer(16 * 1024);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return std::string(found->pw_name) + " (" + id + ")";
    return id;
}

std::optional<uid_t> PeerUid(int fd)
{
    ucred cred{};
    socklen_t length = sizeof cred;
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0 || length != sizeof cred)
        return std::nullopt;
    return cred.uid;
}

bool SocketPathFits(const std::filesystem::path& folder, std::string_view name)
{
    return (folder / name).native().size() < sizeof(sockaddr_un::sun_path);
}

std::optional<std::filesystem::path> UserRuntimeFolder(const UserIds& user, bool prepare, std::string* error,
                                                       std::string_view socketName)
{
    // A folder too deep for the socket would make listen() fail; the next
    // one in line is short.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
        if (PrivateFolderOf(runtime, user.uid) && (socketName.empty() || SocketPathFits(runtime, socketName)))
            return std::filesystem::path(runtime);
    std::filesystem::path login = "/run/user/" + std::to_string(user.uid);
    if (PrivateFolderOf(login, user.uid)) return login;

    // /tmp is everyone's: another user may have made this name first.
    std::filesystem::path folder = "/tmp/zr417-" + std::to_string(user.uid);
    if (!prepare) return folder;
    auto fail = [&](const std::string& why) -> std::optional<std::filesystem::path> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (::mkdir(folder.c_str(), 0700) == 0) {
        if (user.uid != ::geteuid() && ::lchown(folder.c_str(), user.uid, user.gid) != 0) {
            std::string why = std::strerror(errno);
            ::rmdir(folder.c_str());
            return fail("cannot give " + folder.string() + " to " + DescribeUser(user.uid) + ": " + why);
        }
        return folder;
    }
    if (errno != EEXIST) return fail("cannot make " + folder.string() + ": " + std::strerror(errno));
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0)
        return fail("cannot look at " + folder.string() + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return fail(folder.string() +
                    " is not a folder: refusing to keep runtime files there (remove it, or set "
                    "XDG_RUNTIME_DIR to a folder of your own)");
    if (st.st_uid != user.uid)
        return fail(folder.string() + " belongs to " + DescribeUser(st.st_uid) + ", not to " + DescribeUser(user.uid) +
                    ": refusing to keep runtime files there (remove it, or set XDG_RUNTIME_DIR to a folder of your "
                    "own)");
    if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
        return fail("cannot make " + folder.string() + " private: " + std::strerror(errno));
    return folder;
}

}  // namespace zr417
