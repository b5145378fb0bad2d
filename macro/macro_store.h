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

    MacroTable g_macroTable;      // committed: the file, the dialogs' lists, the image
    MacroTable g_macroWorkTable;  // the macro manager's working copy
    StepArray g_curDeviceSteps;   // steps of the macro being recorded or edited
    StepArray g_curVkSteps;

    enum class LoadResult {
        Loaded,        // the file's bytes are in the table (a short file leaves the rest free)
        Created,       // there was no file; it now holds the current table
        Unreadable,    // the file exists but cannot be read: left alone, table unchanged
        CreateFailed,  // there was no file and none could be written; table unchanged
    };
    LoadResult LoadMacroFile();
    // Writes g_macroTable atomically; false leaves the old file as it was
    // (and the table in memory).
    bool SaveMacroFile();
    // True from a failed save until the next successful one.
    bool unsaved() const { return static_cast<bool>(saveError_); }
    // Why the last save failed (an errno value); empty once a save succeeds.
    const std::error_code& saveError() const { return saveError_; }
    void PlaceMacrosInImage(ConfigImage& image) const { zr417::PlaceMacrosInImage(g_macroTable, image); }

    // The manager opening and closing with OK.
    void BeginWork() { g_macroWorkTable = g_macroTable; }
    void CommitWork() { g_macroTable = g_macroWorkTable; }

    // Loads working record `record`'s arrays into the working arrays and
    // returns its step-list lines. Out of range: no lines, arrays cleared.
    std::vector<std::string> BuildStepLines(int record);
    // The step owning a line of the list built from the working arrays; -1
    // beyond the last line.
    int LineToStep(int line) const { return StepOfLine(g_curDeviceSteps, line); }
    // Stores the working arrays into working record `record` (0..31).
    void StoreCurrentSteps(int record)
    {
        if (record >= 0 && record < kMacroCount) {
            g_macroWorkTable[record].deviceSteps = g_curDeviceSteps;
            g_macroWorkTable[record].vkSteps = g_curVkSteps;
        }
    }
    // The working arrays' lines as they stand (after an edit).
    std::vector<std::string> CurrentStepLines() const { return StepLines(g_curDeviceSteps, g_curVkSteps); }

private:
    std::filesystem::path file_;
    std::error_code saveError_;
};

}  // namespace zr417
