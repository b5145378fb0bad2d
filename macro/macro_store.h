// Owner of the macro table, its working copy, the working step arrays of the
// macro being recorded or edited, and MacroDefine.bin.
#pragma once

#include "config/image.h"
#include "macro/macro_model.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace zr417 {

// Copies the used records (at most 12, up to the first free one) into the
// macro slots of the settings block: loop count big-endian, then the 190
// bytes of device steps; bytes 192..255 of a slot are left as they are.
void PlaceMacrosInImage(const MacroTable& table, ConfigImage& image);

class MacroStore {
public:
    explicit MacroStore(std::filesystem::path file);

    const std::filesystem::path& file() const { return file_; }

    // The committed table (the file, the dialogs' lists, the image) and the
    // macro manager's working copy.
    const MacroTable& g_macroTable() const { return macroTable_; }
    const MacroTable& g_macroWorkTable() const { return macroWorkTable_; }
    // Replaces the committed table in memory, as a load would; the file is
    // not written.
    void SetMacroTable(const MacroTable& table) { macroTable_ = table; }
    // The manager edits a working record in place (0..31).
    MacroRecord& EditWorkRecord(int index) { return macroWorkTable_[index]; }
    void DeleteWorkMacro(int index) { DeleteMacro(macroWorkTable_, index); }

    // The steps of the macro being recorded or edited, device and virtual-key
    // arrays side by side; every change below keeps the two in step.
    const StepArray& g_curDeviceSteps() const { return curDeviceSteps_; }
    const StepArray& g_curVkSteps() const { return curVkSteps_; }
    void SetCurrentSteps(const StepArray& device, const StepArray& vk)
    {
        curDeviceSteps_ = device;
        curVkSteps_ = vk;
    }
    void ClearCurrentSteps() { SetCurrentSteps(StepArray{}, StepArray{}); }
    bool WriteCurrentStep(int index, const KeyStepPair& step)
    {
        return WriteStep(curDeviceSteps_, curVkSteps_, index, step);
    }
    bool InsertCurrentStep(int index, MacroStep device, MacroStep vk)
    {
        return InsertStep(curDeviceSteps_, curVkSteps_, index, device, vk);
    }
    bool DeleteCurrentStep(int index) { return DeleteStep(curDeviceSteps_, curVkSteps_, index); }
    bool DeleteCurrentStepDelay(int index) { return DeleteStepDelay(curDeviceSteps_, curVkSteps_, index); }
    bool SetCurrentStepDelay(int index, std::uint16_t ms)
    {
        return SetStepDelay(curDeviceSteps_, curVkSteps_, index, ms);
    }

    enum class LoadResult {
        Loaded,        // the file's bytes are in the table (a short file leaves the rest free)
        Created,       // there was no file; it now holds the current table
        Unreadable,    // the file exists but cannot be read: left alone, table unchanged
        CreateFailed,  // there was no file and none could be written; table unchanged
    };
    LoadResult LoadMacroFile();
    // Writes g_macroTable() atomically; false leaves the old file as it was
    // (and the table in memory).
    bool SaveMacroFile();
    // True from a failed save until the next successful one.
    bool unsaved() const { return static_cast<bool>(saveError_); }
    // Why the last save failed (an errno value); empty once a save succeeds.
    const std::error_code& saveError() const { return saveError_; }
    void PlaceMacrosInImage(ConfigImage& image) const { zr417::PlaceMacrosInImage(macroTable_, image); }

    // The manager opening and closing with OK.
    void BeginWork() { macroWorkTable_ = macroTable_; }
    void CommitWork() { macroTable_ = macroWorkTable_; }

    // Loads working record `record`'s arrays into the working arrays and
    // returns its step-list lines. Out of range: no lines, arrays cleared.
    std::vector<std::string> BuildStepLines(int record);
    // The step owning a line of the list built from the working arrays; -1
    // beyond the last line.
    int LineToStep(int line) const { return StepOfLine(curDeviceSteps_, line); }
    // Stores the working arrays into working record `record` (0..31).
    void StoreCurrentSteps(int record)
    {
        if (record >= 0 && record < kMacroCount) {
            macroWorkTable_[record].deviceSteps = curDeviceSteps_;
            macroWorkTable_[record].vkSteps = curVkSteps_;
        }
    }
    // The working arrays' lines as they stand (after an edit).
    std::vector<std::string> CurrentStepLines() const { return StepLines(curDeviceSteps_, curVkSteps_); }

private:
    std::filesystem::path file_;
    std::error_code saveError_;
    MacroTable macroTable_;
    MacroTable macroWorkTable_;
    StepArray curDeviceSteps_;
    StepArray curVkSteps_;
};

}  // namespace zr417
