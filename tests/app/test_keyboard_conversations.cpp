// The main window talks to the keyboard one whole sequence at a time, even
// when the user acts while the start-up read-out is still running; and a
// settings file that cannot be written is reported and loses nothing.
#include "tests/app/main_window_fixture.h"

#include "app/auto_profiles.h"
#include "app/auto_profiles_host.h"
#include "app/main_logic.h"
#include "app/openrgb_link.h"
#include "app/profile_commands.h"
#include "app/profile_requests.h"
#include "macro/macro_model.h"
#include "platform/trace.h"
#include "tests/support/full_disk.h"

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace zr417;
using namespace zr417::test;

namespace {

// A keyboard that takes its time over every report and logs each one with
// the thread that sent it, so two sequences running at once show up as
// interleaved reports. The keyboard itself is the emulator behind it.
class SlowLoggingKeyboard : public emu::EmulatedDevice {
public:
    struct Report {
        std::thread::id thread;
        bool set = false;
        std::size_t collection = 0;  // index into collections(): 0 = COL03, 1 = COL04, 2 = COL06
        std::vector<std::uint8_t> bytes;
    };

    SlowLoggingKeyboard(std::shared_ptr<emu::KeyboardEmulator> keyboard, std::chrono::microseconds delay)
        : keyboard_(std::move(keyboard)), delay_(delay)
    {
    }

    std::uint16_t vendorId() const override { return keyboard_->vendorId(); }
    std::uint16_t productId() const override { return keyboard_->productId(); }
    std::vector<Collection> collections() const override { return keyboard_->collections(); }
    bool setFeature(std::size_t index, const std::uint8_t* data, std::size_t length) override
    {
        std::this_thread::sleep_for(delay_);
        if (beforeSet) beforeSet(data, length);
        record(true, index, data, length);
        return keyboard_->setFeature(index, data, length);
    }
    bool getFeature(std::size_t index, std::uint8_t* data, std::size_t length) override
    {
        std::this_thread::sleep_for(delay_);
        bool ok = keyboard_->getFeature(index, data, length);
        record(false, index, data, length);
        return ok;
    }

    std::vector<Report> log() const
    {
        std::lock_guard lock(mutex_);
        return log_;
    }
    // Something the test saw, in order with the reports (collection 99).
    void mark(std::vector<std::uint8_t> what) { record(false, 99, what.data(), what.size()); }

    // Runs on the sending thread before a set reaches the keyboard (set
    // before the keyboard is plugged in).
    std::function<void(const std::uint8_t* data, std::size_t length)> beforeSet;

private:
    void record(bool set, std::size_t index, const std::uint8_t* data, std::size_t length)
    {
        std::lock_guard lock(mutex_);
        log_.push_back({std::this_thread::get_id(), set, index, std::vector<std::uint8_t>(data, data + length)});
    }

    std::shared_ptr<emu::KeyboardEmulator> keyboard_;
    std::chrono::microseconds delay_;
    mutable std::mutex mutex_;
    std::vector<Report> log_;
};

bool Starts(const std::vector<std::uint8_t>& bytes, std::initializer_list<std::uint8_t> prefix)
{
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

}  // namespace

// The key dialog's answer: the clicked key becomes 'A'.
bool AssignA(KeyAssignmentState& s, ConfigImage&)
{
    s.SetPendingKind(kind::Single);
    s.SetKeys({0x41});
    return true;
}

TEST_F(MainWindowTest, SaveAndDefaultRightAfterTheWindowAppearsWaitForTheStartupReadout)
{
    auto inner = std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity("QV310"));
    auto memory = inner->memory();
    memory.groups[0] = {3, 0x53, 0, 1, 4, 2, 3, 0};  // Breathing, brightness 4, speed 2, yellow
    inner->setMemory(memory);
    auto slow = std::make_shared<SlowLoggingKeyboard>(inner, std::chrono::milliseconds(2));
    port = bus.plug(slow);

    TraceCapture trace;
    start();  // returns as soon as the window is up, the read-out under way
    ASSERT_TRUE(dlg->isVisible());
    const bool readingOut = dlg->session().busy();
    click(950, 620);  // Save
    click(830, 620);  // Default, confirmed
    EXPECT_TRUE(readingOut) << "the clicks came while the start-up read-out ran";
    ASSERT_EQ(desktop.questions.size(), 1u);

    const auto log = slow->log();
    const auto window = std::this_thread::get_id();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.front().thread, window) << "the read-out runs on the keyboard session's thread";
    std::size_t first = 0;
    while (first < log.size() && !Starts(log[first].bytes, {3, 0x51, 7, 0x5A})) ++first;
    // The read-out is one unbroken run of 41 reports: status, both groups,
    // the matrix, 12 macro pages and 5 pictures (each page selected, then
    // read); after it, the download and the reset, on the same thread.
    EXPECT_EQ(first, 41u);
    EXPECT_TRUE(Starts(log.front().bytes, {3, 0x51, 7}));
    for (std::size_t i = first; i < log.size(); ++i) EXPECT_EQ(log[i].thread, log.front().thread) << "report " << i;

    // The download comes next, whole: LED off first, every data page right
    // after its own selection, macro pages 0..11 then pictures 0x10..0x14,
    // LED on last; then the factory reset.
    ASSERT_LT(first, log.size());
    EXPECT_TRUE(Starts(log[first].bytes, {3, 0x51, 7, 0x5A}));
    std::size_t reset = first;
    while (reset < log.size() && !(log[reset].set && Starts(log[reset].bytes, {3, 0x52, 0x5A}))) ++reset;
    ASSERT_LT(reset, log.size()) << "the factory reset reached the keyboard";
    EXPECT_TRUE(Starts(log[reset - 1].bytes, {3, 0x51, 7, 0xA5})) << "the download ended before the reset began";
    std::vector<int> pagesWritten;
    for (std::size_t i = first; i < reset; ++i) {
        if (log[i].collection != 1) continue;
        ASSERT_TRUE(log[i - 1].set && log[i - 1].collection == 0 && Starts(log[i - 1].bytes, {3, 0x4D}))
            << "report " << i << " has no page selection of its own";
        if (log[i].set) pagesWritten.push_back(log[i - 1].bytes[2]);
    }
    std::vector<int> expectedPages;
    for (int n = 0; n < 12; ++n) expectedPages.push_back(n);
    for (int n = 0x10; n <= 0x14; ++n) expectedPages.push_back(n);
    EXPECT_EQ(pagesWritten, expectedPages);
    // What was saved is the keyboard's lighting, not the sliders' first positions.
    bool groupSent = false;
    for (std::size_t i = first; i < reset; ++i)
        if (log[i].set && Starts(log[i].bytes, {3, 0x53, 0})) {
            EXPECT_EQ(log[i].bytes, (std::vector<std::uint8_t>{3, 0x53, 0, 1, 4, 2, 3, 0}));
            groupSent = true;
        }
    EXPECT_TRUE(groupSent);
    EXPECT_EQ(trace.text().find("ot OK"), std::string::npos) << trace.text();
    EXPECT_EQ(dlg->refreshCount(), 2) << "one refresh for the read-out, one for the reset";
}

// While Save talks to the keyboard the window answers: a profile request
// sent meanwhile is answered before the download's last report (LED power
// on) goes out, and Default waits for the download instead of cutting in.
TEST_F(MainWindowTest, RequestsAreAnsweredWhileSaveTalksToTheKeyboard)
{
    auto inner = std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity("QV310"));
    auto slow = std::make_shared<SlowLoggingKeyboard>(inner, std::chrono::microseconds(0));
    std::mutex mutex;
    std::condition_variable cv;
    bool answered = false;
    // The LED power-on waits for the answer; a window that does not answer
    // while the keyboard is busy lets it go after 10 s, and the order fails.
    slow->beforeSet = [&](const std::uint8_t* data, std::size_t length) {
        if (length == 8 && data[1] == 0x51 && data[2] == 7 && data[3] == 0xA5) {
            std::unique_lock lock(mutex);
            cv.wait_for(lock, std::chrono::seconds(10), [&] { return answered; });
        }
    };
    port = bus.plug(slow);
    start();
    ASSERT_TRUE(Spin([&] { return dlg->refreshCount() >= 1 && !dlg->keyboardBusy(); }));
    ProfileRequests requests(*dlg);
    const std::size_t before = slow->log().size();

    press(950, 620);  // Save
    EXPECT_TRUE(dlg->keyboardBusy());
    EXPECT_EQ(dlg->cursor().shape(), Qt::WaitCursor);
    press(830, 620);  // Default: waits for the download
    EXPECT_TRUE(desktop.questions.empty());
    std::optional<std::pair<int, QString>> reply;
    requests.handle("profile list", [&](int code, const QString& text) {
        slow->mark({'a', 'n', 's', 'w', 'e', 'r'});
        reply.emplace(code, text);
        std::lock_guard lock(mutex);
        answered = true;
        cv.notify_all();
    });
    ASSERT_TRUE(Spin([&] { return reply.has_value(); }));
    EXPECT_EQ(reply->first, profile_exit::kOk);
    ASSERT_TRUE(Spin([&] { return !dlg->keyboardBusy(); }, 20000));
    EXPECT_EQ(dlg->cursor().shape(), Qt::ArrowCursor);

    const auto log = slow->log();
    constexpr std::size_t none = std::string::npos;
    std::size_t answer = none, ledOn = none, reset = none;
    for (std::size_t i = before; i < log.size(); ++i) {
        if (log[i].collection == 99) answer = i;
        if (log[i].set && Starts(log[i].bytes, {3, 0x51, 7, 0xA5}) && ledOn == none) ledOn = i;
        if (log[i].set && Starts(log[i].bytes, {3, 0x52, 0x5A}) && reset == none) reset = i;
    }
    ASSERT_NE(answer, none);
    ASSERT_NE(ledOn, none);
    EXPECT_LT(answer, ledOn) << "the answer came before the download's last report";
    ASSERT_EQ(desktop.questions.size(), 1u) << "Default asked once the download was over";
    ASSERT_NE(reset, none);
    EXPECT_GT(reset, ledOn);
}

// The close button during Save hides the window at once and ends the program
// only once the download is over and the saved image is in keymap.bin.
TEST_F(MainWindowTest, CloseDuringSaveEndsOnlyAfterTheDownload)
{
    plugKeyboard("QV310");
    start();
    image().at(settings::Effect) = 3;
    press(950, 620);  // Save
    press(985, 12);   // close
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(dlg->ended()) << "the download runs to its end first";
    ASSERT_TRUE(Spin([&] { return dlg->ended(); }));
    EXPECT_EQ(keyboard->memory().groups[0][3], 3);
    EXPECT_TRUE(keyboard->memory().ledOn);
    EXPECT_EQ(dlg->store().saved(), image());
    EXPECT_EQ(keymapFile(), bytesOf(dlg->store().saved()));
}

// An automatic switch that comes while Save talks to the keyboard (with
// nothing else to wait for) waits: the window keeps its image until the
// download is over, then the profile lands in the keyboard, the window and
// keymap.bin alike.
TEST_F(MainWindowTest, AnAutomaticSwitchDuringSaveWaitsForItThenLands)
{
    auto inner = std::make_shared<emu::KeyboardEmulator>(*FindKeyboardIdentity("QV310"));
    auto slow = std::make_shared<SlowLoggingKeyboard>(inner, std::chrono::microseconds(0));
    std::mutex mutex;
    std::condition_variable cv;
    bool release = false, held = false;
    // The Save's LED power-on waits until the switch has come.
    slow->beforeSet = [&](const std::uint8_t* data, std::size_t length) {
        if (length == 8 && data[1] == 0x51 && data[2] == 7 && data[3] == 0xA5 && !held) {
            held = true;
            std::unique_lock lock(mutex);
            cv.wait_for(lock, std::chrono::seconds(10), [&] { return release; });
        }
    };
    port = bus.plug(slow);
    start();
    ASSERT_TRUE(Spin([&] { return dlg->refreshCount() >= 1 && !dlg->keyboardBusy(); }));

    const std::uint8_t effect = at(settings::Effect);
    ConfigImage racing = dlg->store().saved();
    racing.at(settings::Effect) = effect == 5 ? 6 : 5;
    std::filesystem::create_directories(dlg->paths().profileDir());
    ASSERT_TRUE(WriteFileAtomic(dlg->paths().profileDir() / "Racing.bin", bytesOf(racing)));
    const auto rules = dir.path() / "auto-profiles.conf";
    ASSERT_TRUE(SaveAutoRules(rules, AutoRules{true, "Racing", {}}, nullptr));
    std::filesystem::create_directories(dir.path() / "proc");  // no process runs
    MainWindowAutoHost host(*dlg);
    AutoProfiles automatic(host, rules, dir.path() / "proc");
    automatic.reload();

    const std::size_t before = slow->log().size();
    press(950, 620);  // Save
    ASSERT_TRUE(dlg->keyboardBusy());
    automatic.tick();  // the default profile is due now
    EXPECT_EQ(at(settings::Effect), effect) << "the switch cut into the Save";
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    cv.notify_all();

    ASSERT_TRUE(Spin([&] {
        return !dlg->keyboardBusy() && automatic.status(kLanguageEnglish) == "Racing: the default profile";
    })) << automatic.status(kLanguageEnglish).toStdString();
    EXPECT_EQ(inner->memory().groups[0][3], racing.at(settings::Effect));
    EXPECT_EQ(at(settings::Effect), racing.at(settings::Effect));
    EXPECT_EQ(dlg->store().saved(), image());
    EXPECT_EQ(keymapFile(), bytesOf(dlg->store().saved()));
    // The Save's download and the switch each went out whole, one after the other.
    const auto log = slow->log();
    int ledOns = 0;
    for (std::size_t i = before; i < log.size(); ++i)
        if (log[i].set && Starts(log[i].bytes, {3, 0x51, 7, 0xA5})) ++ledOns;
    EXPECT_EQ(ledOns, 2);
}

TEST_F(MainWindowTest, SavesOnAFullDiskSaySoAndLoseNothing)
{
    plugKeyboard("QV310");
    start();
    dialogs.onKey = AssignA;
    dialogs.onMacro = [](const DialogContext& ctx) {
        ctx.macros->BeginWork();
        SetMacroName(ctx.macros->EditWorkRecord(0), std::string_view("Combo"));
        ctx.macros->CommitWork();
        return true;
    };
    const auto keymapBefore = keymapFile();
    const auto macrosBefore = ReadFileBytes(dataDir() / "MacroDefine.bin");
    const std::uint16_t pos = g_matrixPosByKey[5];
    {
        test::FullDisk full(1000);
        ASSERT_TRUE(full.ok());
        clickKey(5);  // the assignment cannot be saved
        ASSERT_EQ(desktop.warnings.size(), 1u);
        EXPECT_TRUE(desktop.warnings[0].first.contains((dataDir() / "keymap.bin").string().c_str()))
            << desktop.warnings[0].first.toStdString();
        EXPECT_TRUE(desktop.warnings[0].first.contains("the file is too large"))  // the cause, EFBIG here
            << desktop.warnings[0].first.toStdString();
        EXPECT_EQ(desktop.warnings[0].second.toStdString(), "Save Settings");
        EXPECT_EQ(desktop.lastOk.toStdString(), "OK");
        EXPECT_EQ(image().plane(0, pos), 0x04) << "the assignment stays in the program";

        // The next key click reloads the key table from the file, which is
        // behind: the unsaved assignment must survive that too.
        dialogs.onKey = [](KeyAssignmentState&, ConfigImage&) { return false; };
        clickKey(6);
        EXPECT_EQ(image().entry(5)[entry::Data], 0x41);
        EXPECT_EQ(image().entry(5)[entry::Count], 1);

        click(400, 465);  // macro manager, OK: both files fail, one message
        EXPECT_EQ(desktop.warnings.size(), 2u);
        click(950, 620);  // Save
        EXPECT_EQ(desktop.warnings.size(), 3u);
        EXPECT_EQ(keymapFile(), keymapBefore) << "the old file is left whole";
        EXPECT_EQ(ReadFileBytes(dataDir() / "MacroDefine.bin"), macrosBefore);
        EXPECT_EQ(MacroNames(dlg->macros().g_macroTable()).size(), 1u);
    }
    // Room again: the next Save writes everything that was kept.
    click(950, 620);
    EXPECT_EQ(desktop.warnings.size(), 3u);
    EXPECT_EQ(keymapFile(), bytesOf(image()));
    EXPECT_EQ(image().entry(5)[entry::Data], 0x41);
    auto macros = ReadFileBytes(dataDir() / "MacroDefine.bin");
    ASSERT_TRUE(macros);
    MacroTable table{};
    std::memcpy(&table, macros->data(), std::min(macros->size(), sizeof table));
    EXPECT_EQ(MacroNames(table), (std::vector<std::string>{"Combo"}));
}

// An OpenRGB client's colour goes onto what the keyboard holds: a key
// assignment the user has not saved is neither sent nor taken into the saved
// image, and the window keeps it, through the next key click too (the key
// dialog reads the key table back from keymap.bin).
// A client's colour is saved as it lands: afterwards the window holds
// nothing unsaved, or an automatic switch would wait for a Save forever.
TEST_F(MainWindowTest, AnOpenRgbColourLeavesNothingUnsavedBehind)
{
    plugKeyboard("QV310");
    start();
    ASSERT_FALSE(dlg->hasUnsavedEdits());
    OpenRgbLink link(*dlg);
    ConfigImage lighting = image();
    SetKeyColour(lighting, 0, 7, Rgb{0x12, 0x34, 0x56});
    bool finished = false;
    link.applyLighting(lighting, [&] { finished = true; });
    ASSERT_TRUE(Spin([&] { return finished && done(); }));
    EXPECT_FALSE(dlg->hasUnsavedEdits());
}

TEST_F(MainWindowTest, AnOpenRgbColourLeavesTheWindowsUnsavedEditsUnsaved)
{
    plugKeyboard("QV310");
    start();
    dialogs.onKey = AssignA;
    clickKey(5);  // not saved
    const std::uint16_t pos = g_matrixPosByKey[5];
    ASSERT_EQ(image().plane(0, pos), 0x04);
    const std::uint8_t heldBefore = keyboard->memory().matrix[pos];
    ASSERT_NE(heldBefore, 0x04);

    OpenRgbLink link(*dlg);
    ConfigImage lighting = image();
    const Rgb colour{0x12, 0x34, 0x56};
    SetKeyColour(lighting, 0, 7, colour);
    bool finished = false;
    link.applyLighting(lighting, [&] { finished = true; });
    ASSERT_TRUE(Spin([&] { return finished && done(); }));

    const ConfigImage& saved = dlg->store().saved();
    EXPECT_EQ(KeyColour(saved, 0, 7), colour);
    EXPECT_EQ(saved.plane(0, pos), heldBefore) << "the assignment is not taken as saved";
    const auto m = keyboard->memory();
    EXPECT_TRUE(std::equal(m.pages[kFirstPicturePage].begin(), m.pages[kFirstPicturePage].end(),
                           saved.settings.begin() + settings::PicturePages + 1))
        << "the colour reached the keyboard";
    EXPECT_EQ(m.matrix[pos], heldBefore) << "the assignment did not";
    const auto file = keymapFile();
    ASSERT_EQ(file.size(), kImageSize);
    EXPECT_TRUE(std::equal(saved.settings.begin(), saved.settings.end(), file.begin()));
    EXPECT_EQ(file[settings::Plane0 + pos], heldBefore);

    EXPECT_EQ(KeyColour(image(), 0, 7), colour) << "the window shows the colour";
    EXPECT_EQ(image().plane(0, pos), 0x04) << "and keeps the assignment";
    dialogs.onKey = [](KeyAssignmentState&, ConfigImage&) { return false; };
    clickKey(6);
    EXPECT_EQ(image().entry(5)[entry::Data], 0x41);
}
