// The macro manager without its window: the macro list and the step list as
// lines, the loop count field, the recorder fed by keystrokes, and the step
// editing commands. The dialog shows what this holds and forwards the user's
// actions; the hook and the message boxes are reached through Host, so every
// rule here runs in unit tests.
#pragma once

#include "macro/macro_store.h"
#include "macro/macro_texts.h"

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

namespace zr417 {

enum class MouseButton { Left, Right, Middle };
enum class MouseAction { Down, Up, Click };

// Step menu commands (the menu item ids).
enum MacroCommand : int {
    kCmdInsertBefore = 32790,
    kCmdInsertAfter = 32791,
    kCmdInsertDelay = 32793,
    kCmdLeftDown = 32800,
    kCmdLeftUp = 32801,
    kCmdLeftClick = 32802,
    kCmdRightDown = 32804,
    kCmdRightUp = 32806,
    kCmdRightClick = 32807,
    kCmdMiddleDown = 32811,
    kCmdMiddleUp = 32812,
    kCmdMiddleClick = 32813,
    kCmdDeleteStep = 32815,
};

class MacroManagerModel {
public:
    class Host {
    public:
        virtual ~Host() = default;
        // installhook(dialog window, 1); the result says whether keystrokes will come.
        virtual bool installhook() = 0;
        virtual void removehook() = 0;
        // Shows a message; true when the user chose OK.
        virtual bool messageBox(MacroMessage message) = 0;
    };

    MacroManagerModel(MacroStore& store, Host& host);
    ~MacroManagerModel();  // removes a hook still installed
    MacroManagerModel(const MacroManagerModel&) = delete;
    MacroManagerModel& operator=(const MacroManagerModel&) = delete;

    // The dialog opening: takes the working copy of the table, lists the
    // macros and shows the first one.
    void Init();

    // --- what the dialog shows ---------------------------------------------
    const std::vector<std::string>& macroLines() const { return macroLines_; }
    int macroSelection() const { return macroSel_; }
    const std::vector<std::string>& stepLines() const { return stepLines_; }
    int stepSelection() const { return stepSel_; }
    const std::string& loopText() const { return loopText_; }

    bool hooked() const { return m_bHooked; }
    bool recording() const { return m_bRecording; }
    bool recordDelay() const { return m_bRecordDelay; }
    bool loops() const { return m_bLoops; }  // the loop count field is enabled
    std::uint8_t insertMode() const { return m_nInsertMode; }
    int insertPos() const { return m_nInsertPos; }
    int stepBytes() const { return m_nStepBytes; }

    MacroStore& store() { return store_; }

    // --- the user's actions --------------------------------------------------
    void ToggleRecording();    // the record button
    void ToggleRecordDelay();  // record-delay check box
    void ToggleLoops();        // "Number of Loops" check box
    void NewMacro();
    void DeleteMacro();
    // OK: ends any capture and copies the working table into g_macroTable().
    void Ok();
    // The dialog closing any way: capture and recording end, the hook goes.
    void Closing();

    // A line of the macro list was selected (-1: none); recording stops first.
    void SelectMacro(int line);
    void SelectStep(int line);
    // The loop field's text as typed (digits only, at most 3 are kept).
    void SetLoopText(const std::string& text);
    // A macro renamed in place. An empty name is refused (the record would
    // read as free and hide every macro after it): false, nothing changes.
    // The stored name may be shorter than `name` (254 characters at most);
    // macroLines() holds what was stored.
    bool RenameMacro(int line, const std::string& name);

    // The list box began an in-place edit: key capture stops.
    void OnEditBegin();
    // A keystroke from the hook: virtual-key code, release, auto-repeat, and
    // the key event's own time in ms.
    void OnKeystroke(std::uint8_t vk, bool release, bool repeat, std::uint64_t timestampMs);
    // A delay line edited in place was committed with `ms`.
    void OnDelayEdited(int line, int ms);

    // --- the step menu (on the selected step line) ---------------------------
    void Command(int command);
    void InsertBefore();
    void InsertAfter();
    void InsertMouse(MouseButton button, MouseAction action);
    void InsertDelay();
    void DeleteStep();

    // Writes the working arrays, the loop count, the options and the list's
    // name into the selected working record.
    void CommitCurrentMacro();

private:
    void stopRecording();
    void endCapture();
    void dropHook();
    void showMacro(int line);
    void setLoopTextAndStore(std::string text);
    void rebuildSteps(int selectLine);
    // Rebuilds the lines and selects the key line of `step`.
    void rebuildStepsSelectingStep(int step);
    int lineOfStep(int step, bool keyLine) const;
    bool roomFor(int steps);
    int selectedOwner() const;
    void startCapture(int pos, std::uint8_t mode);
    void capture(std::uint8_t vk, bool release, bool repeat);
    void record(std::uint8_t vk, bool release, bool repeat, std::uint64_t now);
    int InsertMacroToList(int offset, std::uint8_t vk, std::uint16_t delayMs, const std::string& text, bool release);
    static std::uint64_t Elapsed(std::uint64_t now, std::uint64_t last);

    MacroStore& store_;
    Host& host_;

    std::vector<std::string> macroLines_;
    int macroSel_ = -1;
    std::vector<std::string> stepLines_;
    int stepSel_ = -1;
    std::string loopText_;

    bool m_bHooked = false;
    bool m_bRecording = false;
    bool m_bRecordDelay = false;
    bool m_bLoops = false;
    std::uint8_t m_nInsertMode = 0;
    int m_nInsertPos = 0;
    int m_nStepBytes = 0;
    std::string m_szLastEvent;
    std::uint64_t lastTimestamp_ = 0;
    std::bitset<256> held_;            // recorded presses not yet released
    bool limitReached_ = false;        // a press was refused: only held keys' releases are taken
    std::bitset<256> capturePressed_;  // keys pressed during an insert capture
};

}  // namespace zr417
