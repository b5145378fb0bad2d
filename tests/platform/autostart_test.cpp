// The XDG autostart rules the tray switch follows: the user's entry of the
// same name overrides the system one, Hidden=true turns it off, and the
// user's own entry starts the program where no system entry does.
#include "platform/autostart.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

namespace zr417 {
namespace {
namespace fs = std::filesystem;

std::string Read(const fs::path& p)
{
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const fs::path& p, const std::string& text)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

TEST(Autostart, UserEntryOverridesTheSystemOneBothWays)
{
    test::TempDir dir;
    AutostartFolders folders{dir.path() / "user", {dir.path() / "empty", dir.path() / "system"}};
    const fs::path user = folders.user / kAutostartFileName;
    const fs::path program = "/opt/my \"keyboard\"/$HOME 100%/ZR417 RGB Gaming Keyboard";

    // No system entry: on writes the user's own entry, off removes it.
    EXPECT_FALSE(AutostartEnabled(folders));
    ASSERT_TRUE(SetAutostart(folders, true, program, nullptr));
    EXPECT_TRUE(AutostartEnabled(folders));
    // Quoted for the Exec rules, then escaped as a string value.
    EXPECT_NE(
        Read(user).find("Exec=env ZR417_AUTOSTART=1 \"/opt/my \\\\\"keyboard\\\\\"/\\\\$HOME 100%%/ZR417 RGB Gaming "
                        "Keyboard\"\n"),
        std::string::npos)
        << Read(user);
    ASSERT_TRUE(SetAutostart(folders, false, program, nullptr));
    EXPECT_FALSE(fs::exists(user));

    // A system entry: off hides it for this user, on takes the override away.
    Write(folders.system[1] / kAutostartFileName, "[Desktop Entry]\nType=Application\nName=x\nExec=x\n");
    EXPECT_TRUE(AutostartEnabled(folders));
    ASSERT_TRUE(SetAutostart(folders, false, program, nullptr));
    EXPECT_NE(Read(user).find("\nHidden=true\n"), std::string::npos);
    EXPECT_FALSE(AutostartEnabled(folders));
    ASSERT_TRUE(SetAutostart(folders, true, program, nullptr));
    EXPECT_FALSE(fs::exists(user));
    EXPECT_TRUE(AutostartEnabled(folders));

    // GNOME's own switch in the user's entry counts too; Hidden in another
    // group does not.
    Write(user, "[Desktop Entry]\nX-GNOME-Autostart-enabled = false\n");
    EXPECT_FALSE(AutostartEnabled(folders));
    Write(user, "[Desktop Action x]\nHidden=true\n[Desktop Entry]\nExec=x\n");
    EXPECT_TRUE(AutostartEnabled(folders));

    // An entry that cannot be written is reported.
    AutostartFolders blocked{dir.path() / "file-in-the-way", {}};
    Write(blocked.user, "");
    std::string error;
    EXPECT_FALSE(SetAutostart(blocked, true, program, &error));
    EXPECT_FALSE(error.empty());
}

// A newline in the program's path must not start a line of its own (GLib
// would reject the whole entry, a Hidden=true override with it), and with
// HOME unset the entry still goes to the account's home.
TEST(Autostart, AnyProgramPathStaysOneArgumentAndNoHomeVariableIsTheAccountsHome)
{
    test::TempDir dir;
    AutostartFolders folders{dir.path() / "user", {dir.path() / "system"}};
    const fs::path user = folders.user / kAutostartFileName;
    const fs::path program = "/opt/line\nbreak/tab\there\r/ZR417 RGB Gaming Keyboard";
    ASSERT_TRUE(SetAutostart(folders, true, program, nullptr));
    std::string entry = Read(user);
    EXPECT_NE(entry.find("Exec=env ZR417_AUTOSTART=1 \"/opt/line\\nbreak/tab\\there\\r/ZR417 RGB Gaming Keyboard\"\n"),
              std::string::npos)
        << entry;
    Write(folders.system[0] / kAutostartFileName, "[Desktop Entry]\nType=Application\nName=x\nExec=x\n");
    ASSERT_TRUE(SetAutostart(folders, false, program, nullptr));
    entry = Read(user);
    std::istringstream lines(entry);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line[0] == '[' || line.find('=') != std::string::npos) << line;
    EXPECT_NE(entry.find("\nHidden=true\n"), std::string::npos) << entry;

    // What no entry can hold is refused with a reason, and nothing is written.
    fs::remove(user);
    std::string error;
    EXPECT_FALSE(SetAutostart(folders, false, "/opt/bell\a/ZR417 RGB Gaming Keyboard", &error));
    EXPECT_NE(error.find("control character"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(user));

    std::map<std::string, std::optional<std::string>> saved;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
        const char* value = std::getenv(name);
        saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
        ::unsetenv(name);
    }
    const fs::path fromEnvironment = AutostartFolders::FromEnvironment().user;
    for (const auto& [name, value] : saved)
        if (value) ::setenv(name.c_str(), value->c_str(), 1);
    const struct passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(fromEnvironment, fs::path(account->pw_dir) / ".config" / "autostart");
}

}  // namespace
}  // namespace zr417
