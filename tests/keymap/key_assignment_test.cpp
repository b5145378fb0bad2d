#include "keymap/key_assignment.h"
#include "config/image.h"
#include "config/keys.h"
#include "macro/macro_model.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <fstream>
#include <iterator>

namespace zr417 {
namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kKeyA = 59;  // vk 0x41, device code 0x04
constexpr int kEnglish = kLanguageEnglish;

class KeyAssignmentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = tmp_.path();
        store_ = std::make_unique<KeymapStore>(dir_ / "keymap.bin");
        // Every key at its default, as after a read-out of a fresh keyboard.
        for (int k = 0; k < kKeyCount; ++k)
            store_->current().plane(0, g_matrixPosByKey[k]) = KeyCode(g_defaultVkByKey[k]);
        store_->Startup();
        ASSERT_TRUE(store_->SaveKeymapFile());
    }
    Bytes FileBytes() const
    {
        std::ifstream in(store_->file(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    Bytes ImageBytes() const
    {
        Bytes b(store_->current().settings.begin(), store_->current().settings.end());
        b.insert(b.end(), store_->current().keyTable.begin(), store_->current().keyTable.end());
        return b;
    }
    std::uint8_t* Entry(int k) { return store_->current().entry(static_cast<std::size_t>(k)); }
    std::array<std::uint8_t, 4> Planes(int k) const
    {
        auto pos = g_matrixPosByKey[static_cast<std::size_t>(k)];
        const ConfigImage& im = store_->current();
        return {im.plane(0, pos), im.plane(1, pos), im.plane(2, pos), im.plane(3, pos)};
    }
    // Runs a key click whose dialog prepares the state with `prepare` and
    // ends with OK.
    RunResult Run(int key, const std::function<void(KeyAssignmentState&)>& prepare, int language = kEnglish)
    {
        return RunKeyAssignment(state_, *store_, macros_, key, language, [&](KeyAssignmentState& s, ConfigImage&) {
            prepare(s);
            return true;
        });
    }
    static void Single(KeyAssignmentState& s, std::uint8_t vk)
    {
        s.SetPendingKind(kind::Single);
        s.SetKeys({vk});
        s.SetKeyEnabled(true);
    }
    void AddMacros(int n)
    {
        for (int i = 0; i < n; ++i) {
            SetMacroName(macros_[i], std::string_view("Macro_0" + std::to_string(i + 1)));
            macros_[i].setLoops(static_cast<std::uint16_t>(i + 1));
        }
    }

    zr417::test::TempDir tmp_{"keymap"};
    fs::path dir_;
    std::unique_ptr<KeymapStore> store_;
    KeyAssignmentState state_;
    MacroTable macros_;
};

// --- the sequence --------------------------------------------------------------------

TEST_F(KeyAssignmentTest, TheClickReloadsTheKeyTableKeepsTheSettingsAndReadsTheEnabledState)
{
    store_->current().settings[settings::Effect] = 7;  // a lighting edit not yet written
    Entry(kKeyA)[entry::Kind] = 0xEE;                  // a change a cancelled dialog left
    Entry(kKeyA)[entry::Vk] = 0x00;
    store_->current().plane(0, g_matrixPosByKey[kKeyA]) = 0;
    store_->current().plane(1, g_matrixPosByKey[kKeyA]) = 0;

    bool ran = false;
    RunResult r =
        RunKeyAssignment(state_, *store_, macros_, kKeyA, kEnglish, [&](KeyAssignmentState& s, ConfigImage& im) {
            ran = true;
            EXPECT_EQ(s.g_nSelectedKey(), kKeyA);
            EXPECT_EQ(s.g_nCurKeyVk(), 0x41);
            EXPECT_EQ(s.g_bKeyEnabled(), 0);  // planes 0 and 1 both 0
            EXPECT_EQ(im.settings[settings::Effect], 7);
            EXPECT_EQ(im.entry(kKeyA)[entry::Kind], 0);   // from the file
            EXPECT_EQ(im.entry(kKeyA)[entry::Vk], 0x41);  // refreshed
            EXPECT_FALSE(store_->g_bKeepSettings());
            im.entry(kKeyA)[entry::Kind] = 0xEE;  // the dialog changes the entry, then cancels
            return false;
        });
    EXPECT_TRUE(ran);
    EXPECT_EQ(r, RunResult::Cancelled);
    // Cancel applies and saves nothing; the dialog's own change stays in memory.
    EXPECT_EQ(Entry(kKeyA)[entry::Kind], 0xEE);
    Bytes file = FileBytes();
    EXPECT_EQ(file[kSettingsSize + kKeyEntrySize * kKeyA + entry::Kind], 0);

    // A key whose plane 1 is not 0 counts as enabled.
    store_->current().plane(1, g_matrixPosByKey[kKeyA]) = 1;
    RunKeyAssignment(state_, *store_, macros_, kKeyA, kEnglish, [&](KeyAssignmentState& s, ConfigImage&) {
        EXPECT_EQ(s.g_bKeyEnabled(), 1);
        return false;
    });

    EXPECT_EQ(RunKeyAssignment(state_, *store_, macros_, kKeyCount, kEnglish, nullptr), RunResult::NoKey);
    EXPECT_EQ(RunKeyAssignment(state_, *store_, macros_, -1, kEnglish, nullptr), RunResult::NoKey);
}

// --- single keys and combinations ----------------------------------------------------

TEST_F(KeyAssignmentTest, SingleKeySetsPlaneZeroAndTheKeysOwnCodeClearsTheMark)
{
    ASSERT_EQ(Run(kKeyA, [](KeyAssignmentState& s) { Single(s, 0x42); }), RunResult::Applied);
    EXPECT_EQ(Entry(kKeyA)[entry::Kind], 0);
    EXPECT_EQ(Entry(kKeyA)[entry::Count], 1);
    EXPECT_EQ(Entry(kKeyA)[entry::Data], 0x42);
    EXPECT_EQ(Planes(kKeyA), (std::array<std::uint8_t, 4>{0x05, 0, 0, 0}));
    EXPECT_EQ(state_.g_abKeyChanged()[kKeyA], 1);
    EXPECT_EQ(FileBytes(), ImageBytes());

    ASSERT_EQ(Run(kKeyA, [](KeyAssignmentState& s) { Single(s, 0x41); }), RunResult::Applied);
    EXPECT_EQ(Entry(kKeyA)[entry::Kind], 0);
    EXPECT_EQ(Entry(kKeyA)[entry::Count], 0);
    EXPECT_EQ(Entry(kKeyA)[entry::Data], 0);
    EXPECT_EQ(Planes(kKeyA), (std::array<std::uint8_t, 4>{0x04, 0, 0, 0}));
    EXPECT_EQ(state_.g_abKeyChanged()[kKeyA], 0);
    EXPECT_EQ(FileBytes(), ImageBytes());
}

TEST_F(KeyAssignmentTest, MediaTargetsSetTheirFlagRecordAndOtherTargetsLeaveTheGridAlone)
{
    EXPECT_EQ(MediaFlagRecord(0), 0u);
    EXPECT_EQ(MediaFlagRecord(124), 26u);  // q = 31: (31 mod 6) * 21 + 31 div 6
    EXPECT_EQ(MediaFlagRecord(127), 26u);
    EXPECT_EQ(MediaFlagRecord(24), 1u);   // q = 6
    EXPECT_EQ(MediaFlagRecord(64), 86u);  // q = 16: 4 * 21 + 2

    const int key = 103;  // pad ., matrix position 124
    const std::size_t rec = settings::MediaFlags + 4 * 26;
    ASSERT_EQ(Run(key, [](KeyAssignmentState& s) { Single(s, 0x42); }), RunResult::Applied);
    EXPECT_TRUE(std::all_of(store_->current().settings.begin() + settings::MediaFlags,
                            store_->current().settings.begin() + settings::MediaFlags + 504,
                            [](std::uint8_t b) { return b == 0; }));

    ASSERT_EQ(Run(key, [](KeyAssignmentState& s) { Single(s, 0xB1); }), RunResult::Applied);  // Prev Track, 0xE9
    EXPECT_EQ(Planes(key)[0], 0xE9);
    EXPECT_EQ(store_->current().settings[rec], 3);
    EXPECT_EQ(store_->current().settings[rec + 3], 0);
    EXPECT_EQ(FileBytes()[rec], 3);
}

TEST_F(KeyAssignmentTest, CombinationFillsThreePlanesAndADisabledOneZeroesThemAll)
{
    ASSERT_EQ(Run(kKeyA,
                  [](KeyAssignmentState& s) {
                      s.SetPendingKind(kind::Combination);
                      s.SetKeys({0xA2, 0xA0, 0x43});
                  }),
              RunResult::Applied);
    EXPECT_EQ(Planes(kKeyA), (std::array<std::uint8_t, 4>{0xE0, 1, 0xE1, 0x06}));
    EXPECT_EQ(Entry(kKeyA)[entry::Kind], 1);
    EXPECT_EQ(Entry(kKeyA)[entry::Count], 3);
    EXPECT_EQ(state_.g_abKeyChanged()[kKeyA], 1);
    EXPECT_EQ(EntryText(Entry(kKeyA)), "LCtrl + LShift + C ");

    // Saved while the Disable toggle is on: kept in the entry, silent on the keyboard.
    ASSERT_EQ(Run(kKeyA,
                  [](KeyAssignmentState& s) {
                      s.SetPendingKind(kind::Combination);
                      s.SetKeys({0xA2, 0x43});
                      s.SetKeyEnabled(false);
                  }),
              RunResult::Applied);
    EXPECT_EQ(Entry(kKeyA)[entry::Kind], 1);
    EXPECT_EQ(Entry(kKeyA)[entry::Data], 0xA2);
    EXPECT_EQ(Entry(kKeyA)[entry::Data + 1], 0x43);
    EXPECT_EQ(Planes(kKeyA), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(state_.g_bKeyEnabled(), 0);
    EXPECT_EQ(state_.g_abKeyChanged()[kKeyA], 1);
    EXPECT_EQ(FileBytes(), ImageBytes());

    // The next click sees the key disabled; Default brings it back.
    ASSERT_EQ(Run(kKeyA,
                  [](KeyAssignmentState& s) {
                      EXPECT_EQ(s.g_bKeyEnabled(), 0);
                      s.RequestDefault();
                  }),
              RunResult::Applied);
    EXPECT_EQ(Planes(kKeyA), (std::array<std::uint8_t, 4>{0x04, 0, 0, 0}));
    EXPECT_EQ(state_.g_bKeyEnabled(), 1);
    EXPECT_EQ(state_.g_abKeyChanged()[kKeyA], 0);
}

TEST_F(KeyAssignmentTest, DisableClearsTheEntryAndZeroesThePlanes)
{
    Run(kKeyA, [](KeyAssignmentState& s) { Single(s, 0x42); });
    ASSERT_EQ(Run(kKeyA, [](KeyAssignmentState& s) { s.SetPendingKind(kind::Disable); }), RunResult::Applied);
    EXPECT_EQ(Entry(kKeyA)[entry::Kind], 0);
    EXPECT_EQ(Entry(kKeyA)[entry::Count], 0);
    EXPECT_EQ(Entry(kKeyA)[entry::Data], 0);
    EXPECT_EQ(Planes(kKeyA), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(state_.g_bKeyEnabled(), 0);
    EXPECT_EQ(state_.g_abKeyChanged()[kKeyA], 1);
}

TEST_F(KeyAssignmentTest, KindsAboveEightChangeNothingButTheFileIsStillWritten)
{
    Run(kKeyA, [](KeyAssignmentState& s) { Single(s, 0x42); });
    Bytes before = ImageBytes();
    for (std::uint8_t k : {std::uint8_t{9}, std::uint8_t{200}, kind::None}) {
        ASSERT_EQ(Run(kKeyA,
                      [k](KeyAssignmentState& s) {
                          s.SetPendingKind(k);
                          s.SetKeyCount(0);
                      }),
                  RunResult::Applied);
        EXPECT_EQ(ImageBytes(), before);
        EXPECT_EQ(FileBytes(), before);
    }
}

// --- Basic functions and Default ------------------------------------------------------

TEST_F(KeyAssignmentTest, NextStoresItsCodesInTheEntryAndTheMediaCodeInPlaneZero)
{
    ASSERT_EQ(Run(kKeyA,
                  [](KeyAssignmentState& s) {
                      s.SetPendingKind(kind::Basic);
                      s.SetFunction("Next");
                  }),
              RunResult::Applied);
    const std::uint8_t* e = Entry(kKeyA);
    EXPECT_EQ(e[entry::Kind], 3);
    EXPECT_EQ(Bytes(e + 2, e + 6), (Bytes{0x03, 0x00, 0xB5, 0x00}));
    EXPECT_EQ(e[entry::Vk], 0xB0);
    EXPECT_EQ(Planes(kKeyA), (std::array<std::uint8_t, 4>{0xE8, 0, 0, 0}));
    EXPECT_EQ(state_.g_abKeyChanged()[kKeyA], 1);

    // The label is looked up in the language it was chosen in.
    ASSERT_EQ(Run(
                  kKeyA,
                  [](KeyAssignmentState& s) {
                      s.SetPendingKind(kind::Basic);
                      s.SetFunction("复制");
                  },
                  kLanguageChinese),
              RunResult::Applied);
    EXPECT_EQ(Planes(kKeyA), (std::array<std::uint8_t, 4>{0xE0, 1, 0x06, 0}));
    EXPECT_EQ(Entry(kKeyA)[entry::Vk], 0x41);  // Copy leaves byte 0 alone

    // An unknown label marks the kind and nothing more.
    auto planes = Planes(kKeyA);
    Run(kKeyA, [](KeyAssignmentState& s) {
        s.SetPendingKind(kind::Basic);
        s.SetFunction("Media");  // a heading, not a function
    });
    EXPECT_EQ(Planes(kKeyA), planes);
    EXPECT_EQ(Entry(kKeyA)[entry::Kind], 3);
}

TEST_F(KeyAssignmentTest, DefaultAfterABasicFunctionRestoresTheKeysOwnCode)
{
    Run(kKeyA, [](KeyAssignmentState& s) {
        s.SetPendingKind(kind::Basic);
        s.SetFunction("Next");
    });
    ASSERT_EQ(Entry(kKeyA)[entry::Vk], 0xB0);
    ASSERT_EQ(Run(kKeyA, [](KeyAssignmentState& s) { s.RequestDefault(); }), RunResult::Applied);
    EXPECT_EQ(Planes(kKeyA), (std::array<std::uint8_t, 4>{0x04, 0, 0, 0}));
    EXPECT_EQ(Entry(kKeyA)[entry::Vk], 0x41);
    EXPECT_EQ(Entry(kKeyA)[entry::Kind], 0);
    EXPECT_EQ(Entry(kKeyA)[entry::Data], 0);

    // Even applied straight onto an entry still holding the function's code.
    Entry(kKeyA)[entry::Vk] = 0xB0;
    state_.SelectKey(kKeyA);
    state_.RequestDefault();
    state_.SetPendingKind(kind::Basic);
    EXPECT_EQ(ApplyKeyAssignment(state_, store_->current(), macros_, kEnglish), ApplyResult::Applied);
    EXPECT_EQ(Planes(kKeyA)[0], 0x04);
}

// --- Advanced -----------------------------------------------------------------------------

TEST_F(KeyAssignmentTest, AdvancedWritesTheHostActionCodeAndThePathInUtf16)
{
    const std::u16string path = u"/home/用户/bin/start.sh";
    ASSERT_EQ(Run(kKeyA,
                  [&](KeyAssignmentState& s) {
                      s.SetPendingKind(kind::StartProgram);
                      s.SetActionPath(path);
                  }),
              RunResult::Applied);
    const std::uint8_t* e = Entry(kKeyA);
    EXPECT_EQ(Planes(kKeyA), (std::array<std::uint8_t, 4>{0xFA, 0, 0, 0}));
    EXPECT_EQ(e[entry::Kind], 5);
    EXPECT_EQ(e[entry::Vk], 0x41);
    EXPECT_EQ(Bytes(e + 2, e + 6), (Bytes{0x03, 0x00, 0x23, 0x02}));
    EXPECT_EQ(e[260], '/');
    EXPECT_EQ(e[261], 0);
    EXPECT_EQ(e[260 + 2 * 6], 0x28);  // U+7528 little-endian
    EXPECT_EQ(e[260 + 2 * 6 + 1], 0x75);
    EXPECT_EQ(e[260 + 2 * path.size()], 0);
    EXPECT_EQ(ReadEntryPath(e), path);
    EXPECT_EQ(state_.g_abKeyChanged()[kKeyA], 1);
    EXPECT_EQ(FileBytes(), ImageBytes());

    // A shorter path leaves nothing of the longer one behind.
    Run(kKeyA, [](KeyAssignmentState& s) {
        s.SetPendingKind(kind::OpenFolder);
        s.SetActionPath(u"/tmp");
    });
    EXPECT_EQ(ReadEntryPath(Entry(kKeyA)), u"/tmp");
    EXPECT_TRUE(std::all_of(Entry(kKeyA) + 268, Entry(kKeyA) + 772, [](std::uint8_t b) { return b == 0; }));
}

TEST_F(KeyAssignmentTest, APathOfMoreThan255CharactersIsRefusedNotCut)
{
    const std::u16string longest(255, u'x');
    ASSERT_EQ(Run(kKeyA,
                  [&](KeyAssignmentState& s) {
                      s.SetPendingKind(kind::OpenFile);
                      s.SetActionPath(longest);
                  }),
              RunResult::Applied);
    EXPECT_EQ(ReadEntryPath(Entry(kKeyA)), longest);
    EXPECT_EQ(Entry(kKeyA)[770], 0);
    EXPECT_EQ(Entry(kKeyA)[771], 0);
    // The next entry is untouched.
    EXPECT_EQ(Entry(kKeyA + 1)[entry::Vk], g_defaultVkByKey[kKeyA + 1]);

    Bytes before = FileBytes();
    EXPECT_EQ(Run(kKeyA,
                  [&](KeyAssignmentState& s) {
                      s.SetPendingKind(kind::PlaySound);
                      s.SetActionPath(longest + u"y");
                  }),
              RunResult::Refused);
    EXPECT_EQ(ReadEntryPath(Entry(kKeyA)), longest);
    EXPECT_EQ(Entry(kKeyA)[entry::Kind], 6);
    EXPECT_EQ(FileBytes(), before);
}

// --- macros ------------------------------------------------------------------------------------

TEST_F(KeyAssignmentTest, AMacroBindingWritesPlaneTwoAndPlacesTheMacroSlots)
{
    AddMacros(4);
    ASSERT_EQ(Run(kKeyA,
                  [](KeyAssignmentState& s) {
                      s.SetPendingKind(kind::Macro);
                      s.SelectMacro(3);
                  }),
              RunResult::Applied);
    const std::uint8_t* e = Entry(kKeyA);
    EXPECT_EQ(e[entry::Kind], 2);
    EXPECT_EQ(Bytes(e + 2, e + 6), (Bytes{0x04, 0x01, 0x03, 0x00}));
    EXPECT_EQ(Planes(kKeyA), (std::array<std::uint8_t, 4>{0, 2, 3, 0}));
    EXPECT_EQ(state_.g_abKeyChanged()[kKeyA], 1);
    for (int m = 0; m < 4; ++m) EXPECT_EQ(store_->current().settings[settings::MacroSlots + 256 * m + 1], m + 1);
    EXPECT_EQ(FileBytes(), ImageBytes());
}

// The keyboard plays macros from its 12 slots only: a number above 11 (or one
// naming no macro) would bind the key to nothing, so nothing is written.
TEST_F(KeyAssignmentTest, MacrosTheKeyboardCannotPlayAreRefused)
{
    AddMacros(20);
    Run(kKeyA, [](KeyAssignmentState& s) { Single(s, 0x42); });
    const Bytes before = FileBytes();
    const Bytes image = ImageBytes();
    state_.MarkKeyChanged(kKeyA, true);
    for (int sel : {12, 19, 31, 255, -1, -2}) {
        EXPECT_EQ(Run(kKeyA,
                      [sel](KeyAssignmentState& s) {
                          s.SetPendingKind(kind::Macro);
                          s.SelectMacro(sel);
                      }),
                  RunResult::Refused)
            << sel;
        EXPECT_EQ(ImageBytes(), image) << sel;
        EXPECT_EQ(FileBytes(), before) << sel;
        EXPECT_EQ(state_.g_abKeyChanged()[kKeyA], 1) << sel;
    }
    EXPECT_EQ(kMaxBindableMacros, 12);
    EXPECT_EQ(Run(kKeyA,
                  [](KeyAssignmentState& s) {
                      s.SetPendingKind(kind::Macro);
                      s.SelectMacro(kMaxBindableMacros - 1);
                  }),
              RunResult::Applied);
    EXPECT_EQ(Planes(kKeyA)[2], 11);

    MacroTable two;
    SetMacroName(two[0], std::string_view("a"));
    SetMacroName(two[1], std::string_view("b"));
    state_.SelectKey(kKeyA);
    state_.SetKeyCount(0);
    state_.SetPendingKind(kind::Macro);
    state_.SelectMacro(2);  // a free record
    EXPECT_EQ(ApplyKeyAssignment(state_, store_->current(), two, kEnglish), ApplyResult::Refused);
}

// --- key capture -------------------------------------------------------------------------------

TEST(KeyCapture, CombinationModeRestartsAtTheFourthKeyAndSingleModeReplaces)
{
    KeyAssignmentState s;
    s.SetPendingKind(kind::Combination);
    for (std::uint8_t vk : {0xA2, 0xA0, 0x41}) EXPECT_TRUE(s.CaptureKey(vk));
    EXPECT_EQ(s.CapturedText(), "LCtrl + LShift + A ");
    EXPECT_EQ(s.g_nKeyCount(), 3);
    s.CaptureKey(0x42);
    EXPECT_EQ(s.g_nKeyCount(), 1);
    EXPECT_EQ(s.CapturedText(), "B ");
    EXPECT_EQ(s.g_abKeyBuf()[1], 0);

    s.SetKeyCount(254);  // as a damaged entry could load it
    s.CaptureKey(0x43);
    EXPECT_EQ(s.g_nKeyCount(), 1);
    EXPECT_EQ(s.g_abKeyBuf()[0], 0x43);

    s.SetPendingKind(kind::Single);
    s.CaptureKey(0x44);
    s.CaptureKey(0x45);
    EXPECT_EQ(s.g_nKeyCount(), 1);
    EXPECT_EQ(s.CapturedText(), "E ");

    s.SetPendingKind(kind::Basic);
    EXPECT_FALSE(s.CaptureKey(0x46));
    EXPECT_EQ(s.g_abKeyBuf()[0], 0x45);
}

TEST(KeyCapture, EntryTextShowsSingleAndCombinationKeysOnly)
{
    std::array<std::uint8_t, kKeyEntrySize> e{};
    e[entry::Kind] = kind::Single;
    e[entry::Data] = 0x30;
    EXPECT_EQ(EntryText(e.data()), "0");
    e[entry::Kind] = kind::Combination;
    e[entry::Data] = 0xA2;
    e[entry::Data + 1] = 0;
    e[entry::Data + 2] = 0x43;
    EXPECT_EQ(EntryText(e.data()), "LCtrl + C ");
    e[entry::Kind] = kind::Basic;
    EXPECT_EQ(EntryText(e.data()), "");
}

}  // namespace
}  // namespace zr417
