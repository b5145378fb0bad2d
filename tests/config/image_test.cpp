#include "config/image.h"
#include "config/keys.h"
#include "platform/file_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/full_disk.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

namespace zr417 {
namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class KeymapFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = tmp_.path();
        store_ = std::make_unique<KeymapStore>(dir_ / "keymap.bin");
    }

    fs::path file() const { return store_->file(); }

    static Bytes Pattern(std::size_t size, unsigned seed)
    {
        std::mt19937 rng(seed);
        Bytes b(size);
        for (auto& v : b) v = static_cast<std::uint8_t>(rng());
        return b;
    }
    static void Fill(ConfigImage& image, unsigned seed)
    {
        Bytes s = Pattern(kSettingsSize, seed);
        Bytes k = Pattern(kKeyTableSize, seed + 1);
        std::copy(s.begin(), s.end(), image.settings.begin());
        std::copy(k.begin(), k.end(), image.keyTable.begin());
    }
    static Bytes Flatten(const ConfigImage& image)
    {
        Bytes b(image.settings.begin(), image.settings.end());
        b.insert(b.end(), image.keyTable.begin(), image.keyTable.end());
        return b;
    }
    static void ExpectKeyCodesRefreshed(const ConfigImage& image)
    {
        for (int k = 0; k < kKeyCount; ++k) ASSERT_EQ(image.entry(k)[entry::Vk], g_defaultVkByKey[k]) << "entry " << k;
    }
    std::size_t FilesInDir() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    zr417::test::TempDir tmp_{"keymap"};
    fs::path dir_;
    std::unique_ptr<KeymapStore> store_;
};

TEST_F(KeymapFileTest, MissingFileIsCreatedWithZeroKeyTableAndCurrentSettings)
{
    Fill(store_->current(), 1);
    const auto settingsBefore = store_->current().settings;
    ASSERT_TRUE(store_->LoadKeymapFile());

    Bytes onDisk = test::ReadBytes(file());
    ASSERT_EQ(onDisk.size(), 213116u);
    EXPECT_TRUE(std::equal(settingsBefore.begin(), settingsBefore.end(), onDisk.begin()));
    EXPECT_TRUE(std::all_of(onDisk.begin() + kSettingsSize, onDisk.end(), [](auto b) { return b == 0; }));
    // Memory: settings as they stood, key table zero (refreshing codes is the caller's job here).
    EXPECT_EQ(store_->current().settings, settingsBefore);
    EXPECT_TRUE(std::all_of(store_->current().keyTable.begin(), store_->current().keyTable.end(),
                            [](auto b) { return b == 0; }));
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(KeymapFileTest, StartupOnMissingFileGivesRefreshedCodesAndCommitsTheSavedImage)
{
    Fill(store_->current(), 2);
    store_->KeepSettingsOnNextLoad(true);
    store_->Startup();
    EXPECT_FALSE(store_->g_bKeepSettings());
    ExpectKeyCodesRefreshed(store_->current());
    EXPECT_EQ(store_->current().entry(0)[entry::Kind], 0);
    EXPECT_EQ(store_->saved(), store_->current());
    EXPECT_EQ(fs::file_size(file()), kImageSize);
}

TEST_F(KeymapFileTest, KeyCodesAreRefreshedAfterEveryLoad)
{
    Bytes image(kImageSize, 0xEE);
    test::WriteBytes(file(), image);
    ASSERT_TRUE(store_->LoadKeymapFile());
    ExpectKeyCodesRefreshed(store_->current());
    // Everything else comes from the file, spare entries included.
    EXPECT_EQ(store_->current().entry(0)[entry::Kind], 0xEE);
    EXPECT_EQ(store_->current().entry(104)[entry::Vk], 0xEE);
    EXPECT_EQ(store_->current().entry(254)[entry::Vk], 0xEE);
    EXPECT_EQ(store_->current().settings[0], 0xEE);
    // The file itself is not rewritten by a load.
    EXPECT_EQ(test::ReadBytes(file()), image);
}

TEST_F(KeymapFileTest, KeepSettingsLoadTakesOnlyTheKeyTableAndClearsTheFlag)
{
    Fill(store_->current(), 3);
    const auto settingsBefore = store_->current().settings;
    ConfigImage onDisk;
    Fill(onDisk, 40);
    test::WriteBytes(file(), Flatten(onDisk));

    store_->KeepSettingsOnNextLoad(true);
    ASSERT_TRUE(store_->LoadKeymapFile());
    EXPECT_FALSE(store_->g_bKeepSettings());
    EXPECT_EQ(store_->current().settings, settingsBefore);
    for (int k = 0; k < kKeyCount; ++k) onDisk.entry(k)[entry::Vk] = g_defaultVkByKey[k];
    EXPECT_EQ(store_->current().keyTable, onDisk.keyTable);

    // One-shot: the next load takes the settings too.
    ASSERT_TRUE(store_->LoadKeymapFile());
    EXPECT_EQ(store_->current().settings, onDisk.settings);
}

TEST_F(KeymapFileTest, KeepSettingsFlagIsConsumedEvenByAFailedLoad)
{
    fs::create_directory(file());
    store_->KeepSettingsOnNextLoad(true);
    EXPECT_FALSE(store_->LoadKeymapFile());
    EXPECT_FALSE(store_->g_bKeepSettings());
}

TEST_F(KeymapFileTest, ShortFileFillsOnlyWhatItHolds)
{
    Fill(store_->current(), 5);
    const ConfigImage before = store_->current();

    // Settings plus the first 1000 bytes of the key table.
    Bytes part = Pattern(kSettingsSize + 1000, 77);
    test::WriteBytes(file(), part);
    ASSERT_TRUE(store_->LoadKeymapFile());
    EXPECT_TRUE(std::equal(part.begin(), part.begin() + kSettingsSize, store_->current().settings.begin()));
    for (std::size_t i = 0; i < kKeyTableSize; ++i) {
        std::size_t e = i / kKeyEntrySize;
        if (e < kKeyCount && i % kKeyEntrySize == entry::Vk) continue;  // refreshed
        std::uint8_t want = i < 1000 ? part[kSettingsSize + i] : before.keyTable[i];
        ASSERT_EQ(store_->current().keyTable[i], want) << "key table byte " << i;
    }
    ExpectKeyCodesRefreshed(store_->current());

    // A file shorter than the settings block leaves the key table alone.
    store_->current() = before;
    Bytes tiny = Pattern(100, 78);
    test::WriteBytes(file(), tiny);
    ASSERT_TRUE(store_->LoadKeymapFile());
    EXPECT_TRUE(std::equal(tiny.begin(), tiny.end(), store_->current().settings.begin()));
    EXPECT_TRUE(
        std::equal(before.settings.begin() + 100, before.settings.end(), store_->current().settings.begin() + 100));
    EXPECT_EQ(store_->current().entry(200)[entry::Kind], before.entry(200)[entry::Kind]);
    ExpectKeyCodesRefreshed(store_->current());

    // An empty file changes nothing but the key codes.
    store_->current() = before;
    test::WriteBytes(file(), {});
    ASSERT_TRUE(store_->LoadKeymapFile());
    EXPECT_EQ(store_->current().settings, before.settings);
    ExpectKeyCodesRefreshed(store_->current());
}

TEST_F(KeymapFileTest, LongFileIgnoresTheRest)
{
    Bytes image = Pattern(kImageSize + 5000, 9);
    test::WriteBytes(file(), image);
    ASSERT_TRUE(store_->LoadKeymapFile());
    ConfigImage expected;
    std::copy_n(image.begin(), kSettingsSize, expected.settings.begin());
    std::copy_n(image.begin() + kSettingsSize, kKeyTableSize, expected.keyTable.begin());
    for (int k = 0; k < kKeyCount; ++k) expected.entry(k)[entry::Vk] = g_defaultVkByKey[k];
    EXPECT_EQ(store_->current(), expected);
}

TEST_F(KeymapFileTest, DirectoryInPlaceOfTheFileIsNeitherReplacedNorLoaded)
{
    fs::create_directory(file());
    Fill(store_->current(), 11);
    const ConfigImage before = store_->current();
    EXPECT_FALSE(store_->LoadKeymapFile());
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_EQ(store_->current(), before);
    EXPECT_FALSE(store_->SaveKeymapFile());
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_EQ(FilesInDir(), 1u);  // no temporary left behind
}

TEST_F(KeymapFileTest, UnreadableFileIsNeitherReplacedNorLoaded)
{
    Fill(store_->current(), 12);
    const ConfigImage before = store_->current();
    if (::geteuid() != 0) {
        Bytes image = Pattern(kImageSize, 13);
        test::WriteBytes(file(), image);
        ASSERT_EQ(::chmod(file().c_str(), 0), 0);
        EXPECT_FALSE(store_->LoadKeymapFile());
        EXPECT_EQ(store_->current(), before);
        ::chmod(file().c_str(), 0644);
        EXPECT_EQ(test::ReadBytes(file()), image);
    } else {
        // Permissions do not stop root; a path through a regular file can
        // never be opened nor created.
        test::WriteBytes(dir_ / "plain", {1, 2, 3});
        KeymapStore blocked(dir_ / "plain" / "keymap.bin");
        Fill(blocked.current(), 12);
        EXPECT_FALSE(blocked.LoadKeymapFile());
        EXPECT_EQ(blocked.current(), before);
        EXPECT_EQ(test::ReadBytes(dir_ / "plain"), (Bytes{1, 2, 3}));
    }
}

TEST_F(KeymapFileTest, FileThatCannotBeCreatedLeavesMemoryUnchanged)
{
    KeymapStore nowhere(dir_ / "missing-folder" / "keymap.bin");
    Fill(nowhere.current(), 14);
    const ConfigImage before = nowhere.current();
    EXPECT_FALSE(nowhere.LoadKeymapFile());
    EXPECT_EQ(nowhere.current(), before);
    EXPECT_FALSE(fs::exists(dir_ / "missing-folder"));
}

TEST_F(KeymapFileTest, FailedSaveLeavesTheOldFileIntact)
{
    Fill(store_->current(), 15);
    ASSERT_TRUE(store_->SaveKeymapFile());
    const Bytes old = test::ReadBytes(file());
    Fill(store_->current(), 16);

    // A write that runs out of room (file size limit stands in for a full disk).
    {
        test::FullDisk full(4096);
        ASSERT_TRUE(full.ok());
        EXPECT_FALSE(store_->SaveKeymapFile());
    }
    EXPECT_EQ(test::ReadBytes(file()), old);
    EXPECT_EQ(FilesInDir(), 1u);

    // A folder the user may not write to.
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
        EXPECT_FALSE(store_->SaveKeymapFile());
        EXPECT_FALSE(store_->SaveSavedImage());
        ::chmod(dir_.c_str(), 0755);
        EXPECT_EQ(test::ReadBytes(file()), old);
        EXPECT_EQ(FilesInDir(), 1u);
    }
}

// Writes handed to a writer thread land in the order they were asked for, a
// load first waits for them, and one that fails still keeps what it meant.
TEST_F(KeymapFileTest, WritesThroughAWriterKeepTheirOrderAndTheirFailures)
{
    auto writer = std::make_shared<FileWriter>();
    store_->WriteThrough(writer);
    Fill(store_->current(), 40);
    store_->SaveKeymapFileLater();
    Fill(store_->current(), 41);
    const ConfigImage second = store_->current();
    const Bytes last = Flatten(second);
    std::atomic<int> heard{0};
    store_->SaveKeymapFileLater([&](bool written) { heard = written ? 1 : -1; });
    Fill(store_->current(), 42);  // never saved

    ASSERT_TRUE(store_->LoadKeymapFile());
    EXPECT_EQ(heard, 1) << "the load waited for the writes";
    EXPECT_EQ(store_->current().settings, second.settings);
    EXPECT_EQ(test::ReadBytes(file()), last);
    EXPECT_EQ(FilesInDir(), 1u);

    const ConfigImage meant = store_->current();
    {
        test::FullDisk full(4096);
        ASSERT_TRUE(full.ok());
        store_->SaveKeymapFileLater([&](bool written) { heard = written ? 1 : -1; });
        writer->WaitUntilIdle();
    }
    EXPECT_EQ(heard, -1);
    EXPECT_TRUE(store_->unsaved());
    EXPECT_EQ(store_->saveError(), std::errc::file_too_large) << "the cause crosses the writer's thread";
    EXPECT_EQ(test::ReadBytes(file()), last) << "the old file is left whole";
    Fill(store_->current(), 43);
    ASSERT_TRUE(store_->LoadKeymapFile());
    EXPECT_EQ(store_->current().settings, meant.settings) << "the load takes what the failed write meant";
    EXPECT_EQ(store_->current().keyTable.back(), meant.keyTable.back());
}

TEST_F(KeymapFileTest, SaveSavedImageWritesTheSavedImageNotTheWorkingOne)
{
    Fill(store_->current(), 20);
    store_->CommitSavedImage();
    const Bytes committed = Flatten(store_->current());
    Fill(store_->current(), 21);  // an edit never sent to the keyboard

    ASSERT_TRUE(store_->SaveSavedImage());
    EXPECT_EQ(test::ReadBytes(file()), committed);

    ASSERT_TRUE(store_->SaveKeymapFile());
    EXPECT_EQ(test::ReadBytes(file()), Flatten(store_->current()));
}

TEST_F(KeymapFileTest, RoundTripIsByteExact)
{
    Fill(store_->current(), 30);
    store_->RefreshKeyCodes();
    ASSERT_TRUE(store_->SaveKeymapFile());
    EXPECT_EQ(test::ReadBytes(file()), Flatten(store_->current()));

    KeymapStore other(file());
    ASSERT_TRUE(other.LoadKeymapFile());
    EXPECT_EQ(other.current(), store_->current());
    ASSERT_TRUE(other.SaveKeymapFile());
    EXPECT_EQ(test::ReadBytes(file()), Flatten(store_->current()));
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST(ConfigImageLayout, PlanesAndEntriesAddressTheRightBytes)
{
    auto image = std::make_unique<ConfigImage>();
    image->plane(1, 5) = 0xAB;
    EXPECT_EQ(image->settings[7148 + 5], 0xAB);
    image->plane(3, 127) = 0xCD;
    EXPECT_EQ(image->settings[7404 + 127], 0xCD);
    EXPECT_EQ(image->settings[settings::KeyMatrix + 1 + 3 * 128 + 127], 0xCD);
    image->entry(254)[entry::Path + 511] = 0x77;
    EXPECT_EQ(image->keyTable[254 * 772 + 260 + 511], 0x77);
    EXPECT_EQ(254 * kKeyEntrySize + entry::Path + 2 * entry::PathChars, kKeyTableSize);
    EXPECT_EQ(settings::PicturePages + settings::PicturePageCount * settings::PageSize + 3, kSettingsSize);
    EXPECT_EQ(settings::MacroPages + settings::MacroPageCount * settings::PageSize, settings::PicturePages);
}

}  // namespace
}  // namespace zr417
