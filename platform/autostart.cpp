#include "platform/autostart.h"

#include "platform/files.h"
#include "platform/text.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

namespace zr417 {
namespace fs = std::filesystem;

namespace {

// Empty when neither the variable nor the account's home gives a folder.
fs::path EnvFolder(const char* variable, const char* homeFallback)
{
    const char* value = std::getenv(variable);
    if (value && *value == '/') return value;
    if (auto home = AccountHome()) return *home / homeFallback;
    return {};
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
// as a string value ('\' doubled, tab, newline and carriage return as \t,
// \n, \r, so the entry stays one line a key); '%' is doubled as field codes
// demand. nullopt for a path no entry can hold: other control characters,
// or bytes that are not UTF-8.
std::optional<std::string> ExecArgument(const std::string& path)
{
    for (std::size_t i = 0; i < path.size();) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f) return std::nullopt;
        if (DecodeUtf8(path, i) < 0) return std::nullopt;
    }
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string out;
    for (char c : quoted) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '%':
                out += "%%";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string UnusablePath(const fs::path& program)
{
    return "the program's path " + program.string() +
           " holds a control character or a byte that is not UTF-8, which a desktop entry cannot hold; move "
           "the program to a folder with a plain name";
}

std::string ExecLine(const std::string& argument)
{
    return "Exec=env " + std::string(kAutostartVariable) + "=1 " + argument + "\n";
}

const char kEntryHead[] =
    "[Desktop Entry]\n"
    "Type=Application\n"
    "Name=ZR417 RGB Gaming Keyboard\n"
    "Name[zh_CN]=ZR417 RGB 游戏键盘\n";

bool WriteUserEntry(const AutostartFolders& folders, const std::string& text, std::string* error)
{
    if (folders.user.empty()) {
        if (error) *error = "the account has no home folder for the autostart entry";
        return false;
    }
    std::error_code ec;
    fs::create_directories(folders.user, ec);
    const fs::path file = folders.user / kAutostartFileName;
    if (WriteFileAtomic(file, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))) return true;
    if (error) *error = "cannot write " + file.string();
    return false;
}

bool RemoveUserEntry(const AutostartFolders& folders, std::string* error)
{
    if (folders.user.empty()) return true;  // no home, no entry of the user's
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
    if (fs::path config = EnvFolder("XDG_CONFIG_HOME", ".config"); !config.empty()) folders.user = config / "autostart";
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::stringstream list(dirs && *dirs ? dirs : "/etc/xdg");
    for (std::string dir; std::getline(list, dir, ':');)
        if (!dir.empty() && dir[0] == '/') folders.system.push_back(fs::path(dir) / "autostart");
    return folders;
}

bool AutostartEnabled(const AutostartFolders& folders)
{
    const fs::path user = folders.user / kAutostartFileName;
    if (!folders.user.empty() && IsFile(user)) return !EntryTurnedOff(user);
    const fs::path system = SystemEntry(folders);
    return !system.empty() && !EntryTurnedOff(system);
}

std::optional<std::string> AutostartEntry(const fs::path& program)
{
    const auto argument = ExecArgument(program.string());
    if (!argument) return std::nullopt;
    return std::string(kEntryHead) +
           "Comment=Keeps the keyboard program in the notification area\n"
           "Comment[zh_CN]=在通知区域运行键盘程序\n" +
           ExecLine(*argument) +
           "Icon=org.zr417.Keyboard\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool SetAutostart(const AutostartFolders& folders, bool enabled, const fs::path& program, std::string* error)
{
    const fs::path system = SystemEntry(folders);
    const bool systemStarts = !system.empty() && !EntryTurnedOff(system);
    if (enabled && systemStarts) return RemoveUserEntry(folders, error);  // the system entry starts it
    if (!enabled && !systemStarts) return RemoveUserEntry(folders, error);
    const auto argument = ExecArgument(program.string());
    if (!argument) {
        if (error) *error = UnusablePath(program);
        return false;
    }
    if (enabled) return WriteUserEntry(folders, *AutostartEntry(program), error);
    return WriteUserEntry(folders, std::string(kEntryHead) + ExecLine(*argument) + "Hidden=true\n", error);
}

}  // namespace zr417
