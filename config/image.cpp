#include "config/image.h"

#include "config/keys.h"
#include "platform/files.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

namespace zr417 {

std::u16string ReadEntryPath(const std::uint8_t* e)
{
    std::u16string path;
    const std::uint8_t* in = e + entry::Path;
    for (std::size_t i = 0; i + 1 < entry::PathChars; ++i) {
        auto u = static_cast<char16_t>(in[2 * i] | in[2 * i + 1] << 8);
        if (u == 0) break;
        path += u;
    }
    return path;
}

KeymapStore::KeymapStore(std::filesystem::path file) : file_(std::move(file)) {}

bool KeymapStore::LoadKeymapFile()
{
    // One-shot: this load consumes the flag whatever happens, so a failed
    // load cannot leak "keep settings" into a later, unrelated one.
    const bool keepSettings = std::exchange(g_bKeepSettings, false);
    if (unwritten_) {
        if (!keepSettings) current.settings = unwritten_->settings;
        current.keyTable = unwritten_->keyTable;
        RefreshKeyCodes();
        return true;
    }
    auto bytes = ReadFileBytes(file_, kImageSize);
    if (!bytes) {
        // Only a file that is really missing is created anew; one that exists
        // but cannot be read (a directory, no permission) is left alone, and
        // so is the image in memory.
        struct stat st {};
        if (::stat(file_.c_str(), &st) == 0 || errno != ENOENT) return false;
        const std::vector<std::uint8_t> zeroTable(kKeyTableSize, 0);
        if (!WriteFileAtomic(file_, {current.settings, zeroTable})) return false;
        current.keyTable.fill(0);
        return true;
    }
    current.fill(*bytes, keepSettings);
    RefreshKeyCodes();
    return true;
}

void ConfigImage::fill(const std::vector<std::uint8_t>& bytes, bool keepSettings)
{
    const std::size_t size = bytes.size();
    const std::uint8_t* data = bytes.data();
    if (!keepSettings) std::copy_n(data, std::min(size, kSettingsSize), settings.begin());
    if (size > kSettingsSize)
        std::copy_n(data + kSettingsSize, std::min(size - kSettingsSize, kKeyTableSize), keyTable.begin());
}

bool KeymapStore::save(const ConfigImage& image)
{
    if (WriteFileAtomic(file_, {image.settings, image.keyTable})) {
        unwritten_.reset();
        return true;
    }
    unwritten_ = std::make_unique<ConfigImage>(image);
    return false;
}

bool KeymapStore::SaveKeymapFile()
{
    return save(current);
}

bool KeymapStore::SaveSavedImage()
{
    return save(saved);
}

void KeymapStore::CommitSavedImage()
{
    saved = current;
    ++commits_;
}

void KeymapStore::RefreshKeyCodes()
{
    for (int k = 0; k < kKeyCount; ++k) current.entry(k)[entry::Vk] = g_defaultVkByKey[k];
}

void KeymapStore::Startup()
{
    current.keyTable.fill(0);
    g_bKeepSettings = false;
    LoadKeymapFile();
    RefreshKeyCodes();
    CommitSavedImage();
}

}  // namespace zr417
