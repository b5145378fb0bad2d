#include "keymap/key_assignment.h"

#include "config/image.h"
#include "macro/macro_store.h"

#include <algorithm>

namespace zr417 {

namespace {

constexpr std::size_t kComboKeys = 3;

void SetPlanes(ConfigImage& image, std::size_t pos, std::uint8_t p0, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3)
{
    image.plane(0, pos) = p0;
    image.plane(1, pos) = p1;
    image.plane(2, pos) = p2;
    image.plane(3, pos) = p3;
}

// Kind, data and count back to "nothing assigned".
void ClearAssignment(std::uint8_t* e)
{
    e[entry::Kind] = 0;
    e[entry::Count] = 0;
    std::fill_n(e + entry::Data, entry::DataSize, 0);
}

void WriteKeyBuffer(std::uint8_t* e, const KeyAssignmentState& s, std::uint8_t kindByte)
{
    e[entry::Kind] = kindByte;
    e[entry::Count] = static_cast<std::uint8_t>(std::clamp(s.g_nKeyCount(), 0, 255));
    std::copy(s.g_abKeyBuf().begin(), s.g_abKeyBuf().end(), e + entry::Data);
}

void UpdateMediaFlags(ConfigImage& image, std::size_t pos, std::uint8_t code)
{
    if (code != 0x83 && code != 0xCD && code != 0xE9 && code != 0xEA) return;
    std::uint8_t* rec = image.settings.data() + settings::MediaFlags + 4 * MediaFlagRecord(pos);
    rec[0] = 3;
    if (code == 0x83) rec[3] = 1;
}

void WritePath(std::uint8_t* e, std::u16string_view path)
{
    std::uint8_t* out = e + entry::Path;
    std::fill_n(out, 2 * entry::PathChars, 0);
    for (std::size_t i = 0; i < path.size() && path[i] != 0; ++i) {
        out[2 * i] = static_cast<std::uint8_t>(path[i] & 0xFF);
        out[2 * i + 1] = static_cast<std::uint8_t>(path[i] >> 8);
    }
}

}  // namespace

void KeyAssignmentState::SelectKey(std::uint8_t key)
{
    selectedKey_ = key;
    curKeyVk_ = key < kKeyCount ? g_defaultVkByKey[key] : 0;
}

void KeyAssignmentState::ClearKeys()
{
    keyBuf_.fill(0);
    keyCount_ = 0;
}

void KeyAssignmentState::SetKeys(std::span<const std::uint8_t> codes, int count)
{
    keyBuf_.fill(0);
    std::copy_n(codes.begin(), std::min(codes.size(), keyBuf_.size()), keyBuf_.begin());
    keyCount_ = count;
}

bool KeyAssignmentState::CaptureKey(std::uint8_t v)
{
    if (pendingKind_ == kind::Single) {
        keyBuf_[0] = v;
        keyCount_ = 1;
        return true;
    }
    if (pendingKind_ == kind::Combination) {
        // A fourth key starts a new combination; so does a count that no
        // capture could have left (one loaded from a damaged entry).
        if (keyCount_ < 0 || keyCount_ >= static_cast<int>(kComboKeys)) {
            keyCount_ = 0;
            keyBuf_.fill(0);
        }
        keyBuf_[static_cast<std::size_t>(keyCount_)] = v;
        ++keyCount_;
        return true;
    }
    return false;
}

std::string KeyAssignmentState::CapturedText() const
{
    std::string text;
    int n = std::clamp(keyCount_, 0, static_cast<int>(kComboKeys));
    for (int i = 0; i < n; ++i) {
        if (i > 0) text += "+ ";
        text += KeyName(keyBuf_[static_cast<std::size_t>(i)]);
    }
    return text;
}

std::string EntryText(const std::uint8_t* e)
{
    std::string text;
    if (e[entry::Kind] == kind::Single) {
        text = KeyName(e[entry::Data]);
    } else if (e[entry::Kind] == kind::Combination) {
        text = KeyName(e[entry::Data]);
        for (std::size_t i = 1; i < kComboKeys; ++i) {
            if (e[entry::Data + i] != 0) {
                text += "+ ";
                text += KeyName(e[entry::Data + i]);
            }
        }
    }
    return text;
}

ApplyResult ApplyKeyAssignment(KeyAssignmentState& s, ConfigImage& image, const MacroTable& macros, int language)
{
    const int k = s.g_nSelectedKey();
    if (k >= kKeyCount) return ApplyResult::Nothing;
    std::uint8_t* e = image.entry(static_cast<std::size_t>(k));
    const std::size_t pos = g_matrixPosByKey[static_cast<std::size_t>(k)];
    const std::uint8_t ownVk = g_defaultVkByKey[static_cast<std::size_t>(k)];

    if (s.g_nKeyCount() == kDefaultKeyCount) {
        // Byte 0 from the fixed list, not from the entry: a Basic or
        // Advanced assignment may have left another code there.
        ClearAssignment(e);
        e[entry::Vk] = ownVk;
        s.SetKeyEnabled(true);
        SetPlanes(image, pos, KeyCode(ownVk), 0, 0, 0);
        return ApplyResult::Applied;
    }

    const std::uint8_t pending = s.g_nPendingKind();
    switch (pending) {
        case kind::Single: {
            WriteKeyBuffer(e, s, kind::Single);
            if (s.g_nKeyCount() == 1) {
                const std::uint8_t target = s.g_abKeyBuf()[0];
                if (target == ownVk) {
                    ClearAssignment(e);
                    s.MarkKeyChanged(static_cast<std::size_t>(k), false);
                } else {
                    s.MarkKeyChanged(static_cast<std::size_t>(k), true);
                }
                s.SetKeyEnabled(true);
                SetPlanes(image, pos, KeyCode(target), 0, 0, 0);
                UpdateMediaFlags(image, pos, KeyCode(target));
            }
            return ApplyResult::Applied;
        }
        case kind::Combination:
            s.SetKeyEnabled(true);
            WriteKeyBuffer(e, s, kind::Combination);
            SetPlanes(image, pos, KeyCode(s.g_abKeyBuf()[0]), 1, KeyCode(s.g_abKeyBuf()[1]),
                      KeyCode(s.g_abKeyBuf()[2]));
            if (s.g_nKeyCount() > 1) s.MarkKeyChanged(static_cast<std::size_t>(k), true);
            return ApplyResult::Applied;

        case kind::Macro: {
            // Only a macro that sits in one of the keyboard's 12 slots can be
            // played; anything else would bind the key to nothing (or to a stale
            // slot), so it is refused before anything is written.
            const int m = s.g_nMacroSel();
            if (m < 0 || m >= kMaxBindableMacros || macros[m].free()) return ApplyResult::Refused;
            s.SetKeyEnabled(true);
            e[entry::Kind] = kind::Macro;
            e[entry::Data + 0] = 0x04;
            e[entry::Data + 1] = 0x01;
            e[entry::Data + 2] = static_cast<std::uint8_t>(m);
            e[entry::Data + 3] = 0x00;
            s.MarkKeyChanged(static_cast<std::size_t>(k), true);
            SetPlanes(image, pos, 0, 2, static_cast<std::uint8_t>(m), 0);
            PlaceMacrosInImage(macros, image);
            return ApplyResult::Applied;
        }
        case kind::Basic: {
            s.SetKeyEnabled(true);
            s.MarkKeyChanged(static_cast<std::size_t>(k), true);
            e[entry::Kind] = kind::Basic;
            const BasicFunction* f = FindBasicByLabel(s.g_szFunction(), language);
            if (!f) return ApplyResult::Applied;
            std::copy(f->stored.begin(), f->stored.end(), e + entry::Data);
            if (f->entryVk >= 0) e[entry::Vk] = static_cast<std::uint8_t>(f->entryVk);
            SetPlanes(image, pos, f->device[0], f->device[1], f->device[2], f->device[3]);
            return ApplyResult::Applied;
        }
        case kind::PlaySound:
        case kind::StartProgram:
        case kind::OpenFile:
        case kind::OpenFolder: {
            // A cut path would name another file or folder.
            std::u16string_view path = s.g_szActionPath();
            path = path.substr(0, std::min(path.size(), path.find(u'\0')));
            if (path.size() > kActionPathChars) return ApplyResult::Refused;
            s.MarkKeyChanged(static_cast<std::size_t>(k), true);
            s.SetKeyEnabled(true);
            SetPlanes(image, pos, kHostActionCode, 0, 0, 0);
            e[entry::Kind] = pending;
            e[entry::Vk] = ownVk;
            static constexpr std::uint8_t kActionData[] = {0x03, 0x00, 0x23, 0x02};
            std::copy(std::begin(kActionData), std::end(kActionData), e + entry::Data);
            WritePath(e, path);
            return ApplyResult::Applied;
        }
        case kind::Disable:
            ClearAssignment(e);
            s.SetKeyEnabled(false);
            SetPlanes(image, pos, 0, 0, 0, 0);
            return ApplyResult::Applied;
        default:
            return ApplyResult::Nothing;
    }
}

RunResult RunKeyAssignment(KeyAssignmentState& s, KeymapStore& store, const MacroTable& macros, int key, int language,
                           const AssignmentDialog& dialog)
{
    if (key < 0 || key >= kKeyCount) return RunResult::NoKey;
    const auto k = static_cast<std::size_t>(key);
    s.SelectKey(static_cast<std::uint8_t>(key));

    // The key table comes from the file again (dropping what an earlier
    // cancelled dialog changed in memory); the settings stay as they are.
    store.KeepSettingsOnNextLoad(true);
    store.LoadKeymapFile();
    // Whether the file was read, created anew or could not be read, byte 0
    // of the key entries must be the keys' own codes before the dialog opens.
    store.KeepSettingsOnNextLoad(false);
    store.RefreshKeyCodes();

    ConfigImage& image = store.current();
    const std::size_t pos = g_matrixPosByKey[k];
    s.SetKeyEnabled(image.plane(0, pos) != 0 || image.plane(1, pos) != 0);

    if (!dialog || !dialog(s, image)) return RunResult::Cancelled;

    const std::uint8_t wasChanged = s.g_abKeyChanged()[k];
    // The dialog's Disable toggle holds for every kind it saves (the apply
    // step marks each kind enabled); only Default always enables the key.
    const bool disabledByDialog = s.g_bKeyEnabled() == 0 && s.g_nKeyCount() != kDefaultKeyCount;
    s.MarkKeyChanged(k, false);
    if (ApplyKeyAssignment(s, image, macros, language) == ApplyResult::Refused) {
        s.MarkKeyChanged(k, wasChanged != 0);
        return RunResult::Refused;
    }

    if (disabledByDialog || s.g_bKeyEnabled() == 0) {
        s.SetKeyEnabled(false);
        s.MarkKeyChanged(k, true);
        SetPlanes(image, pos, 0, 0, 0, 0);
    }
    return store.SaveKeymapFile() ? RunResult::Applied : RunResult::SaveFailed;
}

}  // namespace zr417
