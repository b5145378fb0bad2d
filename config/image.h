// The configuration image: a settings block and a key table laid out as the
// keyboard's wire images, in a working and a saved copy, and keymap.bin,
// which holds exactly the two blocks (no header).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace zr417 {

class FileWriter;

constexpr std::size_t kSettingsSize = 16256;
constexpr std::size_t kKeyEntrySize = 772;
constexpr std::size_t kKeyEntryCount = 255;
constexpr std::size_t kKeyTableSize = kKeyEntrySize * kKeyEntryCount;  // 196860
constexpr std::size_t kImageSize = kSettingsSize + kKeyTableSize;      // 213116

// Offsets within the settings block.
namespace settings {
constexpr std::size_t ReportInterval = 11;  // 8, 4, 2 or 1
constexpr std::size_t MediaFlags = 792;     // 126 records of 4 bytes
constexpr std::size_t MediaFlagRecords = 126;
constexpr std::size_t MacroSlots = 1304;  // 12 slots of 256 bytes
constexpr std::size_t MacroSlotSize = 256;
constexpr std::size_t MacroSlotCount = 12;
constexpr std::size_t GameMode = 4399;    // 1 = on
constexpr std::size_t WinLock = 4421;     // 1 = on
constexpr std::size_t StatusCopy = 6983;  // status reply bytes 3, 6, 2, 4, 5
constexpr std::size_t LedGroup0 = 6988;   // effect, brightness, speed, colour index, direction
constexpr std::size_t Effect = 6988;
constexpr std::size_t Brightness = 6989;
constexpr std::size_t Speed = 6990;
constexpr std::size_t ColourIndex = 6991;
constexpr std::size_t Direction = 6992;
constexpr std::size_t LedGroup6 = 6993;  // second zone: mode, brightness, speed, colour index, direction
constexpr std::size_t ZoneMode = 6993;
constexpr std::size_t ZoneBrightness = 6994;
constexpr std::size_t ZoneSpeed = 6995;
constexpr std::size_t ZoneColourIndex = 6996;
constexpr std::size_t ZoneDirection = 6997;
constexpr std::size_t LedGroupSize = 5;
constexpr std::size_t ColourTable = 6998;  // 7 x (R, G, B)
constexpr std::size_t KeyMatrix = 7019;    // 513-byte report 6 wire image
constexpr std::size_t KeyMatrixSize = 513;
constexpr std::size_t Plane0 = 7020;  // planes of 128 bytes follow each other
constexpr std::size_t PlaneSize = 128;
constexpr std::size_t MacroPages = 7532;  // 12 pages of 513 bytes
constexpr std::size_t PageSize = 513;
constexpr std::size_t MacroPageCount = 12;
constexpr std::size_t PicturePages = 13688;  // 5 pages of 513 bytes
constexpr std::size_t PicturePageCount = 5;
}  // namespace settings

// Offsets within one 772-byte key table entry.
namespace entry {
constexpr std::size_t Vk = 0;    // virtual-key code of the key
constexpr std::size_t Kind = 1;  // 0 single .. 7 open folder
constexpr std::size_t Data = 2;  // 255 bytes of assignment data
constexpr std::size_t DataSize = 255;
constexpr std::size_t Count = 257;  // number of keys chosen
constexpr std::size_t Path = 260;   // UTF-16LE path, up to 255 characters + terminator
constexpr std::size_t PathChars = 256;
}  // namespace entry

// The host-action path of a key table entry: UTF-16LE at byte 260, up to 255
// characters before its terminator (a missing terminator ends it there too).
std::u16string ReadEntryPath(const std::uint8_t* entry);

struct ConfigImage {
    std::array<std::uint8_t, kSettingsSize> settings{};
    std::array<std::uint8_t, kKeyTableSize> keyTable{};

    std::uint8_t* entry(std::size_t e) { return keyTable.data() + e * kKeyEntrySize; }
    const std::uint8_t* entry(std::size_t e) const { return keyTable.data() + e * kKeyEntrySize; }
    // Byte of plane p (0..3) of the key matrix at matrix position pos.
    std::uint8_t& plane(int p, std::size_t pos) { return settings[settings::Plane0 + settings::PlaneSize * p + pos]; }
    std::uint8_t plane(int p, std::size_t pos) const
    {
        return settings[settings::Plane0 + settings::PlaneSize * p + pos];
    }
    std::uint8_t& at(std::size_t settingsOffset) { return settings[settingsOffset]; }
    std::uint8_t at(std::size_t settingsOffset) const { return settings[settingsOffset]; }

    bool operator==(const ConfigImage&) const = default;

    // Takes the bytes of a keymap.bin or profile file: the settings block,
    // then the key table. A short file fills what it holds; the rest keeps
    // its contents. keepSettings takes the key table only.
    void fill(const std::vector<std::uint8_t>& bytes, bool keepSettings = false);
};

// Owner of the working and the saved image and of keymap.bin.
class KeymapStore {
public:
    explicit KeymapStore(std::filesystem::path file);
    KeymapStore(const KeymapStore&) = delete;
    KeymapStore& operator=(const KeymapStore&) = delete;

    const std::filesystem::path& file() const { return file_; }

    // The working image every editor changes.
    ConfigImage& current() { return current_; }
    const ConfigImage& current() const { return current_; }
    // As last sent to the keyboard (or as loaded at start); it changes only
    // by a commit.
    const ConfigImage& saved() const { return saved_; }

    // One-shot: the next load keeps the settings block and takes only the key
    // table from the file; the load clears it.
    bool g_bKeepSettings() const { return keepSettings_; }
    void KeepSettingsOnNextLoad(bool keep) { keepSettings_ = keep; }

    // Loads keymap.bin into the current image, then RefreshKeyCodes. A missing
    // file is created (zero key table, current settings block). Returns false
    // when the file existed but could not be read, or could not be created.
    // After a failed save the file is behind: the load takes what the failed
    // save meant to write instead, so nothing is lost until a save succeeds.
    bool LoadKeymapFile();
    // Writes the current / saved image atomically. False leaves the old file
    // (and the image in memory) as they were.
    bool SaveKeymapFile();
    bool SaveSavedImage();
    // From now on keymap.bin is written by `writer`, behind whatever was
    // asked of it before: the saves above wait for their write, the one
    // below does not, and a load first waits for the writes under way.
    void WriteThrough(std::shared_ptr<FileWriter> writer);
    // Queues a write of the current image as it stands now and returns at
    // once; `done` hears how it went, on the writer's thread. Without a
    // writer the write happens now.
    void SaveKeymapFileLater(std::function<void(bool written)> done = {});
    // The same for `image` instead of the current one.
    void SaveKeymapFileLater(const ConfigImage& image, std::function<void(bool written)> done);
    // True from a failed save until the next successful one.
    bool unsaved() const;
    // Why the last save failed (an errno value); empty once a save succeeds.
    std::error_code saveError() const;
    // The working image, or `image` (what a change that leaves the working
    // image's other edits alone gave the keyboard), becomes the saved one.
    void CommitSavedImage();
    void CommitSavedImage(const ConfigImage& image);
    // How many times the saved image was committed (others tell by it that
    // the keyboard was given something new).
    std::uint64_t commitCount() const { return commits_; }
    // Byte 0 of entries 0..103 from the fixed key list.
    void RefreshKeyCodes();
    // Start-up order: zero the key table, clear the keep flag, load, refresh
    // key codes, commit the saved image.
    void Startup();

private:
    ConfigImage current_;
    ConfigImage saved_;
    // What the last save, when it failed, meant to write; the writer's
    // thread records how its writes went.
    struct Unwritten {
        mutable std::mutex mutex;
        std::unique_ptr<ConfigImage> image;
        std::error_code error;
        void note(const ConfigImage& meant, std::error_code failure);
    };
    bool save(const ConfigImage& image);
    // Hands a write of `image` to the writer; `done` runs on its thread.
    void queue(const ConfigImage& image, std::function<void(bool written)> done);

    std::filesystem::path file_;
    bool keepSettings_ = false;
    std::shared_ptr<Unwritten> unwritten_ = std::make_shared<Unwritten>();
    std::shared_ptr<FileWriter> writer_;
    std::uint64_t commits_ = 0;
};

}  // namespace zr417
