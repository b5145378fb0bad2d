// Per-user runtime files on a machine shared with other users: who is on the
// other end of a local socket, and a folder for sockets and locks that no one
// else can plant files in. Plain POSIX.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zr417 {

struct UserIds {
    uid_t uid = 0;
    gid_t gid = 0;
};

// The user who ran sudo, when this process is root under sudo (SUDO_UID and
// SUDO_GID of a user other than root); nullopt otherwise.
std::optional<UserIds> SudoUser();

// "nobody (uid 65534)", or "uid 4000" for a user without a name.
std::string DescribeUser(uid_t uid);

// The user of the process at the other end of a connected local socket (the
// one that connected, or the one that listened); nullopt when unknown.
std::optional<uid_t> PeerUid(int fd);

// Whether a local socket named `name` in `folder` has a path short enough to
// bind or connect to (sun_path holds 107 bytes and the terminating zero).
bool SocketPathFits(const std::filesystem::path& folder, std::string_view name);

// The runtime folder of `user`: $XDG_RUNTIME_DIR, else /run/user/<uid>, each
// only when it is a folder of that user's that no one else may write to (and
// leaves room for a socket named `socketName`, when one is given); else
// /tmp/zr417-<uid>. With `prepare`, that last folder is made (mode 0700,
// owned by `user`) when missing, and refused with the reason in `error` when
// it is anything but a folder of that user's.
std::optional<std::filesystem::path> UserRuntimeFolder(const UserIds& user, bool prepare, std::string* error,
                                                       std::string_view socketName = {});

}  // namespace zr417
