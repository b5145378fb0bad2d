// The profile store: up to six named copies of the configuration image, one
// file "<name>.bin" each in the profile folder, laid out exactly like
// keymap.bin. This is the profile manager without its window: the sorted list
// of names, the path table behind it and the New, Copy, Save, Load, Delete and
// rename commands. Message boxes, file dialogs and pauses go through Host, so
// every rule runs in unit tests.
#pragma once

#include "config/image.h"
#include "config/keys.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr417 {

constexpr int kMaxProfiles = 6;
constexpr std::size_t kProfilePathSlots = 255;
constexpr std::string_view kProfileExtension = ".bin";

namespace profile_text {
inline constexpr Bilingual kTitle{"Profile", "配置"};
inline constexpr Bilingual kNew{"New", "新建"};
inline constexpr Bilingual kCopy{"Copy", "复制"};
inline constexpr Bilingual kSave{"Save", "保存"};
inline constexpr Bilingual kLoad{"Load", "加载"};
inline constexpr Bilingual kDelete{"Delete", "删除"};
inline constexpr Bilingual kCopyPrefix{"Copy of ", "复制 "};
inline constexpr Bilingual kMenuCaption{"profile", "profile"};
// The program's own item of the menu (its tray menu has it too).
inline constexpr Bilingual kAutomaticProfiles{"Automatic profiles…", "自动切换配置…"};
}  // namespace profile_text

enum class ProfileMessage {
    SixProfiles,     // New with six profiles listed
    SelectToSave,    // Save without a selection
    SelectToLoad,    // Load without a selection
    SelectToCopy,    // Copy without a selection
    KeepOne,         // Delete with one profile left
    SelectToDelete,  // Delete without a selection
    ConfirmDelete,   // OK / Cancel before a profile is deleted
    RenameFailed,    // the renamed copy could not be made
    BadName,         // a typed name that is no file name in the folder
    WriteFailed,     // a profile or export file could not be written
    ReadFailed,      // a profile or a chosen file could not be read
    DeleteFailed,    // a confirmed delete left the file in place
};

struct ProfileMessageText {
    Bilingual text;
    Bilingual caption;
    bool okCancel = false;
};
ProfileMessageText ProfileMessageTexts(ProfileMessage message);

// A profile name is its file "<name>.bin" in the profile folder, always (a
// name ending in ".bin" too), so every name has one file and every file one
// name. Refused: empty or blank names, "." and "..", path separators ('/'
// and '\'), control characters, and names whose file is too long to be
// written.
bool IsValidProfileName(std::string_view name);
// The file name of a profile name ("<name>.bin"), and the list name of a
// file name (one ".bin" off its end).
std::string ProfileFileName(std::string_view name);
std::string ProfileNameOfFile(std::string_view fileName);

// "Profile_%d" for i <= 9, "Profile0%d" for 10..98, "Profile%d" from 99 on.
std::string ProfileCandidateName(int i);

class ProfileStore {
public:
    enum class FileChoice { Save, Open };

    class Host {
    public:
        virtual ~Host() = default;
        // Shows a message in the store's language; true when the user chose OK.
        virtual bool messageBox(ProfileMessage message) = 0;
        // The save-as or open file dialog starting in `folder`; nullopt for Cancel.
        virtual std::optional<std::filesystem::path> chooseFile(FileChoice choice,
                                                                const std::filesystem::path& folder) = 0;
        virtual void pause(std::chrono::milliseconds ms) = 0;
        // The list's rows were rebuilt (the selection is gone) or need a redraw.
        virtual void listChanged() {}
    };

    // `profileDir` holds the profiles; `dialogDir` is where the file dialogs
    // start. The image loaded and saved is `image.current`.
    ProfileStore(KeymapStore& image, std::filesystem::path profileDir, std::filesystem::path dialogDir, int language,
                 Host& host);

    // The panel opening: creates the folder when it is missing, then
    // FillProfileList and RebuildProfilePaths on a cleared path table.
    void Open();

    // --- what the list shows ------------------------------------------------
    const std::vector<std::string>& rows() const { return rows_; }
    int selection() const { return selected_; }
    void Select(int row);  // -1 or out of range: none
    int FindRow(std::string_view name) const;
    // File of list row `row` (empty when out of range).
    std::filesystem::path PathOfRow(int row) const;

    // --- the commands ---------------------------------------------------------
    void New();
    void Copy();
    void Save();
    void Load();
    void Delete();
    // The in-place edit of the row at which the edit began, committed with
    // `newName`. A bad name is refused with a message and nothing is written;
    // a name that is taken (listed or an existing file) touches no file.
    void Rename(int startRow, const std::string& newName);

    // --- the steps the commands are made of ------------------------------------
    void FillProfileList();
    void RebuildProfilePaths();
    void Refresh();
    std::string MakeNewProfileName() const;
    std::string MakeCopyName(std::string_view source) const;

    // Process-wide state of the manager, kept between openings: the profile
    // folder, the file of each list row (kProfilePathSlots entries) and how
    // many the folder scan stored.
    const std::filesystem::path& g_szProfileDir() const { return profileDir_; }
    const std::vector<std::filesystem::path>& g_profilePaths() const { return profilePaths_; }
    int g_nProfileCount() const { return profileCount_; }

private:
    bool hasRow(std::string_view name) const;
    void addRow(const std::string& name);
    void storeNewPath(const std::filesystem::path& path);
    bool write(const std::filesystem::path& path, const ConfigImage& image);
    std::filesystem::path pathOf(std::string_view name) const;

    std::filesystem::path profileDir_;
    std::vector<std::filesystem::path> profilePaths_;
    int profileCount_ = 0;
    KeymapStore& image_;
    std::filesystem::path dialogDir_;
    int language_;
    Host& host_;
    std::vector<std::string> rows_;  // sorted, case-sensitive
    int selected_ = -1;
};

}  // namespace zr417
