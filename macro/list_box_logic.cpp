#include "macro/list_box_logic.h"

#include "macro/macro_model.h"

#include <algorithm>
#include <cstdint>

namespace zr417 {

namespace {

std::string RemoveAll(std::string_view text, std::string_view what)
{
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t hit = text.find(what, pos);
        if (hit == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, hit - pos));
        pos = hit + what.size();
    }
    return out;
}

bool Contains(std::string_view text, std::string_view what)
{
    return text.find(what) != std::string_view::npos;
}

// Leading blanks, sign and digits, saturating at `limit` in magnitude.
std::int64_t LeadingInteger(std::string_view text, std::int64_t limit)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        v = std::min<std::int64_t>(v * 10 + (text[i] - '0'), limit);
    return negative ? -v : v;
}

}  // namespace

ListItemLook LookOfItem(std::string_view text, int editMode)
{
    if (editMode != kEditDelay) return {ListMark::None, std::string(text)};
    if (Contains(text, "dn")) return {ListMark::Press, RemoveAll(text, "dn")};
    if (Contains(text, "up")) return {ListMark::Release, RemoveAll(text, "up")};
    if (Contains(text, "ms")) return {ListMark::Delay, std::string(text)};
    return {ListMark::None, std::string(text)};
}

bool ItemEditable(std::string_view text, int editMode)
{
    return editMode != kEditDelay || !(Contains(text, "up") || Contains(text, "dn"));
}

std::string EditorText(std::string_view itemText, int editMode)
{
    return editMode == kEditDelay ? RemoveAll(itemText, " ms") : std::string(itemText);
}

int ParseTypedDelay(std::string_view text)
{
    std::int64_t v = LeadingInteger(text, kMacroMaxDelay + 1);
    return static_cast<int>(std::clamp<std::int64_t>(v, kMacroMinTypedDelay, kMacroMaxDelay));
}

int ParseBoundedNumber(std::string_view text, int max)
{
    return static_cast<int>(std::clamp<std::int64_t>(LeadingInteger(text, max + 1LL), 0, max));
}

ListEditOutcome CommitListEdit(std::string_view typed, int editMode)
{
    ListEditOutcome out;
    switch (editMode) {
        case kEditDelay:
            out.delay = ParseTypedDelay(typed);
            out.text = std::to_string(out.delay) + " ms";
            break;
        case kEditFileName:
            out.text = std::string(typed);
            if (!Contains(out.text, ".bin")) out.text += ".bin";
            break;
        default:
            out.text = std::string(typed);
            break;
    }
    return out;
}

}  // namespace zr417
