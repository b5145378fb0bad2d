// The rules of the transparent list box that do not depend on drawing: how a
// step line is marked, which items may be edited in place, what the editor
// starts with, and what a committed edit turns into.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zr417 {

// Edit modes of the list box.
enum ListEditMode : int {
    kEditPlainText = 0,   // plain text (macro names)
    kEditDelay = 1,       // delay in ms (step list)
    kEditFileName = 2,    // file name, ".bin" appended when missing
    kEditParentText = 3,  // plain text, index notification, parent's background (profile list)
};

enum class ListMark { None, Press, Release, Delay };

struct ListItemLook {
    ListMark mark = ListMark::None;
    std::string text;  // what is drawn
};

// In the delay mode a line holding "dn" is a press line (every "dn" left
// out), else one holding "up" a release line (every "up" left out), else one
// holding "ms" a delay line; other modes draw the text as it is, unmarked.
ListItemLook LookOfItem(std::string_view text, int editMode);

// A double-click may edit the item: in the delay mode key lines ("up", "dn")
// are not editable.
bool ItemEditable(std::string_view text, int editMode);

// The editor's first text: the item's text, without " ms" in the delay mode.
std::string EditorText(std::string_view itemText, int editMode);

// A typed delay: leading blanks, an optional sign and decimal digits, as far
// as they go (anything else reads as 0, huge numbers saturate), then kept to
// 2..60000 ms.
int ParseTypedDelay(std::string_view text);

// A decimal field read the same way (leading digits), kept to 0..max.
int ParseBoundedNumber(std::string_view text, int max);

struct ListEditOutcome {
    std::string text;  // the item's text after the edit
    int delay = -1;    // the delay mode: the committed value in ms
};
// What a committed edit of `typed` makes of the item in `editMode`.
ListEditOutcome CommitListEdit(std::string_view typed, int editMode);

}  // namespace zr417
