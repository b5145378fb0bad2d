// A bitmap seen as a row or a column of equally sized frames.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

class QPainter;

namespace zr417 {

class CBitmapStrip {
public:
    // From a numbered bitmap resource. A frame width or height of 0 takes the
    // bitmap's own; the strip is vertical when the bitmap is narrower than high.
    CBitmapStrip(int resourceId, int frameWidth, int frameHeight);
    // From any picture (the same rules); kept opaque like the resources.
    CBitmapStrip(QImage bitmap, int frameWidth, int frameHeight);

    int frameCount() const { return frameCount_; }
    int frameWidth() const { return frameWidth_; }
    int frameHeight() const { return frameHeight_; }
    bool vertical() const { return vertical_; }
    const QImage& bitmap() const { return bitmap_; }
    // The bitmap to draw on a device of `devicePixelRatio`: its @2x twin
    // (a resource's) above 1, where there is one. Frames stay in the plain
    // bitmap's units.
    const QImage& bitmapFor(qreal devicePixelRatio) const;

    // Where DrawFrame puts a frame in the target; (0, 0) at first.
    QPoint position() const { return position_; }
    void setPosition(QPoint position) { position_ = position; }

    // False when index is not a frame of the strip; else the frame's rectangle
    // in the bitmap (x = index * frame width, or y = index * frame height).
    bool GetFrameRect(int index, QRect& rect) const;
    // Copies the frame unchanged (no blending) to position() in the target,
    // from the twin on a high-resolution target.
    // False with no target or when index is not a frame.
    bool DrawFrame(QPainter* painter, int index) const;

private:
    QImage bitmap_;
    QImage twin_;  // twice each side; null when none
    int frameCount_ = 0;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    bool vertical_ = false;
    QPoint position_;
};

}  // namespace zr417
