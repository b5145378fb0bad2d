// A small child window showing one frame of a bitmap strip, behaving as a push
// or toggle button: frame 0 normal, 1 hover, 2 pressed or checked. Frames the
// strip lacks show frame 0. Clicks reach the owner as the command() signal.
#pragma once

#include "bitmap_strip.h"

#include <QTimer>
#include <QWidget>

#include <memory>

namespace zr417 {

class CBitWnd : public QWidget {
    Q_OBJECT
public:
    explicit CBitWnd(QWidget* parent = nullptr);
    ~CBitWnd() override;

    // Makes this a visible child of `parent` with an empty rectangle and
    // control ID 0.
    bool Create(QWidget* parent);
    // An owned strip from bitmap resource 141 (one 15 x 14 frame); the window
    // moves to (0, 0) with the size of one frame.
    void UseDefaultStrip();
    void SetStrip(std::unique_ptr<CBitmapStrip> strip);  // owned
    void SetStrip(CBitmapStrip* strip);                  // borrowed
    CBitmapStrip* strip() const { return strip_; }

    int frame() const { return frame_; }
    // The frame actually shown: frame(), or 0 when the strip lacks it.
    int shownFrame() const;

    bool checked() const { return checked_; }
    void setChecked(bool checked);
    bool toggle() const { return toggle_; }
    void setToggle(bool toggle) { toggle_ = toggle; }
    bool forward() const { return forward_; }
    void setForward(bool forward) { forward_ = forward; }
    bool notifyOnPress() const { return notifyOnPress_; }
    void setNotifyOnPress(bool notify) { notifyOnPress_ = notify; }
    bool tracking() const { return tracking_; }
    int controlId() const { return controlId_; }
    void setControlId(int id) { controlId_ = id; }

signals:
    // A click, at the press with notify-on-press, else at the release.
    void command(int controlId);

public slots:
    // Hover and leave notifications (hover comes 1 ms after the first move).
    void OnMouseHover();
    void OnMouseLeave();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void Forward(QMouseEvent* event);
    int FrameCount() const { return strip_ ? strip_->frameCount() : 0; }

    int frame_ = 0;
    CBitmapStrip* strip_ = nullptr;
    std::unique_ptr<CBitmapStrip> ownedStrip_;
    bool checked_ = false;
    bool toggle_ = false;
    bool forward_ = false;
    bool tracking_ = false;
    bool notifyOnPress_ = false;
    int controlId_ = 0;
    QTimer hoverTimer_;
};

}  // namespace zr417
