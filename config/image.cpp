#include "config/image.h"

#include "config/keys.h"
#include "platform/file_writer.h"
#include "platform/files.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <future>
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
    const bool keepSettings = std::exchange(keepSettings_, false);
    if (writer_) writer_->WaitUntilIdle();
    {
        std::lock_guard lock(unwritten_->mutex);
        if (const ConfigImage* meant = unwritten_->image.get()) {
            if (!keepSettings) current_.settings = meant->settings;
            current_.keyTable = meant->keyTable;
            RefreshKeyCodes();
            return true;
        }
    }
    auto bytes = ReadFileBytes(file_, kImageSize);
    if (!bytes) {
        // Only a file that is really missing is created anew; one that exists
        // but cannot be read (a directory, no permission) is left alone, and
        // so is the image in memory.
        struct stat st {};
        if (::stat(file_.c_str(), &st) == 0 || errno != ENOENT) return false;
        const std::vector<std::uint8_t> zeroTable(kKeyTableSize, 0);
        if (!WriteFileAtomic(file_, {current_.settings, zeroTable})) return false;
        current_.keyTable.fill(0);
        return true;
    }
    current_.fill(*bytes, keepSettings);
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

namespace {

std::vector<std::uint8_t> FileBytes(const ConfigImage& image)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kImageSize);
    bytes.insert(bytes.end(), image.settings.begin(), image.settings.end());
    bytes.insert(bytes.end(), image.keyTable.begin(), image.keyTable.end());
    return bytes;
}

}  // namespace

void KeymapStore::Unwritten::note(const ConfigImage& meant, std::error_code failure)
{
    std::lock_guard lock(mutex);
    error = failure;
    if (!failure)
        image.reset();
    else
        image = std::make_unique<ConfigImage>(meant);
}

bool KeymapStore::save(const ConfigImage& image)
{
    if (!writer_) {
        const WriteResult result = WriteFileAtomic(file_, {image.settings, image.keyTable});
        unwritten_->note(image, result.error);
        return static_cast<bool>(result);
    }
    std::promise<bool> outcome;
    std::future<bool> written = outcome.get_future();
    queue(image, [&outcome](bool ok) { outcome.set_value(ok); });
    return written.get();
}

void KeymapStore::queue(const ConfigImage& image, std::function<void(bool written)> done)
{
    writer_->Write(file_, FileBytes(image),
                   [unwritten = unwritten_, meant = std::make_shared<const ConfigImage>(image),
                    done = std::move(done)](const WriteResult& result) {
                       unwritten->note(*meant, result.error);
                       if (done) done(static_cast<bool>(result));
                   });
}

void KeymapStore::WriteThrough(std::shared_ptr<FileWriter> writer)
{
    writer_ = std::move(writer);
}

void KeymapStore::SaveKeymapFileLater(std::function<void(bool written)> done)
{
    SaveKeymapFileLater(current_, std::move(done));
}

void KeymapStore::SaveKeymapFileLater(const ConfigImage& image, std::function<void(bool written)> done)
{
    if (!writer_) {
        const bool written = save(image);
        if (done) done(written);
        return;
    }
    queue(image, std::move(done));
}

bool KeymapStore::unsaved() const
{
    std::lock_guard lock(unwritten_->mutex);
    return unwritten_->image != nullptr;
}

std::error_code KeymapStore::saveError() const
{
    std::lock_guard lock(unwritten_->mutex);
    return unwritten_->error;
}

bool KeymapStore::SaveKeymapFile()
{
    return save(current_);
}

bool KeymapStore::SaveSavedImage()
{
    return save(saved_);
}

void KeymapStore::CommitSavedImage()
{
    CommitSavedImage(current_);
}

void KeymapStore::CommitSavedImage(const ConfigImage& image)
{
    saved_ = image;
    ++commits_;
}

void KeymapStore::RefreshKeyCodes()
{
    for (int k = 0; k < kKeyCount; ++k) current_.entry(k)[entry::Vk] = g_defaultVkByKey[k];
}

void KeymapStore::Startup()
{
    current_.keyTable.fill(0);
    keepSettings_ = false;
    LoadKeymapFile();
    RefreshKeyCodes();
    CommitSavedImage();
}

}  // namespace zr417
