// Key capture for the key assignment dialogs and the macro recorder.
//
// While installed for a window, every key press and release meant for that
// window (any of its widgets, or its platform window) is taken by an event
// filter on the application before it reaches any widget (so the window's own
// controls never see typed keys, and shortcuts do not fire) and is posted to
// the window as a KeystrokeEvent, asynchronously, in the order the keys came.
// Keys for the application's other windows (a file or message dialog opened
// over it, a popup menu) pass untouched and are not reported; keys for other
// applications are never seen. Input methods are off on the capturing window
// (its widgets answer that they take no input-method text), so a dead key, a
// compose sequence or an ibus/fcitx engine cannot take keys on their way and
// hand back text instead; they work again once the capture ends. Receive it by overriding QObject::customEvent (or
// event) and checking `e->type() == KeystrokeEvent::eventType()`.
//
//   mode 0: one event per keystroke, at its press; releases and auto-repeat
//           presses are swallowed without an event.
//   mode 1: presses and releases; auto-repeat presses come too (isRepeat()).
//           Auto-repeat releases (X11 sends one before every repeated press)
//           are swallowed, so a held key reads as press, press, ..., release.
//           A release with a timestamp is posted up to 30 ms late (at the
//           next key at the latest): an X server that repeats a key sends a
//           release and a press with the same timestamp, which Qt does not
//           always flag, and only then can the pair be told from a real one.
//           Its timestamp is unchanged, so measured delays are not affected.
//
// Keys are named by Windows virtual-key code (the row of the key-name
// table), taken from the key's native scan code where the platform gives one
// (xcb, wayland, libinput: evdev code + 8), so left and right modifiers and
// the numeric pad stay apart; without one (the offscreen platform) from Qt's
// key code and Qt::KeypadModifier, which cannot tell LShift from RShift,
// LCtrl from RCtrl or LAlt from RAlt (right Alt reads as RAlt only when the
// layout makes it AltGr), and never sees the Fn key. Keys that translate to
// no virtual key are swallowed without an event.
//
// One window holds the capture at a time: installing for another window
// moves it there. It ends with removehook() or when the window is destroyed.
#pragma once

#include <QEvent>
#include <QtGlobal>
#include <cstdint>

class QKeyEvent;
class QWidget;

namespace zr417 {

class KeystrokeEvent : public QEvent {
public:
    KeystrokeEvent(std::uint8_t vk, bool release, bool repeat, quint64 timestampMs);

    static QEvent::Type eventType();

    std::uint8_t vk() const { return vk_; }  // 0..255, row of g_keyNames
    bool isRelease() const { return release_; }
    bool isRepeat() const { return repeat_; }         // auto-repeat press (mode 1)
    quint64 timestamp() const { return timestamp_; }  // ms, QKeyEvent::timestamp()
    // The keystroke word of the original message: bit 31 release, bit 30 the
    // key was already down (auto-repeat), repeat count 1 in bits 0..15.
    quint32 lParam() const;

private:
    std::uint8_t vk_;
    bool release_;
    bool repeat_;
    quint64 timestamp_;
};

// Starts capturing keys for `window`; mode 0 or 1. False (nothing installed)
// without a QApplication, for a null window or another mode.
bool installhook(QWidget* window, int mode);
// Stops capturing. Harmless when nothing is installed.
void removehook();
// The window holding the capture, nullptr when none.
QWidget* hookedWindow();

// The translation itself (also used by tests).
std::uint8_t VkFromQtKey(int key, Qt::KeyboardModifiers modifiers);
std::uint8_t VkFromKeyEvent(const QKeyEvent& event);

}  // namespace zr417
