// The XDG autostart rules the tray switch follows: the user's entry of the
// same name overrides the system one, Hidden=true turns it off, and the
// user's own entry starts the program where no system entry does.
#include "platform/autostart.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

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

}  // namespace
}  // namespace zr417
