// cmake --install into a scratch prefix: the program folder the programs
// expect, the commands, the desktop files and the udev rule; then the
// installed main program started against the installed simulator.
#include "app/main_logic.h"
#include "config/image.h"
#include "device/emu/bootloader_emulator.h"
#include "device/identities.h"
#include "platform/files.h"
#include "platform/sim_wire.h"
#include "sim/simulator.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace zr417::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int Shell(const std::string& command, std::string* output = nullptr)
{
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return -1;
    char buffer[512];
    std::string out;
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    int status = ::pclose(p);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir;
        std::string out;
        // Under a umask that leaves new files group-writable, as a builder's
        // may: the installed modes must not follow it.
        int rc = Shell("umask 002 && cmake --install '" + std::string(ZR417_BINARY_DIR) + "' --prefix '" +
                           (dir_->path() / "prefix").string() + "'",
                       &out);
        installed_ = rc == 0;
        log_ = out;
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(installed_) << log_; }

    static fs::path prefix() { return dir_->path() / "prefix"; }
    static fs::path programDir() { return prefix() / "lib" / "zr417"; }

    static inline TempDir* dir_ = nullptr;
    static inline bool installed_ = false;
    static inline std::string log_;
};

TEST_F(Installed, LaysOutTheProgramFolderTheProgramsExpect)
{
    const fs::path p = programDir();
    for (const char* file : {"ZR417 RGB Gaming Keyboard", "VER.bin", "VER_420.bin", "home/index.html",
                             "png/english/main.png", "png/chinese/main.png"})
        EXPECT_TRUE(fs::is_regular_file(p / file)) << file;
    for (const char* model : {"QV310", "QV420"}) {
        const fs::path folder = p / model;
        EXPECT_TRUE(fs::is_regular_file(folder / "ZR417 RGB Gaming Keyboard_Update")) << model;
        EXPECT_EQ(::access((folder / "ZR417 RGB Gaming Keyboard_Update").c_str(), X_OK), 0) << model;
        EXPECT_NE(ReadText(folder / "config.ini").find(std::string("Model=") + model), std::string::npos) << model;
        // The image ships converted (the installed folder is read-only) and
        // names the version the version files offer.
        auto image = ReadFileBytes(folder / "sample_firmware.bin");
        ASSERT_TRUE(image) << model;
        EXPECT_EQ(image->size() % 2048, 0u) << "whole pages";
        auto inImage = sim::FirmwareVersionInImage(*image);
        ASSERT_TRUE(inImage) << model;
        for (const char* ver : {"VER.bin", "VER_420.bin"}) {
            auto file = ReadFileBytes(p / ver);
            ASSERT_TRUE(file);
            FirmwareVersion v = ParseVersionFile(*file);
            EXPECT_EQ(std::make_pair(v.major, v.minor), *inImage) << ver;
        }
    }
    EXPECT_EQ(::access((prefix() / "bin" / "zr417ctl").c_str(), X_OK), 0);
    EXPECT_EQ(::access((prefix() / "bin" / "zr417-sim").c_str(), X_OK), 0);
    ASSERT_TRUE(fs::is_symlink(prefix() / "bin" / "zr417-keyboard"));
    EXPECT_EQ(fs::canonical(prefix() / "bin" / "zr417-keyboard"), fs::canonical(p / "ZR417 RGB Gaming Keyboard"));
}

TEST_F(Installed, DesktopEntryIconAndAppStreamDataPointAtTheInstalledProgram)
{
    std::string desktop = ReadText(prefix() / "share/applications/org.zr417.Keyboard.desktop");
    EXPECT_NE(desktop.find("Exec=\"" + (prefix() / "bin/zr417-keyboard").string() + "\""), std::string::npos)
        << desktop;
    EXPECT_NE(desktop.find("Icon=org.zr417.Keyboard\n"), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(prefix() / "share/icons/hicolor/256x256/apps/org.zr417.Keyboard.png"));
    std::string metainfo = ReadText(prefix() / "share/metainfo/org.zr417.Keyboard.metainfo.xml");
    EXPECT_NE(metainfo.find("<launchable type=\"desktop-id\">org.zr417.Keyboard.desktop</launchable>"),
              std::string::npos);
    // Both validators come with the test command's packages.
    std::string out;
    EXPECT_EQ(
        Shell("desktop-file-validate '" + (prefix() / "share/applications/org.zr417.Keyboard.desktop").string() + "'",
              &out),
        0)
        << out;
    // The start at login: hidden (the switch), the installed program.
    const fs::path autostart = prefix() / "share/zr417/autostart/org.zr417.Keyboard.desktop";
    EXPECT_NE(
        ReadText(autostart).find("Exec=env ZR417_AUTOSTART=1 \"" + (prefix() / "bin/zr417-keyboard").string() + "\"\n"),
        std::string::npos)
        << ReadText(autostart);
    EXPECT_FALSE(fs::exists(prefix() / "etc")) << "the system autostart folder is linked only for /usr";
    EXPECT_EQ(Shell("desktop-file-validate '" + autostart.string() + "'", &out), 0) << out;
    EXPECT_EQ(Shell("appstreamcli validate --no-net '" +
                        (prefix() / "share/metainfo/org.zr417.Keyboard.metainfo.xml").string() + "'",
                    &out),
              0)
        << out;
}

// Every identity the programs accept, and only those, with the seat's ACL.
TEST_F(Installed, UdevRuleGivesTheSeatEveryKeyboardAndTheBootloaderAndNothingMore)
{
    std::string rules = ReadText(prefix() / "lib/udev/rules.d/60-zr417.rules");
    ASSERT_FALSE(rules.empty());
    std::set<std::pair<std::string, std::string>> matched;
    std::regex line(R"re(ATTRS\{idVendor\}=="([^"]*)", ATTRS\{idProduct\}=="([^"]*)", TAG\+="uaccess")re");
    std::istringstream in(rules);
    for (std::string l; std::getline(in, l);) {
        if (l.empty() || l[0] == '#') continue;
        EXPECT_EQ(l.find("MODE"), std::string::npos) << "no permission bits: " << l;
        EXPECT_EQ(l.find("0666"), std::string::npos) << l;
        std::smatch m;
        if (std::regex_search(l, m, line)) matched.insert({m[1], m[2]});
    }
    auto hex = [](unsigned v) {
        char b[8];
        std::snprintf(b, sizeof b, "%04x", v);
        return std::string(b);
    };
    std::set<std::pair<std::string, std::string>> wanted;
    for (const auto& id : g_keyboardIdentities) wanted.insert({hex(id.vendorId), hex(id.productId)});
    wanted.insert({hex(emu::BootloaderEmulator::kVendorId), hex(emu::BootloaderEmulator::kProductId)});
    EXPECT_EQ(matched, wanted);
    EXPECT_NE(rules.find("SUBSYSTEM!=\"hidraw\""), std::string::npos) << "only hidraw nodes";
}

TEST_F(Installed, ModesAreTheSameWhateverTheInstallersUmask)
{
    std::vector<fs::path> entries{prefix()};
    for (const auto& e : fs::recursive_directory_iterator(prefix())) entries.push_back(e.path());
    for (const fs::path& path : entries) {
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0) << path;
        const unsigned mode = st.st_mode & 07777;
        if (S_ISDIR(st.st_mode)) {
            EXPECT_EQ(mode, 0755u) << std::oct << mode << " " << path;
        } else if (S_ISREG(st.st_mode)) {
            EXPECT_TRUE(mode == 0644u || mode == 0755u) << std::oct << mode << " " << path;
        }
    }
    const fs::path entry = prefix() / "share/applications/org.zr417.Keyboard.desktop";
    EXPECT_EQ(fs::status(entry).permissions(), fs::perms(0644));
}

// The rule as udev itself reads it, on a made-up sysfs of every keyboard
// (interfaces 0 and 1), the bootloader and a stranger: udevadm test in a
// mount namespace of its own where that tree is /sys and the rule is the only one.
TEST_F(Installed, UdevGivesTheSeatInterfaceOneAndTheBootloaderButNeverTheTypedKeys)
{
    if (::geteuid() != 0) GTEST_SKIP() << "a private /sys needs root (CI runs the tests as root)";
    TempDir fake;
    const fs::path sys = fake.path() / "sys", rules = fake.path() / "rules", empty = fake.path() / "empty";
    for (const fs::path& d : {sys / "class/hidraw", sys / "bus/usb", sys / "bus/hid", rules, empty})
        fs::create_directories(d);
    fs::copy_file(prefix() / "lib/udev/rules.d/60-zr417.rules", rules / "60-zr417.rules");
    auto write = [](const fs::path& file, const std::string& text) { std::ofstream(file) << text; };
    char text[128];
    // hidraw node `n` of USB device 1-`device`, on its interface `iface`.
    auto node = [&](int n, int device, unsigned vid, unsigned pid, int iface) {
        const fs::path usb = sys / "devices/pci0000:00/0000:00:14.0/usb1" / ("1-" + std::to_string(device));
        fs::create_directories(usb);
        std::snprintf(text, sizeof text, "%04x", vid);
        write(usb / "idVendor", text);
        std::snprintf(text, sizeof text, "%04x", pid);
        write(usb / "idProduct", text);
        write(usb / "uevent", "DEVTYPE=usb_device\nDRIVER=usb\n");
        if (!fs::is_symlink(usb / "subsystem")) fs::create_symlink("/sys/bus/usb", usb / "subsystem");
        const fs::path intf = usb / ("1-" + std::to_string(device) + ":1." + std::to_string(iface));
        std::snprintf(text, sizeof text, "0003:%04X:%04X.%04X", vid, pid, n);
        const fs::path hid = intf / text, raw = hid / "hidraw" / ("hidraw" + std::to_string(n));
        fs::create_directories(raw);
        std::snprintf(text, sizeof text, "%02x", iface);
        write(intf / "bInterfaceNumber", text);
        write(intf / "uevent", "DEVTYPE=usb_interface\nDRIVER=usbhid\n");
        fs::create_symlink("/sys/bus/usb", intf / "subsystem");
        write(hid / "uevent", "DRIVER=hid-generic\n");
        fs::create_symlink("/sys/bus/hid", hid / "subsystem");
        write(raw / "uevent", "MAJOR=243\nMINOR=" + std::to_string(n) + "\nDEVNAME=" + raw.filename().string() + "\n");
        write(raw / "dev", "243:" + std::to_string(n) + "\n");
        fs::create_symlink("/sys/class/hidraw", raw / "subsystem");
        fs::create_symlink("/sys" / fs::relative(raw, sys), sys / "class/hidraw" / raw.filename());
        return raw.filename().string();
    };
    // What the programs open: the main program interface 1 of the keyboard,
    // the update tool the vendor collections there and the bootloader.
    std::set<std::string> nodes, wanted;
    int n = 0, device = 0;
    auto add = [&](unsigned vid, unsigned pid, int iface, bool opened) {
        const std::string name = node(n++, device, vid, pid, iface);
        nodes.insert(name);
        if (opened) wanted.insert(name);
    };
    for (const auto& id : g_keyboardIdentities) {
        ++device;
        add(id.vendorId, id.productId, 0, false);
        add(id.vendorId, id.productId, 1, true);
    }
    ++device;
    add(emu::BootloaderEmulator::kVendorId, emu::BootloaderEmulator::kProductId, 0, true);
    ++device;
    add(0x046d, 0xc52b, 1, false);  // somebody else's receiver

    const fs::path script = fake.path() / "evaluate.sh";
    write(script,
          "set -e\n"
          // A chroot's / is no mount point, so it cannot be made private;
          // there only the mount points we mount over are, and nothing is
          // mounted on a folder of the (shared) root file system.
          "if mount --make-rprivate / 2>/dev/null; then whole=1; else\n"
          "  whole=0; for m in /sys /run /dev; do mount --make-rprivate \"$m\"; done\n"
          "fi\n"
          "mount --bind \"$1\" /sys\n"
          "mount -t tmpfs none /run\n"
          "mount -t tmpfs none /dev\n"
          // /run's rules come before /usr/lib's: an empty file of the same
          // name masks each packaged rule, so ours is the only one.
          "mkdir -p /run/udev/rules.d\n"
          "cp \"$2\"/*.rules /run/udev/rules.d/\n"
          "for f in /usr/lib/udev/rules.d/*.rules /lib/udev/rules.d/*.rules; do\n"
          "  [ -e \"$f\" ] && [ ! -e \"/run/udev/rules.d/${f##*/}\" ] && : >\"/run/udev/rules.d/${f##*/}\" || true\n"
          "done\n"
          // /etc's rules come before /run's: hidden where a mount may go there.
          "if [ $whole = 1 ]; then mount --bind \"$3\" /etc/udev/rules.d\n"
          "elif ls /etc/udev/rules.d/*.rules >/dev/null 2>&1; then\n"
          "  echo 'cannot hide the rules in /etc/udev/rules.d without a private /'; exit 1\n"
          "fi\n"
          "shift 3\n"
          "for node; do\n"
          "  echo \"== $node\"\n"
          "  SYSTEMD_DEVICE_VERIFY_SYSFS=0 udevadm test --action=add \"/sys/class/hidraw/$node\" 2>&1 || true\n"
          "done\n");
    std::string command = "unshare -m --propagation unchanged sh '" + script.string() + "' '" + sys.string() + "' '" +
                          rules.string() + "' '" + empty.string() + "'";
    for (const auto& name : nodes) command += " " + name;
    std::string out;
    ASSERT_EQ(Shell(command, &out), 0) << out;
    std::set<std::string> tagged;
    std::istringstream lines(out);
    std::string current;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("== ", 0) == 0) current = line.substr(3);
        if (line.rfind("TAGS=", 0) == 0 && line.find(":uaccess:") != std::string::npos) tagged.insert(current);
    }
    EXPECT_EQ(tagged, wanted) << out;
}

TEST_F(Installed, TheInstalledProgramRunsOnTheInstalledSimulator)
{
    TempDir run;
    auto socket = run.path() / "sim.sock";
    std::map<std::string, std::string> env{
        {"ZR417_SIM", socket.string()},
        {"QT_QPA_PLATFORM", "offscreen"},
        {"XDG_RUNTIME_DIR", run.path().string()},
        {"HOME", run.path().string()},
        {"XDG_CONFIG_HOME", (run.path() / "config").string()},
        // No data folder named: an installed copy picks the user's one, even
        // where (as root) it could write its own folder.
        {"ZR417_DATA_DIR", ""},
        {"XDG_DATA_HOME", (run.path() / "share").string()},
        {"XDG_STATE_HOME", (run.path() / "state").string()},
        {"ZR417_TRACE", "1"},
    };
    ChildProcess sim(prefix() / "bin" / "zr417-sim", {"--socket", socket.string(), "--plug", "QV420"}, env,
                     run.path() / "sim.log");
    ASSERT_TRUE(WaitUntil(
        [&] {
            int fd = simwire::ConnectSocket(socket);
            if (fd >= 0) ::close(fd);
            return fd >= 0;
        },
        10s))
        << ReadText(run.path() / "sim.log");
    ChildProcess program(prefix() / "bin" / "zr417-keyboard", {}, env, run.path() / "program.log");
    auto keymap = run.path() / "share" / "ZR417 RGB Gaming Keyboard" / "keymap.bin";
    // The start-up read-out ends with a refresh that writes keymap.bin.
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadText(run.path() / "program.log").find("Data") != std::string::npos || fs::exists(keymap); },
        30s))
        << ReadText(run.path() / "program.log");
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(keymap) && fs::file_size(keymap) == kImageSize; }, 30s));
    EXPECT_TRUE(program.running()) << ReadText(run.path() / "program.log");
    EXPECT_FALSE(fs::exists(programDir() / "keymap.bin")) << "nothing written into the program folder";
}

// The Debian package, made by cpack from this build: its control fields and
// what it lays out (the install check on a fresh Debian 12 is
// scripts/package.sh --fresh-check).
TEST(Package, ControlFieldsAndContentsAreThoseOfTheDesktopPackage)
{
    TempDir dir;
    std::string out;
    ASSERT_EQ(Shell("cd '" + dir.path().string() + "' && cpack -G DEB --config '" + std::string(ZR417_BINARY_DIR) +
                        "/CPackConfig.cmake' -B '" + dir.path().string() + "'",
                    &out),
              0)
        << out;
    const fs::path deb = dir.path() / "zr417-keyboard_1.0.0_amd64.deb";
    ASSERT_TRUE(fs::exists(deb)) << out;
    auto field = [&](const std::string& name) {
        std::string value;
        Shell("dpkg-deb -f '" + deb.string() + "' " + name, &value);
        return value;
    };
    EXPECT_EQ(field("Package"), "zr417-keyboard\n");
    EXPECT_EQ(field("Architecture"), "amd64\n");
    const std::string depends = field("Depends");
    for (const char* wanted : {"libqt6widgets6", "libqt6network6", "libudev1", "fonts-liberation",
                               "fonts-wqy-zenhei | fonts-noto-cjk", "qt6-translations-l10n"})
        EXPECT_NE(depends.find(wanted), std::string::npos) << wanted << " in " << depends;
    for (const char* testOnly : {"gtest", "gmock", "benchmark", "xvfb", "xdotool", "qemu", "x11-utils", "lintian"})
        EXPECT_EQ(depends.find(testOnly), std::string::npos) << testOnly << " in " << depends;
    EXPECT_EQ(field("Recommends"), "qt6-wayland\n");
    EXPECT_NE(field("Maintainer"), "\n");

    std::string contents;
    ASSERT_EQ(Shell("dpkg-deb -c '" + deb.string() + "'", &contents), 0);
    for (const char* path :
         {"./usr/lib/udev/rules.d/60-zr417.rules", "./usr/bin/zr417ctl", "./usr/bin/zr417-sim",
          "./usr/lib/zr417/ZR417 RGB Gaming Keyboard", "./usr/lib/zr417/png/chinese/main.png",
          "./usr/share/applications/org.zr417.Keyboard.desktop", "./usr/share/metainfo/org.zr417.Keyboard.metainfo.xml",
          "./usr/share/doc/zr417-keyboard/copyright", "./usr/share/doc/zr417-keyboard/changelog.gz",
          "./usr/bin/zr417-keyboard -> ../lib/zr417/ZR417 RGB Gaming Keyboard",
          "./etc/xdg/autostart/org.zr417.Keyboard.desktop -> "
          "/usr/share/zr417/autostart/org.zr417.Keyboard.desktop",
          "./usr/share/zr417/autostart/org.zr417.Keyboard.desktop"})
        EXPECT_NE(contents.find(path), std::string::npos) << path;
    // Everything under /usr, but the autostart link: no conffile stays behind
    // after a removal.
    std::istringstream lines(contents);
    for (std::string line; std::getline(lines, line);) {
        auto at = line.find(" ./");
        ASSERT_NE(at, std::string::npos) << line;
        std::string path = line.substr(at + 1);
        bool allowed = path.rfind("./usr/", 0) == 0 || path == "./" || path == "./usr/" ||
                       path.rfind("./etc/xdg/autostart/org.zr417.Keyboard.desktop -> ", 0) == 0 || path == "./etc/" ||
                       path == "./etc/xdg/" || path == "./etc/xdg/autostart/";
        EXPECT_TRUE(allowed) << path;
    }

    // The maintainer scripts reload and apply the rule only where udev runs.
    ASSERT_EQ(Shell("dpkg-deb -e '" + deb.string() + "' '" + (dir.path() / "control").string() + "'"), 0);
    for (const char* script : {"postinst", "postrm"}) {
        std::string text = ReadText(dir.path() / "control" / script);
        EXPECT_NE(text.find("[ -d /run/udev ] && command -v udevadm"), std::string::npos) << script;
        EXPECT_NE(text.find("udevadm trigger --subsystem-match=hidraw"), std::string::npos) << script;
        EXPECT_EQ(::access((dir.path() / "control" / script).c_str(), X_OK), 0) << script;
    }
}

}  // namespace
}  // namespace zr417::test
