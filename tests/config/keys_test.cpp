#include "config/keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

namespace zr417 {
namespace {

constexpr int kPicX = kKeyboardPictureX;
constexpr int kPicY = kKeyboardPictureY;

// ---- key-name table --------------------------------------------------------

TEST(KeyNames, InitFillsEveryRowAndTheGlobalHoldsTheSameTable)
{
    // Rows copied from the key-name table by hand, one from each group
    // (single keys, modifiers, media, punctuation, mouse), not built by the
    // code under test.
    struct Row {
        int vk;
        std::uint8_t code;
        const char* name;
    };
    const Row rows[] = {
        {0x08, 0x2A, "Back "},  {0x6C, 0x58, "Enter "},
        {0xA3, 0xE4, "RCtrl "}, {0xAF, 0xED, "Volume UP "},
        {0xC0, 0x35, "` "},     {0xDE, 0x34, "' "},
        {0xD2, 0xD2, "MsMB "},  {0xF0, 0xF0, "MsLB"},
        {0xF4, 0xF4, ""},       {0xF7, 0xF7, "Mouse pointer Down"},
        {0x5D, 0x65, "Apps "},  {0x91, 0x47, "Scrol "},
    };
    const KeyNameTable fresh = InitKeyNameTable();
    for (const KeyNameTable* t : {&fresh, &g_keyNames}) {
        for (int n = 0; n < 256; ++n) EXPECT_EQ((*t)[n].vk, n);
        for (const Row& row : rows) {
            EXPECT_EQ((*t)[row.vk].code, row.code) << std::hex << row.vk;
            EXPECT_STREQ((*t)[row.vk].name, row.name) << std::hex << row.vk;
        }
    }
}

TEST(KeyNames, LettersDigitsAndFunctionKeysByRule)
{
    EXPECT_EQ(KeyCode(0x41), 0x04);
    EXPECT_EQ(KeyName(0x41), "A ");
    EXPECT_EQ(KeyCode(0x5A), 0x1D);
    EXPECT_EQ(KeyName(0x5A), "Z ");
    EXPECT_EQ(KeyCode(0x4D), 0x10);
    EXPECT_EQ(KeyName(0x4D), "M ");

    EXPECT_EQ(KeyCode(0x30), 0x27);
    EXPECT_EQ(KeyName(0x30), "0");  // the only digit without a trailing space
    EXPECT_EQ(KeyCode(0x31), 0x1E);
    EXPECT_EQ(KeyName(0x31), "1 ");
    EXPECT_EQ(KeyCode(0x39), 0x26);
    EXPECT_EQ(KeyName(0x39), "9 ");

    EXPECT_EQ(KeyCode(0x70), 0x3A);
    EXPECT_EQ(KeyName(0x70), "F1 ");
    EXPECT_EQ(KeyCode(0x79), 0x43);
    EXPECT_EQ(KeyName(0x79), "F10 ");
    EXPECT_EQ(KeyCode(0x7B), 0x45);
    EXPECT_EQ(KeyName(0x7B), "F12 ");
    EXPECT_EQ(KeyCode(0x7C), 0);  // F13 is not a key of this keyboard
    EXPECT_EQ(KeyName(0x7C), "");

    EXPECT_EQ(KeyCode(0x60), 0x62);
    EXPECT_EQ(KeyName(0x60), "0-num ");
    EXPECT_EQ(KeyCode(0x61), 0x59);
    EXPECT_EQ(KeyName(0x61), "1-num ");
    EXPECT_EQ(KeyCode(0x69), 0x61);
    EXPECT_EQ(KeyName(0x69), "9-num ");
}

TEST(KeyNames, SingleRowsIncludingTheOddOnes)
{
    EXPECT_EQ(KeyCode(0xB7), 0xF1);
    EXPECT_EQ(KeyName(0xB7), "Caculator ");
    EXPECT_EQ(KeyName(0xAD), "Mute");
    EXPECT_EQ(KeyName(0xB3), "Play/Pause");
    EXPECT_EQ(KeyCode(0x5E), 0xF2);
    EXPECT_EQ(KeyName(0x5E), "Computer ");
    EXPECT_EQ(KeyName(0xDC), "\\ ");
    EXPECT_EQ(KeyCode(0xDC), 0x32);
    EXPECT_EQ(KeyName(0xA9), "WWW Stop ");
    EXPECT_EQ(KeyName(0xAE), "Volume DOWN ");

    // Unlisted rows carry nothing.
    EXPECT_EQ(KeyCode(0x07), 0);
    EXPECT_EQ(KeyName(0x07), "");
    EXPECT_EQ(KeyCode(0x00), 0);
    EXPECT_EQ(KeyCode(0xFF), 0);
    EXPECT_EQ(KeyName(0xFF), "");
    EXPECT_EQ(KeyCode(0xA8), 0);
    EXPECT_EQ(KeyCode(0xB6), 0);
}

TEST(KeyNames, MouseRows)
{
    EXPECT_EQ(KeyCode(0xF3), 0xF3);
    EXPECT_EQ(KeyName(0xF3), "");
    EXPECT_EQ(KeyCode(0xF4), 0xF4);
    EXPECT_EQ(KeyName(0xF4), "");
    EXPECT_EQ(KeyName(0xF0), "MsLB");
    EXPECT_EQ(KeyName(0xD0), "MsLB ");
    EXPECT_EQ(KeyCode(0xD2), 0xD2);
    EXPECT_EQ(KeyName(0xF7), "Mouse pointer Down");
    for (int vk = 0xF0; vk <= 0xF9; ++vk) EXPECT_EQ(KeyCode(static_cast<std::uint8_t>(vk)), vk);
    EXPECT_EQ(KeyCode(0xFA), 0);
}

TEST(KeyNames, CodeF0StandsInTwoRows)
{
    std::vector<int> rows;
    for (int n = 0; n < 256; ++n)
        if (g_keyNames[n].code == 0xF0) rows.push_back(n);
    EXPECT_EQ(rows, (std::vector<int>{0xB4, 0xF0}));
    EXPECT_EQ(KeyName(0xB4), "EMail ");
}

TEST(KeyNames, NamesAreTerminatedAndFitTheirField)
{
    for (const auto& row : g_keyNames) {
        const char* end = static_cast<const char*>(std::memchr(row.name, '\0', sizeof row.name));
        ASSERT_NE(end, nullptr) << int(row.vk);
        // A name without a code would show a key the keyboard cannot send.
        if (row.name[0] != '\0') {
            EXPECT_NE(row.code, 0) << int(row.vk);
        }
    }
}

// ---- layout tables ----------------------------------------------------------

TEST(Layout, EnterKeysAndFn)
{
    EXPECT_EQ(g_defaultVkByKey[90], 0x6C);
    EXPECT_EQ(KeyCode(g_defaultVkByKey[90]), 0x58);
    EXPECT_EQ(g_defaultVkByKey[70], 0x0D);
    EXPECT_EQ(KeyCode(g_defaultVkByKey[70]), 0x28);
    EXPECT_EQ(KeyName(0x6C), KeyName(0x0D));  // same name, different key

    EXPECT_EQ(g_defaultVkByKey[kFnKey], 0x5D);
    EXPECT_EQ(g_defaultVkByKey[97], 0x5D);
    EXPECT_EQ(g_matrixPosByKey[kFnKey], 116);
    EXPECT_EQ(g_matrixPosByKey[97], 117);
    EXPECT_EQ(g_matrixPosByKey[70], 76);
    EXPECT_EQ(g_matrixPosByKey[103], 124);
}

TEST(Layout, EveryDefaultKeyHasACodeAndANameAndOnlyFnSharesOne)
{
    std::set<int> codes;
    for (int k = 0; k < kKeyCount; ++k) {
        std::uint8_t vk = g_defaultVkByKey[k];
        EXPECT_NE(KeyCode(vk), 0) << "key " << k;
        EXPECT_FALSE(KeyName(vk).empty()) << "key " << k;
        if (k != kFnKey) {
            EXPECT_TRUE(codes.insert(KeyCode(vk)).second) << "key " << k << " repeats a device code";
        }
    }
    EXPECT_EQ(codes.size(), 103u);
}

TEST(Layout, MatrixPositionsAreUniqueInRangeAndAvoidTheUnusedOnes)
{
    const std::set<int> unused = {1,  17,  18,  19,  20,  75,  77,  78,  79,  83,  85,  96,
                                  98, 100, 108, 109, 110, 112, 113, 114, 123, 125, 126, 127};
    std::set<int> seen;
    for (int k = 0; k < kKeyCount; ++k) {
        int p = g_matrixPosByKey[k];
        EXPECT_LT(p, 6 * 21) << "key " << k;
        EXPECT_FALSE(unused.count(p)) << "key " << k << " at unused position " << p;
        EXPECT_TRUE(seen.insert(p).second) << "key " << k << " repeats position " << p;
    }
    // The used and the unused positions together cover the whole plane.
    EXPECT_EQ(seen.size() + unused.size(), 128u);
    // Keys are numbered along the rows, so positions rise with the key index.
    EXPECT_TRUE(std::is_sorted(g_matrixPosByKey.begin(), g_matrixPosByKey.end()));
}

TEST(Layout, LedPositionsAreUniqueAndIndexTheColourPageLikeTheMatrix)
{
    std::set<int> seen;
    for (int k = 0; k < kKeyCount; ++k) {
        int l = g_ledPosByKey[k];
        EXPECT_LT(l, 128) << "key " << k;  // red, green, blue each hold 128 positions
        EXPECT_TRUE(seen.insert(l).second) << "key " << k;
        // The colour pages hold one byte per matrix position.
        EXPECT_EQ(l, g_matrixPosByKey[k]) << "key " << k;
    }
    EXPECT_EQ(g_ledPosByKey[1], 2);  // F1 sits at position 2, not 1
}

TEST(Layout, RectanglesFollowTheRowsAndDoNotOverlap)
{
    const int tops[] = {118, 154, 182, 210, 238, 266};
    for (int k = 0; k < kKeyCount; ++k) {
        const KeyRect& r = g_keyRectByKey[k];
        EXPECT_GE(r.left, 0) << k;
        EXPECT_GE(r.right - r.left, 27) << k;
        EXPECT_TRUE(std::find(std::begin(tops), std::end(tops), r.top) != std::end(tops)) << k;
        // One row high, or down through the next row for the tall numeric-pad
        // keys (+ and Enter).
        int row = static_cast<int>(std::find(std::begin(tops), std::end(tops), r.top) - std::begin(tops));
        if (k == 57 || k == 90) {
            EXPECT_TRUE(row < 5 && r.bottom >= tops[row + 1] + 27) << k;
        } else {
            EXPECT_EQ(r.bottom - r.top, 27) << k;
        }
        if (k > 0 && g_keyRectByKey[k - 1].top == r.top) {
            EXPECT_GT(r.left, g_keyRectByKey[k - 1].right) << k;
        }
    }
    for (int a = 0; a < kKeyCount; ++a)
        for (int b = a + 1; b < kKeyCount; ++b) {
            const KeyRect& p = g_keyRectByKey[a];
            const KeyRect& q = g_keyRectByKey[b];
            bool overlap = p.left <= q.right && q.left <= p.right && p.top <= q.bottom && q.top <= p.bottom;
            EXPECT_FALSE(overlap) << a << " and " << b;
        }
    // The picture's extent: keys reach from 28 to 662 across and 118 to 294 down.
    int maxRight = 0, maxBottom = 0;
    for (const KeyRect& r : g_keyRectByKey) {
        maxRight = std::max(maxRight, r.right);
        maxBottom = std::max(maxBottom, r.bottom);
    }
    EXPECT_EQ(maxRight, 662);
    EXPECT_EQ(maxBottom, 294);
}

TEST(Layout, EveryLabelStandsInsideItsOwnKey)
{
    for (int k = 0; k < kKeyCount; ++k) {
        const KeyRect& r = g_keyRectByKey[k];
        int x = kKeyLabelPoints[k].x + 270;
        int y = kKeyLabelPoints[k].y + 80;
        EXPECT_TRUE(r.left + kPicX <= x && x <= r.right + kPicX && r.top + kPicY <= y && y <= r.bottom + kPicY)
            << "label of key " << k;
        EXPECT_EQ(KeyHitTest(x, y, true), k);
    }
}

TEST(Layout, LabelsOfSomeKeys)
{
    EXPECT_EQ(g_keyLabels[0], "Esc");
    EXPECT_EQ(g_keyLabels[12], "F12");
    EXPECT_EQ(g_keyLabels[16], "~");
    EXPECT_EQ(g_keyLabels[26], "0");
    EXPECT_EQ(g_keyLabels[50], "\\");
    EXPECT_EQ(g_keyLabels[58], "Caps Lock");
    EXPECT_EQ(g_keyLabels[90], "Ent");
    EXPECT_EQ(g_keyLabels[kFnKey], "Fn");
    EXPECT_EQ(g_keyLabels[103], ".");
    for (int k = 0; k < kKeyCount; ++k) EXPECT_FALSE(g_keyLabels[k].empty()) << k;
}

// ---- key hit test -----------------------------------------------------------

TEST(KeyHitTest, EdgesAreIncludedAndOffsetByThePicturePosition)
{
    // Esc: 28, 118, 55, 145.
    EXPECT_EQ(KeyHitTest(28 + kPicX, 118 + kPicY, false), 0);
    EXPECT_EQ(KeyHitTest(55 + kPicX, 145 + kPicY, false), 0);
    EXPECT_EQ(KeyHitTest(27 + kPicX, 118 + kPicY, false), kNoKey);
    EXPECT_EQ(KeyHitTest(28 + kPicX, 117 + kPicY, false), kNoKey);
    EXPECT_EQ(KeyHitTest(56 + kPicX, 145 + kPicY, false), kNoKey);
    EXPECT_EQ(KeyHitTest(55 + kPicX, 146 + kPicY, false), kNoKey);
    // Picture coordinates without the offset are not keys.
    EXPECT_EQ(KeyHitTest(40, 130, false), kNoKey);

    // Every key's corners hit that key.
    for (int k = 0; k < kKeyCount; ++k) {
        if (k == kFnKey) continue;
        const KeyRect& r = g_keyRectByKey[k];
        EXPECT_EQ(KeyHitTest(r.left + kPicX, r.top + kPicY, false), k);
        EXPECT_EQ(KeyHitTest(r.right + kPicX, r.top + kPicY, false), k);
        EXPECT_EQ(KeyHitTest(r.left + kPicX, r.bottom + kPicY, false), k);
        EXPECT_EQ(KeyHitTest(r.right + kPicX, r.bottom + kPicY, false), k);
    }
}

TEST(KeyHitTest, NeighboursAndGaps)
{
    // F1 ends at 110, F2 starts at 111.
    EXPECT_EQ(KeyHitTest(110 + kPicX, 130 + kPicY, false), 1);
    EXPECT_EQ(KeyHitTest(111 + kPicX, 130 + kPicY, false), 2);
    // Gap between Esc and F1, between the top two rows, and beside the arrows.
    EXPECT_EQ(KeyHitTest(70 + kPicX, 130 + kPicY, false), kNoKey);
    EXPECT_EQ(KeyHitTest(40 + kPicX, 150 + kPicY, false), kNoKey);
    EXPECT_EQ(KeyHitTest(455 + kPicX, 250 + kPicY, false), kNoKey);
    // Rows 2 and 3 touch: 181 belongs to the upper key, 182 to the lower.
    EXPECT_EQ(KeyHitTest(40 + kPicX, 181 + kPicY, false), 16);
    EXPECT_EQ(KeyHitTest(40 + kPicX, 182 + kPicY, false), 37);
    // The tall keys span two rows.
    EXPECT_EQ(KeyHitTest(640 + kPicX, 230 + kPicY, false), 57);
    EXPECT_EQ(KeyHitTest(640 + kPicX, 294 + kPicY, false), 90);
    EXPECT_EQ(KeyHitTest(640 + kPicX, 295 + kPicY, false), kNoKey);
    // Far outside.
    EXPECT_EQ(KeyHitTest(-5, -5, false), kNoKey);
    EXPECT_EQ(KeyHitTest(100000, 100000, true), kNoKey);
}

TEST(KeyHitTest, FnKeyOnlyInPerKeyMode)
{
    const KeyRect& fn = g_keyRectByKey[kFnKey];
    int x = (fn.left + fn.right) / 2 + kPicX;
    int y = (fn.top + fn.bottom) / 2 + kPicY;
    EXPECT_EQ(KeyHitTest(x, y, false), kNoKey);
    EXPECT_EQ(KeyHitTest(x, y, true), kFnKey);
    EXPECT_EQ(KeyHitTest(fn.right + kPicX, y, false), kNoKey);
    EXPECT_EQ(KeyHitTest(fn.right + 1 + kPicX, y, false), 97);  // Apps right beside it
}

// ---- Basic function catalogue -----------------------------------------------

TEST(BasicCatalogue, TwentyThreeFunctionsUnderThreeHeadingsInDisplayOrder)
{
    auto items = BasicTreeItems();
    ASSERT_EQ(items.size(), 26u);
    std::vector<std::string> english;
    for (const auto& it : items) {
        if (it.heading) {
            EXPECT_EQ(it.parent, -1);
            english.push_back(std::string(BasicGroupLabel(kBasicGroups.at(it.index), kLanguageEnglish)));
        } else {
            EXPECT_EQ(it.parent, g_basicFunctions.at(it.index).group);
            english.push_back(std::string(BasicLabel(g_basicFunctions.at(it.index), kLanguageEnglish)));
        }
    }
    const std::vector<std::string> expected = {
        "Search",   "Run",   "Media",      "Media Player", "Prev", "Next", "Play/Pause", "Stop",
        "Vol+",     "Vol-",  "Mute",       "Shortcut",     "New",  "Cut",  "Copy",       "Paste",
        "Save",     "Print", "Select All", "Windows",      "Max",  "Min",  "Computer",   "Task Management",
        "Homepage", "Close"};
    EXPECT_EQ(english, expected);
    int headings = static_cast<int>(std::count_if(items.begin(), items.end(), [](auto& i) { return i.heading; }));
    EXPECT_EQ(headings, 3);
}

TEST(BasicCatalogue, ChineseLabels)
{
    EXPECT_EQ(BasicGroupLabel(kBasicGroups[0], kLanguageChinese), "多媒体");
    EXPECT_EQ(BasicGroupLabel(kBasicGroups[1], kLanguageChinese), "快捷健");
    EXPECT_EQ(BasicGroupLabel(kBasicGroups[2], kLanguageChinese), "Windows");
    EXPECT_EQ(BasicLabel(g_basicFunctions[0], kLanguageChinese), "搜索");
    EXPECT_EQ(BasicLabel(g_basicFunctions[21], kLanguageChinese), "浏览器-主页");
    EXPECT_EQ(BasicLabel(g_basicFunctions[21], kLanguageEnglish), "Homepage");
}

TEST(BasicCatalogue, DeviceBytesAgreeWithStoredCodesAndKeyNames)
{
    for (const auto& f : g_basicFunctions) {
        SCOPED_TRACE(std::string(f.english));
        if (f.entryVk >= 0) {
            // A single function: the key-name table gives its device code.
            ASSERT_LT(f.entryVk, 256);
            std::array<std::uint8_t, 4> single = {KeyCode(static_cast<std::uint8_t>(f.entryVk)), 0, 0, 0};
            EXPECT_EQ(f.device, single);
            EXPECT_NE(f.device[0], 0);
        } else {
            // A combination sends the stored modifier and keys.
            EXPECT_EQ(f.stored[0], 0x00);
            std::array<std::uint8_t, 4> combo = {f.stored[1], 1, f.stored[2], f.stored[3]};
            EXPECT_EQ(f.device, combo);
        }
        EXPECT_TRUE(f.stored[0] == 0x00 || f.stored[0] == 0x03);
    }
    // Prev: row 0xB1, code 0xE9.
    const BasicFunction* prev = FindBasicByLabel("Prev", kLanguageEnglish);
    ASSERT_NE(prev, nullptr);
    EXPECT_EQ(prev->entryVk, 0xB1);
    EXPECT_EQ(prev->device[0], 0xE9);
}

TEST(BasicCatalogue, LookUpByStoredCodeAndByLabelInBothLanguages)
{
    for (const auto& f : g_basicFunctions) {
        EXPECT_EQ(FindBasicByStored(f.stored.data()), &f) << f.english;
        EXPECT_EQ(FindBasicByLabel(f.english, kLanguageEnglish), &f) << f.english;
        EXPECT_EQ(FindBasicByLabel(f.chinese, kLanguageChinese), &f) << f.english;
    }
    const std::uint8_t maxCode[4] = {0x00, 0xE2, 0x2C, 0x1B};
    const std::uint8_t minCode[4] = {0x00, 0xE2, 0x2C, 0x11};
    ASSERT_NE(FindBasicByStored(maxCode), nullptr);
    EXPECT_EQ(FindBasicByStored(maxCode)->english, "Max");
    EXPECT_EQ(FindBasicByStored(minCode)->chinese, "最小化");

    const std::uint8_t unknown[4] = {0x00, 0xE2, 0x2C, 0x00};
    const std::uint8_t zero[4] = {0, 0, 0, 0};
    EXPECT_EQ(FindBasicByStored(unknown), nullptr);
    EXPECT_EQ(FindBasicByStored(zero), nullptr);

    // A label only matches in its own language; headings are not functions.
    EXPECT_EQ(FindBasicByLabel("上一曲", kLanguageEnglish), nullptr);
    EXPECT_EQ(FindBasicByLabel("Prev", kLanguageChinese), nullptr);
    EXPECT_EQ(FindBasicByLabel("Media", kLanguageEnglish), nullptr);
    EXPECT_EQ(FindBasicByLabel("Windows", kLanguageChinese), nullptr);
    EXPECT_EQ(FindBasicByLabel("", kLanguageEnglish), nullptr);
    EXPECT_EQ(FindBasicByLabel("prev", kLanguageEnglish), nullptr);
    EXPECT_EQ(FindBasicByLabel("Prev ", kLanguageEnglish), nullptr);
    ASSERT_NE(FindBasicByLabel("Task Management", kLanguageEnglish), nullptr);
    EXPECT_EQ(FindBasicByLabel("任务管理器", kLanguageChinese)->english, "Task Management");
}

}  // namespace
}  // namespace zr417
