// The macro manager's rules without its window: recording from keystrokes
// with their own timestamps, the macro list, the loop field and the step
// editing commands, checked on both step arrays and on the list lines.
#include "macro/macro_manager.h"
#include "config/keys.h"
#include "macro/list_box_logic.h"
#include "platform/trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zr417 {
namespace {

constexpr std::uint8_t kA = 0x41, kB = 0x42, kC = 0x43, kShift = 0xA0;

std::string Dn(std::uint8_t vk)
{
    return std::string(KeyName(vk)) + " dn";
}
std::string Up(std::uint8_t vk)
{
    return std::string(KeyName(vk)) + " up";
}

class FakeHost : public MacroManagerModel::Host {
public:
    bool installhook() override
    {
        ++installs;
        hooked = installResult;
        return installResult;
    }
    void removehook() override
    {
        ++removes;
        hooked = false;
    }
    bool messageBox(MacroMessage m) override
    {
        messages.push_back(m);
        return answerOk;
    }

    bool installResult = true;
    bool answerOk = true;
    bool hooked = false;
    int installs = 0, removes = 0;
    std::vector<MacroMessage> messages;
};

class MacroManagerTest : public ::testing::Test {
protected:
    MacroManagerTest() : store_("/nonexistent/MacroDefine.bin"), model_(store_, host_) {}

    // A table of `count` macros; macro i has `steps` key steps of its own.
    void Seed(int count, int steps = 0)
    {
        MacroTable table = store_.g_macroTable();
        for (int i = 0; i < count; ++i) {
            MacroRecord& r = table[i];
            SetMacroName(r, std::string_view("M" + std::to_string(i)));
            r.setLoops(1);
            for (int s = 0; s < steps; ++s) {
                KeyStepPair p = MakeKeySteps(static_cast<std::uint8_t>(kA + s % 20), s % 2 ? 0x80 : 0x00, 0);
                WriteStep(r.deviceSteps, r.vkSteps, s, p);
            }
        }
        store_.SetMacroTable(table);
        model_.Init();
    }
    void Key(std::uint8_t vk, bool release, std::uint64_t t, bool repeat = false)
    {
        model_.OnKeystroke(vk, release, repeat, t);
    }
    void Tap(std::uint8_t vk, std::uint64_t down, std::uint64_t up)
    {
        Key(vk, false, down);
        Key(vk, true, up);
    }
    const MacroRecord& Work(int i) const { return store_.g_macroWorkTable()[i]; }
    // The list must always equal what a rebuild from the record shows.
    void ExpectListMatchesRecord()
    {
        int sel = model_.macroSelection();
        ASSERT_GE(sel, 0);
        EXPECT_EQ(model_.stepLines(), StepLines(Work(sel).deviceSteps, Work(sel).vkSteps));
        EXPECT_EQ(Work(sel).deviceSteps, store_.g_curDeviceSteps());
        EXPECT_EQ(Work(sel).vkSteps, store_.g_curVkSteps());
    }
    int LineOf(const std::string& text) const
    {
        const auto& l = model_.stepLines();
        for (std::size_t i = 0; i < l.size(); ++i)
            if (l[i] == text) return static_cast<int>(i);
        return -1;
    }

    MacroStore store_;
    FakeHost host_;
    MacroManagerModel model_;
};

// --- recording -----------------------------------------------------------------

TEST_F(MacroManagerTest, RecordingWithoutDelaysStoresFourStepsAndFourLines)
{
    Seed(1);
    model_.ToggleRecording();
    ASSERT_TRUE(model_.recording());
    ASSERT_TRUE(host_.hooked);
    Tap(kA, 1000, 1100);
    Tap(kB, 1350, 1400);

    EXPECT_EQ(model_.stepLines(), (std::vector<std::string>{Dn(kA), Up(kA), Dn(kB), Up(kB)}));
    const MacroRecord& r = Work(0);
    EXPECT_EQ(StepCount(r.deviceSteps), 4);
    const std::uint8_t flags[] = {0x00, 0x80, 0x00, 0x80};
    const std::uint8_t vks[] = {kA, kA, kB, kB};
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(r.deviceSteps[s].flags, flags[s]);
        EXPECT_EQ(r.vkSteps[s].flags, flags[s]);
        EXPECT_EQ(r.vkSteps[s].key, vks[s]);
        EXPECT_EQ(r.deviceSteps[s].key, KeyCode(vks[s]));
        EXPECT_EQ(r.deviceSteps[s].delay(), 0);
    }
    EXPECT_EQ(r.options, 0);
    EXPECT_EQ(model_.stepSelection(), 3);
    ExpectListMatchesRecord();
}

TEST_F(MacroManagerTest, RecordingWithDelaysPutsTheMeasuredGapBeforeEveryStepButTheFirst)
{
    Seed(1);
    TraceCapture trace;
    model_.ToggleRecordDelay();
    model_.ToggleRecording();
    Tap(kA, 5000, 5080);
    Tap(kB, 5250, 5301);

    EXPECT_EQ(model_.stepLines(),
              (std::vector<std::string>{Dn(kA), "80 ms", Up(kA), "170 ms", Dn(kB), "51 ms", Up(kB)}));
    const MacroRecord& r = Work(0);
    EXPECT_EQ(r.deviceSteps[0].delay(), 0);
    EXPECT_EQ(r.deviceSteps[1].delay(), 80);
    EXPECT_EQ(r.deviceSteps[2].delay(), 170);
    EXPECT_EQ(r.vkSteps[2].delay(), 170);
    EXPECT_EQ(r.deviceSteps[3].delay(), 51);
    EXPECT_EQ(r.options, 1);
    EXPECT_EQ(trace.count("Enter into InsertMacroToList Routine\n"), 4);
    ExpectListMatchesRecord();
}

TEST_F(MacroManagerTest, AutoRepeatRecordsOnePressWhetherFlaggedOrNot)
{
    Seed(1);
    model_.ToggleRecordDelay();
    model_.ToggleRecording();
    Key(kA, false, 100);
    Key(kA, false, 600, true);
    Key(kA, false, 633, true);
    Key(kA, false, 666);  // a repeat the platform did not flag
    Key(kA, true, 700);
    // Shift held while B is tapped: Shift's repeats stay out after B too.
    Key(kShift, false, 800);
    Tap(kB, 900, 950);
    Key(kShift, false, 1000, true);
    Key(kShift, true, 1100);

    EXPECT_EQ(model_.stepLines(), (std::vector<std::string>{Dn(kA), "600 ms", Up(kA), "100 ms", Dn(kShift), "100 ms",
                                                            Dn(kB), "50 ms", Up(kB), "150 ms", Up(kShift)}));
    EXPECT_EQ(StepCount(Work(0).deviceSteps), 6);
}

TEST_F(MacroManagerTest, LongGapsAreCappedAndTheClockMayWrapOrStepBack)
{
    Seed(1);
    model_.ToggleRecordDelay();
    model_.ToggleRecording();
    Key(kA, false, 10'000);
    Key(kA, true, 10'000 + 120'000);  // two minutes
    // A 32-bit server clock wrapping round between two keys.
    Key(kB, false, 0xFFFFFF00ull);
    Key(kB, true, 0x40);   // 0x140 ms later
    Key(kC, false, 0x30);  // stamped before the previous event
    Key(kC, true, 0x35);

    const MacroRecord& r = Work(0);
    EXPECT_EQ(r.deviceSteps[1].delay(), 60000);
    EXPECT_EQ(r.deviceSteps[2].delay(), 60000);  // the 32-bit clock jumped far ahead
    EXPECT_EQ(r.deviceSteps[3].delay(), 0x140);
    EXPECT_EQ(r.deviceSteps[4].delay(), 0);
    EXPECT_EQ(r.deviceSteps[5].delay(), 5);
    EXPECT_EQ(r.deviceSteps[2].delayHi, 0xEA);
    EXPECT_EQ(r.deviceSteps[2].delayLo, 0x60);
    ExpectListMatchesRecord();
}

TEST_F(MacroManagerTest, ThePressAfter36StepsEndsTheCaptureAndKeepsWhatCameBefore)
{
    Seed(1);
    model_.ToggleRecording();
    std::uint64_t t = 0;
    for (int i = 0; i < 18; ++i) Tap(static_cast<std::uint8_t>(kA + i), t + 10, t + 20), t += 20;
    ASSERT_EQ(StepCount(Work(0).deviceSteps), 36);
    const MacroRecord before = Work(0);
    int removes = host_.removes;

    Key(kC + 20, false, t += 10);
    EXPECT_EQ(Work(0), before);
    EXPECT_EQ(host_.removes, removes + 1);
    EXPECT_FALSE(model_.hooked());
    EXPECT_TRUE(model_.recording());  // the button still reads "Stop Recording"
    // Nothing more arrives once the hook is gone.
    Tap(kB, t + 10, t + 20);
    EXPECT_EQ(Work(0), before);
    ExpectListMatchesRecord();
}

TEST_F(MacroManagerTest, AtTheLimitKeysStillHeldAreReleasedBeforeTheCaptureEnds)
{
    Seed(1);
    model_.ToggleRecording();
    std::uint64_t t = 0;
    for (int i = 0; i < 17; ++i) Tap(static_cast<std::uint8_t>(kA + i), t + 10, t + 20), t += 20;
    Key(0x31, false, t += 10);  // step 35
    Key(0x32, false, t += 10);  // step 36
    Key(0x33, false, t += 10);  // refused while 1 and 2 are down
    EXPECT_TRUE(model_.hooked());
    Key(0x34, false, t += 10);  // refused
    Key(0x33, true, t += 10);   // its press was never stored
    Key(0x31, true, t += 10);
    EXPECT_TRUE(model_.hooked());
    Key(0x32, true, t += 10);
    EXPECT_FALSE(model_.hooked());
    EXPECT_TRUE(model_.recording());
    const StepArray& dev = Work(0).deviceSteps;
    ASSERT_EQ(StepCount(dev), 38);
    EXPECT_EQ(Work(0).vkSteps[36], (MacroStep{0x80, 0x31}));
    EXPECT_EQ(Work(0).vkSteps[37], (MacroStep{0x80, 0x32}));
    ExpectListMatchesRecord();
}

TEST_F(MacroManagerTest, ReleasesAfterTheLimitAreStoredUntilTheArraysEnd)
{
    Seed(1);
    model_.ToggleRecording();
    // 36 keys go down together (A..Z, 0..9), then all come up: only 11
    // releases fit into the 47 steps; the rest are dropped, nothing overflows.
    std::vector<std::uint8_t> keys;
    for (int vk = 'A'; vk <= 'Z'; ++vk) keys.push_back(static_cast<std::uint8_t>(vk));
    for (int vk = '0'; vk <= '9'; ++vk) keys.push_back(static_cast<std::uint8_t>(vk));
    std::uint64_t t = 0;
    for (std::uint8_t vk : keys) Key(vk, false, t += 5);
    ASSERT_EQ(StepCount(Work(0).deviceSteps), 36);
    ASSERT_TRUE(model_.hooked());
    for (std::uint8_t vk : keys) Key(vk, true, t += 5);
    EXPECT_EQ(StepCount(Work(0).deviceSteps), 47);
    EXPECT_EQ(Work(0).vkSteps[46], (MacroStep{0x80, keys[10]}));
    EXPECT_EQ(Work(0).deviceSteps.spare[0], 0);
    EXPECT_EQ(Work(0).deviceSteps.spare[1], 0);
    EXPECT_EQ(Work(0).vkSteps.spare[0], 0);
    EXPECT_EQ(Work(0).spare, 0);
    ExpectListMatchesRecord();
}

TEST_F(MacroManagerTest, KeysWithoutADeviceCodeAreNotRecorded)
{
    Seed(1);
    model_.ToggleRecording();
    std::uint8_t noCode = 0;
    for (int vk = 1; vk < 256 && !noCode; ++vk)
        if (KeyCode(static_cast<std::uint8_t>(vk)) == 0) noCode = static_cast<std::uint8_t>(vk);
    ASSERT_NE(noCode, 0);
    Tap(kA, 0, 10);
    Tap(noCode, 20, 30);
    Tap(kB, 40, 50);
    EXPECT_EQ(StepCount(Work(0).deviceSteps), 4);
    ExpectListMatchesRecord();
}

TEST_F(MacroManagerTest, RecordingNeedsAMacroAndAFailedHookRecordsNothing)
{
    model_.Init();
    model_.ToggleRecording();
    EXPECT_EQ(host_.messages, std::vector<MacroMessage>{MacroMessage::SelectToRecord});
    EXPECT_FALSE(model_.recording());
    EXPECT_EQ(host_.installs, 0);

    Seed(1, 4);
    host_.installResult = false;
    model_.ToggleRecording();
    EXPECT_TRUE(model_.recording());
    EXPECT_FALSE(model_.hooked());
    EXPECT_EQ(StepCount(Work(0).deviceSteps), 0);  // the old steps are cleared
    Tap(kA, 0, 10);
    EXPECT_TRUE(model_.stepLines().empty());
    model_.ToggleRecording();
    EXPECT_EQ(host_.removes, 0);  // nothing to remove
}

TEST_F(MacroManagerTest, KeystrokesOutsideRecordingOrCaptureChangeNothing)
{
    Seed(2, 4);
    const MacroTable before = store_.g_macroWorkTable();
    Tap(kA, 0, 10);  // no hook at all
    EXPECT_EQ(store_.g_macroWorkTable(), before);
    // Recording switched off by an in-place edit: the hook goes with it.
    model_.ToggleRecording();
    Tap(kA, 20, 30);
    model_.OnEditBegin();
    EXPECT_FALSE(model_.recording());
    EXPECT_FALSE(host_.hooked);
    const MacroTable recorded = store_.g_macroWorkTable();
    Tap(kB, 40, 50);
    EXPECT_EQ(store_.g_macroWorkTable(), recorded);
}

TEST_F(MacroManagerTest, SelectingAnotherMacroStopsTheRecordingFirst)
{
    Seed(2, 4);
    const MacroRecord second = Work(1);
    model_.ToggleRecording();
    Tap(kA, 0, 10);
    model_.SelectMacro(1);
    EXPECT_FALSE(model_.recording());
    EXPECT_FALSE(host_.hooked);
    Tap(kB, 20, 30);
    EXPECT_EQ(Work(1), second);
    EXPECT_EQ(StepCount(Work(0).deviceSteps), 2);
    ExpectListMatchesRecord();
}

// --- macros ------------------------------------------------------------------------

TEST_F(MacroManagerTest, NewTakesTheFirstUnusedNameAndTheFirstFreeRecord)
{
    MacroTable table;
    SetMacroName(table[0], std::string_view("Macro_001"));
    SetMacroName(table[1], std::string_view("Macro_003"));
    table[1].setLoops(7);
    store_.SetMacroTable(table);
    model_.Init();
    model_.SelectMacro(1);
    ASSERT_TRUE(model_.loops());
    model_.ToggleRecordDelay();

    model_.NewMacro();
    EXPECT_EQ(model_.macroLines(), (std::vector<std::string>{"Macro_001", "Macro_003", "Macro_002"}));
    EXPECT_EQ(model_.macroSelection(), 2);
    EXPECT_EQ(MacroName(Work(2)), "Macro_002");
    EXPECT_EQ(Work(2).loops(), 1);
    EXPECT_FALSE(model_.loops());
    EXPECT_FALSE(model_.recordDelay());
    EXPECT_EQ(model_.loopText(), "1");
    EXPECT_TRUE(model_.stepLines().empty());
    model_.NewMacro();
    EXPECT_EQ(model_.macroLines().back(), "Macro_004");
}

TEST_F(MacroManagerTest, NewWithThirtyTwoMacrosDoesNothing)
{
    Seed(31, 3);
    model_.NewMacro();
    EXPECT_EQ(model_.macroLines().size(), 32u);
    EXPECT_EQ(MacroName(Work(31)), "Macro_001");
    const MacroTable full = store_.g_macroWorkTable();
    model_.NewMacro();
    EXPECT_EQ(model_.macroLines().size(), 32u);
    EXPECT_EQ(store_.g_macroWorkTable(), full);
    EXPECT_EQ(model_.macroSelection(), 31);
}

TEST_F(MacroManagerTest, NamesCountPastNineAsMacro0NN)
{
    model_.Init();
    for (int i = 0; i < 12; ++i) model_.NewMacro();
    EXPECT_EQ(model_.macroLines()[8], "Macro_009");
    EXPECT_EQ(model_.macroLines()[9], "Macro_010");
    EXPECT_EQ(model_.macroLines()[11], "Macro_012");
}

TEST_F(MacroManagerTest, DeletingTheLastOfThreeSelectsTheNewLastOne)
{
    Seed(3, 2);
    model_.SelectMacro(2);
    model_.DeleteMacro();
    EXPECT_EQ(host_.messages, std::vector<MacroMessage>{MacroMessage::ConfirmDelete});
    EXPECT_EQ(model_.macroLines(), (std::vector<std::string>{"M0", "M1"}));
    EXPECT_EQ(model_.macroSelection(), 1);
    EXPECT_TRUE(Work(2).free());
    ExpectListMatchesRecord();
}

TEST_F(MacroManagerTest, DeletingInTheMiddleMovesTheRestUp)
{
    Seed(3, 2);
    const MacroRecord third = Work(2);
    model_.SelectMacro(1);
    model_.DeleteMacro();
    EXPECT_EQ(Work(1), third);
    EXPECT_EQ(model_.macroSelection(), 1);
    EXPECT_EQ(model_.macroLines()[1], "M2");
}

TEST_F(MacroManagerTest, DeletingTheOnlyMacroLeavesNoSelectionAndNoSteps)
{
    Seed(1, 4);
    model_.ToggleRecording();
    model_.DeleteMacro();
    EXPECT_TRUE(model_.macroLines().empty());
    EXPECT_EQ(model_.macroSelection(), -1);
    EXPECT_TRUE(model_.stepLines().empty());
    EXPECT_FALSE(model_.recording());
    EXPECT_FALSE(host_.hooked);
    EXPECT_EQ(store_.g_curDeviceSteps(), StepArray{});
    EXPECT_EQ(UsedMacroCount(store_.g_macroWorkTable()), 0);
    // With nothing selected, Delete says so after the confirmation.
    host_.messages.clear();
    model_.DeleteMacro();
    EXPECT_EQ(host_.messages, (std::vector<MacroMessage>{MacroMessage::ConfirmDelete, MacroMessage::SelectToDelete}));
}

TEST_F(MacroManagerTest, CancelledDeleteKeepsEverything)
{
    Seed(2, 2);
    host_.answerOk = false;
    const MacroTable before = store_.g_macroWorkTable();
    model_.DeleteMacro();
    EXPECT_EQ(store_.g_macroWorkTable(), before);
    EXPECT_EQ(model_.macroLines().size(), 2u);
}

TEST_F(MacroManagerTest, RenameKeepsTheRecordNamedAndRefusesAnEmptyName)
{
    Seed(3);
    EXPECT_TRUE(model_.RenameMacro(1, "跳跃 combo"));
    EXPECT_EQ(MacroName(Work(1)), "跳跃 combo");
    EXPECT_EQ(model_.macroLines()[1], "跳跃 combo");
    EXPECT_FALSE(model_.RenameMacro(1, ""));
    EXPECT_EQ(MacroName(Work(1)), "跳跃 combo");
    EXPECT_EQ(UsedMacroCount(store_.g_macroWorkTable()), 3);  // nothing hidden behind a free record
    EXPECT_TRUE(model_.RenameMacro(2, std::string(300, 'x')));
    EXPECT_EQ(model_.macroLines()[2], std::string(254, 'x'));
    EXPECT_FALSE(model_.RenameMacro(3, "nope"));
}

// --- loops and OK ----------------------------------------------------------------------

TEST_F(MacroManagerTest, LoopCountFollowsTheFieldAndTheCheckBox)
{
    Seed(2);
    MacroTable table = store_.g_macroTable();
    table[1].setLoops(0);
    table[0].setLoops(5);
    store_.SetMacroTable(table);
    model_.Init();
    EXPECT_TRUE(model_.loops());
    EXPECT_EQ(model_.loopText(), "5");

    model_.SetLoopText("abc12345");
    EXPECT_EQ(model_.loopText(), "123");
    EXPECT_EQ(Work(0).loops(), 123);
    model_.SetLoopText("");
    EXPECT_EQ(Work(0).loops(), 0);
    model_.SetLoopText("999");
    EXPECT_EQ(Work(0).loops(), 999);

    // Unchecking stores 1 and OK keeps it.
    model_.ToggleLoops();
    EXPECT_EQ(model_.loopText(), "1");
    model_.Ok();
    EXPECT_EQ(store_.g_macroTable()[0].loops(), 1);

    // A stored 0 shows as 1 with the option off when selected.
    model_.Init();
    model_.SelectMacro(1);
    EXPECT_FALSE(model_.loops());
    EXPECT_EQ(model_.loopText(), "1");
}

TEST_F(MacroManagerTest, OkCommitsTheWorkingTableAndEndsCaptureWhileCancelLeavesIt)
{
    Seed(1, 2);
    const MacroTable committed = store_.g_macroTable();
    model_.ToggleLoops();
    model_.SetLoopText("42");
    model_.NewMacro();
    EXPECT_EQ(store_.g_macroTable(), committed);  // nothing reaches the table before OK
    model_.ToggleRecording();
    model_.Ok();
    EXPECT_FALSE(host_.hooked);
    EXPECT_EQ(store_.g_macroTable(), store_.g_macroWorkTable());
    EXPECT_EQ(store_.g_macroTable()[0].loops(), 42);
    EXPECT_EQ(MacroName(store_.g_macroTable()[1]), "Macro_001");
}

// --- step editing ------------------------------------------------------------------------

class StepEditTest : public MacroManagerTest {
protected:
    // A macro of press A, release A (recorded with the hook).
    void SetUp() override
    {
        Seed(1);
        model_.ToggleRecording();
        Tap(kA, 0, 10);
        model_.ToggleRecording();
        host_.installs = host_.removes = 0;
    }
    void CaptureTap(std::uint8_t vk)
    {
        Key(vk, false, 0);
        Key(vk, false, 0, true);
        Key(vk, true, 0);
    }
};

TEST_F(StepEditTest, InsertAfterWithBAddsPressAndReleaseBehindTheLine)
{
    model_.SelectStep(1);
    model_.InsertAfter();
    EXPECT_EQ(model_.insertMode(), 0x01);
    EXPECT_EQ(model_.insertPos(), 2);
    EXPECT_TRUE(host_.hooked);
    CaptureTap(kB);

    EXPECT_EQ(model_.stepLines(), (std::vector<std::string>{Dn(kA), Up(kA), Dn(kB), Up(kB)}));
    EXPECT_EQ(Work(0).deviceSteps[2], (MacroStep{0x00, KeyCode(kB)}));
    EXPECT_EQ(Work(0).deviceSteps[3], (MacroStep{0x81, KeyCode(kB)}));
    EXPECT_EQ(Work(0).vkSteps[3], (MacroStep{0x81, kB}));
    EXPECT_EQ(model_.insertMode(), 0);
    EXPECT_FALSE(host_.hooked);
    ExpectListMatchesRecord();
}

TEST_F(StepEditTest, StepsAddedAfterTheLastLineStaySelectedForTheNextCommand)
{
    model_.SelectStep(1);
    model_.InsertAfter();
    CaptureTap(kB);
    EXPECT_EQ(model_.stepSelection(), 3);  // B's release, the new last line

    model_.Command(kCmdRightClick);
    ASSERT_EQ(StepCount(Work(0).deviceSteps), 6);
    EXPECT_EQ(model_.stepSelection(), 5);
    model_.Command(kCmdLeftDown);  // so the next command goes on after it
    EXPECT_EQ(Work(0).deviceSteps[6], (MacroStep{0x00, kMouseLeft}));
    EXPECT_EQ(model_.stepSelection(), 6);
    ExpectListMatchesRecord();
}

TEST_F(StepEditTest, InsertBeforeWithBLandsInFrontOfTheStepAndItsDelay)
{
    // Give A's release a delay so its delay line follows B.
    store_.SetCurrentStepDelay(1, 300);
    model_.CommitCurrentMacro();
    model_.SelectMacro(-1);
    model_.SelectMacro(0);
    ASSERT_EQ(model_.stepLines(), (std::vector<std::string>{Dn(kA), "300 ms", Up(kA)}));

    model_.SelectStep(0);
    model_.InsertBefore();
    EXPECT_EQ(model_.insertMode(), 0x80);
    CaptureTap(kB);
    EXPECT_EQ(model_.stepLines(), (std::vector<std::string>{Dn(kB), Up(kB), Dn(kA), "300 ms", Up(kA)}));
    EXPECT_EQ(Work(0).deviceSteps[1].flags, 0x81);
    ExpectListMatchesRecord();

    // Before a delay line: in front of that step and its delay.
    model_.SelectStep(3);
    model_.InsertBefore();
    CaptureTap(kC);
    EXPECT_EQ(model_.stepLines(), (std::vector<std::string>{Dn(kB), Up(kB), Dn(kA), Dn(kC), Up(kC), "300 ms", Up(kA)}));
}

TEST_F(StepEditTest, CaptureIgnoresAReleaseThatBeganBeforeIt)
{
    model_.SelectStep(1);
    model_.InsertAfter();
    Key(0x0D, true, 0);  // the Enter that chose the menu item
    EXPECT_EQ(model_.insertMode(), 0x01);
    CaptureTap(kB);
    EXPECT_EQ(StepCount(Work(0).deviceSteps), 4);
}

TEST_F(StepEditTest, MouseClicksAndPressesCarryTheirFlags)
{
    model_.SelectStep(0);
    model_.Command(kCmdRightClick);
    EXPECT_EQ(Work(0).deviceSteps[1], (MacroStep{0x00, kMouseRight}));
    EXPECT_EQ(Work(0).deviceSteps[2], (MacroStep{0x80, kMouseRight}));
    EXPECT_EQ(Work(0).vkSteps[2], (MacroStep{0x80, kMouseRight}));
    ExpectListMatchesRecord();

    model_.SelectStep(0);
    model_.Command(kCmdLeftDown);
    EXPECT_EQ(Work(0).deviceSteps[1], (MacroStep{0x00, kMouseLeft}));
    model_.SelectStep(0);
    model_.Command(kCmdMiddleUp);
    EXPECT_EQ(Work(0).deviceSteps[1], (MacroStep{0x80, kMouseMiddle}));
    model_.SelectStep(0);
    model_.Command(kCmdMiddleClick);
    EXPECT_EQ(Work(0).deviceSteps[1], (MacroStep{0x00, kMouseMiddle}));
    EXPECT_EQ(Work(0).deviceSteps[2], (MacroStep{0x80, kMouseMiddle}));
    EXPECT_EQ(model_.stepLines()[1], "MsMB  dn");
    EXPECT_EQ(StepCount(Work(0).deviceSteps), 8);
    ExpectListMatchesRecord();
}

TEST_F(StepEditTest, LeftClickOnADelayLineFollowsTheKeyLineOfItsStep)
{
    store_.SetCurrentStepDelay(1, 120);
    model_.CommitCurrentMacro();
    model_.SelectMacro(-1);
    model_.SelectMacro(0);
    ASSERT_EQ(model_.stepLines()[1], "120 ms");
    model_.SelectStep(1);
    model_.Command(kCmdLeftClick);
    EXPECT_EQ(model_.stepLines(), (std::vector<std::string>{Dn(kA), "120 ms", Up(kA), "MsLB  dn", "MsLB  up"}));
    EXPECT_EQ(Work(0).deviceSteps[2], (MacroStep{0x01, kMouseLeft}));
    EXPECT_EQ(Work(0).deviceSteps[3], (MacroStep{0x81, kMouseLeft}));
}

TEST_F(StepEditTest, InsertDelayAddsFiftyMsBeforeTheNextStepButNeverOnTheLastLine)
{
    model_.SelectStep(1);
    model_.InsertDelay();
    EXPECT_EQ(StepLines(Work(0).deviceSteps, Work(0).vkSteps).size(), 2u);
    EXPECT_TRUE(host_.messages.empty());

    model_.SelectStep(0);
    model_.InsertDelay();
    EXPECT_EQ(model_.stepLines(), (std::vector<std::string>{Dn(kA), "50 ms", Up(kA)}));
    EXPECT_EQ(Work(0).deviceSteps[1].delayHi, 0x00);
    EXPECT_EQ(Work(0).deviceSteps[1].delayLo, 0x32);
    EXPECT_EQ(Work(0).vkSteps[1].delay(), 50);

    // On the delay line, or on the line above it, the delay is not overwritten.
    for (int line : {1, 0}) {
        host_.messages.clear();
        model_.SelectStep(line);
        model_.InsertDelay();
        EXPECT_EQ(host_.messages, std::vector<MacroMessage>{MacroMessage::EditCurrentDelay});
        EXPECT_EQ(Work(0).deviceSteps[1].delay(), 50);
    }
}

TEST_F(StepEditTest, DeletingADelayLineAndAKeyLineAndTheFirstStepRule)
{
    model_.SelectStep(0);
    model_.InsertDelay();
    model_.SelectStep(1);
    model_.DeleteStep();
    EXPECT_EQ(model_.stepLines(), (std::vector<std::string>{Dn(kA), Up(kA)}));
    EXPECT_EQ(Work(0).deviceSteps[1].delay(), 0);
    EXPECT_EQ(Work(0).deviceSteps[0].flags, 0x01);  // a first press reads 0x01
    EXPECT_EQ(Work(0).vkSteps[0].flags, 0x01);

    model_.SelectStep(0);
    model_.DeleteStep();
    EXPECT_EQ(model_.stepLines(), (std::vector<std::string>{Up(kA)}));
    EXPECT_EQ(Work(0).deviceSteps[0].flags, 0x81);
    EXPECT_EQ(Work(0).deviceSteps[1], MacroStep{});
    ExpectListMatchesRecord();
}

TEST_F(StepEditTest, DeletingAKeyLineTakesItsDelayLineWithIt)
{
    store_.SetCurrentStepDelay(1, 75);
    model_.CommitCurrentMacro();
    model_.SelectMacro(-1);
    model_.SelectMacro(0);
    model_.SelectStep(2);
    model_.DeleteStep();
    EXPECT_EQ(model_.stepLines(), (std::vector<std::string>{Dn(kA)}));
}

TEST_F(StepEditTest, EditedDelaysAreKeptInRange)
{
    model_.SelectStep(0);
    model_.InsertDelay();
    model_.OnEditBegin();
    model_.OnDelayEdited(1, ParseTypedDelay("1"));
    EXPECT_EQ(Work(0).deviceSteps[1].delay(), 2);
    model_.OnDelayEdited(1, ParseTypedDelay("99999"));
    EXPECT_EQ(Work(0).deviceSteps[1].delay(), 60000);
    EXPECT_EQ(model_.stepLines()[1], "60000 ms");
    model_.OnDelayEdited(1, 1'000'000);  // out of range from any sender
    EXPECT_EQ(Work(0).deviceSteps[1].delay(), 60000);
    model_.OnDelayEdited(0, 500);  // a key line is no delay
    EXPECT_EQ(Work(0).deviceSteps[0].delay(), 0);
    ExpectListMatchesRecord();
}

TEST_F(StepEditTest, CommandsWithoutASelectedLineOrMacroDoNothing)
{
    model_.SelectStep(-1);
    const MacroRecord before = Work(0);
    for (int cmd : {kCmdInsertBefore, kCmdInsertAfter, kCmdInsertDelay, kCmdDeleteStep, kCmdLeftClick})
        model_.Command(cmd);
    EXPECT_EQ(Work(0), before);
    EXPECT_EQ(host_.installs, 0);
    model_.SelectMacro(-1);
    model_.SelectStep(0);
    model_.Command(kCmdDeleteStep);
    EXPECT_EQ(Work(0), before);
}

TEST_F(StepEditTest, AFullMacroTakesNoMoreAndLosesNothing)
{
    // Fill to 46 steps with Right Clicks after step 0 (44 more steps), then one Down.
    for (int i = 0; i < 22; ++i) {
        model_.SelectStep(0);
        model_.Command(kCmdRightClick);
    }
    model_.SelectStep(0);
    model_.Command(kCmdLeftDown);
    ASSERT_EQ(StepCount(Work(0).deviceSteps), 47);
    const MacroRecord full = Work(0);

    model_.SelectStep(0);
    model_.Command(kCmdLeftClick);
    EXPECT_EQ(host_.messages, std::vector<MacroMessage>{MacroMessage::MacroFull});
    model_.SelectStep(3);
    model_.InsertAfter();
    CaptureTap(kB);
    EXPECT_EQ(Work(0), full);
    EXPECT_FALSE(host_.hooked);
    EXPECT_EQ(host_.messages, (std::vector<MacroMessage>{MacroMessage::MacroFull, MacroMessage::MacroFull}));
    EXPECT_EQ(Work(0).deviceSteps[46], (MacroStep{0x80, KeyCode(kA)}));
}

TEST_F(StepEditTest, AStepCommandEndsAPendingCaptureAndItsHook)
{
    model_.SelectStep(1);
    model_.InsertAfter();
    ASSERT_TRUE(host_.hooked);
    model_.SelectStep(0);
    model_.InsertDelay();
    EXPECT_EQ(model_.insertMode(), 0);
    EXPECT_FALSE(host_.hooked);
    const MacroRecord after = Work(0);
    Tap(kB, 0, 10);  // neither captured nor recorded over the old steps
    EXPECT_EQ(Work(0), after);
}

TEST_F(StepEditTest, TheStepMenuWhileRecordingStopsTheRecordingFirst)
{
    model_.ToggleRecording();
    Tap(kB, 100, 200);
    model_.SelectStep(0);
    model_.Command(kCmdLeftClick);
    EXPECT_FALSE(model_.recording());
    EXPECT_EQ(model_.stepLines(), (std::vector<std::string>{Dn(kB), "MsLB  dn", "MsLB  up", Up(kB)}));
    Tap(kC, 300, 400);
    EXPECT_EQ(StepCount(Work(0).deviceSteps), 4);
}

// --- list box rules -----------------------------------------------------------------

TEST(ListBoxRules, StepLinesAreMarkedAndStrippedOnlyInTheDelayMode)
{
    EXPECT_EQ(LookOfItem("A  dn", kEditDelay).mark, ListMark::Press);
    EXPECT_EQ(LookOfItem("A  dn", kEditDelay).text, "A  ");
    EXPECT_EQ(LookOfItem("PgUp  up", kEditDelay).mark, ListMark::Release);
    EXPECT_EQ(LookOfItem("PgUp  up", kEditDelay).text, "PgUp  ");
    EXPECT_EQ(LookOfItem("120 ms", kEditDelay).mark, ListMark::Delay);
    EXPECT_EQ(LookOfItem("120 ms", kEditDelay).text, "120 ms");
    EXPECT_EQ(LookOfItem("A  dn", kEditPlainText).mark, ListMark::None);
    EXPECT_EQ(LookOfItem("A  dn", kEditParentText).text, "A  dn");
    EXPECT_FALSE(ItemEditable("A  up", kEditDelay));
    EXPECT_TRUE(ItemEditable("50 ms", kEditDelay));
    EXPECT_TRUE(ItemEditable("A  up", kEditPlainText));
    EXPECT_EQ(EditorText("50 ms", kEditDelay), "50");
    EXPECT_EQ(EditorText("50 ms", kEditFileName), "50 ms");
}

TEST(ListBoxRules, TypedDelaysAndNumbersStayInRange)
{
    EXPECT_EQ(ParseTypedDelay("0"), 2);
    EXPECT_EQ(ParseTypedDelay("1"), 2);
    EXPECT_EQ(ParseTypedDelay("75000"), 60000);
    EXPECT_EQ(ParseTypedDelay("99999999999999999999999999"), 60000);
    EXPECT_EQ(ParseTypedDelay("abc"), 2);
    EXPECT_EQ(ParseTypedDelay(""), 2);
    EXPECT_EQ(ParseTypedDelay(" 250x"), 250);
    EXPECT_EQ(ParseTypedDelay("-40"), 2);
    EXPECT_EQ(ParseBoundedNumber("1000", 999), 999);
    EXPECT_EQ(ParseBoundedNumber("x9", 999), 0);

    EXPECT_EQ(CommitListEdit("0", kEditDelay).text, "2 ms");
    EXPECT_EQ(CommitListEdit("0", kEditDelay).delay, 2);
    EXPECT_EQ(CommitListEdit("75000", kEditDelay).text, "60000 ms");
    EXPECT_EQ(CommitListEdit("profile", kEditFileName).text, "profile.bin");
    EXPECT_EQ(CommitListEdit("p.bin", kEditFileName).text, "p.bin");
    EXPECT_EQ(CommitListEdit("", kEditParentText).delay, -1);
}

}  // namespace
}  // namespace zr417
