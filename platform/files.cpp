#include "platform/files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <random>

namespace zr417 {
namespace fs = std::filesystem;

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const fs::path& path, std::size_t maxBytes)
{
    // Non-blocking open: a FIFO named like the file must not hang the program.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::size_t want = std::min<std::size_t>(maxBytes, static_cast<std::size_t>(st.st_size));
    bytes.resize(want);
    const long got = ReadUpTo(fd, bytes.data(), want);
    ::close(fd);
    if (got < 0) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
}

long ReadUpTo(int fd, void* data, std::size_t size)
{
    auto* at = static_cast<char*>(data);
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, at + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

namespace {

constexpr int kMaxLinkDepth = 40;  // the kernel's own limit for a path

// The cause of the system call that just failed.
std::error_code lastError()
{
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

std::error_code errorOf(int code)
{
    return std::error_code(code, std::generic_category());
}

// False with errno set when the data could not all be written.
bool writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;  // nothing written and no reason given: no room
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The file a write lands in: `path`, or the file a symbolic link at `path`
// leads to (through any chain of links; a relative link is relative to its
// own folder), so the target is updated and the link stays, as editors do.
// nullopt (with the cause in `error`) for a loop of links or a link that
// cannot be read.
std::optional<fs::path> resolveLinks(fs::path path, std::error_code& error)
{
    for (int depth = 0; depth < kMaxLinkDepth; ++depth) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
        fs::path target = fs::read_symlink(path, error);
        if (error) return std::nullopt;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    error = errorOf(ELOOP);
    return std::nullopt;
}

// Temporaries are named ".<file>.<pid>.<6 characters>" beside the file
// (kMaxAtomicFileNameBytes counts on that).

std::string temporaryPrefix(const fs::path& file)
{
    // Appended, not "..." + string: GCC 12 warns falsely on that at -O3.
    return std::string(".").append(file.filename().string()).append(".");
}

std::string randomSuffix()
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 rng{std::random_device{}()};
    std::string suffix(6, 'x');
    for (char& c : suffix) c = kChars[rng() % (sizeof kChars - 1)];
    return suffix;
}

fs::path temporaryName(const fs::path& file)
{
    return file.parent_path() / (temporaryPrefix(file) + std::to_string(::getpid()) + "." + randomSuffix());
}

// Removes the temporaries of `file` that a process killed in the middle of a
// save left behind: those whose process is gone. A live writer's, ours
// included, is left alone.
void removeStaleTemporaries(const fs::path& file)
{
    const std::string prefix = temporaryPrefix(file);
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(file.parent_path(), ec)) {
        std::string name = e.path().filename().string();
        if (name.size() < prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0) continue;
        std::size_t dot = name.size() - 7;
        if (name[dot] != '.') continue;
        std::string pidText = name.substr(prefix.size(), dot - prefix.size());
        if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos) continue;
        long pid = std::strtol(pidText.c_str(), nullptr, 10);
        if (pid <= 0 || pid == ::getpid() || pid > INT_MAX) continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            struct stat st {};
            if (::lstat(e.path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(e.path().c_str());
        }
    }
}

// Writes the parts into fd and gives it the mode (and owner, where allowed)
// of the file it replaces. False with errno set on failure.
bool fillTemporary(int fd, std::initializer_list<std::span<const std::uint8_t>> parts, const struct stat* old)
{
    for (auto part : parts)
        if (!writeAll(fd, part.data(), part.size())) return false;
    if (old) {
        if (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) {
            if (::fchown(fd, old->st_uid, old->st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old->st_gid) != 0) {
                // Not ours to give away: the file stays the writer's.
            }
        }
        if (::fchmod(fd, old->st_mode & 07777) != 0) return false;
    }
    return ::fsync(fd) == 0;
}

void syncFolder(const fs::path& dir)
{
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

}  // namespace

WriteResult WriteFileAtomic(const fs::path& requested, std::initializer_list<std::span<const std::uint8_t>> parts)
{
    std::error_code linkError;
    auto resolved = resolveLinks(requested, linkError);
    if (!resolved) return {linkError};
    fs::path path = resolved->parent_path().empty() ? fs::path(".") / *resolved : *resolved;
    const fs::path dir = path.parent_path();
    struct stat oldStat {};
    const bool replacing = ::stat(path.c_str(), &oldStat) == 0;
    if (replacing && !S_ISREG(oldStat.st_mode))  // a folder or a device named like the file is not replaced
        return {errorOf(S_ISDIR(oldStat.st_mode) ? EISDIR : EEXIST)};
    removeStaleTemporaries(path);

    // First choice: a file without a name until it is complete, which a
    // process killed in the middle of the write cannot leave behind. It gets
    // a name only for the rename that puts it in place. The mode 0666 is
    // narrowed by the umask, as for any new file.
    int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        if (!fillTemporary(fd, parts, replacing ? &oldStat : nullptr)) {
            const std::error_code error = lastError();
            ::close(fd);
            return {error};
        }
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        for (int attempt = 0; attempt < 8; ++attempt) {
            fs::path tmp = temporaryName(path);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, tmp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                std::error_code error;
                if (::rename(tmp.c_str(), path.c_str()) != 0) {
                    error = lastError();
                    ::unlink(tmp.c_str());
                }
                ::close(fd);
                if (!error) syncFolder(dir);
                return {error};
            }
            if (errno != EEXIST) break;
        }
        ::close(fd);
        // No /proc to link through: write a named temporary instead.
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return {lastError()};  // the folder cannot take a file (read-only, full, missing)
    }

    // Filesystems without unnamed files: a named temporary, which a stale-
    // temporary sweep of a later save removes if this process dies with it.
    fs::path tmp;
    fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        tmp = temporaryName(path);
        fd = ::open(tmp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return {lastError()};
    }
    if (fd < 0) return {errorOf(EEXIST)};
    std::error_code error;
    if (!fillTemporary(fd, parts, replacing ? &oldStat : nullptr)) error = lastError();
    if (::close(fd) != 0 && !error) error = lastError();
    if (!error && ::rename(tmp.c_str(), path.c_str()) == 0) {
        syncFolder(dir);
        return {};
    }
    if (!error) error = lastError();
    ::unlink(tmp.c_str());
    return {error};
}

WriteResult WriteFileAtomic(const fs::path& path, std::span<const std::uint8_t> bytes)
{
    return WriteFileAtomic(path, {bytes});
}

namespace {
void IgnoreSignal(int) {}
}  // namespace

void SurviveFileSizeLimit()
{
    // A handler that does nothing rather than SIG_IGN: an ignored signal
    // would stay ignored in the programs started from here.
    struct sigaction action {};
    action.sa_handler = IgnoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGXFSZ, &action, nullptr);
}

fs::path ExecutableDir()
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path();
    return exe.parent_path();
}

// Never a folder shared with other users (such as /tmp): whoever made it
// first would control keymap.bin and the programs its host-action keys start.
std::optional<fs::path> AccountHome()
{
    if (const char* home = std::getenv("HOME"); home && *home == '/') return fs::path(home);
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < 1 << 20)
        buffer.resize(buffer.size() * 2);
    if (found && found->pw_dir && found->pw_dir[0] == '/') return fs::path(found->pw_dir);
    return std::nullopt;
}

std::optional<fs::path> UserDataFolder()
{
    fs::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (auto home = AccountHome())
        base = *home / ".local" / "share";
    else
        return std::nullopt;
    return base / "ZR417 RGB Gaming Keyboard";
}

std::optional<AppPaths> AppPaths::ForExecutableDir(const fs::path& exeDir)
{
    AppPaths paths{exeDir, exeDir};
    if (const char* forced = std::getenv("ZR417_DATA_DIR"); forced && *forced) {
        paths.dataDir = forced;
    } else if (std::error_code ec;
               fs::exists(exeDir / kInstalledCopyMarker, ec) || ::access(exeDir.c_str(), W_OK) != 0) {
        auto data = UserDataFolder();
        if (!data) return std::nullopt;
        paths.dataDir = *data;
    }
    std::error_code ec;
    fs::create_directories(paths.dataDir, ec);
    return paths;
}

fs::path AppPaths::skinDir(int language) const
{
    return exeDir / "png" / (language == 4 ? "chinese" : "english");
}

}  // namespace zr417
