#include "bitmap_strip.h"

#include "skin.h"

#include <QPainter>

namespace zr417 {

CBitmapStrip::CBitmapStrip(int resourceId, int frameWidth, int frameHeight)
    : CBitmapStrip(LoadBitmapResource(resourceId), frameWidth, frameHeight)
{
    const QImage& twin = LoadBitmapResource(resourceId, 2);
    if (twin.devicePixelRatio() == 2 && LayoutSize(twin) == bitmap_.size()) twin_ = twin;
}

const QImage& CBitmapStrip::bitmapFor(qreal devicePixelRatio) const
{
    return devicePixelRatio > 1 && !twin_.isNull() ? twin_ : bitmap_;
}

CBitmapStrip::CBitmapStrip(QImage bitmap, int frameWidth, int frameHeight) : bitmap_(OpaqueSkinImage(bitmap))
{
    frameWidth_ = frameWidth > 0 ? frameWidth : bitmap_.width();
    frameHeight_ = frameHeight > 0 ? frameHeight : bitmap_.height();
    vertical_ = bitmap_.width() < bitmap_.height();
    // A missing bitmap gives zero-sized frames: no frames rather than a division by zero.
    if (frameWidth_ > 0 && frameHeight_ > 0)
        frameCount_ = vertical_ ? bitmap_.height() / frameHeight_ : bitmap_.width() / frameWidth_;
}

bool CBitmapStrip::GetFrameRect(int index, QRect& rect) const
{
    if (index < 0 || index >= frameCount_) return false;
    const int left = vertical_ ? 0 : index * frameWidth_;
    const int top = vertical_ ? index * frameHeight_ : 0;
    rect = QRect(left, top, frameWidth_, frameHeight_);
    return true;
}

bool CBitmapStrip::DrawFrame(QPainter* painter, int index) const
{
    QRect source;
    if (!painter || !GetFrameRect(index, source)) return false;
    DrawSkinImagePart(*painter, bitmapFor(DevicePixelRatio(*painter)), position_.x(), position_.y(), source);
    return true;
}

}  // namespace zr417
