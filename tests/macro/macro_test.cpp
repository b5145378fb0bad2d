#include "config/image.h"
#include "config/keys.h"
#include "macro/macro_model.h"
#include "macro/macro_store.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace zr417 {
namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

MacroStep Press(std::uint8_t key, std::uint16_t delay = 0)
{
    MacroStep s{0x00, key};
    s.setDelay(delay);
    return s;
}
MacroStep Release(std::uint8_t key, std::uint16_t delay = 0)
{
    MacroStep s{0x80, key};
    s.setDelay(delay);
    return s;
}

// Appends a step given by virtual key to both arrays of a record.
void AddStep(MacroRecord& r, int index, bool release, std::uint8_t vk, std::uint16_t delay = 0)
{
    MacroStep dev = release ? Release(KeyCode(vk), delay) : Press(KeyCode(vk), delay);
    MacroStep v = release ? Release(vk, delay) : Press(vk, delay);
    r.deviceSteps[index] = dev;
    r.vkSteps[index] = v;
}

MacroRecord Named(const char* name)
{
    MacroRecord r;
    SetMacroName(r, std::string_view(name));
    return r;
}

class MacroFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = tmp_.path();
        store_ = std::make_unique<MacroStore>(dir_ / "MacroDefine.bin");
    }
    static Bytes TableBytes(const MacroTable& t)
    {
        auto p = reinterpret_cast<const std::uint8_t*>(&t);
        return Bytes(p, p + sizeof t);
    }

    zr417::test::TempDir tmp_{"macro"};
    fs::path dir_;
    std::unique_ptr<MacroStore> store_;
};

// --- layout ----------------------------------------------------------------------

TEST(MacroLayout, LoopCountIsLittleEndianAtOffset510WhateverTheHost)
{
    MacroRecord r;
    r.setLoops(0x0102);
    auto bytes = reinterpret_cast<const std::uint8_t*>(&r);
    EXPECT_EQ(bytes[510], 0x02);
    EXPECT_EQ(bytes[511], 0x01);
    EXPECT_EQ(r.loops(), 0x0102);

    r.deviceSteps[0] = Press(0x04, 0x1234);
    r.vkSteps[46] = Release(0x41);
    EXPECT_EQ(bytes[513], 0x00);
    EXPECT_EQ(bytes[514], 0x04);
    EXPECT_EQ(bytes[515], 0x12);  // delay big-endian in a step
    EXPECT_EQ(bytes[516], 0x34);
    EXPECT_EQ(bytes[703 + 46 * 4], 0x80);
    EXPECT_EQ(bytes[703 + 46 * 4 + 1], 0x41);
}

// --- the file ----------------------------------------------------------------------

TEST_F(MacroFileTest, MissingFileIsCreatedAsAZeroTableAndListsNoMacro)
{
    EXPECT_EQ(store_->LoadMacroFile(), MacroStore::LoadResult::Created);
    Bytes file = test::ReadBytes(store_->file());
    ASSERT_EQ(file.size(), kMacroTableSize);
    EXPECT_EQ(file, Bytes(kMacroTableSize, 0));
    EXPECT_EQ(UsedMacroCount(store_->g_macroTable()), 0);
    EXPECT_TRUE(MacroNames(store_->g_macroTable()).empty());
}

TEST_F(MacroFileTest, OneRecordFileLoadsThatRecordAndLeavesTheRestFree)
{
    MacroRecord r = Named("Macro_001");
    r.setLoops(3);
    AddStep(r, 0, false, 0x41);
    auto p = reinterpret_cast<const std::uint8_t*>(&r);
    test::WriteBytes(store_->file(), Bytes(p, p + sizeof r));

    // Whatever the table held before, the file's bytes replace it.
    MacroTable old;
    SetMacroName(old[5], std::string_view("old"));
    store_->SetMacroTable(old);
    ASSERT_EQ(store_->LoadMacroFile(), MacroStore::LoadResult::Loaded);
    EXPECT_EQ(store_->g_macroTable()[0], r);
    for (int i = 1; i < kMacroCount; ++i) EXPECT_EQ(store_->g_macroTable()[i], MacroRecord{}) << i;
    EXPECT_EQ(UsedMacroCount(store_->g_macroTable()), 1);
    EXPECT_EQ(FirstFreeMacro(store_->g_macroTable()), 1);
    // The short file is not rewritten by loading.
    EXPECT_EQ(test::ReadBytes(store_->file()).size(), sizeof r);
}

TEST_F(MacroFileTest, ShortAndLongFilesKeepWhatTheyHoldAndNothingMore)
{
    std::mt19937 rng(7);
    Bytes longFile(kMacroTableSize + 500);
    for (auto& b : longFile) b = static_cast<std::uint8_t>(rng());
    test::WriteBytes(store_->file(), longFile);
    ASSERT_EQ(store_->LoadMacroFile(), MacroStore::LoadResult::Loaded);
    EXPECT_EQ(TableBytes(store_->g_macroTable()), Bytes(longFile.begin(), longFile.begin() + kMacroTableSize));
    EXPECT_EQ(test::ReadBytes(store_->file()), longFile);

    Bytes shortFile(longFile.begin(), longFile.begin() + 1000);  // a record and a bit
    test::WriteBytes(store_->file(), shortFile);
    ASSERT_EQ(store_->LoadMacroFile(), MacroStore::LoadResult::Loaded);
    Bytes expect = shortFile;
    expect.resize(kMacroTableSize, 0);
    EXPECT_EQ(TableBytes(store_->g_macroTable()), expect);

    test::WriteBytes(store_->file(), Bytes{});  // empty: no bytes to copy at all (the sanitizer build checks how)
    ASSERT_EQ(store_->LoadMacroFile(), MacroStore::LoadResult::Loaded);
    EXPECT_EQ(TableBytes(store_->g_macroTable()), Bytes(kMacroTableSize, 0));
}

TEST_F(MacroFileTest, AFileThatCannotBeReadIsNeitherOverwrittenNorLoaded)
{
    fs::create_directory(store_->file());  // something named like the file, but not readable as one
    fs::path inside = store_->file() / "keep";
    test::WriteBytes(inside, {1, 2, 3});
    MacroTable inMemory;
    SetMacroName(inMemory[0], std::string_view("in memory"));
    store_->SetMacroTable(inMemory);

    EXPECT_EQ(store_->LoadMacroFile(), MacroStore::LoadResult::Unreadable);
    EXPECT_TRUE(fs::is_directory(store_->file()));
    EXPECT_EQ(test::ReadBytes(inside), (Bytes{1, 2, 3}));
    EXPECT_EQ(MacroName(store_->g_macroTable()[0]), "in memory");
    EXPECT_FALSE(store_->SaveMacroFile());
}

TEST_F(MacroFileTest, SaveWritesTheWholeTableAndAFailedSaveKeepsTheOldFile)
{
    MacroTable table;
    table[0] = Named("Macro_001");
    table[31] = Named("last");
    store_->SetMacroTable(table);
    ASSERT_TRUE(store_->SaveMacroFile());
    EXPECT_EQ(test::ReadBytes(store_->file()), TableBytes(store_->g_macroTable()));

    MacroStore other(store_->file());
    ASSERT_EQ(other.LoadMacroFile(), MacroStore::LoadResult::Loaded);
    EXPECT_EQ(other.g_macroTable(), store_->g_macroTable());

    MacroStore nowhere(dir_ / "missing-folder" / "MacroDefine.bin");
    EXPECT_FALSE(nowhere.SaveMacroFile());
    EXPECT_EQ(nowhere.LoadMacroFile(), MacroStore::LoadResult::CreateFailed);
}

// Damaged files: every name without a terminator, loop counts far above 999,
// key bytes 0 in the middle of the arrays and garbage everywhere else. Every
// operation stays inside the table (the sanitizer build checks the bounds).
TEST_F(MacroFileTest, DamagedFilesNeverLeadAWalkOutOfTheTable)
{
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        Bytes file(kMacroTableSize);
        for (auto& b : file)
            b = static_cast<std::uint8_t>(rng() | (seed % 2 ? 0x01 : 0));  // odd seeds: no zero byte at all
        test::WriteBytes(store_->file(), file);
        ASSERT_EQ(store_->LoadMacroFile(), MacroStore::LoadResult::Loaded);
        MacroTable t = store_->g_macroTable();
        if (seed % 2) {
            EXPECT_EQ(UsedMacroCount(t), kMacroCount);
            EXPECT_EQ(FirstFreeMacro(t), -1);
        }
        for (const std::string& name : MacroNames(t)) EXPECT_LE(name.size(), 3u * kMacroNameChars);
        for (int i = 0; i < kMacroCount; ++i) {
            EXPECT_LE(MacroNameU16(t[i]).size(), static_cast<std::size_t>(kMacroNameChars));
            store_->BeginWork();
            auto lines = store_->BuildStepLines(i);
            EXPECT_LE(lines.size(), 2u * kMacroStepCount);
            for (int l = 0; l < static_cast<int>(lines.size()); ++l) {
                int s = store_->LineToStep(l);
                EXPECT_GE(s, 0);
                EXPECT_LT(s, kMacroStepCount);
            }
            EXPECT_EQ(store_->LineToStep(static_cast<int>(lines.size())), -1);
        }
        ConfigImage image;
        store_->PlaceMacrosInImage(image);
        DeleteMacro(t, 0);
        DeleteMacro(t, 31);
    }
}

// --- names ------------------------------------------------------------------------------

TEST(MacroNames, RoundTripThroughUtf16AndCutAt254UnitsWithoutSplittingAPair)
{
    MacroRecord r;
    SetMacroName(r, std::string_view("宏_001 \xF0\x9F\x8E\xB9"));  // CJK and a character outside the BMP
    EXPECT_EQ(MacroName(r), "宏_001 \xF0\x9F\x8E\xB9");
    EXPECT_EQ(r.name[0], 0x8F);  // U+5B8F little-endian
    EXPECT_EQ(r.name[1], 0x5B);

    std::string longName(253, 'a');
    longName += "\xF0\x9F\x8E\xB9";  // the pair would take units 253 and 254
    SetMacroName(r, std::string_view(longName));
    EXPECT_EQ(MacroName(r), std::string(253, 'a'));
    SetMacroName(r, std::string_view(std::string(300, 'b')));
    EXPECT_EQ(MacroName(r), std::string(254, 'b'));
    EXPECT_EQ(r.name[508], 0);  // the last unit stays the terminator
    EXPECT_EQ(r.name[509], 0);

    // A shorter name clears what a longer one left behind.
    SetMacroName(r, std::string_view("x"));
    EXPECT_TRUE(std::all_of(std::begin(r.name) + 2, std::end(r.name), [](std::uint8_t b) { return b == 0; }));

    SetMacroName(r, std::string_view("a\xFF"
                                     "b\xE5\xAE"));  // bad and cut-off sequences
    EXPECT_EQ(MacroName(r),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    SetMacroName(r, std::string_view(""));
    EXPECT_TRUE(r.free());
}

TEST(MacroNames, AnUnpairedSurrogateInTheFileReadsAsReplacement)
{
    MacroRecord r;
    r.name[0] = 0x00;
    r.name[1] = 0xD8;  // high surrogate, then 'A'
    r.name[2] = 'A';
    EXPECT_EQ(MacroName(r),
              "\xEF\xBF\xBD"
              "A");
}

// --- the table ----------------------------------------------------------------------

TEST(MacroTableOps, DeleteClosesTheGapAndFreesTheLastRecord)
{
    MacroTable t;
    t[0] = Named("one");
    t[1] = Named("two");
    t[2] = Named("three");
    DeleteMacro(t, 1);
    EXPECT_EQ(MacroNames(t), (std::vector<std::string>{"one", "three"}));
    EXPECT_TRUE(t[2].free());
    EXPECT_EQ(FirstFreeMacro(t), 2);

    for (int i = 0; i < kMacroCount; ++i) t[i] = Named(("m" + std::to_string(i)).c_str());
    EXPECT_EQ(FirstFreeMacro(t), -1);
    DeleteMacro(t, 31);
    EXPECT_EQ(t[31], MacroRecord{});
    DeleteMacro(t, 0);
    EXPECT_EQ(MacroName(t[0]), "m1");
    EXPECT_EQ(UsedMacroCount(t), 30);
    MacroTable before = t;
    DeleteMacro(t, -1);
    DeleteMacro(t, 32);
    EXPECT_EQ(t, before);
}

TEST(MacroTableOps, UsedRecordsEndAtTheFirstFreeOne)
{
    MacroTable t;
    t[0] = Named("a");
    t[2] = Named("c");
    EXPECT_EQ(UsedMacroCount(t), 1);
    EXPECT_EQ(MacroNames(t), std::vector<std::string>{"a"});
}

// --- steps ------------------------------------------------------------------------------

TEST(MacroSteps, InsertPushesTheLastStepOutOfAFullMacroAndKeepsTheSpareBytes)
{
    StepArray dev, vk;
    for (int i = 0; i < kMacroStepCount; ++i) {
        dev[i] = Press(static_cast<std::uint8_t>(i + 1));
        vk[i] = Press(static_cast<std::uint8_t>(i + 101));
    }
    dev.spare[0] = vk.spare[1] = 0x55;
    ASSERT_TRUE(InsertStep(dev, vk, 1, Release(0xD0), Release(0xD0)));
    EXPECT_EQ(StepCount(dev), kMacroStepCount);
    EXPECT_EQ(dev[0].key, 1);
    EXPECT_EQ(dev[1], Release(0xD0));
    EXPECT_EQ(dev[2].key, 2);
    EXPECT_EQ(dev[46].key, 46);  // step 47 (key 47) is gone
    EXPECT_EQ(vk[46].key, 146);
    EXPECT_EQ(dev.spare[0], 0x55);
    EXPECT_EQ(vk.spare[1], 0x55);

    EXPECT_TRUE(InsertStep(dev, vk, 46, Press(9), Press(9)));
    EXPECT_EQ(dev[46].key, 9);
    StepArray d2 = dev, v2 = vk;
    EXPECT_FALSE(InsertStep(dev, vk, 47, Press(1), Press(1)));
    EXPECT_FALSE(InsertStep(dev, vk, -1, Press(1), Press(1)));
    EXPECT_EQ(dev, d2);
    EXPECT_EQ(vk, v2);
}

TEST(MacroSteps, DeletionMovesStepsUpAndMarksStepZeroInBothArrays)
{
    StepArray dev, vk;
    dev[0] = Press(0x04);
    dev[1] = Release(0x04, 50);
    dev[2] = Press(0x05);
    vk = dev;
    vk[0].key = 0x41;
    vk[1].key = 0x41;
    vk[2].key = 0x42;

    ASSERT_TRUE(DeleteStep(dev, vk, 0));
    EXPECT_EQ(StepCount(dev), 2);
    EXPECT_EQ(dev[0].flags, 0x81);  // a release keeps bit 7 and gains bit 0
    EXPECT_EQ(vk[0].flags, 0x81);
    EXPECT_EQ(vk[0].key, 0x41);
    EXPECT_EQ(dev[0].delay(), 50);
    EXPECT_EQ(dev[46], MacroStep{});

    ASSERT_TRUE(DeleteStepDelay(dev, vk, 0));
    EXPECT_EQ(dev[0].delay(), 0);
    EXPECT_EQ(vk[0].delay(), 0);

    dev[0].flags = 0x7E;  // bits other than 7 and 0 are dropped
    ASSERT_TRUE(DeleteStep(dev, vk, 1));
    EXPECT_EQ(dev[0].flags, 0x01);
    EXPECT_EQ(StepCount(dev), 1);
    EXPECT_FALSE(DeleteStep(dev, vk, 47));
}

TEST(MacroSteps, KeyStepsCarryTheDeviceCodeOnOneSideAndTheVirtualKeyOnTheOther)
{
    StepArray dev, vk;
    ASSERT_TRUE(WriteStep(dev, vk, 0, MakeKeySteps(0xA2, 0x00, 0)));          // LCtrl
    ASSERT_TRUE(WriteStep(dev, vk, 1, MakeKeySteps(kMouseLeft, 0x81, 300)));  // mouse buttons: same byte
    EXPECT_EQ(dev[0], (MacroStep{0x00, 0xE0, 0, 0}));
    EXPECT_EQ(vk[0], (MacroStep{0x00, 0xA2, 0, 0}));
    EXPECT_EQ(dev[1], (MacroStep{0x81, 0xD0, 0x01, 0x2C}));
    EXPECT_EQ(vk[1], (MacroStep{0x81, 0xD0, 0x01, 0x2C}));
    EXPECT_FALSE(WriteStep(dev, vk, kMacroStepCount, MakeKeySteps(0x41, 0x80, 0)));

    EXPECT_EQ(ClampRecordedDelay(-5), 0);
    EXPECT_EQ(ClampRecordedDelay(250), 250);
    EXPECT_EQ(ClampRecordedDelay(120000), 60000);  // two minutes

    MacroStore store("unused");
    store.SetCurrentSteps(dev, vk);
    store.StoreCurrentSteps(4);
    store.StoreCurrentSteps(32);
    EXPECT_EQ(store.g_macroWorkTable()[4].deviceSteps, dev);
    EXPECT_EQ(store.g_macroWorkTable()[4].vkSteps, vk);
    EXPECT_EQ(store.CurrentStepLines(), (std::vector<std::string>{"LCtrl  dn", "300 ms", "MsLB  up"}));
}

// --- placement --------------------------------------------------------------------------

TEST(MacroPlacement, SlotsTakeBigEndianLoopsAndTheDeviceStepsAndNothingElse)
{
    MacroTable t;
    t[0] = Named("zero loops");
    t[0].setLoops(0);
    t[1] = Named("long delay");
    t[1].setLoops(1000);  // above what the field allows: placed as it is, never overrunning
    t[1].deviceSteps[0] = Press(0x04);
    t[1].deviceSteps[1] = Release(0x04, 60000);
    t[1].deviceSteps.spare[1] = 0x77;
    t[1].vkSteps[0] = Press(0x41);

    ConfigImage image;
    image.settings.fill(0xAA);
    PlaceMacrosInImage(t, image);
    const std::uint8_t* slot0 = image.settings.data() + settings::MacroSlots;
    const std::uint8_t* slot1 = slot0 + settings::MacroSlotSize;
    EXPECT_EQ(slot0[0], 0x00);
    EXPECT_EQ(slot0[1], 0x00);
    EXPECT_TRUE(std::all_of(slot0 + 2, slot0 + 192, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(slot1[0], 0x03);  // 1000 = 0x03E8
    EXPECT_EQ(slot1[1], 0xE8);
    EXPECT_EQ(slot1[2 + 4 + 2], 0xEA);  // step 1's delay, 60000 ms, still in ms
    EXPECT_EQ(slot1[2 + 4 + 3], 0x60);
    EXPECT_EQ(slot1[191], 0x77);
    EXPECT_EQ(std::memcmp(slot1 + 2, &t[1].deviceSteps, 190), 0);
    // Bytes 192..255 of each slot, and the slots after the last macro, stay.
    EXPECT_TRUE(std::all_of(slot0 + 192, slot0 + 256, [](std::uint8_t b) { return b == 0xAA; }));
    const std::uint8_t* slot2 = slot1 + settings::MacroSlotSize;
    EXPECT_TRUE(std::all_of(slot2, slot2 + 256, [](std::uint8_t b) { return b == 0xAA; }));
    EXPECT_EQ(image.settings[settings::MacroSlots - 1], 0xAA);
}

TEST(MacroPlacement, OnlyTwelveSlotsAreFilledFromAFullTable)
{
    MacroTable t;
    for (int i = 0; i < kMacroCount; ++i) {
        t[i] = Named("m");
        t[i].setLoops(static_cast<std::uint16_t>(i + 1));
    }
    ConfigImage image;
    image.settings.fill(0xAA);
    PlaceMacrosInImage(t, image);
    for (int m = 0; m < 12; ++m) EXPECT_EQ(image.settings[settings::MacroSlots + 256 * m + 1], m + 1);
    const std::size_t end = settings::MacroSlots + 12 * settings::MacroSlotSize;
    EXPECT_EQ(image.settings[end], 0xAA);
    EXPECT_EQ(image.settings[end + 1], 0xAA);
}

// --- step lines ---------------------------------------------------------------------------

TEST(MacroStepLines, PressReleasePressShowsOneDelayLineAndMapsLinesToSteps)
{
    MacroStore store("unused");
    MacroRecord& r = store.EditWorkRecord(2);
    r = Named("abc");
    AddStep(r, 0, false, 0x41);
    AddStep(r, 1, true, 0x41, 120);
    AddStep(r, 2, false, 0x42);
    auto lines = store.BuildStepLines(2);
    EXPECT_EQ(lines, (std::vector<std::string>{"A  dn", "120 ms", "A  up", "B  dn"}));
    EXPECT_EQ(store.g_curDeviceSteps(), r.deviceSteps);
    EXPECT_EQ(store.g_curVkSteps(), r.vkSteps);
    EXPECT_EQ(store.LineToStep(0), 0);
    EXPECT_EQ(store.LineToStep(1), 1);
    EXPECT_EQ(store.LineToStep(2), 1);
    EXPECT_EQ(store.LineToStep(3), 2);
    EXPECT_EQ(store.LineToStep(4), -1);
    EXPECT_TRUE(IsDelayLine(lines[1]));
    EXPECT_FALSE(IsKeyLine(lines[1]));
    EXPECT_TRUE(IsKeyLine(lines[0]));
    EXPECT_TRUE(IsKeyLine(lines[2]));
    EXPECT_FALSE(IsDelayLine(lines[3]));
}

TEST(MacroStepLines, AFirstReleaseShowsItsDelayAFirstPressNever)
{
    StepArray dev, vk;
    dev[0] = Release(0x04, 40);
    vk[0] = Release(0x41, 40);
    EXPECT_EQ(StepLines(dev, vk), (std::vector<std::string>{"40 ms", "A  up"}));
    EXPECT_EQ(StepOfLine(dev, 0), 0);
    EXPECT_EQ(StepOfLine(dev, 1), 0);

    dev[0] = Press(0x04, 40);
    vk[0] = Press(0x41, 40);
    EXPECT_EQ(StepLines(dev, vk), std::vector<std::string>{"A  dn"});
    EXPECT_EQ(StepOfLine(dev, 1), -1);
}

TEST(MacroStepLines, AKeyByteZeroEndsTheMacroAndMouseButtonsHaveNames)
{
    StepArray dev, vk;
    dev[0] = vk[0] = Press(kMouseLeft);
    dev[1] = vk[1] = Release(kMouseLeft, 7);
    dev[3] = vk[3] = Press(0x04);  // after the end: never shown
    EXPECT_EQ(StepLines(dev, vk), (std::vector<std::string>{"MsLB  dn", "7 ms", "MsLB  up"}));

    MacroStore store("unused");
    store.SetCurrentSteps(dev, StepArray{});
    EXPECT_TRUE(store.BuildStepLines(32).empty());
    EXPECT_EQ(store.g_curDeviceSteps(), StepArray{});
}

}  // namespace
}  // namespace zr417
