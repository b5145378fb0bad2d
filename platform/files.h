// Files and folders: reading, atomic writing, and where the programs keep
// their files (beside the executable, or the per-user data folder when the
// executable's folder is not writable or is an installed copy).
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace zr417 {

// Reads from `fd` until `size` bytes are in `data` or the end comes (EINTR
// is retried); the count read, or -1 with errno set. The caller closes fd.
long ReadUpTo(int fd, void* data, std::size_t size);

// Reads at most maxBytes of a regular file. nullopt when the file is missing,
// unreadable or not a regular file (a directory named like the file).
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                       std::size_t maxBytes = SIZE_MAX);

// What a write came to: true when the new file is in place, else false with
// the system's reason (an errno value: ENOSPC, EACCES ...) in `error`.
struct WriteResult {
    std::error_code error;

    explicit operator bool() const { return !error; }
};

// Writes the parts one after another into a temporary file beside `path`,
// flushes it to disk and renames it over `path`. On any failure the old file
// is left as it was, the temporary is removed, and the cause is returned. The new
// file keeps the mode of the one it replaces; a symbolic link at `path` is
// followed, so its target is replaced and the link stays. The temporary has
// no name until it is complete where the filesystem allows, and temporaries
// left by a process killed mid-write are removed by the next write.
WriteResult WriteFileAtomic(const std::filesystem::path& path,
                            std::initializer_list<std::span<const std::uint8_t>> parts);
WriteResult WriteFileAtomic(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// The longest file name WriteFileAtomic can write. Its temporary is named
// ".<file>.<pid>.<6 characters>" beside the file, and that name too must fit
// the 255 bytes a file name may have, with a PID of up to 7 digits (the
// kernel's largest, 4194304).
inline constexpr std::size_t kMaxAtomicFileNameBytes = 255 - (1 + 1 + 7 + 1 + 6);

// Called at the start of a program: under a file-size limit (ulimit -f) a
// write past it then fails with EFBIG and is reported like any other failed
// write, instead of SIGXFSZ killing the program without a word.
void SurviveFileSizeLimit();

// Folder of the running executable (from /proc/self/exe).
std::filesystem::path ExecutableDir();

// The account's home: $HOME (absolute), else the password database's entry;
// nullopt when the account has none.
std::optional<std::filesystem::path> AccountHome();

// The per-user data folder: $XDG_DATA_HOME (absolute) or the account's home
// ($HOME, else the password database) with .local/share, then "ZR417 RGB
// Gaming Keyboard". nullopt when the account has no home folder.
std::optional<std::filesystem::path> UserDataFolder();

// An installed program folder holds this file: its copy keeps the user's
// files in the per-user data folder even when it could write its own folder
// (root can write /usr).
inline constexpr const char* kInstalledCopyMarker = "installed-copy";

// The folders one program run works with.
struct AppPaths {
    std::filesystem::path exeDir;   // program, skins, version files, update tool folders
    std::filesystem::path dataDir;  // keymap.bin, MacroDefine.bin, Configure/

    // exeDir as given; dataDir = exeDir when it is writable and not an
    // installed copy (kInstalledCopyMarker), else the per-user
    // data folder ($XDG_DATA_HOME or the account's ~/.local/share, then
    // "ZR417 RGB Gaming Keyboard"), created on demand. ZR417_DATA_DIR, when
    // set, overrides the choice. nullopt when the data folder is needed but
    // the account has no home folder to hold it.
    static std::optional<AppPaths> ForExecutableDir(const std::filesystem::path& exeDir);
    // Both folders the same (tests).
    static AppPaths InFolder(const std::filesystem::path& dir) { return {dir, dir}; }

    std::filesystem::path keymapFile() const { return dataDir / "keymap.bin"; }
    std::filesystem::path macroFile() const { return dataDir / "MacroDefine.bin"; }
    std::filesystem::path profileDir() const { return dataDir / "Configure"; }
    // png/chinese/ for language 4, png/english/ otherwise.
    std::filesystem::path skinDir(int language) const;
};

}  // namespace zr417
