#include "config/keys.h"

#include <algorithm>
#include <cstring>

namespace zr417 {
namespace {

constexpr void SetName(KeyNameEntry& row, std::string_view name)
{
    std::size_t n = std::min(name.size(), sizeof row.name - 1);
    for (std::size_t i = 0; i < n; ++i) row.name[i] = name[i];
    row.name[n] = '\0';
}

struct NamedRow {
    std::uint8_t vk;
    std::uint8_t code;
    std::string_view name;  // the trailing space, where there is one, belongs to the name
};

constexpr NamedRow kNamedRows[] = {
    {0x08, 0x2A, "Back "},
    {0x09, 0x2B, "Tab "},
    {0x0D, 0x28, "Enter "},
    {0x13, 0x48, "Pause "},
    {0x14, 0x39, "Caps "},
    {0x1B, 0x29, "Esc "},
    {0x20, 0x2C, "Space "},
    {0x21, 0x4B, "PgUp "},
    {0x22, 0x4E, "PgDn "},
    {0x23, 0x4D, "End "},
    {0x24, 0x4A, "Home "},
    {0x25, 0x50, "Left "},
    {0x26, 0x52, "Up "},
    {0x27, 0x4F, "Right "},
    {0x28, 0x51, "Down "},
    {0x2C, 0x46, "Prscr "},
    {0x2D, 0x49, "Inst "},
    {0x2E, 0x4C, "Del "},
    {0x5B, 0xE3, "LWin "},
    {0x5C, 0xE7, "RWin "},
    {0x5D, 0x65, "Apps "},
    {0x5E, 0xF2, "Computer "},  // the launch key, not the code Windows reserves
    {0x6A, 0x55, "* "},
    {0x6B, 0x57, "+ "},
    {0x6C, 0x58, "Enter "},  // numeric-pad Enter
    {0x6D, 0x56, "- "},
    {0x6E, 0x63, ". "},
    {0x6F, 0x54, "/ "},
    {0x90, 0x53, "Num "},
    {0x91, 0x47, "Scrol "},
    {0xD0, 0xD0, "MsLB "},
    {0xD1, 0xD1, "MsRB "},
    {0xD2, 0xD2, "MsMB "},
    {0xA0, 0xE1, "LShift "},
    {0xA1, 0xE5, "RShift "},
    {0xA2, 0xE0, "LCtrl "},
    {0xA3, 0xE4, "RCtrl "},
    {0xA4, 0xE2, "LAlt "},
    {0xA5, 0xE6, "RAlt "},
    {0xA6, 0xF5, "Backward "},
    {0xA7, 0xF6, "Forward "},
    {0xA9, 0xF7, "WWW Stop "},
    {0xAA, 0xF3, "Search "},
    {0xAC, 0xF4, "HomePage "},
    {0xAD, 0xEC, "Mute"},
    {0xAE, 0xEE, "Volume DOWN "},
    {0xAF, 0xED, "Volume UP "},
    {0xB0, 0xE8, "Next Track "},
    {0xB1, 0xE9, "Prev Track "},
    {0xB2, 0xEA, "Stop "},
    {0xB3, 0xEB, "Play/Pause"},
    {0xB4, 0xF0, "EMail "},
    {0xB5, 0xEF, "Media "},
    {0xB7, 0xF1, "Caculator "},
    {0xBA, 0x33, "; "},
    {0xBB, 0x2E, "= "},
    {0xBC, 0x36, ", "},
    {0xBD, 0x2D, "- "},
    {0xBE, 0x37, ". "},
    {0xBF, 0x38, "/ "},
    {0xC0, 0x35, "` "},
    {0xDB, 0x2F, "[ "},
    {0xDC, 0x32, "\\ "},
    {0xDD, 0x30, "] "},
    {0xDE, 0x34, "' "},
    // Mouse buttons and actions; their codes reuse numbers of the media group.
    {0xF0, 0xF0, "MsLB"},
    {0xF1, 0xF1, "MsRB"},
    {0xF2, 0xF2, "MsMB"},
    {0xF3, 0xF3, ""},
    {0xF4, 0xF4, ""},
    {0xF5, 0xF5, "Mouse Pointer Right"},
    {0xF6, 0xF6, "Mouse Pointer Up"},
    {0xF7, 0xF7, "Mouse pointer Down"},
    {0xF8, 0xF8, "Mouse Wheel Up"},
    {0xF9, 0xF9, "Mouse Wheel Down"},
};

constexpr KeyNameTable BuildKeyNameTable()
{
    KeyNameTable t{};
    for (int n = 0; n < 256; ++n) t[n].vk = static_cast<std::uint8_t>(n);

    for (int vk = 0x41; vk <= 0x5A; ++vk) {  // letters: "A " .. "Z "
        t[vk].code = static_cast<std::uint8_t>(vk - 0x3D);
        const char name[] = {static_cast<char>(vk), ' ', '\0'};
        SetName(t[vk], name);
    }
    for (int vk = 0x31; vk <= 0x39; ++vk) {  // digits "1 " .. "9 "
        t[vk].code = static_cast<std::uint8_t>(vk - 0x13);
        const char name[] = {static_cast<char>(vk), ' ', '\0'};
        SetName(t[vk], name);
    }
    t[0x30].code = 0x27;
    SetName(t[0x30], "0");           // no trailing space
    for (int f = 1; f <= 12; ++f) {  // "F1 " .. "F12 "
        int vk = 0x6F + f;
        t[vk].code = static_cast<std::uint8_t>(vk - 0x36);
        const char one[] = {'F', static_cast<char>('0' + f), ' ', '\0'};
        const char two[] = {'F', '1', static_cast<char>('0' + f - 10), ' ', '\0'};
        SetName(t[vk], f < 10 ? one : two);
    }
    t[0x60].code = 0x62;
    SetName(t[0x60], "0-num ");
    for (int d = 1; d <= 9; ++d) {  // "1-num " .. "9-num "
        int vk = 0x60 + d;
        t[vk].code = static_cast<std::uint8_t>(vk - 0x08);
        const char name[] = {static_cast<char>('0' + d), '-', 'n', 'u', 'm', ' ', '\0'};
        SetName(t[vk], name);
    }

    for (const NamedRow& row : kNamedRows) {
        t[row.vk].code = row.code;
        SetName(t[row.vk], row.name);
    }
    return t;
}

}  // namespace

KeyNameTable InitKeyNameTable()
{
    return BuildKeyNameTable();
}

// Built at compile time, so no other file's start-up code can see it unfilled.
constinit const KeyNameTable g_keyNames = BuildKeyNameTable();

// clang-format off
constinit const std::array<std::uint8_t, kKeyCount> g_defaultVkByKey = {
    0x1B,                                                                          // 0 Esc
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B,        // 1-12 F1-F12
    0x2C, 0x91, 0x13,                                                              // 13-15
    0xC0, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x30,              // 16-26 ` 1..9 0
    0xBD, 0xBB, 0x08, 0x2D, 0x24,                                                  // 27-31
    0x21, 0x90, 0x6F, 0x6A, 0x6D,                                                  // 32-36
    0x09, 0x51, 0x57, 0x45, 0x52, 0x54, 0x59, 0x55, 0x49, 0x4F, 0x50,              // 37-47 Tab Q..P
    0xDB, 0xDD, 0xDC, 0x2E, 0x23, 0x22,                                            // 48-53
    0x67, 0x68, 0x69, 0x6B,                                                        // 54-57 pad 7 8 9 +
    0x14, 0x41, 0x53, 0x44, 0x46, 0x47, 0x48, 0x4A, 0x4B, 0x4C, 0xBA, 0xDE,        // 58-69 Caps A..L ; '
    0x0D,                                                                          // 70 Enter
    0x64, 0x65, 0x66,                                                              // 71-73 pad 4 5 6
    0xA0,                                                                          // 74 LShift
    0x5A, 0x58, 0x43, 0x56, 0x42, 0x4E, 0x4D, 0xBC, 0xBE, 0xBF,                    // 75-84 Z..M , . /
    0xA1,                                                                          // 85 RShift
    0x26,                                                                          // 86 Up
    0x61, 0x62, 0x63, 0x6C,                                                        // 87-90 pad 1 2 3 Enter
    0xA2, 0x5B, 0xA4,                                                              // 91-93
    0x20,                                                                          // 94 Space
    0xA5,                                                                          // 95 RAlt
    0x5D, 0x5D,                                                                    // 96 Fn, 97 Apps
    0xA3, 0x25, 0x28, 0x27,                                                        // 98-101
    0x60,                                                                          // 102 pad 0
    0x6E,                                                                          // 103 pad .
};

// Position = row * 21 + column in the device key table.
constinit const std::array<std::uint16_t, kKeyCount> g_matrixPosByKey = {
    0,                                                   // 0
    2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,              // 1-12
    14, 15, 16,                                          // 13-15
    21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31,          // 16-26
    32, 33, 34, 35, 36,                                  // 27-31
    37, 38, 39, 40, 41,                                  // 32-36
    42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52,          // 37-47
    53, 54, 55, 56, 57, 58,                              // 48-53
    59, 60, 61, 62,                                      // 54-57
    63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74,      // 58-69
    76,                                                  // 70
    80, 81, 82,                                          // 71-73
    84,                                                  // 74
    86, 87, 88, 89, 90, 91, 92, 93, 94, 95,              // 75-84
    97,                                                  // 85
    99,                                                  // 86
    101, 102, 103, 104,                                  // 87-90
    105, 106, 107,                                       // 91-93
    111,                                                 // 94
    115,                                                 // 95
    116, 117,                                            // 96-97
    118, 119, 120, 121,                                  // 98-101
    122,                                                 // 102
    124,                                                 // 103
};

constinit const std::array<std::uint16_t, kKeyCount> g_ledPosByKey = {
    0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
    21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36,
    37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52,
    53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68,
    69, 70, 71, 72, 73, 74, 76, 80, 81, 82, 84, 86, 87, 88, 89, 90,
    91, 92, 93, 94, 95, 97, 99, 101, 102, 103, 104, 105, 106, 107, 111, 115,
    116, 117, 118, 119, 120, 121, 122, 124,
};

constinit const std::array<KeyRect, kKeyCount> g_keyRectByKey = {{
    {28, 118, 55, 145},  // 0
    {83, 118, 110, 145},  // 1
    {111, 118, 138, 145},  // 2
    {139, 118, 166, 145},  // 3
    {167, 118, 194, 145},  // 4
    {210, 118, 237, 145},  // 5
    {238, 118, 265, 145},  // 6
    {266, 118, 293, 145},  // 7
    {294, 118, 321, 145},  // 8
    {338, 118, 365, 145},  // 9
    {366, 118, 393, 145},  // 10
    {394, 118, 421, 145},  // 11
    {422, 118, 449, 145},  // 12
    {459, 118, 486, 145},  // 13
    {487, 118, 514, 145},  // 14
    {515, 118, 542, 145},  // 15
    {28, 154, 55, 181},  // 16
    {56, 154, 83, 181},  // 17
    {84, 154, 111, 181},  // 18
    {112, 154, 139, 181},  // 19
    {140, 154, 167, 181},  // 20
    {168, 154, 195, 181},  // 21
    {196, 154, 223, 181},  // 22
    {224, 154, 251, 181},  // 23
    {252, 154, 279, 181},  // 24
    {280, 154, 307, 181},  // 25
    {309, 154, 336, 181},  // 26
    {338, 154, 365, 181},  // 27
    {367, 154, 394, 181},  // 28
    {395, 154, 449, 181},  // 29
    {459, 154, 486, 181},  // 30
    {487, 154, 514, 181},  // 31
    {515, 154, 542, 181},  // 32
    {551, 154, 578, 181},  // 33
    {579, 154, 606, 181},  // 34
    {607, 154, 634, 181},  // 35
    {635, 154, 662, 181},  // 36
    {28, 182, 69, 209},  // 37
    {70, 182, 97, 209},  // 38
    {98, 182, 125, 209},  // 39
    {126, 182, 153, 209},  // 40
    {154, 182, 181, 209},  // 41
    {183, 182, 210, 209},  // 42
    {211, 182, 238, 209},  // 43
    {239, 182, 266, 209},  // 44
    {267, 182, 294, 209},  // 45
    {295, 182, 322, 209},  // 46
    {323, 182, 350, 209},  // 47
    {351, 182, 378, 209},  // 48
    {379, 182, 406, 209},  // 49
    {407, 182, 449, 209},  // 50
    {459, 182, 486, 209},  // 51
    {487, 182, 514, 209},  // 52
    {515, 182, 542, 209},  // 53
    {551, 182, 578, 209},  // 54
    {579, 182, 606, 209},  // 55
    {607, 182, 634, 209},  // 56
    {635, 182, 662, 237},  // 57
    {28, 210, 76, 237},  // 58
    {77, 210, 104, 237},  // 59
    {105, 210, 132, 237},  // 60
    {133, 210, 160, 237},  // 61
    {161, 210, 188, 237},  // 62
    {189, 210, 216, 237},  // 63
    {218, 210, 245, 237},  // 64
    {246, 210, 273, 237},  // 65
    {274, 210, 301, 237},  // 66
    {302, 210, 329, 237},  // 67
    {331, 210, 358, 237},  // 68
    {359, 210, 386, 237},  // 69
    {387, 210, 449, 237},  // 70
    {551, 210, 578, 237},  // 71
    {579, 210, 606, 237},  // 72
    {607, 210, 634, 237},  // 73
    {28, 238, 90, 265},  // 74
    {91, 238, 118, 265},  // 75
    {119, 238, 146, 265},  // 76
    {147, 238, 174, 265},  // 77
    {175, 238, 202, 265},  // 78
    {204, 238, 231, 265},  // 79
    {232, 238, 259, 265},  // 80
    {261, 238, 288, 265},  // 81
    {289, 238, 316, 265},  // 82
    {317, 238, 344, 265},  // 83
    {345, 238, 372, 265},  // 84
    {373, 238, 449, 265},  // 85
    {487, 238, 514, 265},  // 86
    {551, 238, 578, 265},  // 87
    {579, 238, 606, 265},  // 88
    {607, 238, 634, 265},  // 89
    {635, 238, 662, 294},  // 90
    {28, 266, 62, 293},  // 91
    {63, 266, 97, 293},  // 92
    {98, 266, 132, 293},  // 93
    {133, 266, 309, 293},  // 94
    {310, 266, 344, 293},  // 95
    {345, 266, 379, 293},  // 96
    {380, 266, 414, 293},  // 97
    {415, 266, 449, 293},  // 98
    {459, 266, 486, 293},  // 99
    {487, 266, 514, 293},  // 100
    {515, 266, 542, 293},  // 101
    {551, 266, 606, 293},  // 102
    {607, 266, 634, 293},  // 103
}};

// clang-format on

std::uint8_t KeyHitTest(int x, int y, bool perKeyMode)
{
    for (int k = 0; k < kKeyCount; ++k) {
        const KeyRect& r = g_keyRectByKey[k];
        if (r.left + kKeyboardPictureX <= x && x <= r.right + kKeyboardPictureX && r.top + kKeyboardPictureY <= y &&
            y <= r.bottom + kKeyboardPictureY) {
            // The Fn key cannot be reassigned; only per-key colouring may pick it.
            if (k == kFnKey && !perKeyMode) return kNoKey;
            return static_cast<std::uint8_t>(k);
        }
    }
    return kNoKey;
}

// clang-format off
constinit const std::array<KeyPoint, kKeyCount> kKeyLabelPoints = {{
    {41, 131},  // 0
    {97, 131},  // 1
    {124, 131},  // 2
    {152, 131},  // 3
    {180, 131},  // 4
    {224, 131},  // 5
    {251, 131},  // 6
    {279, 131},  // 7
    {307, 131},  // 8
    {351, 131},  // 9
    {379, 131},  // 10
    {407, 131},  // 11
    {435, 131},  // 12
    {472, 131},  // 13
    {500, 131},  // 14
    {523, 131},  // 15
    {41, 168},  // 16
    {69, 168},  // 17
    {98, 168},  // 18
    {126, 168},  // 19
    {154, 168},  // 20
    {182, 168},  // 21
    {210, 168},  // 22
    {238, 168},  // 23
    {266, 168},  // 24
    {293, 168},  // 25
    {323, 168},  // 26
    {351, 168},  // 27
    {380, 168},  // 28
    {422, 168},  // 29
    {473, 168},  // 30
    {495, 168},  // 31
    {523, 168},  // 32
    {564, 168},  // 33
    {593, 168},  // 34
    {620, 168},  // 35
    {648, 168},  // 36
    {48, 194},  // 37
    {83, 194},  // 38
    {112, 194},  // 39
    {139, 194},  // 40
    {168, 194},  // 41
    {197, 194},  // 42
    {225, 194},  // 43
    {252, 194},  // 44
    {280, 194},  // 45
    {309, 194},  // 46
    {336, 194},  // 47
    {364, 194},  // 48
    {392, 194},  // 49
    {427, 194},  // 50
    {472, 194},  // 51
    {499, 194},  // 52
    {523, 194},  // 53
    {564, 194},  // 54
    {593, 194},  // 55
    {620, 194},  // 56
    {649, 208},  // 57
    {40, 223},  // 58
    {90, 223},  // 59
    {119, 223},  // 60
    {147, 223},  // 61
    {174, 223},  // 62
    {202, 223},  // 63
    {231, 223},  // 64
    {260, 223},  // 65
    {287, 223},  // 66
    {315, 223},  // 67
    {344, 223},  // 68
    {372, 223},  // 69
    {417, 223},  // 70
    {564, 223},  // 71
    {592, 223},  // 72
    {621, 223},  // 73
    {59, 249},  // 74
    {104, 249},  // 75
    {133, 249},  // 76
    {160, 249},  // 77
    {188, 249},  // 78
    {217, 249},  // 79
    {245, 249},  // 80
    {274, 249},  // 81
    {302, 249},  // 82
    {330, 249},  // 83
    {358, 249},  // 84
    {412, 249},  // 85
    {500, 249},  // 86
    {565, 249},  // 87
    {592, 249},  // 88
    {621, 249},  // 89
    {649, 265},  // 90
    {45, 278},  // 91
    {80, 278},  // 92
    {115, 278},  // 93
    {222, 278},  // 94
    {326, 278},  // 95
    {361, 278},  // 96
    {396, 278},  // 97
    {432, 278},  // 98
    {474, 278},  // 99
    {495, 278},  // 100
    {523, 278},  // 101
    {577, 278},  // 102
    {620, 278},  // 103
}};

constinit const std::array<std::string_view, kKeyCount> g_keyLabels = {
    "Esc", "F1", "F2", "F3", "F4", "F5", "F6", "F7",
    "F8", "F9", "F10", "F11", "F12", "Prnt", "Scrl", "Pause",
    "~", "1", "2", "3", "4", "5", "6", "7",
    "8", "9", "0", "-", "=", "Back", "Ins", "Home",
    "PgUp", "Num", "/", "*", "-", "Tab", "Q", "W",
    "E", "R", "T", "Y", "U", "I", "O", "P",
    "[", "]", "\\", "Del", "End", "PgDn", "7", "8",
    "9", "+", "Caps Lock", "A", "S", "D", "F", "G",
    "H", "J", "K", "L", ";", "'", "Ent", "4",
    "5", "6", "Shift", "Z", "X", "C", "V", "B",
    "N", "M", ",", ".", "/", "Shift", "Up", "1",
    "2", "3", "Ent", "Ctrl", "Win", "Alt", "Space", "Alt",
    "Fn", "App", "Ctrl", "Left", "Down", "Right", "0", ".",
};

constinit const std::array<BasicGroup, 3> kBasicGroups = {{
    {"Media", "多媒体"},
    {"Shortcut", "快捷健"},
    {"Windows", "Windows"},
}};

namespace {
constexpr int kTop = -1;
constexpr int kMedia = 0;
constexpr int kShortcut = 1;
constexpr int kWindows = 2;
constexpr int kUnchanged = -1;
}  // namespace

// Stored bytes starting 00 are key combinations (modifier, key, key); those
// starting 03 carry a consumer usage (low, high) in the last two bytes.
constinit const std::array<BasicFunction, 23> g_basicFunctions = {{
    {"Search", "搜索", kTop, {0x00, 0xE3, 0x09, 0x00}, 0xAA, {0xF3, 0, 0, 0}},
    {"Run", "运行", kTop, {0x00, 0xE3, 0x15, 0x00}, kUnchanged, {0xE3, 1, 0x15, 0}},
    {"Media Player", "多媒体播放器", kMedia, {0x03, 0x00, 0x83, 0x01}, 0xB5, {0xEF, 0, 0, 0}},
    {"Prev", "上一曲", kMedia, {0x03, 0x00, 0xB6, 0x00}, 0xB1, {0xE9, 0, 0, 0}},
    {"Next", "下一曲", kMedia, {0x03, 0x00, 0xB5, 0x00}, 0xB0, {0xE8, 0, 0, 0}},
    {"Play/Pause", "播放/暂停", kMedia, {0x03, 0x00, 0xCD, 0x00}, 0xB3, {0xEB, 0, 0, 0}},
    {"Stop", "停止", kMedia, {0x03, 0x00, 0xB7, 0x00}, 0xB2, {0xEA, 0, 0, 0}},
    {"Vol+", "音量+", kMedia, {0x03, 0x00, 0xE9, 0x00}, 0xAF, {0xED, 0, 0, 0}},
    {"Vol-", "音量-", kMedia, {0x03, 0x00, 0xEA, 0x00}, 0xAE, {0xEE, 0, 0, 0}},
    {"Mute", "静音", kMedia, {0x03, 0x00, 0xE2, 0x00}, 0xAD, {0xEC, 0, 0, 0}},
    {"New", "新建", kShortcut, {0x00, 0xE0, 0x11, 0x00}, kUnchanged, {0xE0, 1, 0x11, 0}},
    {"Cut", "剪切", kShortcut, {0x00, 0xE0, 0x1B, 0x00}, kUnchanged, {0xE0, 1, 0x1B, 0}},
    {"Copy", "复制", kShortcut, {0x00, 0xE0, 0x06, 0x00}, kUnchanged, {0xE0, 1, 0x06, 0}},
    {"Paste", "粘贴", kShortcut, {0x00, 0xE0, 0x19, 0x00}, kUnchanged, {0xE0, 1, 0x19, 0}},
    {"Save", "保存", kShortcut, {0x00, 0xE0, 0x16, 0x00}, kUnchanged, {0xE0, 1, 0x16, 0}},
    {"Print", "打印", kShortcut, {0x00, 0xE0, 0x13, 0x00}, kUnchanged, {0xE0, 1, 0x13, 0}},
    {"Select All", "全选", kShortcut, {0x00, 0xE0, 0x04, 0x00}, kUnchanged, {0xE0, 1, 0x04, 0}},
    {"Max", "最大化", kWindows, {0x00, 0xE2, 0x2C, 0x1B}, kUnchanged, {0xE2, 1, 0x2C, 0x1B}},
    {"Min", "最小化", kWindows, {0x00, 0xE2, 0x2C, 0x11}, kUnchanged, {0xE2, 1, 0x2C, 0x11}},
    {"Computer", "我的电脑", kTop, {0x03, 0x00, 0x94, 0x01}, 0x5E, {0xF2, 0, 0, 0}},
    {"Task Management", "任务管理器", kTop, {0x00, 0xE0, 0xE2, 0x4C}, kUnchanged, {0xE0, 1, 0xE2, 0x4C}},
    {"Homepage", "浏览器-主页", kTop, {0x03, 0x00, 0x23, 0x02}, 0xAC, {0xF4, 0, 0, 0}},
    {"Close", "关闭窗口", kTop, {0x00, 0xE2, 0x3D, 0x00}, kUnchanged, {0xE2, 1, 0x3D, 0}},
}};

// clang-format on

std::string_view BasicLabel(const BasicFunction& f, int language)
{
    return language == kLanguageChinese ? f.chinese : f.english;
}

std::string_view BasicGroupLabel(const BasicGroup& g, int language)
{
    return language == kLanguageChinese ? g.chinese : g.english;
}

const BasicFunction* FindBasicByStored(const std::uint8_t stored[4])
{
    if (!stored) return nullptr;
    for (const BasicFunction& f : g_basicFunctions)
        if (std::equal(f.stored.begin(), f.stored.end(), stored)) return &f;
    return nullptr;
}

const BasicFunction* FindBasicByLabel(std::string_view label, int language)
{
    for (const BasicFunction& f : g_basicFunctions)
        if (BasicLabel(f, language) == label) return &f;
    return nullptr;
}

std::vector<BasicTreeItem> BasicTreeItems()
{
    // The catalogue is in display order; a heading goes in front of the first
    // function of its group.
    std::vector<BasicTreeItem> items;
    items.reserve(g_basicFunctions.size() + kBasicGroups.size());
    std::array<bool, kBasicGroups.size()> shown{};
    for (std::size_t i = 0; i < g_basicFunctions.size(); ++i) {
        int group = g_basicFunctions[i].group;
        if (group >= 0 && !shown[group]) {
            shown[group] = true;
            items.push_back({true, group, -1});
        }
        items.push_back({false, static_cast<int>(i), group});
    }
    return items;
}

}  // namespace zr417
