#include "keymap/key_hook.h"

#include "keymap/scan_codes.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace zr417 {

// --- translation -------------------------------------------------------------

namespace {

enum Pad : std::uint8_t { Main, Keypad, Either };

struct QtKeyVk {
    int key;
    Pad pad;
    std::uint8_t vk;
};

// Qt key codes as a US layout gives them, shifted symbols included (a key
// pressed with Shift arrives as its symbol). The pad's keys with Num Lock off
// arrive as navigation keys with the keypad modifier and keep the pad's codes.
// clang-format off
constexpr QtKeyVk kQtKeyVk[] = {
    {Qt::Key_Escape, Either, 0x1B},
    {Qt::Key_F1, Either, 0x70}, {Qt::Key_F2, Either, 0x71}, {Qt::Key_F3, Either, 0x72},
    {Qt::Key_F4, Either, 0x73}, {Qt::Key_F5, Either, 0x74}, {Qt::Key_F6, Either, 0x75},
    {Qt::Key_F7, Either, 0x76}, {Qt::Key_F8, Either, 0x77}, {Qt::Key_F9, Either, 0x78},
    {Qt::Key_F10, Either, 0x79}, {Qt::Key_F11, Either, 0x7A}, {Qt::Key_F12, Either, 0x7B},
    {Qt::Key_Print, Either, 0x2C}, {Qt::Key_SysReq, Either, 0x2C},
    {Qt::Key_ScrollLock, Either, 0x91}, {Qt::Key_Pause, Either, 0x13},
    {Qt::Key_QuoteLeft, Either, 0xC0}, {Qt::Key_AsciiTilde, Either, 0xC0},
    {Qt::Key_1, Main, 0x31}, {Qt::Key_Exclam, Main, 0x31},
    {Qt::Key_2, Main, 0x32}, {Qt::Key_At, Main, 0x32},
    {Qt::Key_3, Main, 0x33}, {Qt::Key_NumberSign, Main, 0x33},
    {Qt::Key_4, Main, 0x34}, {Qt::Key_Dollar, Main, 0x34},
    {Qt::Key_5, Main, 0x35}, {Qt::Key_Percent, Main, 0x35},
    {Qt::Key_6, Main, 0x36}, {Qt::Key_AsciiCircum, Main, 0x36},
    {Qt::Key_7, Main, 0x37}, {Qt::Key_Ampersand, Main, 0x37},
    {Qt::Key_8, Main, 0x38}, {Qt::Key_Asterisk, Main, 0x38},
    {Qt::Key_9, Main, 0x39}, {Qt::Key_ParenLeft, Main, 0x39},
    {Qt::Key_0, Main, 0x30}, {Qt::Key_ParenRight, Main, 0x30},
    {Qt::Key_Minus, Main, 0xBD}, {Qt::Key_Underscore, Main, 0xBD},
    {Qt::Key_Equal, Main, 0xBB}, {Qt::Key_Plus, Main, 0xBB},
    {Qt::Key_Backspace, Either, 0x08},
    {Qt::Key_Insert, Main, 0x2D}, {Qt::Key_Home, Main, 0x24}, {Qt::Key_PageUp, Main, 0x21},
    {Qt::Key_Delete, Main, 0x2E}, {Qt::Key_End, Main, 0x23}, {Qt::Key_PageDown, Main, 0x22},
    {Qt::Key_Tab, Either, 0x09}, {Qt::Key_Backtab, Either, 0x09},
    {Qt::Key_BracketLeft, Either, 0xDB}, {Qt::Key_BraceLeft, Either, 0xDB},
    {Qt::Key_BracketRight, Either, 0xDD}, {Qt::Key_BraceRight, Either, 0xDD},
    {Qt::Key_Backslash, Either, 0xDC}, {Qt::Key_Bar, Either, 0xDC},
    {Qt::Key_CapsLock, Either, 0x14},
    {Qt::Key_Semicolon, Either, 0xBA}, {Qt::Key_Colon, Either, 0xBA},
    {Qt::Key_Apostrophe, Either, 0xDE}, {Qt::Key_QuoteDbl, Either, 0xDE},
    {Qt::Key_Return, Either, 0x0D},
    {Qt::Key_Comma, Main, 0xBC}, {Qt::Key_Less, Either, 0xBC},
    {Qt::Key_Period, Main, 0xBE}, {Qt::Key_Greater, Either, 0xBE},
    {Qt::Key_Slash, Main, 0xBF}, {Qt::Key_Question, Either, 0xBF},
    {Qt::Key_Space, Either, 0x20},
    {Qt::Key_Up, Main, 0x26}, {Qt::Key_Down, Main, 0x28}, {Qt::Key_Left, Main, 0x25}, {Qt::Key_Right, Main, 0x27},
    // Modifiers: Qt names the key, not the side.
    {Qt::Key_Shift, Either, 0xA0}, {Qt::Key_Control, Either, 0xA2}, {Qt::Key_Alt, Either, 0xA4},
    {Qt::Key_AltGr, Either, 0xA5}, {Qt::Key_Meta, Either, 0x5B}, {Qt::Key_Super_L, Either, 0x5B},
    {Qt::Key_Super_R, Either, 0x5C}, {Qt::Key_Menu, Either, 0x5D},
    // Numeric pad.
    {Qt::Key_NumLock, Either, 0x90},
    {Qt::Key_0, Keypad, 0x60}, {Qt::Key_1, Keypad, 0x61}, {Qt::Key_2, Keypad, 0x62}, {Qt::Key_3, Keypad, 0x63},
    {Qt::Key_4, Keypad, 0x64}, {Qt::Key_5, Keypad, 0x65}, {Qt::Key_6, Keypad, 0x66}, {Qt::Key_7, Keypad, 0x67},
    {Qt::Key_8, Keypad, 0x68}, {Qt::Key_9, Keypad, 0x69},
    {Qt::Key_Insert, Keypad, 0x60}, {Qt::Key_End, Keypad, 0x61}, {Qt::Key_Down, Keypad, 0x62},
    {Qt::Key_PageDown, Keypad, 0x63}, {Qt::Key_Left, Keypad, 0x64}, {Qt::Key_Clear, Either, 0x65},
    {Qt::Key_Right, Keypad, 0x66}, {Qt::Key_Home, Keypad, 0x67}, {Qt::Key_Up, Keypad, 0x68},
    {Qt::Key_PageUp, Keypad, 0x69},
    {Qt::Key_Slash, Keypad, 0x6F}, {Qt::Key_Asterisk, Keypad, 0x6A}, {Qt::Key_Minus, Keypad, 0x6D},
    {Qt::Key_Plus, Keypad, 0x6B}, {Qt::Key_Period, Keypad, 0x6E}, {Qt::Key_Comma, Keypad, 0x6E},
    {Qt::Key_Delete, Keypad, 0x6E}, {Qt::Key_Enter, Either, 0x6C},
    // Letters.
    {Qt::Key_A, Either, 0x41}, {Qt::Key_B, Either, 0x42}, {Qt::Key_C, Either, 0x43}, {Qt::Key_D, Either, 0x44},
    {Qt::Key_E, Either, 0x45}, {Qt::Key_F, Either, 0x46}, {Qt::Key_G, Either, 0x47}, {Qt::Key_H, Either, 0x48},
    {Qt::Key_I, Either, 0x49}, {Qt::Key_J, Either, 0x4A}, {Qt::Key_K, Either, 0x4B}, {Qt::Key_L, Either, 0x4C},
    {Qt::Key_M, Either, 0x4D}, {Qt::Key_N, Either, 0x4E}, {Qt::Key_O, Either, 0x4F}, {Qt::Key_P, Either, 0x50},
    {Qt::Key_Q, Either, 0x51}, {Qt::Key_R, Either, 0x52}, {Qt::Key_S, Either, 0x53}, {Qt::Key_T, Either, 0x54},
    {Qt::Key_U, Either, 0x55}, {Qt::Key_V, Either, 0x56}, {Qt::Key_W, Either, 0x57}, {Qt::Key_X, Either, 0x58},
    {Qt::Key_Y, Either, 0x59}, {Qt::Key_Z, Either, 0x5A},
    // Media, browser and launch keys.
    {Qt::Key_VolumeMute, Either, 0xAD}, {Qt::Key_VolumeDown, Either, 0xAE}, {Qt::Key_VolumeUp, Either, 0xAF},
    {Qt::Key_MediaNext, Either, 0xB0}, {Qt::Key_MediaPrevious, Either, 0xB1}, {Qt::Key_MediaStop, Either, 0xB2},
    {Qt::Key_MediaPlay, Either, 0xB3}, {Qt::Key_MediaTogglePlayPause, Either, 0xB3},
    {Qt::Key_LaunchMail, Either, 0xB4}, {Qt::Key_LaunchMedia, Either, 0xB5}, {Qt::Key_Calculator, Either, 0xB7},
    {Qt::Key_Back, Either, 0xA6}, {Qt::Key_Forward, Either, 0xA7}, {Qt::Key_Stop, Either, 0xA9},
    {Qt::Key_Search, Either, 0xAA}, {Qt::Key_HomePage, Either, 0xAC}, {Qt::Key_Explorer, Either, 0x5E},
};
// clang-format on

}  // namespace

std::uint8_t VkFromQtKey(int key, Qt::KeyboardModifiers modifiers)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    const QtKeyVk* either = nullptr;
    for (const QtKeyVk& row : kQtKeyVk) {
        if (row.key != key) continue;
        if (row.pad == Either)
            either = &row;
        else if ((row.pad == Keypad) == keypad)
            return row.vk;
    }
    return either ? either->vk : 0;
}

std::uint8_t VkFromKeyEvent(const QKeyEvent& event)
{
    if (std::uint8_t vk = VkFromXkbKeycode(event.nativeScanCode())) return vk;
    return VkFromQtKey(event.key(), event.modifiers());
}

// --- the event -----------------------------------------------------------------

KeystrokeEvent::KeystrokeEvent(std::uint8_t vk, bool release, bool repeat, quint64 timestampMs)
    : QEvent(eventType()), vk_(vk), release_(release), repeat_(repeat), timestamp_(timestampMs)
{
}

QEvent::Type KeystrokeEvent::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

quint32 KeystrokeEvent::lParam() const
{
    quint32 word = 1;
    if (repeat_ || release_) word |= 1u << 30;
    if (release_) word |= 1u << 31;
    return word;
}

// --- the capture -----------------------------------------------------------------

namespace {

class KeyCapture : public QObject {
public:
    explicit KeyCapture(QObject* parent) : QObject(parent)
    {
        holdTimer_.setSingleShot(true);
        holdTimer_.setInterval(kHoldMs);
        connect(&holdTimer_, &QTimer::timeout, this, [this] { flushHeld(); });
    }

    void start(QWidget* window, int mode)
    {
        flushHeld();
        lastRelease_ = {};
        if (target_ != window) {
            if (target_) disconnect(target_, &QObject::destroyed, this, nullptr);
            connect(window, &QObject::destroyed, this, [this] { stop(); });
        }
        target_ = window;
        mode_ = mode;
        if (!active_) {
            qApp->installEventFilter(this);
            active_ = true;
        }
        refreshInputMethod();
    }

    void stop()
    {
        flushHeld();
        lastRelease_ = {};
        if (target_) disconnect(target_, &QObject::destroyed, this, nullptr);
        target_ = nullptr;
        if (active_) {
            qApp->removeEventFilter(this);
            active_ = false;
            refreshInputMethod();
        }
    }

    QWidget* target() const { return active_ ? target_.data() : nullptr; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::ShortcutOverride && type != QEvent::InputMethod && type != QEvent::KeyPress &&
            type != QEvent::KeyRelease && type != QEvent::InputMethodQuery)
            return QObject::eventFilter(watched, event);
        if (!target_) {
            stop();
            return QObject::eventFilter(watched, event);
        }
        // Keys for other windows (a file or message dialog opened over the
        // capturing one, a popup menu) go their way untouched.
        if (!inTargetWindow(watched)) return QObject::eventFilter(watched, event);
        switch (type) {
            case QEvent::InputMethodQuery:
                // Input methods off on the capturing window: a dead key or a
                // compose or pinyin input context would otherwise take keys
                // before any window sees them and hand back text, not keys.
                return refuseInputMethod(watched, static_cast<QInputMethodQueryEvent*>(event));
            case QEvent::ShortcutOverride:
                // Claiming the key keeps shortcuts (Esc closing a dialog, menu
                // accelerators) from firing; the press itself follows.
                event->accept();
                return true;
            case QEvent::InputMethod:
                return true;  // text typed through an input method is a key too
            default:
                deliver(*static_cast<QKeyEvent*>(event));
                return true;
        }
    }

private:
    void deliver(const QKeyEvent& key)
    {
        const bool release = key.type() == QEvent::KeyRelease;
        bool repeat = key.isAutoRepeat();
        const quint64 ts = key.timestamp();
        const std::uint8_t vk = VkFromKeyEvent(key);
        if (vk == 0) return;
        // An X server repeating a held key sends a release and a press at the
        // same instant; where Qt does not flag them, the pair is a repeat.
        if (!release && !repeat && ts != 0 && lastRelease_.vk == vk && lastRelease_.ts == ts) {
            repeat = true;
            if (held_.vk == vk) held_ = {};
        }
        flushHeld();
        lastRelease_ = release ? Stroke{vk, ts} : Stroke{};
        if (mode_ == 0 && (release || repeat)) return;
        if (release && repeat) return;
        if (release && ts != 0) {
            // Held back briefly in case it is the first half of such a pair;
            // the next key, or the timer, sends it (its timestamp is kept).
            held_ = {vk, ts};
            holdTimer_.start();
            return;
        }
        post(vk, release, repeat, ts);
    }

    static bool refuseInputMethod(QObject* receiver, QInputMethodQueryEvent* query)
    {
        if (!(query->queries() & Qt::ImEnabled)) return false;
        receiver->event(query);  // the other answers stay the receiver's
        query->setValue(Qt::ImEnabled, false);
        query->accept();
        return true;
    }

    // The platform's input context keeps the focus object's answer from its
    // last focus change; ask it again now the answer changed.
    static void refreshInputMethod()
    {
        if (QInputMethod* im = QGuiApplication::inputMethod()) {
            im->reset();
            im->update(Qt::ImEnabled);
        }
    }

    void post(std::uint8_t vk, bool release, bool repeat, quint64 ts)
    {
        if (target_) QCoreApplication::postEvent(target_, new KeystrokeEvent(vk, release, repeat, ts));
    }

    void flushHeld()
    {
        holdTimer_.stop();
        if (held_.vk != 0) post(held_.vk, true, false, held_.ts);
        held_ = {};
    }

    // The receiver belongs to the capturing window: one of its widgets, or
    // its platform window, which sees a key before any widget does.
    bool inTargetWindow(QObject* receiver) const
    {
        QWidget* top = target_->window();
        if (auto* widget = qobject_cast<QWidget*>(receiver)) return widget->window() == top;
        if (auto* window = qobject_cast<QWindow*>(receiver)) {
            for (QWindow* w = window; w; w = w->parent())
                if (w == top->windowHandle()) return true;
        }
        return false;
    }

    struct Stroke {
        std::uint8_t vk = 0;
        quint64 ts = 0;
    };
    static constexpr int kHoldMs = 30;

    QPointer<QWidget> target_;
    Stroke lastRelease_;
    Stroke held_;  // a release not yet posted
    QTimer holdTimer_;
    int mode_ = 0;
    bool active_ = false;
};

// The one capture of the process, owned by the application object.
KeyCapture* Capture(bool create)
{
    static QPointer<KeyCapture> capture;
    if (!capture && create && qApp) capture = new KeyCapture(qApp);
    return capture;
}

}  // namespace

bool installhook(QWidget* window, int mode)
{
    if (!window || (mode != 0 && mode != 1) || !qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    KeyCapture* capture = Capture(true);
    if (!capture) return false;
    capture->start(window, mode);
    return true;
}

void removehook()
{
    if (KeyCapture* capture = Capture(false)) capture->stop();
}

QWidget* hookedWindow()
{
    KeyCapture* capture = Capture(false);
    return capture ? capture->target() : nullptr;
}

}  // namespace zr417
