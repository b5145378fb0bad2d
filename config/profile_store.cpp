#include "config/profile_store.h"

#include "config/keys.h"
#include "platform/files.h"
#include "platform/trace.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace zr417 {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr Bilingual kCaption{"Profile", "配置管理"};
constexpr Bilingual kAppCaption{"ZR417 RGB Gaming Keyboard", "ZR417 RGB Gaming Keyboard"};
bool EndsWithExtension(std::string_view name)
{
    return name.size() >= kProfileExtension.size() &&
           name.substr(name.size() - kProfileExtension.size()) == kProfileExtension;
}

}  // namespace

ProfileMessageText ProfileMessageTexts(ProfileMessage message)
{
    switch (message) {
        case ProfileMessage::SixProfiles:
            return {{"Only Create Six Profile mostly\n", "最多可以存储6个配置\n"}, kCaption};
        case ProfileMessage::SelectToSave:
            return {{"Please select a profile to Save\n", "请选择一个配置存储"}, kCaption};
        case ProfileMessage::SelectToLoad:
            return {{"Please select a profile to Open\n", "请选择一个配置打开"}, kCaption};
        case ProfileMessage::SelectToCopy:
            return {{"Please select a profile to copy\n", "请选择一个配置拷贝"}, kCaption};
        case ProfileMessage::KeepOne:
            return {{"Please keep a profile\n", "请至少保留一个配置文件"}, kCaption};
        case ProfileMessage::SelectToDelete:
            return {{"Please select a profile to delete\n", "请选择一个配置删除"}, kCaption};
        case ProfileMessage::ConfirmDelete:
            return {{"Delete current profile ?", "删除当前配置文件吗"}, kCaption, true};
        case ProfileMessage::RenameFailed:
            return {{"Fail", "Fail"}, kAppCaption};
        case ProfileMessage::BadName:
            return {{"This name cannot be used for a profile file.\n"
                     "A name must not be empty, \".\" or \"..\", contain \"/\" or \"\\\", or be too long.\n",
                     "此名称不能用作配置文件名。\n"
                     "名称不能为空，不能是“.”或“..”，不能包含“/”或“\\”，也不能过长。\n"},
                    kCaption};
        case ProfileMessage::WriteFailed:
            return {{"The profile file could not be written.\n", "无法写入配置文件。\n"}, kCaption};
        case ProfileMessage::ReadFailed:
            return {{"The file could not be read.\n", "无法读取文件。\n"}, kCaption};
        case ProfileMessage::DeleteFailed:
            return {{"The profile file could not be deleted.\n", "无法删除配置文件。\n"}, kCaption};
    }
    return {};
}

std::string ProfileFileName(std::string_view name)
{
    // Even "a.bin" gets its own ending: read as the file a.bin, it would be
    // profile "a".
    return std::string(name) + std::string(kProfileExtension);
}

std::string ProfileNameOfFile(std::string_view fileName)
{
    // Only the ending comes off, so the row always maps back to its own file.
    if (EndsWithExtension(fileName)) fileName.remove_suffix(kProfileExtension.size());
    return std::string(fileName);
}

bool IsValidProfileName(std::string_view name)
{
    // The file is written through a temporary with a longer name, which
    // must fit too.
    if (name.empty() || name == "." || name == ".." || ProfileFileName(name).size() > kMaxAtomicFileNameBytes)
        return false;
    if (name.find_first_not_of(" \t") == std::string_view::npos) return false;
    for (unsigned char c : name) {
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

std::string ProfileCandidateName(int i)
{
    if (i <= 9) return "Profile_" + std::to_string(i);
    if (i <= 98) return "Profile0" + std::to_string(i);
    return "Profile" + std::to_string(i);
}

ProfileStore::ProfileStore(KeymapStore& image, fs::path profileDir, fs::path dialogDir, int language, Host& host)
    : profileDir_(std::move(profileDir)),
      profilePaths_(kProfilePathSlots),
      image_(image),
      dialogDir_(std::move(dialogDir)),
      language_(language),
      host_(host)
{
}

void ProfileStore::Open()
{
    std::error_code ec;
    fs::create_directories(profileDir_, ec);
    rows_.clear();
    selected_ = -1;
    std::fill(profilePaths_.begin(), profilePaths_.end(), fs::path());
    FillProfileList();
    RebuildProfilePaths();
    host_.listChanged();
}

void ProfileStore::Select(int row)
{
    selected_ = row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1;
}

int ProfileStore::FindRow(std::string_view name) const
{
    auto it = std::find(rows_.begin(), rows_.end(), name);
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

fs::path ProfileStore::PathOfRow(int row) const
{
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
    return pathOf(rows_[static_cast<std::size_t>(row)]);
}

fs::path ProfileStore::pathOf(std::string_view name) const
{
    // The row "a.bin" lists the file a.bin.bin.
    return profileDir_ / ProfileFileName(name);
}

bool ProfileStore::hasRow(std::string_view name) const
{
    return FindRow(name) >= 0;
}

void ProfileStore::addRow(const std::string& name)
{
    // The list keeps its rows sorted, as a sorted list box does.
    rows_.insert(std::upper_bound(rows_.begin(), rows_.end(), name), name);
}

void ProfileStore::storeNewPath(const fs::path& path)
{
    if (profileCount_ >= 0 && static_cast<std::size_t>(profileCount_) < profilePaths_.size())
        profilePaths_[static_cast<std::size_t>(profileCount_++)] = path;
}

void ProfileStore::FillProfileList()
{
    profileCount_ = 0;
    rows_.clear();
    selected_ = -1;
    // Scanned in name order, so which six are listed does not depend on the
    // file system's order.
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(profileDir_, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_directory(typeEc)) continue;
        std::string file = it->path().filename().string();
        if (!EndsWithExtension(file) || ProfileNameOfFile(file).empty()) continue;
        files.push_back(std::move(file));
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        storeNewPath(profileDir_ / file);
        if (profileCount_ > kMaxProfiles) break;  // the seventh path stays stored but is not listed
        addRow(ProfileNameOfFile(file));
    }
}

void ProfileStore::RebuildProfilePaths()
{
    for (std::size_t i = 0; i < rows_.size() && i < profilePaths_.size(); ++i) {
        profilePaths_[i] = pathOf(rows_[i]);
        Tracef("%s\n", profilePaths_[i].c_str());
    }
}

void ProfileStore::Refresh()
{
    rows_.clear();
    std::fill(profilePaths_.begin(), profilePaths_.end(), fs::path());
    FillProfileList();
    RebuildProfilePaths();
    host_.listChanged();
}

std::string ProfileStore::MakeNewProfileName() const
{
    for (int i = 1;; ++i) {
        std::string candidate = ProfileCandidateName(i);
        if (!hasRow(candidate)) return candidate;
    }
}

std::string ProfileStore::MakeCopyName(std::string_view source) const
{
    const std::string base = std::string(profile_text::kCopyPrefix.in(language_)) + " " + std::string(source);
    std::string candidate = base;
    for (int i = 1; hasRow(candidate); ++i) candidate = base + " " + std::to_string(i);
    return candidate;
}

bool ProfileStore::write(const fs::path& path, const ConfigImage& image)
{
    if (WriteFileAtomic(path, {image.settings, image.keyTable})) return true;
    host_.messageBox(ProfileMessage::WriteFailed);
    return false;
}

void ProfileStore::New()
{
    if (rows_.size() > kMaxProfiles - 1) {
        host_.messageBox(ProfileMessage::SixProfiles);
        return;
    }
    const std::string name = MakeNewProfileName();
    const fs::path path = pathOf(name);
    // A new profile holds a zero settings block only, until it is saved or loaded.
    const std::vector<std::uint8_t> zeros(kSettingsSize, 0);
    if (!WriteFileAtomic(path, zeros)) {
        host_.messageBox(ProfileMessage::WriteFailed);
        return;
    }
    storeNewPath(path);
    Refresh();
}

void ProfileStore::Copy()
{
    if (selected_ < 0) {
        host_.messageBox(ProfileMessage::SelectToCopy);
        return;
    }
    if (rows_.size() > kMaxProfiles - 1) return;
    const std::string source = rows_[static_cast<std::size_t>(selected_)];
    auto bytes = ReadFileBytes(PathOfRow(selected_), kImageSize);
    if (!bytes) {
        // Without its source a copy would hold whatever the buffer held before.
        host_.messageBox(ProfileMessage::ReadFailed);
        return;
    }
    // A short source (a New profile never saved) leaves zeros in what it lacks;
    // the copy is always a full image.
    std::vector<std::uint8_t> image(kImageSize, 0);
    std::copy(bytes->begin(), bytes->end(), image.begin());
    const std::string name = MakeCopyName(source);
    const fs::path path = pathOf(name);
    if (!WriteFileAtomic(path, image)) {
        host_.messageBox(ProfileMessage::WriteFailed);
        return;
    }
    storeNewPath(path);
    Refresh();
}

void ProfileStore::Save()
{
    if (selected_ < 0) {
        host_.messageBox(ProfileMessage::SelectToSave);
        return;
    }
    const fs::path profile = PathOfRow(selected_);
    auto exportFile = host_.chooseFile(FileChoice::Save, dialogDir_);
    write(profile, image_.current());
    if (exportFile && !exportFile->empty()) write(*exportFile, image_.current());
    host_.listChanged();
}

void ProfileStore::Load()
{
    if (selected_ < 0) {
        host_.messageBox(ProfileMessage::SelectToLoad);
        return;
    }
    const fs::path profile = PathOfRow(selected_);
    auto chosen = host_.chooseFile(FileChoice::Open, dialogDir_);
    // Cancel, or a file that cannot be read, loads nothing and so must not
    // overwrite the selected profile either.
    if (!chosen || chosen->empty()) return;
    auto bytes = ReadFileBytes(*chosen, kImageSize);
    if (!bytes) {
        host_.messageBox(ProfileMessage::ReadFailed);
        return;
    }
    // A short file fills what it holds; the rest of the image stays.
    ConfigImage& image = image_.current();
    image.fill(*bytes);
    write(profile, image);
    host_.listChanged();
}

void ProfileStore::Delete()
{
    if (rows_.size() == 1) {
        host_.messageBox(ProfileMessage::KeepOne);
        return;
    }
    if (selected_ < 0) {
        host_.messageBox(ProfileMessage::SelectToDelete);
        return;
    }
    if (host_.messageBox(ProfileMessage::ConfirmDelete)) {
        const std::size_t row = static_cast<std::size_t>(selected_);
        std::error_code ec;
        fs::remove(PathOfRow(selected_), ec);
        if (ec) {
            host_.messageBox(ProfileMessage::DeleteFailed);
        } else {
            rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
            std::move(profilePaths_.begin() + static_cast<std::ptrdiff_t>(row) + 1, profilePaths_.end(),
                      profilePaths_.begin() + static_cast<std::ptrdiff_t>(row));
            profilePaths_.back().clear();
            if (profileCount_ > 0) --profileCount_;
            selected_ = -1;
        }
    }
    Refresh();
}

void ProfileStore::Rename(int startRow, const std::string& newName)
{
    if (startRow < 0 || startRow >= static_cast<int>(rows_.size())) {
        Refresh();
        return;
    }
    if (!IsValidProfileName(newName)) {
        host_.messageBox(ProfileMessage::BadName);
        Refresh();  // the row shows its old name again
        return;
    }
    const fs::path newPath = pathOf(newName);
    const fs::path oldPath = profilePaths_[static_cast<std::size_t>(startRow)];
    std::error_code ec;
    const bool taken = std::find(profilePaths_.begin(), profilePaths_.end(), newPath) != profilePaths_.end() ||
                       fs::exists(fs::symlink_status(newPath, ec));
    if (taken) {
        // Another profile's name (or any file already there): no file is touched.
        Refresh();
        host_.pause(300ms);
        return;
    }
    // Copy first, delete the old file only once the new one is complete.
    auto bytes = ReadFileBytes(oldPath);
    if (!bytes || !WriteFileAtomic(newPath, *bytes)) {
        host_.messageBox(ProfileMessage::RenameFailed);
    } else {
        host_.pause(100ms);
        fs::remove(oldPath, ec);
        if (ec) {
            // Two files under two names would list the profile twice.
            std::error_code undo;
            fs::remove(newPath, undo);
            host_.messageBox(ProfileMessage::RenameFailed);
        } else {
            profilePaths_[static_cast<std::size_t>(startRow)] = newPath;
        }
    }
    host_.pause(200ms);
    Refresh();
    host_.pause(300ms);
}

}  // namespace zr417
