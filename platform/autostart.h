// Starting the main program with the desktop session, by the XDG autostart
// conventions: an entry in one of the system folders ($XDG_CONFIG_DIRS, each
// + /autostart; the package puts one there) starts it for every user, and
// the user's own folder ($XDG_CONFIG_HOME/autostart) overrides an entry of
// the same file name: Hidden=true turns it off for that user, and an entry
// of the user's own starts the program where no system entry does.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr417 {

inline constexpr std::string_view kAutostartFileName = "org.zr417.Keyboard.desktop";
// Set in the environment of a start at login: no splash, the window waits
// in the notification area.
inline constexpr std::string_view kAutostartVariable = "ZR417_AUTOSTART";

struct AutostartFolders {
    // Where the user's entry goes: $XDG_CONFIG_HOME, else the account's home
    // (from the password database when HOME is unset) with .config, then
    // "autostart". Empty when the account has no home folder.
    std::filesystem::path user;
    std::vector<std::filesystem::path> system;  // searched in this order
    static AutostartFolders FromEnvironment();
};

// Whether the desktop starts the program for this user at login.
bool AutostartEnabled(const AutostartFolders& folders);

// Writes or removes the user's entry so that AutostartEnabled becomes
// `enabled`. `program` is what the user's own entry starts. False, with the
// reason in `error`, when the entry could not be written or removed.
bool SetAutostart(const AutostartFolders& folders, bool enabled, const std::filesystem::path& program,
                  std::string* error);

// The user's own entry that starts `program` at login, hidden; nullopt when
// the path holds what no entry can (a control character other than tab,
// newline and carriage return, or bytes that are not UTF-8).
std::optional<std::string> AutostartEntry(const std::filesystem::path& program);

}  // namespace zr417
