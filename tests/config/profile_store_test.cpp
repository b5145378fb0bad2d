#include "config/profile_store.h"

#include "config/keys.h"
#include "platform/files.h"
#include "platform/trace.h"
#include "tests/support/full_disk.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <random>
#include <set>

namespace zr417 {
namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct RecordingHost : ProfileStore::Host {
    std::vector<ProfileMessage> messages;
    bool answer = true;                         // OK for the delete confirmation
    std::deque<std::optional<fs::path>> files;  // answers of the file dialogs, in turn
    std::vector<ProfileStore::FileChoice> dialogs;
    std::vector<long> pauses;
    int listChanges = 0;

    bool messageBox(ProfileMessage m) override
    {
        messages.push_back(m);
        return ProfileMessageTexts(m).okCancel ? answer : true;
    }
    std::optional<fs::path> chooseFile(ProfileStore::FileChoice choice, const fs::path&) override
    {
        dialogs.push_back(choice);
        if (files.empty()) return std::nullopt;
        auto f = files.front();
        files.pop_front();
        return f;
    }
    void pause(std::chrono::milliseconds ms) override { pauses.push_back(ms.count()); }
    void listChanged() override { ++listChanges; }
};

Bytes Pattern(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

void Fill(ConfigImage& image, unsigned seed)
{
    Bytes b = Pattern(kImageSize, seed);
    std::copy_n(b.begin(), kSettingsSize, image.settings.begin());
    std::copy(b.begin() + kSettingsSize, b.end(), image.keyTable.begin());
}

Bytes Flatten(const ConfigImage& image)
{
    Bytes v(image.settings.begin(), image.settings.end());
    v.insert(v.end(), image.keyTable.begin(), image.keyTable.end());
    return v;
}

void Write(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Read(const fs::path& path)
{
    return ReadFileBytes(path).value_or(Bytes{});
}

// Runs `f` with writes limited to 4 KiB, as a full disk would stop them.
template <typename F>
void WithFullDisk(F f)
{
    test::FullDisk full(4096);
    ASSERT_TRUE(full.ok());
    f();
}

class ProfileStoreTest : public ::testing::Test {
protected:
    fs::path folder() const { return tmp.path() / "Configure"; }
    fs::path file(std::string_view name) const { return folder() / (std::string(name) + ".bin"); }

    // The folder's content: file name -> bytes.
    std::map<std::string, Bytes> Folder() const
    {
        std::map<std::string, Bytes> m;
        for (auto& e : fs::directory_iterator(folder())) m[e.path().filename().string()] = Read(e.path());
        return m;
    }

    std::unique_ptr<ProfileStore> Open(int language = kLanguageEnglish)
    {
        auto s = std::make_unique<ProfileStore>(keymap, folder(), tmp.path(), language, host);
        s->Open();
        return s;
    }
    void Select(ProfileStore& s, std::string_view name)
    {
        int row = s.FindRow(name);
        ASSERT_GE(row, 0) << name;
        s.Select(row);
    }
    void MakeProfiles(std::initializer_list<std::pair<const char*, unsigned>> profiles)
    {
        fs::create_directories(folder());
        for (auto [name, seed] : profiles) Write(file(name), Pattern(kImageSize, seed));
    }

    test::TempDir tmp;
    KeymapStore keymap{tmp.path() / "keymap.bin"};
    RecordingHost host;
};

using Rows = std::vector<std::string>;

TEST_F(ProfileStoreTest, NewTakesTheFirstFreeNumberAndWritesAZeroSettingsBlock)
{
    auto s = Open();
    EXPECT_TRUE(fs::is_directory(folder()));  // made on opening
    EXPECT_TRUE(s->rows().empty());
    s->New();
    s->New();
    EXPECT_EQ(s->rows(), (Rows{"Profile_1", "Profile_2"}));
    s->New();
    EXPECT_EQ(s->rows(), (Rows{"Profile_1", "Profile_2", "Profile_3"}));
    EXPECT_EQ(Read(file("Profile_3")), Bytes(kSettingsSize, 0));

    // Deleting Profile_2 frees its name for the next New.
    Select(*s, "Profile_2");
    s->Delete();
    EXPECT_FALSE(fs::exists(file("Profile_2")));
    EXPECT_EQ(s->rows(), (Rows{"Profile_1", "Profile_3"}));
    s->New();
    EXPECT_EQ(s->rows(), (Rows{"Profile_1", "Profile_2", "Profile_3"}));
    EXPECT_EQ(host.messages, std::vector<ProfileMessage>{ProfileMessage::ConfirmDelete});

    // The path table follows the sorted rows.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s->g_profilePaths()[i], file(s->rows()[i]));
    EXPECT_TRUE(s->g_profilePaths()[3].empty());
}

TEST_F(ProfileStoreTest, CandidateNamesOfLargeNumbers)
{
    EXPECT_EQ(ProfileCandidateName(9), "Profile_9");
    EXPECT_EQ(ProfileCandidateName(10), "Profile010");
    EXPECT_EQ(ProfileCandidateName(98), "Profile098");
    EXPECT_EQ(ProfileCandidateName(99), "Profile99");
}

TEST_F(ProfileStoreTest, CopyNamesHaveTwoSpacesThenANumber)
{
    MakeProfiles({{"Profile_1", 1}});
    auto s = Open();
    Select(*s, "Profile_1");
    s->Copy();
    ASSERT_TRUE(fs::exists(file("Copy of  Profile_1")));
    Select(*s, "Profile_1");
    s->Copy();
    ASSERT_TRUE(fs::exists(file("Copy of  Profile_1 1")));
    Select(*s, "Profile_1");
    s->Copy();
    EXPECT_EQ(s->rows(), (Rows{"Copy of  Profile_1", "Copy of  Profile_1 1", "Copy of  Profile_1 2", "Profile_1"}));
    EXPECT_EQ(Read(file("Copy of  Profile_1 2")), Pattern(kImageSize, 1));
    EXPECT_TRUE(host.messages.empty());

    // Chinese prefix.
    auto zh = Open(kLanguageChinese);
    Select(*zh, "Profile_1");
    zh->Copy();
    EXPECT_EQ(Read(file("复制  Profile_1")), Pattern(kImageSize, 1));
}

TEST_F(ProfileStoreTest, CopyOfANewProfileIsAFullImageWithZerosWhereTheSourceEnds)
{
    fs::create_directories(folder());
    Bytes shortProfile = Pattern(kSettingsSize, 4);  // a settings block only
    Write(file("Short"), shortProfile);
    auto s = Open();
    Select(*s, "Short");
    s->Copy();
    Bytes copy = Read(file("Copy of  Short"));
    ASSERT_EQ(copy.size(), kImageSize);
    EXPECT_TRUE(std::equal(shortProfile.begin(), shortProfile.end(), copy.begin()));
    EXPECT_TRUE(std::all_of(copy.begin() + kSettingsSize, copy.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(Read(file("Short")), shortProfile);  // the source stays short

    // A source that cannot be read makes no copy (it would hold stale bytes).
    Write(folder() / "Gone.bin", Bytes{1});
    s->Refresh();
    Select(*s, "Gone");
    fs::remove(folder() / "Gone.bin");
    host.messages.clear();
    s->Copy();
    EXPECT_EQ(host.messages, std::vector<ProfileMessage>{ProfileMessage::ReadFailed});
    EXPECT_FALSE(fs::exists(file("Copy of  Gone")));
}

TEST_F(ProfileStoreTest, SixProfilesRefuseNewWithAMessageAndCopySilently)
{
    MakeProfiles({{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}, {"e", 5}, {"f", 6}});
    auto s = Open();
    auto before = Folder();
    s->New();
    EXPECT_EQ(host.messages, std::vector<ProfileMessage>{ProfileMessage::SixProfiles});
    Select(*s, "a");
    s->Copy();
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(Folder(), before);

    // Copy without a selection asks for one even when full.
    s->Select(-1);
    s->Copy();
    EXPECT_EQ(host.messages.back(), ProfileMessage::SelectToCopy);

    // A seventh file is scanned but not listed.
    Write(file("0first"), Bytes(10, 1));
    s->Refresh();
    EXPECT_EQ(s->rows(), (Rows{"0first", "a", "b", "c", "d", "e"}));
    EXPECT_EQ(s->g_nProfileCount(), 7);
    EXPECT_EQ(s->g_profilePaths()[6], file("f"));
}

TEST_F(ProfileStoreTest, DeleteKeepsTheLastProfileAndAsksFirst)
{
    MakeProfiles({{"Only", 1}});
    auto s = Open();
    Select(*s, "Only");
    s->Delete();
    EXPECT_EQ(host.messages, std::vector<ProfileMessage>{ProfileMessage::KeepOne});
    EXPECT_EQ(ProfileMessageTexts(ProfileMessage::KeepOne).text.english, "Please keep a profile\n");
    EXPECT_TRUE(fs::exists(file("Only")));

    MakeProfiles({{"Two", 2}});
    s->Refresh();
    host.messages.clear();
    s->Delete();  // the refresh cleared the selection
    EXPECT_EQ(host.messages, std::vector<ProfileMessage>{ProfileMessage::SelectToDelete});

    host.answer = false;  // Cancel
    Select(*s, "Two");
    s->Delete();
    EXPECT_TRUE(fs::exists(file("Two")));
    EXPECT_EQ(s->rows(), (Rows{"Only", "Two"}));
    EXPECT_EQ(s->selection(), -1);

    host.answer = true;
    Select(*s, "Two");
    s->Delete();
    EXPECT_FALSE(fs::exists(file("Two")));
    EXPECT_EQ(s->rows(), (Rows{"Only"}));
    EXPECT_EQ(Read(file("Only")), Pattern(kImageSize, 1));

    // A delete that fails says so, and the profile stays listed.
    MakeProfiles({{"Stuck", 3}});
    s->Refresh();
    Select(*s, "Stuck");
    fs::remove(file("Stuck"));
    fs::create_directory(file("Stuck"));  // replaced meanwhile by a folder with content
    Write(file("Stuck") / "inside", Bytes{1});
    host.messages.clear();
    s->Delete();
    EXPECT_EQ(host.messages,
              (std::vector<ProfileMessage>{ProfileMessage::ConfirmDelete, ProfileMessage::DeleteFailed}));
    EXPECT_EQ(Read(file("Stuck") / "inside"), Bytes{1});
}

TEST_F(ProfileStoreTest, SaveWritesTheImageToTheProfileAndTheChosenFile)
{
    MakeProfiles({{"P", 1}});
    auto s = Open();
    s->Save();
    EXPECT_EQ(host.messages, std::vector<ProfileMessage>{ProfileMessage::SelectToSave});
    EXPECT_TRUE(host.dialogs.empty());

    Fill(keymap.current(), 9);
    Select(*s, "P");
    host.files.push_back(tmp.path() / "export.bin");
    s->Save();
    EXPECT_EQ(Read(file("P")), Flatten(keymap.current()));
    EXPECT_EQ(Read(tmp.path() / "export.bin"), Flatten(keymap.current()));

    // Cancelling the file dialog still saves into the profile.
    const Bytes exported = Flatten(keymap.current());
    Fill(keymap.current(), 10);
    s->Save();
    EXPECT_EQ(Read(file("P")), Flatten(keymap.current()));
    EXPECT_EQ(Read(tmp.path() / "export.bin"), exported);
    EXPECT_EQ(host.dialogs.size(), 2u);
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(ProfileStoreTest, SaveThenLoadRestoresEveryByteOfTheImage)
{
    MakeProfiles({{"A", 1}, {"B", 2}});
    auto s = Open();
    Fill(keymap.current(), 21);
    const ConfigImage saved = keymap.current();
    Select(*s, "A");
    host.files.push_back(tmp.path() / "backup.bin");
    s->Save();

    Fill(keymap.current(), 22);  // change everything
    Select(*s, "B");
    host.files.push_back(file("A"));
    s->Load();
    EXPECT_EQ(keymap.current(), saved);
    EXPECT_EQ(Read(file("B")), Flatten(saved));  // Load overwrote the selected profile

    Fill(keymap.current(), 23);
    host.files.push_back(tmp.path() / "backup.bin");
    s->Load();
    EXPECT_EQ(keymap.current(), saved);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ProfileStoreTest, LoadOfAShortFileFillsWhatItHolds)
{
    MakeProfiles({{"P", 1}});
    auto s = Open();
    Fill(keymap.current(), 30);
    const ConfigImage before = keymap.current();
    Bytes part = Pattern(kSettingsSize + 100, 31);
    Write(tmp.path() / "short.bin", part);
    Select(*s, "P");
    host.files.push_back(tmp.path() / "short.bin");
    s->Load();
    EXPECT_TRUE(std::equal(part.begin(), part.begin() + kSettingsSize, keymap.current().settings.begin()));
    EXPECT_TRUE(std::equal(part.begin() + kSettingsSize, part.end(), keymap.current().keyTable.begin()));
    EXPECT_TRUE(
        std::equal(before.keyTable.begin() + 100, before.keyTable.end(), keymap.current().keyTable.begin() + 100));
    EXPECT_EQ(Read(file("P")), Flatten(keymap.current()));

    // A longer file: only the image's length is taken.
    Bytes longer = Pattern(kImageSize + 50, 32);
    Write(tmp.path() / "long.bin", longer);
    host.files.push_back(tmp.path() / "long.bin");
    s->Load();
    EXPECT_EQ(Flatten(keymap.current()), Bytes(longer.begin(), longer.begin() + kImageSize));
}

TEST_F(ProfileStoreTest, LoadThatLoadsNothingLeavesImageAndProfile)
{
    MakeProfiles({{"P", 1}});
    auto s = Open();
    s->Load();
    EXPECT_EQ(host.messages, std::vector<ProfileMessage>{ProfileMessage::SelectToLoad});

    Fill(keymap.current(), 40);
    const ConfigImage before = keymap.current();
    Select(*s, "P");
    s->Load();  // Cancel
    fs::create_directory(tmp.path() / "dir.bin");
    host.files.push_back(tmp.path() / "dir.bin");
    s->Load();  // unreadable
    host.files.push_back(tmp.path() / "missing.bin");
    s->Load();
    EXPECT_EQ(keymap.current(), before);
    EXPECT_EQ(Read(file("P")), Pattern(kImageSize, 1));
    EXPECT_EQ(host.messages, (std::vector<ProfileMessage>{ProfileMessage::SelectToLoad, ProfileMessage::ReadFailed,
                                                          ProfileMessage::ReadFailed}));
}

TEST_F(ProfileStoreTest, RenameCopiesThenRemovesTheOldFile)
{
    MakeProfiles({{"Old", 1}, {"Other", 2}});
    auto s = Open();
    TraceCapture trace;
    s->Rename(s->FindRow("Old"), "New name");
    EXPECT_FALSE(fs::exists(file("Old")));
    EXPECT_EQ(Read(file("New name")), Pattern(kImageSize, 1));
    EXPECT_EQ(s->rows(), (Rows{"New name", "Other"}));
    EXPECT_EQ(host.pauses, (std::vector<long>{100, 200, 300}));
    EXPECT_EQ(trace.count(file("New name").string() + "\n"), 1);

    // A typed ".bin" is part of the name: the row shows what was typed.
    s->Rename(s->FindRow("Other"), "third.bin");
    EXPECT_TRUE(fs::exists(folder() / "third.bin.bin"));
    EXPECT_EQ(s->rows(), (Rows{"New name", "third.bin"}));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ProfileStoreTest, RenameOntoATakenNameTouchesNoFile)
{
    MakeProfiles({{"A", 1}, {"B", 2}});
    fs::create_directories(folder() / "sub");
    Write(folder() / "notes.txt", Bytes{7});
    auto s = Open();
    const auto before = Folder();
    s->Rename(s->FindRow("A"), "B");
    s->Rename(s->FindRow("A"), "A");  // its own file
    EXPECT_EQ(Folder(), before);
    EXPECT_EQ(s->rows(), (Rows{"A", "B"}));
    EXPECT_TRUE(host.messages.empty());

    // Whatever already stands under the new file name is taken too, listed or not.
    fs::create_directory(file("sub"));
    for (auto name : {"c", "d", "e", "f"}) Write(file(name), Bytes{5});
    Write(file("g"), Bytes{6});  // scanned seventh, not listed
    s->Refresh();
    ASSERT_EQ(s->FindRow("g"), -1);
    const auto full = Folder();
    s->Rename(s->FindRow("A"), "sub");
    s->Rename(s->FindRow("A"), "g");
    EXPECT_EQ(Folder(), full);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(ProfileStoreTest, BadNamesAreRefusedAndNothingIsWritten)
{
    MakeProfiles({{"A", 1}, {"B", 2}});
    auto s = Open();
    const auto before = Folder();
    const auto parentBefore = std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator());
    // Its temporary (".<file>.<pid>.<6 characters>") would not fit a file name.
    const std::string longName(kMaxAtomicFileNameBytes - 3, 'x');
    for (const std::string& bad :
         {std::string(), std::string("   "), std::string("."), std::string(".."), std::string("../A"),
          std::string("../escaped"), std::string("a/b"), std::string("a\\b"), std::string("line\nbreak"), longName}) {
        host.messages.clear();
        s->Rename(s->FindRow("A"), bad);
        EXPECT_EQ(host.messages, std::vector<ProfileMessage>{ProfileMessage::BadName}) << bad;
        EXPECT_EQ(s->rows(), (Rows{"A", "B"})) << bad;
    }
    EXPECT_EQ(Folder(), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), parentBefore);
    EXPECT_TRUE(IsValidProfileName(std::string(kMaxAtomicFileNameBytes - 4, 'x')));
    EXPECT_TRUE(IsValidProfileName(".bin"));  // the file .bin.bin
    EXPECT_TRUE(IsValidProfileName(".hidden"));
    EXPECT_TRUE(IsValidProfileName("配置 1"));

    const auto& text = ProfileMessageTexts(ProfileMessage::BadName);
    EXPECT_NE(text.text.english.find('/'), std::string_view::npos);
    EXPECT_NE(text.text.chinese.find('/'), std::string_view::npos);
}

TEST_F(ProfileStoreTest, FailedWritesLeaveTheOldFiles)
{
    MakeProfiles({{"P", 1}, {"Q", 2}});
    auto s = Open();
    const auto before = Folder();
    Fill(keymap.current(), 50);
    WithFullDisk([&] {
        Select(*s, "P");
        host.files.push_back(tmp.path() / "export.bin");
        s->Save();
        host.files.push_back(file("Q"));
        s->Load();  // reads Q, cannot write P
        s->Rename(s->FindRow("P"), "Renamed");
        s->New();
        Select(*s, "Q");
        s->Copy();
    });
    EXPECT_EQ(Folder(), before);  // no temporaries left either
    EXPECT_FALSE(fs::exists(tmp.path() / "export.bin"));
    EXPECT_EQ(host.messages, (std::vector<ProfileMessage>{ProfileMessage::WriteFailed, ProfileMessage::WriteFailed,
                                                          ProfileMessage::WriteFailed, ProfileMessage::RenameFailed,
                                                          ProfileMessage::WriteFailed, ProfileMessage::WriteFailed}));
    EXPECT_EQ(ProfileMessageTexts(ProfileMessage::RenameFailed).text.english, "Fail");
}

TEST_F(ProfileStoreTest, ListIsSortedByteWiseAndNamesMapBackToTheirFiles)
{
    fs::create_directories(folder() / "dir.bin");  // folders are not profiles
    Write(folder() / "b.bin", Bytes{1});
    Write(folder() / "B.bin", Bytes{2});
    Write(folder() / "a.bin.bin", Bytes{3});
    Write(folder() / "note.txt", Bytes{4});
    Write(folder() / "upper.BIN", Bytes{5});
    TraceCapture trace;
    auto s = Open();
    EXPECT_EQ(s->rows(), (Rows{"B", "a.bin", "b"}));
    EXPECT_EQ(trace.count((folder() / "a.bin.bin").string() + "\n"), 1);

    // The row "a.bin" is the file a.bin.bin, never a.bin.
    Fill(keymap.current(), 60);
    Select(*s, "a.bin");
    s->Save();
    EXPECT_EQ(Read(folder() / "a.bin.bin"), Flatten(keymap.current()));
    EXPECT_FALSE(fs::exists(folder() / "a.bin"));
}

}  // namespace
}  // namespace zr417
