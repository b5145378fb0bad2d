#include "macro/macro_store.h"

#include "platform/files.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zr417 {

namespace {

std::span<const std::uint8_t> Bytes(const MacroTable& t)
{
    return {reinterpret_cast<const std::uint8_t*>(&t), sizeof t};
}

}  // namespace

void PlaceMacrosInImage(const MacroTable& table, ConfigImage& image)
{
    for (int m = 0; m < static_cast<int>(settings::MacroSlotCount); ++m) {
        const MacroRecord& r = table[m];
        if (r.free()) break;
        std::uint8_t* slot = image.settings.data() + settings::MacroSlots + settings::MacroSlotSize * m;
        std::uint16_t loops = r.loops();
        slot[0] = static_cast<std::uint8_t>(loops >> 8);
        slot[1] = static_cast<std::uint8_t>(loops & 0xFF);
        std::memcpy(slot + 2, &r.deviceSteps, sizeof r.deviceSteps);
    }
}

MacroStore::MacroStore(std::filesystem::path file) : file_(std::move(file)) {}

MacroStore::LoadResult MacroStore::LoadMacroFile()
{
    auto bytes = ReadFileBytes(file_, kMacroTableSize);
    if (!bytes) {
        // Only a file that is really missing is created; one that is there but
        // cannot be read keeps its macros.
        struct stat st {};
        if (::stat(file_.c_str(), &st) == 0 || errno != ENOENT) return LoadResult::Unreadable;
        return WriteFileAtomic(file_, Bytes(macroTable_)) ? LoadResult::Created : LoadResult::CreateFailed;
    }
    macroTable_ = MacroTable{};
    // An empty file has no buffer at all (data() is null): nothing to copy.
    if (!bytes->empty()) std::memcpy(&macroTable_, bytes->data(), std::min(bytes->size(), kMacroTableSize));
    return LoadResult::Loaded;
}

bool MacroStore::SaveMacroFile()
{
    saveError_ = WriteFileAtomic(file_, Bytes(macroTable_)).error;
    return !saveError_;
}

std::vector<std::string> MacroStore::BuildStepLines(int record)
{
    if (record < 0 || record >= kMacroCount) {
        ClearCurrentSteps();
        return {};
    }
    curDeviceSteps_ = macroWorkTable_[record].deviceSteps;
    curVkSteps_ = macroWorkTable_[record].vkSteps;
    return StepLines(curDeviceSteps_, curVkSteps_);
}

}  // namespace zr417
