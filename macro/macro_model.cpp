#include "macro/macro_model.h"

#include "config/keys.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdio>

namespace zr417 {

// --- text --------------------------------------------------------------------

namespace {

constexpr char32_t kReplacement = kReplacementChar;

bool IsHigh(char16_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(char16_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

// --- names -------------------------------------------------------------------

std::u16string MacroNameU16(const MacroRecord& r)
{
    std::u16string name;
    for (int i = 0; i < kMacroNameChars; ++i) {
        auto u = static_cast<char16_t>(r.name[2 * i] | r.name[2 * i + 1] << 8);
        if (u == 0) break;
        name += u;
    }
    // A file may cut a pair in half at the end of the field.
    if (!name.empty() && IsHigh(name.back())) name.back() = static_cast<char16_t>(kReplacement);
    return name;
}

std::string MacroName(const MacroRecord& r)
{
    return Utf16ToUtf8(MacroNameU16(r));
}

void SetMacroName(MacroRecord& r, std::u16string_view name)
{
    std::size_t n = std::min<std::size_t>(name.size(), kMacroNameChars);
    if (n > 0 && n < name.size() && IsHigh(name[n - 1]) && IsLow(name[n])) --n;  // keep a pair whole
    std::fill(std::begin(r.name), std::end(r.name), 0);
    for (std::size_t i = 0; i < n; ++i) {
        char16_t u = name[i];
        if (u == 0) break;
        r.name[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
        r.name[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
    }
}

void SetMacroName(MacroRecord& r, std::string_view utf8)
{
    SetMacroName(r, std::u16string_view(Utf8ToUtf16(utf8)));
}

// --- the table -----------------------------------------------------------------

int UsedMacroCount(const MacroTable& t)
{
    int n = 0;
    while (n < kMacroCount && !t[n].free()) ++n;
    return n;
}

int FirstFreeMacro(const MacroTable& t)
{
    for (int i = 0; i < kMacroCount; ++i)
        if (t[i].free()) return i;
    return -1;
}

void DeleteMacro(MacroTable& t, int i)
{
    if (i < 0 || i >= kMacroCount) return;
    std::move(t.records.begin() + i + 1, t.records.end(), t.records.begin() + i);
    t.records.back() = MacroRecord{};
}

std::vector<std::string> MacroNames(const MacroTable& t)
{
    std::vector<std::string> names;
    for (int i = 0, n = UsedMacroCount(t); i < n; ++i) names.push_back(MacroName(t[i]));
    return names;
}

// --- steps ---------------------------------------------------------------------

int StepCount(const StepArray& a)
{
    int n = 0;
    while (n < kMacroStepCount && a[n].key != 0) ++n;
    return n;
}

bool InsertStep(StepArray& dev, StepArray& vk, int index, MacroStep devStep, MacroStep vkStep)
{
    if (index < 0 || index >= kMacroStepCount) return false;
    for (StepArray* a : {&dev, &vk}) {
        std::move_backward(a->steps.begin() + index, a->steps.end() - 1, a->steps.end());
    }
    dev[index] = devStep;
    vk[index] = vkStep;
    return true;
}

void ApplyFirstStepRule(StepArray& dev, StepArray& vk)
{
    for (StepArray* a : {&dev, &vk}) (*a)[0].flags = static_cast<std::uint8_t>(((*a)[0].flags & 0x81) | kStepMark);
}

bool DeleteStep(StepArray& dev, StepArray& vk, int index)
{
    if (index < 0 || index >= kMacroStepCount) return false;
    for (StepArray* a : {&dev, &vk}) {
        std::move(a->steps.begin() + index + 1, a->steps.end(), a->steps.begin() + index);
        a->steps.back() = MacroStep{};
    }
    ApplyFirstStepRule(dev, vk);
    return true;
}

bool SetStepDelay(StepArray& dev, StepArray& vk, int index, std::uint16_t ms)
{
    if (index < 0 || index >= kMacroStepCount) return false;
    dev[index].setDelay(ms);
    vk[index].setDelay(ms);
    return true;
}

bool DeleteStepDelay(StepArray& dev, StepArray& vk, int index)
{
    if (!SetStepDelay(dev, vk, index, 0)) return false;
    ApplyFirstStepRule(dev, vk);
    return true;
}

KeyStepPair MakeKeySteps(std::uint8_t vk, std::uint8_t flags, std::uint16_t delay)
{
    KeyStepPair pair{{flags, KeyCode(vk)}, {flags, vk}};
    pair.device.setDelay(delay);
    pair.virtualKey.setDelay(delay);
    return pair;
}

bool WriteStep(StepArray& dev, StepArray& vk, int index, const KeyStepPair& step)
{
    if (index < 0 || index >= kMacroStepCount) return false;
    dev[index] = step.device;
    vk[index] = step.virtualKey;
    return true;
}

std::uint16_t ClampRecordedDelay(long long ms)
{
    return static_cast<std::uint16_t>(std::clamp<long long>(ms, 0, kMacroMaxDelay));
}

// --- the step list ---------------------------------------------------------------

namespace {

bool ShowsDelay(const StepArray& dev, int s)
{
    // A first press never shows its delay.
    return dev[s].delay() != 0 && !(s == 0 && !dev[s].release());
}

}  // namespace

std::vector<std::string> StepLines(const StepArray& dev, const StepArray& vk)
{
    std::vector<std::string> lines;
    for (int s = 0, n = StepCount(dev); s < n; ++s) {
        if (ShowsDelay(dev, s)) lines.push_back(std::to_string(dev[s].delay()) + " ms");
        std::string line(KeyName(vk[s].key));
        line += dev[s].release() ? " up" : " dn";
        lines.push_back(std::move(line));
    }
    return lines;
}

int StepOfLine(const StepArray& dev, int line)
{
    if (line < 0) return -1;
    int next = 0;
    for (int s = 0, n = StepCount(dev); s < n; ++s) {
        next += ShowsDelay(dev, s) ? 2 : 1;
        if (line < next) return s;
    }
    return -1;
}

bool IsDelayLine(std::string_view line)
{
    return line.find(" ms") != std::string_view::npos;
}

bool IsKeyLine(std::string_view line)
{
    return line.find("up") != std::string_view::npos || line.find("dn") != std::string_view::npos;
}

}  // namespace zr417
