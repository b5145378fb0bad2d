// The key assignment state shared by the main window and the key assignment
// dialogs, the sequence a key click runs, and the step that turns a
// dialog's decision into the key's table entry and key-matrix bytes.
#pragma once

#include "config/image.h"
#include "config/keys.h"
#include "macro/macro_model.h"

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>

namespace zr417 {

// Assignment kinds (entry byte 1 and g_nPendingKind).
namespace kind {
constexpr std::uint8_t Single = 0;
constexpr std::uint8_t Combination = 1;
constexpr std::uint8_t Macro = 2;
constexpr std::uint8_t Basic = 3;
constexpr std::uint8_t PlaySound = 4;
constexpr std::uint8_t StartProgram = 5;
constexpr std::uint8_t OpenFile = 6;
constexpr std::uint8_t OpenFolder = 7;
constexpr std::uint8_t Disable = 8;
constexpr std::uint8_t None = 255;
}  // namespace kind

constexpr int kDefaultKeyCount = 255;  // g_nKeyCount meaning "back to default"
constexpr std::uint8_t kHostActionCode = 0xFA;
constexpr std::size_t kActionPathChars = 255;  // terminator excluded
// The keyboard holds 12 macro slots, so only the first 12 macros of the
// table can be bound to a key; the dialogs offer these and no others.
constexpr int kMaxBindableMacros = static_cast<int>(settings::MacroSlotCount);

// The state one key assignment works on, shared by the main window and the
// key assignment dialogs. Each value has a reader named as in the original
// design and a write that says what it does.
class KeyAssignmentState {
public:
    // Key index being edited (255 none) and its default virtual key, which
    // the dialog shows as the current key.
    std::uint8_t g_nSelectedKey() const { return selectedKey_; }
    std::uint8_t g_nCurKeyVk() const { return curKeyVk_; }
    // Selects key index `key` (kNoKey or any other index outside the table:
    // none, current key 0).
    void SelectKey(std::uint8_t key);

    // The assignment kind Save and apply act on (kind::...).
    std::uint8_t g_nPendingKind() const { return pendingKind_; }
    void SetPendingKind(std::uint8_t kind) { pendingKind_ = kind; }

    // Captured virtual keys, in order, and how many count; a count of
    // kDefaultKeyCount means "back to default".
    const std::array<std::uint8_t, 255>& g_abKeyBuf() const { return keyBuf_; }
    int g_nKeyCount() const { return keyCount_; }
    // Empties the buffer (all codes 0, count 0).
    void ClearKeys();
    // The buffer holds `codes` (the rest 0); the count is set as given.
    void SetKeys(std::span<const std::uint8_t> codes, int count);
    void SetKeys(std::initializer_list<std::uint8_t> codes)
    {
        SetKeys(std::span(codes.begin(), codes.size()), static_cast<int>(codes.size()));
    }
    void SetKeyCount(int count) { keyCount_ = count; }
    // The dialog's Default button: the key goes back to its own code.
    void RequestDefault() { keyCount_ = kDefaultKeyCount; }

    // Selected macro row, -1 none.
    int g_nMacroSel() const { return macroSel_; }
    void SelectMacro(int row) { macroSel_ = row; }

    // Basic function label, in the current language (UTF-8).
    const std::string& g_szFunction() const { return function_; }
    void SetFunction(std::string label) { function_ = std::move(label); }

    // Advanced path (at most 255 UTF-16 units are stored), the row it belongs
    // to (0 sound, 1 program, 2 file, 3 folder, 255 none) and the radio zone
    // shown checked (0, 4, 8, 12 or 255).
    const std::u16string& g_szActionPath() const { return actionPath_; }
    void SetActionPath(std::u16string path) { actionPath_ = std::move(path); }
    std::uint8_t g_nActionRow() const { return actionRow_; }
    void SetActionRow(std::uint8_t row) { actionRow_ = row; }
    std::uint8_t g_nActionRadio() const { return actionRadio_; }
    void SetActionRadio(std::uint8_t zone) { actionRadio_ = zone; }

    // Whether the selected key types anything (1) or is disabled (0).
    std::uint8_t g_bKeyEnabled() const { return keyEnabled_; }
    void SetKeyEnabled(bool enabled) { keyEnabled_ = enabled ? 1 : 0; }

    // Set while the dialog's first focus on a key box is still to come; that
    // focus keeps the keys loaded from the entry.
    int g_bInitFocus() const { return initFocus_; }
    void SetInitFocus(bool pending) { initFocus_ = pending ? 1 : 0; }

    // Per key index: 1 when the key has a non-default assignment.
    const std::array<std::uint8_t, 255>& g_abKeyChanged() const { return keyChanged_; }
    void MarkKeyChanged(std::size_t key, bool changed) { keyChanged_[key] = changed ? 1 : 0; }
    void ClearChangedKeys() { keyChanged_.fill(0); }
    void SetChangedKeys(const std::array<std::uint8_t, 255>& marks) { keyChanged_ = marks; }

    // Key capture of the Single/Combine tab: in single mode (kind 0) v
    // replaces the one code; in combination mode (kind 1) v is appended and a
    // fourth key starts a new combination. Other kinds ignore it (false).
    bool CaptureKey(std::uint8_t v);
    // The captured codes' names joined by "+ " (the key boxes).
    std::string CapturedText() const;

private:
    std::uint8_t selectedKey_ = kNoKey;
    std::uint8_t curKeyVk_ = 0;
    std::uint8_t pendingKind_ = kind::None;
    std::array<std::uint8_t, 255> keyBuf_{};
    int keyCount_ = 0;
    int macroSel_ = -1;
    std::string function_;
    std::u16string actionPath_;
    std::uint8_t actionRow_ = 255;
    std::uint8_t actionRadio_ = 255;
    std::uint8_t keyEnabled_ = 1;
    int initFocus_ = 0;
    std::array<std::uint8_t, 255> keyChanged_{};
};

// What the key boxes show for an entry: kind 0 the name of data byte 0,
// kind 1 the names of the first three data bytes joined by "+ ", else empty.
std::string EntryText(const std::uint8_t* entry);

// Index of the media flag record of a matrix position.
constexpr std::size_t MediaFlagRecord(std::size_t matrixPos)
{
    std::size_t q = matrixPos / 4;
    return (q % 6) * 21 + q / 6;
}

enum class ApplyResult {
    Applied,  // the entry and/or planes were written as the kind says
    Nothing,  // kind 255 or above 8, or no key selected
    Refused,  // a macro the keyboard cannot play, or a path too long to store; nothing written
};

// Writes the pending assignment of state.g_nSelectedKey() into its entry and
// its four key-matrix bytes. A macro binding also rebuilds the image's macro
// slots from `macros`. Does not save keymap.bin (RunKeyAssignment does).
ApplyResult ApplyKeyAssignment(KeyAssignmentState& state, ConfigImage& image, const MacroTable& macros, int language);

// The dialog, run modally: returns true for OK. It reads and writes the
// state and may change the selected key's entry directly.
using AssignmentDialog = std::function<bool(KeyAssignmentState&, ConfigImage&)>;

enum class RunResult {
    Applied,     // applied (or a kind with nothing to apply) and keymap.bin saved
    Cancelled,   // the dialog did not end with OK; nothing applied or saved
    Refused,     // ApplyResult::Refused: nothing applied or saved
    NoKey,       // the key index is not 0..103
    SaveFailed,  // applied in memory, but keymap.bin could not be written
};

// The key click sequence for key index `key`: select it, reload the key table
// from keymap.bin keeping the settings block, take the enabled state from
// planes 0 and 1, run the dialog, apply, disable the key when the dialog left
// it disabled, save keymap.bin.
RunResult RunKeyAssignment(KeyAssignmentState& state, KeymapStore& store, const MacroTable& macros, int key,
                           int language, const AssignmentDialog& dialog);

}  // namespace zr417
