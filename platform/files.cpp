#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zr417 {
namespace fs = std::filesystem;

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const fs::path& path, std::size_t maxBytes)
{
    // Non-blocking open: a FIFO named like the file must not hang the program.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::size_t want = std::min<std::size_t>(maxBytes, static_cast<std::size_t>(st.st_size));
    bytes.resize(want);
    std::size_t got = 0;
    while (got < want) {
        ssize_t n = ::read(fd, bytes.data() + got, want - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    return bytes;
}

static bool writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteFileAtomic(const fs::path& path, std::initializer_list<std::span<const std::uint8_t>> parts)
{
    fs::path dir = path.parent_path();
    if (dir.empty())
        dir = ".";
    std::string tmpl = (dir / ("." + path.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return false;
    bool ok = true;
    for (auto part : parts)
        ok = ok && writeAll(fd, part.data(), part.size());
    // Keep the permissions an ordinary new file would get.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ok = ok && ::fchmod(fd, 0666 & ~mask) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(tmpl.c_str(), path.c_str()) == 0) {
        // Make the rename itself durable.
        int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
        return true;
    }
    ::unlink(tmpl.c_str());
    return false;
}

bool WriteFileAtomic(const fs::path& path, std::span<const std::uint8_t> bytes)
{
    return WriteFileAtomic(path, {bytes});
}

fs::path ExecutableDir()
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return fs::current_path();
    return exe.parent_path();
}

static fs::path userDataDir()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    fs::path base;
    if (xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".local" / "share";
    else
        base = "/tmp";
    return base / "ZR417 RGB Gaming Keyboard";
}

AppPaths AppPaths::ForExecutableDir(const fs::path& exeDir)
{
    AppPaths paths{exeDir, exeDir};
    if (const char* forced = std::getenv("ZR417_DATA_DIR"); forced && *forced)
        paths.dataDir = forced;
    else if (::access(exeDir.c_str(), W_OK) != 0)
        paths.dataDir = userDataDir();
    std::error_code ec;
    fs::create_directories(paths.dataDir, ec);
    return paths;
}

fs::path AppPaths::skinDir(int language) const
{
    return exeDir / "png" / (language == 4 ? "chinese" : "english");
}

}  // namespace zr417
