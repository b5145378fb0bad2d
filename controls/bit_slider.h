// A standard horizontal slider whose logic (range, position, keys, mouse) is
// Qt's, but which paints nothing: whenever it would paint, it works out where
// its thumb is and asks its owner, through repaintRequested(), to paint the
// slider skin there. A click on the channel jumps straight to the value under
// the cursor; the mouse wheel is ignored.
//
// The owner paints the skin under the slider (the slider is see-through) and
// should repaint only when the position it last painted changed, since its own
// repaint makes the slider ask again.
#pragma once

#include "bit_wnd.h"
#include "bitmap_strip.h"

#include <QSlider>
#include <QTimer>

#include <memory>

class QPainter;

namespace zr417 {

class CBitSlider : public QSlider {
    Q_OBJECT
public:
    explicit CBitSlider(QWidget* parent = nullptr);
    ~CBitSlider() override;

    // Channel strips from bitmap resources 139 (empty) and 140 (filled), one
    // frame each; the slider takes the size of resource 140 (220 x 17).
    void LoadStrips();
    // The hidden thumb window (resource 141, 15 x 14) forwarding its mouse to
    // the slider, and the tool tips. Does nothing when the thumb exists.
    void CreateThumb();

    // The skin thumb's rectangle: the thumb window's size centred on Qt's own
    // handle along the slider, at thumbOffset() across it.
    QRect GetThumbRect() const;
    // The channel (Qt's groove) in slider coordinates.
    QRect GetChannelRect() const;

    // Where the owner paints the thumb: thumb rectangle left - 10, and top.
    int thumbX() const { return thumbX_; }
    int thumbY() const { return thumbY_; }
    // Sent with every repaint request; the owner sets its control ID.
    int sliderId() const { return sliderId_; }
    void setSliderId(int id) { sliderId_ = id; }
    int thumbOffset() const { return thumbOffset_; }
    void setThumbOffset(int offset) { thumbOffset_ = offset; }

    const CBitmapStrip* channelStrip() const { return channel_.get(); }
    const CBitmapStrip* fillStrip() const { return fill_.get(); }
    CBitWnd* thumb() const { return thumb_; }

    // The tool tip's text: the position.
    virtual QString ToolTipText() const;

signals:
    // Asked synchronously whenever the slider would paint and on every mouse move.
    void repaintRequested(int sliderId, int thumbX, int thumbY);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void RequestRepaint();
    void ShowTip();

    int thumbX_ = 0;
    int thumbY_ = 0;
    int sliderId_ = 0;
    int thumbOffset_ = 0;
    CBitWnd* thumb_ = nullptr;  // child widget, deleted with the slider
    std::unique_ptr<CBitmapStrip> channel_;
    std::unique_ptr<CBitmapStrip> fill_;
    QTimer tipTimer_;
    bool tips_ = false;
};

// Paints a slider's skin into its owner's picture: the channel at the slider's
// place, the filled channel up to the middle of the thumb, then the thumb.
void DrawSliderSkin(QPainter& painter, const CBitSlider& slider);

}  // namespace zr417
