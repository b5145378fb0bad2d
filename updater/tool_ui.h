// What the update tool's core needs of its windows. The Qt window implements
// these; tests and zr417ctl have their own implementations.
#pragma once

#include <string>

namespace zr417::updater {

enum class MessageIcon { Warning, Error, Information };

// Message boxes of the firmware loader and the start-up check.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
};

// Slot colours of the status control.
enum SlotColour : int { kWhite = 0, kYellow = 1, kGreen = 2, kRed = 3 };

// One device slot's status control: two lines of text on a coloured square.
// Written from the slot's worker thread; an implementation keeps its texts
// under a lock and repaints on its own thread.
class StatusControl {
public:
    virtual ~StatusControl() = default;
    virtual void SetLine1(const std::string& text) = 0;
    virtual void SetLine2(const std::string& text) = 0;
    virtual void SetColour(int colour) = 0;
    // Requests a repaint: only the progress line's area, or everything.
    virtual void Redraw(bool progressOnly) = 0;
};

}  // namespace zr417::updater
