// The flows a user goes through with both programs and one keyboard, run on
// the simulator: start-up and plugging, editing and saving, host actions, a
// firmware update, and unplugs in the middle of a save and of a burn.
#include "e2e_fixture.h"

#include "config/image.h"
#include "config/keys.h"
#include "platform/files.h"

#include <thread>

namespace zr417::e2e {
namespace {

namespace fs = std::filesystem;

// Main window (client coordinates).
constexpr int kEffectFieldX = 100, kEffectFieldY = 165;
constexpr int kEffectRowX = 100;
int EffectRowY(int row)
{
    return 173 + 20 * row + 10;
}
constexpr int kGameModeOnX = 565, kGameModeOnY = 463;
constexpr int kMacroButtonX = 419, kMacroButtonY = 465;
constexpr int kSaveX = 950, kSaveY = 620;
constexpr int kCloseX = 986, kCloseY = 12;
// Key assignment dialog of the first model.
constexpr int kAdvanceTabX = 280, kAdvanceTabY = 44;
constexpr int kBrowseProgramX = 279, kBrowseProgramY = 105;
constexpr int kDisableToggleX = 24, kDisableToggleY = 255;
constexpr int kDialogSaveX = 284, kDialogSaveY = 257;
// Macro manager.
constexpr int kNewX = 48, kNewY = 380;
constexpr int kRecordX = 334, kRecordY = 112;
constexpr int kMacroOkX = 308, kMacroOkY = 412;

constexpr int kBreathingRow = 2;  // first model: effect code 1
constexpr std::uint8_t kBreathing = 1;
constexpr int kDisabledKey = 31;  // a key of the main block
constexpr int kActionKey = 5;

bool MainSized(const Window& w)
{
    return w.width >= 900;
}

std::uint8_t At(const std::vector<std::uint8_t>& image, std::size_t offset)
{
    return offset < image.size() ? image[offset] : 0xEE;
}

bool PageHoldsData(const std::vector<std::uint8_t>& image, int page)
{
    std::size_t start = settings::MacroPages + static_cast<std::size_t>(page) * settings::PageSize + 1;
    if (image.size() < start + settings::PageSize - 1) return false;
    return std::any_of(image.begin() + static_cast<std::ptrdiff_t>(start),
                       image.begin() + static_cast<std::ptrdiff_t>(start + settings::PageSize - 1),
                       [](std::uint8_t b) { return b != 0; });
}

std::size_t PlaneByte(int key, int plane)
{
    return settings::Plane0 + static_cast<std::size_t>(plane) * settings::PlaneSize + g_matrixPosByKey[key];
}

class Flows : public E2E {
protected:
    // A plugged keyboard and the main program showing it.
    std::optional<Window> startWithKeyboard(const char* model = "QV310")
    {
        EXPECT_EQ(ctl(std::string("sim plug ") + model).code, 0);
        auto& p = startProgram();
        EXPECT_TRUE(waitProgramStarted()) << programLog();
        return waitWindow(p.pid(), 900, 1200, 30s);
    }
    // Save in the main window; true once keymap.bin was written after it.
    bool save(const Window& w)
    {
        auto before = keymapTime();
        click(w, kSaveX, kSaveY);
        return waitKeymapWritten(before, 90s);
    }
    std::string simList() { return ctl("sim list").text; }
};

TEST_F(Flows, StartsHiddenWithoutKeyboardAndAppearsWhenOneIsPluggedIn)
{
    // The keyboard has settings of its own: Breathing.
    ASSERT_EQ(ctl("sim plug QV310").code, 0);
    auto image = keyboardImage();
    ASSERT_EQ(image.size(), kImageSize);
    image[settings::Effect] = kBreathing;
    ASSERT_TRUE(WriteFileAtomic(root() / "settings.bin", image));
    Output saved = ctl("save " + (root() / "settings.bin").string());
    ASSERT_EQ(saved.code, 0) << saved.text;
    ASSERT_EQ(ctl("sim unplug 1").code, 0);

    auto& p = startProgram();
    ASSERT_TRUE(waitProgramStarted()) << programLog();
    std::this_thread::sleep_for(1500ms);
    // Hidden: with no tray on this bare X server (no window manager either),
    // the window goes minimised so the program stays reachable.
    for (const auto& w : windows(p.pid())) {
        if (MainSized(w)) {
            EXPECT_NE(xprop(w, "_NET_WM_STATE").find("_NET_WM_STATE_HIDDEN"), std::string::npos)
                << "the window stays hidden (minimised) without a keyboard";
        }
    }
    EXPECT_TRUE(p.running());

    auto before = keymapTime();
    ASSERT_EQ(ctl("sim plug QV310").code, 0);
    auto w = waitWindow(p.pid(), 900, 1200, 30s);
    ASSERT_TRUE(w) << "the window appears when the keyboard arrives";
    ASSERT_TRUE(waitKeymapWritten(before, 30s));
    ASSERT_TRUE(test::WaitUntil([&] { return At(ReadBytes(keymapFile()), settings::Effect) == kBreathing; }, 10s));
    screenshot("plugged");
}

TEST_F(Flows, EditsSavedToTheKeyboardComeBackAfterARestart)
{
    auto w = startWithKeyboard();
    ASSERT_TRUE(w) << programLog();
    const int pid = program()->pid();
    const auto factory = keyboardImage();

    // Lighting: Breathing from the effect list; Game Mode on.
    click(*w, kEffectFieldX, kEffectFieldY);
    click(*w, kEffectRowX, EffectRowY(kBreathingRow));
    click(*w, kGameModeOnX, kGameModeOnY);

    // A key: disabled in the key assignment dialog.
    auto [kx, ky] = KeyCentre(kDisabledKey);
    click(*w, kx, ky);
    auto dialog = waitWindow(pid, 200, 600, 15s);
    ASSERT_TRUE(dialog) << "the key assignment dialog opens";
    click(*dialog, kDisableToggleX, kDisableToggleY);
    click(*dialog, kDialogSaveX, kDialogSaveY);
    ASSERT_TRUE(test::WaitUntil([&] { return windows(pid).size() == 1; }, 10s)) << "the dialog closes";

    // A macro: New, record A and B, OK.
    click(*w, kMacroButtonX, kMacroButtonY);
    auto macros = waitWindow(pid, 200, 899, 15s);
    ASSERT_TRUE(macros) << "the macro manager opens";
    click(*macros, kNewX, kNewY);
    click(*macros, kRecordX, kRecordY);
    keys(*macros, "a b");
    click(*macros, kRecordX, kRecordY);
    screenshot("macro-recorded");
    click(*macros, kMacroOkX, kMacroOkY);
    ASSERT_TRUE(test::WaitUntil([&] { return windows(pid).size() == 1; }, 10s)) << "the macro manager closes";

    ASSERT_TRUE(save(*w)) << programLog();
    auto keyboard = keyboardImage();
    ASSERT_EQ(keyboard.size(), kImageSize);
    EXPECT_EQ(At(keyboard, settings::Effect), kBreathing);
    EXPECT_NE(ctl("info").text.find("Game Mode:        on"), std::string::npos) << "Game Mode reached the keyboard";
    EXPECT_NE(At(keyboard, PlaneByte(kDisabledKey, 0)), At(factory, PlaneByte(kDisabledKey, 0)))
        << "the disabled key's matrix entry reached the keyboard";
    EXPECT_TRUE(PageHoldsData(keyboard, 0)) << "the macro reached the keyboard";

    // Quit, and start again without keymap.bin: everything comes from the keyboard.
    click(*w, kCloseX, kCloseY);
    auto code = program()->waitFor(15s);
    ASSERT_TRUE(code) << "the close button ends the program";
    EXPECT_EQ(*code, 0);
    fs::remove(keymapFile());
    auto& again = startProgram();
    ASSERT_TRUE(waitWindow(again.pid(), 900, 1200, 30s)) << programLog();
    auto matches = [&] {
        auto now = ReadBytes(keymapFile());
        return At(now, settings::Effect) == kBreathing &&
               At(now, PlaneByte(kDisabledKey, 0)) == At(keyboard, PlaneByte(kDisabledKey, 0)) &&
               std::equal(keyboard.begin() + settings::MacroPages,
                          keyboard.begin() + settings::MacroPages + settings::PageSize,
                          now.begin() + settings::MacroPages);
    };
    EXPECT_TRUE(test::WaitUntil([&] { return ReadBytes(keymapFile()).size() == kImageSize && matches(); }, 30s))
        << "lighting, Game Mode, the key and the macro are back";
    screenshot("restarted");
}

TEST_F(Flows, AHostActionKeyPressedOnTheKeyboardStartsItsProgram)
{
    // The program to start: a script that leaves a marker with the folder it ran in.
    auto tools = root() / "tools";
    fs::create_directories(tools);
    auto script = tools / "open-target";
    auto marker = root() / "marker";
    {
        std::string text = "#!/bin/sh\necho \"started in $PWD\" > '" + marker.string() + "'\n";
        ASSERT_TRUE(WriteFileAtomic(script, std::vector<std::uint8_t>(text.begin(), text.end())));
        fs::permissions(script, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    }

    auto w = startWithKeyboard();
    ASSERT_TRUE(w) << programLog();
    const int pid = program()->pid();
    auto [kx, ky] = KeyCentre(kActionKey);
    click(*w, kx, ky);
    auto dialog = waitWindow(pid, 200, 600, 15s);
    ASSERT_TRUE(dialog) << "the key assignment dialog opens";
    click(*dialog, kAdvanceTabX, kAdvanceTabY);
    click(*dialog, kBrowseProgramX, kBrowseProgramY);
    std::optional<Window> chooser;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            for (const auto& x : windows(pid))
                if (x.id != w->id && x.id != dialog->id) chooser = x;
            return chooser.has_value();
        },
        15s))
        << "the program chooser opens";
    std::this_thread::sleep_for(500ms);
    type(*chooser, script.string());
    keys(*chooser, "Return");
    ASSERT_TRUE(test::WaitUntil([&] { return windows(pid).size() == 2; }, 10s)) << "the chooser closes";
    screenshot("action-chosen");
    click(*dialog, kDialogSaveX, kDialogSaveY);
    ASSERT_TRUE(test::WaitUntil([&] { return windows(pid).size() == 1; }, 10s)) << "the dialog closes";
    ASSERT_TRUE(save(*w)) << programLog();

    Output press = ctl("sim press 1 " + std::to_string(kActionKey));
    ASSERT_EQ(press.code, 0) << press.text;
    ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(marker); }, 15s)) << programLog();
    EXPECT_EQ(test::ReadText(marker), "started in " + tools.string() + "\n") << "started in its own folder";
}

TEST_F(Flows, ANewerVersionFileLeadsThroughTheUpdateToolToTheNewFirmware)
{
    ASSERT_EQ(ctl("sim plug QV310").code, 0);
    ASSERT_EQ(ctl("sim version 1 0.9").code, 0);
    auto& p = startProgram();
    auto prompt = waitWindowNamed("Firmware Update", 30s);
    ASSERT_TRUE(prompt) << "the program offers the update: " << programLog();
    screenshot("prompt");
    keys(*prompt, "Return");

    auto tool = waitWindowNamed("Update Tool", 30s);
    ASSERT_TRUE(tool) << "the update tool starts";
    int toolPid = std::atoi(xdo("getwindowpid " + std::to_string(tool->id)).text.c_str());
    adopt(toolPid);
    std::error_code ec;
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(toolPid) + "/cwd", ec), programDir() / "QV310")
        << "started in the model's folder";
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(toolPid) + "/exe", ec),
              programDir() / "QV310" / "ZR417 RGB Gaming Keyboard_Update");

    ASSERT_TRUE(test::WaitUntil([&] { return simList().find("bootloader plugged") != std::string::npos; }, 20s))
        << "the keyboard went into its bootloader: " << simList();
    std::this_thread::sleep_for(1500ms);  // the tool gives it a slot
    screenshot("tool-ready");
    keys(*tool, "Return");  // Update, the default button
    ASSERT_TRUE(test::WaitUntil([&] { return simList().find("burn finished") != std::string::npos; }, 120s))
        << simList();
    screenshot("tool-done");
    // The user quits the tool (it would send a keyboard it sees arrive back
    // into the bootloader), then re-plugs the keyboard.
    keys(*tool, "Escape");
    EXPECT_TRUE(test::WaitUntil([&] { return !fs::exists("/proc/" + std::to_string(toolPid)); }, 10s))
        << "Escape closes the tool";

    auto before = keymapTime();
    ASSERT_EQ(ctl("sim replug 1").code, 0);
    ASSERT_TRUE(waitKeymapWritten(before, 30s)) << "the program reads the keyboard again";
    EXPECT_NE(simList().find("keyboard   plugged   1c4f:5dc4 1.0"), std::string::npos) << simList();
    std::this_thread::sleep_for(2s);
    EXPECT_TRUE(waitNoWindowNamed("Firmware Update", 1s)) << "no prompt for the firmware it now runs";
    EXPECT_TRUE(p.running());
    Output info = ctl("info");
    EXPECT_NE(info.text.find("Firmware version: 1.0"), std::string::npos) << info.text;
}

TEST_F(Flows, UnplugDuringSaveAndDuringABurnLosesNothingAndRecovers)
{
    auto w = startWithKeyboard();
    ASSERT_TRUE(w) << programLog();
    auto& p = *program();

    // Save, with the keyboard pulled out after 30 reports.
    click(*w, kEffectFieldX, kEffectFieldY);
    click(*w, kEffectRowX, EffectRowY(kBreathingRow));
    ASSERT_EQ(ctl("sim unplug 1 30").code, 0);
    ASSERT_TRUE(save(*w)) << "Save still writes keymap.bin";
    auto onDisk = ReadBytes(keymapFile());
    EXPECT_EQ(onDisk.size(), kImageSize);
    EXPECT_EQ(At(onDisk, settings::Effect), kBreathing) << "the edit is kept on disk";
    EXPECT_NE(simList().find("unplugged"), std::string::npos) << simList();
    EXPECT_TRUE(p.running());

    // Plugged in again: the program reads it and a Save goes through.
    auto before = keymapTime();
    ASSERT_EQ(ctl("sim plug QV310").code, 0);
    ASSERT_TRUE(waitKeymapWritten(before, 30s)) << programLog();
    w = waitWindow(p.pid(), 900, 1200, 30s);
    ASSERT_TRUE(w);
    click(*w, kEffectFieldX, kEffectFieldY);
    click(*w, kEffectRowX, EffectRowY(kBreathingRow));
    ASSERT_TRUE(save(*w));
    EXPECT_EQ(At(keyboardImage(), settings::Effect), kBreathing) << "the second Save reached the keyboard";

    // A burn with the bootloader pulled out in the middle.
    test::ChildProcess tool(programDir() / "QV310" / "ZR417 RGB Gaming Keyboard_Update", {}, environment(),
                            root() / "tool.log");
    auto toolWindow = waitWindowNamed("Update Tool", 30s);
    ASSERT_TRUE(toolWindow) << test::ReadText(root() / "tool.log");
    ASSERT_TRUE(test::WaitUntil([&] { return simList().find("bootloader plugged") != std::string::npos; }, 20s))
        << simList();
    std::this_thread::sleep_for(1500ms);
    ASSERT_EQ(ctl("sim unplug 1 12").code, 0);  // past the erase, inside the data
    keys(*toolWindow, "Return");
    ASSERT_TRUE(test::WaitUntil([&] { return simList().find("bootloader unplugged") != std::string::npos; }, 60s))
        << simList();
    std::this_thread::sleep_for(2s);
    screenshot("burn-interrupted");
    EXPECT_TRUE(tool.running()) << "the tool survives";
    EXPECT_TRUE(p.running()) << "the main program survives";

    // Plugged in again it is still a bootloader (its flash was erased); the
    // tool takes it and the next Update finishes.
    ASSERT_EQ(ctl("sim replug 1").code, 0);
    EXPECT_NE(simList().find("bootloader plugged"), std::string::npos) << simList();
    std::this_thread::sleep_for(2s);
    keys(*toolWindow, "Return");
    ASSERT_TRUE(test::WaitUntil([&] { return simList().find("burn finished") != std::string::npos; }, 120s))
        << simList();
    tool.terminate();

    before = keymapTime();
    ASSERT_EQ(ctl("sim replug 1").code, 0);
    ASSERT_TRUE(waitKeymapWritten(before, 30s)) << "the main program reads the keyboard again";
    auto last = ReadBytes(keymapFile());
    EXPECT_EQ(last.size(), kImageSize);
    EXPECT_EQ(At(last, settings::Effect), kBreathing) << "the keyboard kept its settings through the burn";
    EXPECT_TRUE(p.running());
}

}  // namespace
}  // namespace zr417::e2e
