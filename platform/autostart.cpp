#include "platform/autostart.h"

#include "platform/files.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

namespace zr417 {
namespace fs = std::filesystem;

namespace {

fs::path EnvFolder(const char* variable, const char* homeFallback)
{
    const char* value = std::getenv(variable);
    if (value && *value == '/') return value;
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/") / homeFallback;
}

std::string Trim(std::string s)
{
    const char* blanks = " \t\r";
    s.erase(0, s.find_first_not_of(blanks));
    s.erase(s.find_last_not_of(blanks) + 1);
    return s;
}

// An entry the desktop does not start: Hidden=true, or GNOME's own switch
// X-GNOME-Autostart-enabled=false, in its [Desktop Entry] group.
bool EntryTurnedOff(const fs::path& file)
{
    std::ifstream in(file);
    bool inEntry = false;
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry) continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return true;
    }
    return false;
}

bool IsFile(const fs::path& p)
{
    std::error_code ec;
    return fs::is_regular_file(p, ec);  // follows a link, as the desktop does
}

// The first system entry the desktop would take, or empty.
fs::path SystemEntry(const AutostartFolders& folders)
{
    for (const auto& folder : folders.system)
        if (IsFile(folder / kAutostartFileName)) return folder / kAutostartFileName;
    return {};
}

// A path as one argument of an Exec line: quoted, with the characters the
// desktop entry rules reserve inside quotes escaped, then escaped once more
// as a string value ('\' doubled); '%' is doubled as field codes demand.
std::string ExecArgument(const std::string& path)
{
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string out;
    for (char c : quoted) {
        if (c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out;
}

const char kEntryHead[] =
    "[Desktop Entry]\n"
    "Type=Application\n"
    "Name=ZR417 RGB Gaming Keyboard\n"
    "Name[zh_CN]=ZR417 RGB 游戏键盘\n";

bool WriteUserEntry(const AutostartFolders& folders, const std::string& text, std::string* error)
{
    std::error_code ec;
    fs::create_directories(folders.user, ec);
    const fs::path file = folders.user / kAutostartFileName;
    auto written = WriteFileAtomic(file, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (written) return true;
    if (error) *error = "cannot write " + file.string() + ": " + written.error.message();
    return false;
}

bool RemoveUserEntry(const AutostartFolders& folders, std::string* error)
{
    std::error_code ec;
    const fs::path file = folders.user / kAutostartFileName;
    fs::remove(file, ec);
    if (!ec) return true;
    if (error) *error = "cannot remove " + file.string() + ": " + ec.message();
    return false;
}

}  // namespace

AutostartFolders AutostartFolders::FromEnvironment()
{
    AutostartFolders folders;
    folders.user = EnvFolder("XDG_CONFIG_HOME", ".config") / "autostart";
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::stringstream list(dirs && *dirs ? dirs : "/etc/xdg");
    for (std::string dir; std::getline(list, dir, ':');)
        if (!dir.empty() && dir[0] == '/') folders.system.push_back(fs::path(dir) / "autostart");
    return folders;
}

bool AutostartEnabled(const AutostartFolders& folders)
{
    const fs::path user = folders.user / kAutostartFileName;
    if (IsFile(user)) return !EntryTurnedOff(user);
    const fs::path system = SystemEntry(folders);
    return !system.empty() && !EntryTurnedOff(system);
}

std::string AutostartEntry(const fs::path& program)
{
    return std::string(kEntryHead) +
           "Comment=Keeps the keyboard program in the notification area\n"
           "Comment[zh_CN]=在通知区域运行键盘程序\n"
           "Exec=env " +
           std::string(kAutostartVariable) + "=1 " + ExecArgument(program.string()) +
           "\n"
           "Icon=org.zr417.Keyboard\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool SetAutostart(const AutostartFolders& folders, bool enabled, const fs::path& program, std::string* error)
{
    const fs::path system = SystemEntry(folders);
    const bool systemStarts = !system.empty() && !EntryTurnedOff(system);
    if (enabled) {
        // The system entry starts it once the user's override is gone.
        if (systemStarts) return RemoveUserEntry(folders, error);
        return WriteUserEntry(folders, AutostartEntry(program), error);
    }
    if (systemStarts)
        return WriteUserEntry(folders,
                              std::string(kEntryHead) + "Exec=env " + std::string(kAutostartVariable) + "=1 " +
                                  ExecArgument(program.string()) + "\nHidden=true\n",
                              error);
    return RemoveUserEntry(folders, error);
}

}  // namespace zr417
