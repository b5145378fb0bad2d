#include "macro/macro_manager.h"

#include "config/keys.h"
#include "macro/list_box_logic.h"
#include "platform/trace.h"

#include <algorithm>
#include <cstdio>

namespace zr417 {

namespace {

constexpr int kLiveStepBytes = kMacroLiveStepLimit * 4;  // presses stop here
constexpr int kAllStepBytes = kMacroStepCount * 4;       // the arrays end here

std::string NewMacroName(int n)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, n < 10 ? "Macro_00%d" : "Macro_0%d", n);
    return buf;
}

std::string DigitsOnly(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c >= '0' && c <= '9' && out.size() < 3) out += c;
    return out;
}

}  // namespace

MacroManagerModel::MacroManagerModel(MacroStore& store, Host& host) : store_(store), host_(host) {}

MacroManagerModel::~MacroManagerModel()
{
    dropHook();
}

void MacroManagerModel::Init()
{
    dropHook();
    store_.BeginWork();
    m_szLastEvent.clear();
    m_bRecordDelay = m_bLoops = m_bRecording = false;
    m_nInsertMode = 0;
    m_nStepBytes = 0;
    held_.reset();
    capturePressed_.reset();

    macroLines_ = MacroNames(store_.g_macroWorkTable());
    macroSel_ = -1;
    stepLines_.clear();
    stepSel_ = -1;
    loopText_.clear();
    if (macroLines_.empty()) {
        store_.BuildStepLines(-1);
        return;
    }
    macroSel_ = 0;
    const MacroRecord& first = store_.g_macroWorkTable()[0];
    if (first.loops() > 1) m_bLoops = true;
    // At start the stored value is shown as it is, 0 included.
    setLoopTextAndStore(std::to_string(first.loops()));
    m_bRecordDelay = first.recordsDelays();
    stepLines_ = store_.BuildStepLines(0);
}

// --- small state helpers -------------------------------------------------------

void MacroManagerModel::dropHook()
{
    if (m_bHooked) {
        host_.removehook();
        m_bHooked = false;
    }
}

void MacroManagerModel::stopRecording()
{
    if (!m_bRecording) return;
    m_bRecording = false;
    dropHook();
}

// A pending insert capture ends; the hook goes with it unless the recorder
// still needs it, so later keystrokes never land in the recorder's old slot.
void MacroManagerModel::endCapture()
{
    m_nInsertMode = 0;
    capturePressed_.reset();
    if (!m_bRecording) dropHook();
}

void MacroManagerModel::setLoopTextAndStore(std::string text)
{
    loopText_ = std::move(text);
    if (macroSel_ >= 0)
        store_.EditWorkRecord(macroSel_).setLoops(
            static_cast<std::uint16_t>(ParseBoundedNumber(loopText_, kMacroMaxLoops)));
}

void MacroManagerModel::rebuildSteps(int selectLine)
{
    stepLines_ = store_.CurrentStepLines();
    stepSel_ = selectLine >= 0 && selectLine < static_cast<int>(stepLines_.size()) ? selectLine : -1;
}

void MacroManagerModel::rebuildStepsSelectingStep(int step)
{
    // The step's line is looked up in the new lines: a step added after the
    // last one has no line among the old ones.
    rebuildSteps(-1);
    stepSel_ = lineOfStep(step, true);
}

int MacroManagerModel::lineOfStep(int step, bool keyLine) const
{
    int found = -1;
    for (int line = 0; line < static_cast<int>(stepLines_.size()); ++line) {
        if (store_.LineToStep(line) != step) continue;
        if (!keyLine) return line;
        found = line;
    }
    return found;
}

bool MacroManagerModel::roomFor(int steps)
{
    return StepCount(store_.g_curDeviceSteps()) + steps <= kMacroStepCount;
}

int MacroManagerModel::selectedOwner() const
{
    if (macroSel_ < 0 || stepSel_ < 0 || stepSel_ >= static_cast<int>(stepLines_.size())) return -1;
    return store_.LineToStep(stepSel_);
}

void MacroManagerModel::showMacro(int line)
{
    macroSel_ = line;
    stepLines_.clear();
    stepSel_ = -1;
    if (line < 0) {
        store_.BuildStepLines(-1);
        return;
    }
    const MacroRecord& r = store_.g_macroWorkTable()[line];
    int shown = r.loops() == 0 ? 1 : r.loops();
    m_bLoops = shown != 1;
    m_bRecordDelay = r.recordsDelays();
    setLoopTextAndStore(std::to_string(shown));
    stepLines_ = store_.BuildStepLines(line);
}

void MacroManagerModel::CommitCurrentMacro()
{
    if (macroSel_ < 0 || macroSel_ >= static_cast<int>(macroLines_.size())) return;
    MacroRecord& r = store_.EditWorkRecord(macroSel_);
    SetMacroName(r, std::string_view(macroLines_[static_cast<std::size_t>(macroSel_)]));
    r.setLoops(m_bLoops ? static_cast<std::uint16_t>(ParseBoundedNumber(loopText_, kMacroMaxLoops)) : 1);
    r.options = m_bRecordDelay ? 1 : 0;
    store_.StoreCurrentSteps(macroSel_);
}

// --- buttons and lists -----------------------------------------------------------

void MacroManagerModel::ToggleRecording()
{
    if (macroSel_ < 0) {
        host_.messageBox(MacroMessage::SelectToRecord);
        return;
    }
    m_bRecording = !m_bRecording;
    if (!m_bRecording) {
        dropHook();
        return;
    }
    m_nInsertMode = 0;
    capturePressed_.reset();
    if (!m_bHooked) m_bHooked = host_.installhook();
    store_.ClearCurrentSteps();
    m_nStepBytes = 0;
    m_szLastEvent.clear();
    held_.reset();
    limitReached_ = false;
    stepLines_.clear();
    stepSel_ = -1;
    MacroRecord& r = store_.EditWorkRecord(macroSel_);
    r.deviceSteps = StepArray{};
    r.vkSteps = StepArray{};
}

void MacroManagerModel::ToggleRecordDelay()
{
    m_bRecordDelay = !m_bRecordDelay;
}

void MacroManagerModel::ToggleLoops()
{
    m_bLoops = !m_bLoops;
    if (!m_bLoops) setLoopTextAndStore("1");
}

void MacroManagerModel::NewMacro()
{
    const int index = static_cast<int>(macroLines_.size());
    if (index >= kMacroCount || !store_.g_macroWorkTable()[index].free()) return;
    std::string name;
    for (int n = 1;; ++n) {
        name = NewMacroName(n);
        if (std::find(macroLines_.begin(), macroLines_.end(), name) == macroLines_.end()) break;
    }
    stopRecording();
    endCapture();
    macroLines_.push_back(name);
    macroSel_ = index;
    MacroRecord& r = store_.EditWorkRecord(index);
    r = MacroRecord{};
    SetMacroName(r, std::string_view(name));

    stepLines_.clear();
    stepSel_ = -1;
    store_.ClearCurrentSteps();
    m_bRecording = false;
    m_bRecordDelay = false;
    setLoopTextAndStore("1");
    dropHook();
    m_bLoops = false;
}

void MacroManagerModel::DeleteMacro()
{
    if (!host_.messageBox(MacroMessage::ConfirmDelete)) return;
    if (macroSel_ < 0) {
        host_.messageBox(MacroMessage::SelectToDelete);
        return;
    }
    stopRecording();
    endCapture();
    const int old = macroSel_;
    macroLines_.erase(macroLines_.begin() + old);
    stepLines_.clear();
    stepSel_ = -1;
    store_.DeleteWorkMacro(old);
    macroSel_ = -1;
    showMacro(std::min(old, static_cast<int>(macroLines_.size()) - 1));
    dropHook();
    m_bRecording = false;
}

void MacroManagerModel::Ok()
{
    m_nInsertMode = 0;
    dropHook();
    m_bRecording = false;
    if (m_bLoops && macroSel_ >= 0)
        store_.EditWorkRecord(macroSel_).setLoops(
            static_cast<std::uint16_t>(ParseBoundedNumber(loopText_, kMacroMaxLoops)));
    store_.CommitWork();
}

void MacroManagerModel::Closing()
{
    m_nInsertMode = 0;
    capturePressed_.reset();
    m_bRecording = false;
    dropHook();
}

void MacroManagerModel::SelectMacro(int line)
{
    if (line < 0 || line >= static_cast<int>(macroLines_.size())) line = -1;
    if (line == macroSel_) return;
    // Recording or a capture never carries over into another macro's steps.
    stopRecording();
    endCapture();
    showMacro(line);
}

void MacroManagerModel::SelectStep(int line)
{
    stepSel_ = line >= 0 && line < static_cast<int>(stepLines_.size()) ? line : -1;
}

void MacroManagerModel::SetLoopText(const std::string& text)
{
    setLoopTextAndStore(DigitsOnly(text));
}

bool MacroManagerModel::RenameMacro(int line, const std::string& name)
{
    if (line < 0 || line >= static_cast<int>(macroLines_.size()) || name.empty()) return false;
    MacroRecord& r = store_.EditWorkRecord(line);
    SetMacroName(r, std::string_view(name));
    if (r.free()) return false;  // unreachable for a non-empty name, kept as a guard
    macroLines_[static_cast<std::size_t>(line)] = MacroName(r);
    return true;
}

// --- keystrokes --------------------------------------------------------------------

void MacroManagerModel::OnEditBegin()
{
    dropHook();
    m_bRecording = false;
    m_nInsertMode = 0;
    capturePressed_.reset();
}

void MacroManagerModel::OnKeystroke(std::uint8_t vk, bool release, bool repeat, std::uint64_t timestampMs)
{
    if (m_nInsertMode != 0) {
        if (m_bHooked) capture(vk, release, repeat);
    } else if (m_bHooked && m_bRecording) {
        record(vk, release, repeat, timestampMs);
    }
    CommitCurrentMacro();
}

std::uint64_t MacroManagerModel::Elapsed(std::uint64_t now, std::uint64_t last)
{
    if (now >= last) return now - last;
    // A 32-bit millisecond clock (X server time) wrapping round.
    constexpr std::uint64_t kWrap = 1ull << 32;
    if (last < kWrap && last - now > kWrap / 2) return now + kWrap - last;
    return 0;  // an event stamped before the previous one
}

void MacroManagerModel::record(std::uint8_t vk, bool release, bool repeat, std::uint64_t now)
{
    // A key the keyboard has no code for would end the macro on the device
    // (a device key byte of 0) and hide every later step.
    if (KeyCode(vk) == 0) return;
    std::string text(KeyName(vk));
    std::uint64_t elapsed = 0;
    if (!release) {
        text += " dn";
        if (stepLines_.empty()) {
            lastTimestamp_ = now;
        } else if (text == m_szLastEvent || repeat || held_[vk]) {
            return;  // auto-repeat: one press while the key is held
        } else {
            elapsed = Elapsed(now, lastTimestamp_);
            lastTimestamp_ = now;
        }
        if (m_nStepBytes >= kLiveStepBytes || limitReached_) {
            // The capture ends here, but only once the recorded keys still
            // held are released: a macro never plays with a key left down.
            limitReached_ = true;
            if (held_.none()) dropHook();  // recording stays on until the button is clicked
            return;
        }
        held_[vk] = true;
    } else {
        text += " up";
        if (limitReached_ && !held_[vk]) return;
        elapsed = Elapsed(now, lastTimestamp_);
        lastTimestamp_ = now;
        held_[vk] = false;
        if (text != m_szLastEvent && m_nStepBytes < kAllStepBytes) {
            const std::uint16_t delay =
                ClampRecordedDelay(static_cast<long long>(std::min<std::uint64_t>(elapsed, kMacroMaxDelay)));
            m_nStepBytes = InsertMacroToList(m_nStepBytes, vk, delay, text, true);
        }
        if (limitReached_ && held_.none()) dropHook();
        return;
    }
    const std::uint16_t delay =
        ClampRecordedDelay(static_cast<long long>(std::min<std::uint64_t>(elapsed, kMacroMaxDelay)));
    m_nStepBytes = InsertMacroToList(m_nStepBytes, vk, delay, text, false);
}

int MacroManagerModel::InsertMacroToList(int offset, std::uint8_t vk, std::uint16_t delayMs, const std::string& text,
                                         bool release)
{
    Trace("Enter into InsertMacroToList Routine\n");
    const std::uint16_t stored = m_bRecordDelay && !stepLines_.empty() ? delayMs : 0;
    store_.WriteCurrentStep(offset / 4, MakeKeySteps(vk, release ? kStepRelease : 0x00, stored));
    if (stored != 0) stepLines_.push_back(std::to_string(stored) + " ms");
    stepLines_.push_back(text);
    m_szLastEvent = text;
    stepSel_ = static_cast<int>(stepLines_.size()) - 1;
    return offset + 4;
}

void MacroManagerModel::startCapture(int pos, std::uint8_t mode)
{
    m_nInsertPos = pos;
    m_nInsertMode = mode;
    capturePressed_.reset();
    if (!m_bHooked) m_bHooked = host_.installhook();
    if (!m_bHooked) m_nInsertMode = 0;  // no keystrokes will come
}

void MacroManagerModel::capture(std::uint8_t vk, bool release, bool repeat)
{
    if (KeyCode(vk) == 0) return;
    if (!release) {
        if (repeat || capturePressed_[vk]) return;
        // Room for the press and its release, so a captured key never stays down.
        if (!roomFor(2)) {
            endCapture();
            host_.messageBox(MacroMessage::MacroFull);
            return;
        }
        KeyStepPair press = MakeKeySteps(vk, 0x00, 0);
        store_.InsertCurrentStep(m_nInsertPos, press.device, press.virtualKey);
        capturePressed_[vk] = true;
        ++m_nInsertPos;
        rebuildStepsSelectingStep(m_nInsertPos - 1);
        return;
    }
    // The release of a key that went down before the capture (the Enter that
    // chose the menu item) is not the key being inserted.
    if (!capturePressed_[vk]) return;
    if (roomFor(1)) {
        KeyStepPair up = MakeKeySteps(vk, 0x81, 0);
        store_.InsertCurrentStep(m_nInsertPos, up.device, up.virtualKey);
        rebuildStepsSelectingStep(m_nInsertPos);
    }
    endCapture();
}

// --- step menu ------------------------------------------------------------------------

void MacroManagerModel::Command(int command)
{
    switch (command) {
        case kCmdInsertBefore:
            InsertBefore();
            break;
        case kCmdInsertAfter:
            InsertAfter();
            break;
        case kCmdInsertDelay:
            InsertDelay();
            break;
        case kCmdDeleteStep:
            DeleteStep();
            break;
        case kCmdLeftDown:
            InsertMouse(MouseButton::Left, MouseAction::Down);
            break;
        case kCmdLeftUp:
            InsertMouse(MouseButton::Left, MouseAction::Up);
            break;
        case kCmdLeftClick:
            InsertMouse(MouseButton::Left, MouseAction::Click);
            break;
        case kCmdRightDown:
            InsertMouse(MouseButton::Right, MouseAction::Down);
            break;
        case kCmdRightUp:
            InsertMouse(MouseButton::Right, MouseAction::Up);
            break;
        case kCmdRightClick:
            InsertMouse(MouseButton::Right, MouseAction::Click);
            break;
        case kCmdMiddleDown:
            InsertMouse(MouseButton::Middle, MouseAction::Down);
            break;
        case kCmdMiddleUp:
            InsertMouse(MouseButton::Middle, MouseAction::Up);
            break;
        case kCmdMiddleClick:
            InsertMouse(MouseButton::Middle, MouseAction::Click);
            break;
        default:
            break;
    }
}

void MacroManagerModel::InsertBefore()
{
    stopRecording();
    endCapture();
    int s = selectedOwner();
    if (s >= 0) startCapture(s, 0x80);
}

void MacroManagerModel::InsertAfter()
{
    stopRecording();
    endCapture();
    int s = selectedOwner();
    if (s >= 0) startCapture(s + 1, 0x01);
}

void MacroManagerModel::InsertMouse(MouseButton button, MouseAction action)
{
    stopRecording();
    endCapture();
    const int s = selectedOwner();
    if (s < 0) return;
    const std::uint8_t key = button == MouseButton::Left    ? kMouseLeft
                             : button == MouseButton::Right ? kMouseRight
                                                            : kMouseMiddle;
    std::vector<MacroStep> steps;
    switch (action) {
        case MouseAction::Down:
            steps = {MacroStep{0x00, key}};
            break;
        case MouseAction::Up:
            steps = {MacroStep{0x80, key}};
            break;
        case MouseAction::Click:
            if (button == MouseButton::Left)
                steps = {MacroStep{0x01, key}, MacroStep{0x81, key}};
            else
                steps = {MacroStep{0x00, key}, MacroStep{0x80, key}};
            break;
    }
    if (!roomFor(static_cast<int>(steps.size()))) {
        host_.messageBox(MacroMessage::MacroFull);
        return;
    }
    int at = s + 1;
    for (const MacroStep& step : steps) store_.InsertCurrentStep(at++, step, step);
    CommitCurrentMacro();
    rebuildStepsSelectingStep(at - 1);
}

void MacroManagerModel::InsertDelay()
{
    stopRecording();
    endCapture();
    const int last = static_cast<int>(stepLines_.size()) - 1;
    if (macroSel_ < 0 || stepSel_ < 0 || stepSel_ >= last) return;
    // A delay already stands here (on the line, or right below it): it is
    // edited or deleted, never overwritten with 50 ms.
    if (IsDelayLine(stepLines_[static_cast<std::size_t>(stepSel_)]) ||
        IsDelayLine(stepLines_[static_cast<std::size_t>(stepSel_) + 1])) {
        host_.messageBox(MacroMessage::EditCurrentDelay);
        return;
    }
    const int line = stepSel_ + 1;
    const int s = store_.LineToStep(line);
    if (s < 0) return;
    store_.SetCurrentStepDelay(s, kMacroInsertedDelay);
    CommitCurrentMacro();
    rebuildSteps(line);
}

void MacroManagerModel::DeleteStep()
{
    stopRecording();
    endCapture();
    const int s = selectedOwner();
    if (s < 0) return;
    const int line = stepSel_;
    if (IsDelayLine(stepLines_[static_cast<std::size_t>(line)]))
        store_.DeleteCurrentStepDelay(s);
    else
        store_.DeleteCurrentStep(s);
    CommitCurrentMacro();
    rebuildSteps(std::min(line, static_cast<int>(store_.CurrentStepLines().size()) - 1));
}

void MacroManagerModel::OnDelayEdited(int line, int ms)
{
    if (macroSel_ < 0 || line < 0 || line >= static_cast<int>(stepLines_.size()) ||
        !IsDelayLine(stepLines_[static_cast<std::size_t>(line)]))
        return;
    const int s = store_.LineToStep(line);
    if (s < 0) return;
    const int v = std::clamp(ms, static_cast<int>(kMacroMinTypedDelay), static_cast<int>(kMacroMaxDelay));
    store_.SetCurrentStepDelay(s, static_cast<std::uint16_t>(v));
    CommitCurrentMacro();
    rebuildSteps(line);
}

}  // namespace zr417
