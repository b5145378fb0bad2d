// The key vocabulary: key names and device codes by Windows virtual-key code,
// the physical layout by key index (0..103), the keyboard picture's key
// rectangles and label points, LED positions, and the Basic function
// catalogue. All constant data, each table written once here.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace zr417 {

constexpr int kLanguageChinese = 4;
constexpr int kLanguageEnglish = 9;

// A text in both interface languages; the Chinese one for language 4.
struct Bilingual {
    std::string_view english;
    std::string_view chinese;

    constexpr std::string_view in(int language) const { return language == kLanguageChinese ? chinese : english; }
};

constexpr int kKeyCount = 104;        // key indices 0..103
constexpr std::uint8_t kNoKey = 255;  // "none" for key indices
constexpr int kFnKey = 96;

// One row of the key-name table, row n describing virtual-key code n.
struct KeyNameEntry {
    std::uint8_t vk = 0;
    std::uint8_t code = 0;  // device code, 0 = none
    char name[32] = {};     // English name, usually with a trailing space
};
using KeyNameTable = std::array<KeyNameEntry, 256>;

// Builds the table: vk of every row = its index, then the rows given by
// rule, then the rows given one by one.
KeyNameTable InitKeyNameTable();
extern const KeyNameTable g_keyNames;

inline std::string_view KeyName(std::uint8_t vk)
{
    return g_keyNames[vk].name;
}
inline std::uint8_t KeyCode(std::uint8_t vk)
{
    return g_keyNames[vk].code;
}

extern const std::array<std::uint8_t, kKeyCount> g_defaultVkByKey;
extern const std::array<std::uint16_t, kKeyCount> g_matrixPosByKey;
extern const std::array<std::uint16_t, kKeyCount> g_ledPosByKey;

struct KeyRect {
    int left, top, right, bottom;  // inclusive, keyboard picture coordinates
};
extern const std::array<KeyRect, kKeyCount> g_keyRectByKey;

// Where the keyboard picture stands in the main window's client area.
constexpr int kKeyboardPictureX = 275;
constexpr int kKeyboardPictureY = 85;

// Key index under a main-window client point, kNoKey for none; the Fn key is
// refused unless per-key colour mode is on.
std::uint8_t KeyHitTest(int x, int y, bool perKeyMode);

// Label points of the per-key colour view (drawn at x + 270, y + 80) and the
// short labels drawn there.
struct KeyPoint {
    int x, y;
};
extern const std::array<KeyPoint, kKeyCount> kKeyLabelPoints;
extern const std::array<std::string_view, kKeyCount> g_keyLabels;

// The Basic function catalogue.
struct BasicGroup {
    std::string_view english;
    std::string_view chinese;
};
struct BasicFunction {
    std::string_view english;
    std::string_view chinese;
    int group;                           // -1 top level, else index into kBasicGroups
    std::array<std::uint8_t, 4> stored;  // entry bytes 2..5
    int entryVk;                         // entry byte 0, -1 = unchanged
    std::array<std::uint8_t, 4> device;  // plane 0, 1, 2, 3
};
extern const std::array<BasicGroup, 3> kBasicGroups;          // Media, Shortcut, Windows
extern const std::array<BasicFunction, 23> g_basicFunctions;  // display order

std::string_view BasicLabel(const BasicFunction& f, int language);
std::string_view BasicGroupLabel(const BasicGroup& g, int language);

// Catalogue look-ups; nullptr when nothing matches.
const BasicFunction* FindBasicByStored(const std::uint8_t stored[4]);
const BasicFunction* FindBasicByLabel(std::string_view label, int language);

// The tree of the Basic tab in display order: 23 functions and 3 headings.
struct BasicTreeItem {
    bool heading;  // a group heading (not a function)
    int index;     // into kBasicGroups or g_basicFunctions
    int parent;    // -1 at the root, else the group index
};
std::vector<BasicTreeItem> BasicTreeItems();

}  // namespace zr417
