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

struct KeyAssignmentState {
    std::uint8_t g_nSelectedKey = kNoKey;  // key index being edited, 255 none
    std::uint8_t g_nCurKeyVk = 0;          // its default virtual key, shown as the current key
    std::uint8_t g_nPendingKind = kind::None;
    std::array<std::uint8_t, 255> g_abKeyBuf{};  // captured virtual keys, in order
    int g_nKeyCount = 0;                         // codes in g_abKeyBuf; 255 = back to default
    int g_nMacroSel = -1;                        // selected macro row, -1 none
    std::string g_szFunction;                    // Basic function label, current language (UTF-8)
    std::u16string g_szActionPath;               // Advanced path, at most 255 UTF-16 units
    std::uint8_t g_nActionRow = 255;             // 0 sound, 1 program, 2 file, 3 folder, 255 none
    std::uint8_t g_nActionRadio = 255;           // 0, 4, 8, 12 or 255
    std::uint8_t g_bKeyEnabled = 1;
    int g_bInitFocus = 0;
    std::array<std::uint8_t, 255> g_abKeyChanged{};  // per key index: non-default assignment

    // Key capture of the Single/Combine tab: in single mode (kind 0) v
    // replaces the one code; in combination mode (kind 1) v is appended and a
    // fourth key starts a new combination. Other kinds ignore it (false).
    bool CaptureKey(std::uint8_t v);
    // The captured codes' names joined by "+ " (the key boxes).
    std::string CapturedText() const;
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

// Writes the pending assignment of state.g_nSelectedKey into its entry and
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
