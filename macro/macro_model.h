// The macro record and step formats, byte for byte as MacroDefine.bin and the
// keyboard's macro slots hold them, and the small operations the recorder and
// the step editor build on. Every walk is bounded by the fixed sizes, so a
// damaged file (names without terminators, a key byte 0 in the middle, any
// loop count) can never send a walk past step 46 or record 31.
#pragma once

#include "platform/text.h"  // Utf8ToUtf16, Utf16ToUtf8

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zr417 {

constexpr int kMacroCount = 32;                    // records in the table
constexpr int kMacroStepCount = 47;                // steps per macro
constexpr int kMacroLiveStepLimit = 36;            // the recorder accepts presses below this many steps
constexpr int kMacroNameChars = 254;               // UTF-16 units in a name, terminator excluded
constexpr std::uint16_t kMacroMaxDelay = 60000;    // ms, recorded and typed delays
constexpr std::uint16_t kMacroMinTypedDelay = 2;   // ms, typed into the step list
constexpr std::uint16_t kMacroInsertedDelay = 50;  // ms, "Insert Delay"
constexpr std::uint16_t kMacroMaxLoops = 999;      // the loop count field has 3 digits

// Step flags.
constexpr std::uint8_t kStepRelease = 0x80;  // bit 7: release, clear: press
constexpr std::uint8_t kStepMark = 0x01;     // bit 0: stored and sent unchanged

// Mouse buttons as step keys (the same in both arrays).
constexpr std::uint8_t kMouseLeft = 0xD0;
constexpr std::uint8_t kMouseRight = 0xD1;
constexpr std::uint8_t kMouseMiddle = 0xD2;

struct MacroStep {
    std::uint8_t flags = 0;
    std::uint8_t key = 0;  // device code or virtual-key code, 0 ends the macro
    std::uint8_t delayHi = 0;
    std::uint8_t delayLo = 0;

    std::uint16_t delay() const { return static_cast<std::uint16_t>(delayHi << 8 | delayLo); }
    void setDelay(std::uint16_t ms)
    {
        delayHi = static_cast<std::uint8_t>(ms >> 8);
        delayLo = static_cast<std::uint8_t>(ms & 0xFF);
    }
    bool release() const { return (flags & kStepRelease) != 0; }
    bool operator==(const MacroStep&) const = default;
};
static_assert(sizeof(MacroStep) == 4);

// 47 steps and 2 spare bytes.
struct StepArray {
    std::array<MacroStep, kMacroStepCount> steps{};
    std::uint8_t spare[2] = {};

    MacroStep& operator[](int i) { return steps[static_cast<std::size_t>(i)]; }
    const MacroStep& operator[](int i) const { return steps[static_cast<std::size_t>(i)]; }
    bool operator==(const StepArray&) const = default;
};
static_assert(sizeof(StepArray) == 190);

struct MacroRecord {
    std::uint8_t name[510] = {};     // UTF-16LE, NUL-terminated, zero-padded; empty = free
    std::uint8_t loopCount[2] = {};  // little-endian
    std::uint8_t options = 0;        // bit 0: delays are recorded
    StepArray deviceSteps;           // what the keyboard receives
    StepArray vkSteps;               // the same steps with virtual-key codes, for showing them
    std::uint8_t spare = 0;

    bool free() const { return name[0] == 0 && name[1] == 0; }
    std::uint16_t loops() const { return static_cast<std::uint16_t>(loopCount[0] | loopCount[1] << 8); }
    void setLoops(std::uint16_t n)
    {
        loopCount[0] = static_cast<std::uint8_t>(n & 0xFF);
        loopCount[1] = static_cast<std::uint8_t>(n >> 8);
    }
    bool recordsDelays() const { return (options & 1) != 0; }
    bool operator==(const MacroRecord&) const = default;
};
static_assert(sizeof(MacroRecord) == 894);
static_assert(offsetof(MacroRecord, loopCount) == 510);
static_assert(offsetof(MacroRecord, options) == 512);
static_assert(offsetof(MacroRecord, deviceSteps) == 513);
static_assert(offsetof(MacroRecord, vkSteps) == 703);
static_assert(offsetof(MacroRecord, spare) == 893);

struct MacroTable {
    std::array<MacroRecord, kMacroCount> records{};

    MacroRecord& operator[](int i) { return records[static_cast<std::size_t>(i)]; }
    const MacroRecord& operator[](int i) const { return records[static_cast<std::size_t>(i)]; }
    bool operator==(const MacroTable&) const = default;
};
constexpr std::size_t kMacroTableSize = 28608;
static_assert(sizeof(MacroTable) == kMacroTableSize);

// --- names -----------------------------------------------------------------

// The name up to its terminator or kMacroNameChars units, whichever comes
// first. Unpaired surrogates come out as U+FFFD.
std::u16string MacroNameU16(const MacroRecord& r);
std::string MacroName(const MacroRecord& r);  // UTF-8
// Stores a name, cut to kMacroNameChars units (never inside a surrogate pair),
// with the rest of the field zeroed. Invalid UTF-8 becomes U+FFFD.
void SetMacroName(MacroRecord& r, std::u16string_view name);
void SetMacroName(MacroRecord& r, std::string_view utf8);

// --- the table -------------------------------------------------------------

// Used records run from record 0 to the first free one.
int UsedMacroCount(const MacroTable& t);
// The record a new macro takes, -1 when all 32 are used.
int FirstFreeMacro(const MacroTable& t);
// Removes record i; the records after it move up and the last becomes free.
// Out of range: nothing.
void DeleteMacro(MacroTable& t, int i);
// Names of the used records in order (the macro lists of the dialogs).
std::vector<std::string> MacroNames(const MacroTable& t);

// --- steps -----------------------------------------------------------------

// Number of steps before the first key byte 0 (at most 47).
int StepCount(const StepArray& a);
// Inserts one step into both arrays at index (0..46); the later steps move
// down one place and, with 47 steps stored, the last one is pushed out.
// Returns false (and changes nothing) for an index outside 0..46.
bool InsertStep(StepArray& dev, StepArray& vk, int index, MacroStep devStep, MacroStep vkStep);
// Removes step index from both arrays (the later ones move up, the last
// becomes free), then applies the first-step rule. False for a bad index.
bool DeleteStep(StepArray& dev, StepArray& vk, int index);
// Sets step index's delay to 0 in both arrays, then the first-step rule.
bool DeleteStepDelay(StepArray& dev, StepArray& vk, int index);
// After every deletion step 0's flags become (flags & 0x81) | 0x01 in both.
void ApplyFirstStepRule(StepArray& dev, StepArray& vk);
// Sets the delay of step index in both arrays.
bool SetStepDelay(StepArray& dev, StepArray& vk, int index, std::uint16_t ms);

// The two halves of a step for virtual key `vk`: the device step carries the
// key's device code from the key-name table (mouse buttons keep 0xD0..0xD2),
// the other the virtual key itself.
struct KeyStepPair {
    MacroStep device;
    MacroStep virtualKey;
};
KeyStepPair MakeKeySteps(std::uint8_t vk, std::uint8_t flags, std::uint16_t delay);
// Writes a step pair at index (the recorder appends this way); false past step 46.
bool WriteStep(StepArray& dev, StepArray& vk, int index, const KeyStepPair& step);
// A measured gap in ms as stored: negative counts as 0, longer than 60000 ms as 60000.
std::uint16_t ClampRecordedDelay(long long ms);

// --- the step list ---------------------------------------------------------

// The lines of the step list for a pair of arrays: a "%d ms" delay line
// before a step with a delay (not before a first press), then its key line,
// the key's name followed by " dn" or " up".
std::vector<std::string> StepLines(const StepArray& dev, const StepArray& vk);
// The step owning list line `line` by the same rules, -1 when none does.
int StepOfLine(const StepArray& dev, int line);
// A line of the step list is a delay line when it holds " ms", a key line when
// it holds "up" or "dn".
bool IsDelayLine(std::string_view line);
bool IsKeyLine(std::string_view line);

}  // namespace zr417
