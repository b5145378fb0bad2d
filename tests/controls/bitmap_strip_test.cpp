// Bitmap strips: frame arithmetic, vertical strips, drawing one frame.
#include "controls/bitmap_strip.h"
#include "controls/skin_names.h"
#include "qt_app.h"

#include <QPainter>

namespace zr417 {
namespace {

using testing::PixelAt;

// Frames in red, green, blue, yellow, side by side or stacked.
QImage Frames(int w, int h, int count, bool vertical)
{
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    QImage image(vertical ? w : w * count, vertical ? h * count : h, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int i = 0; i < count; ++i)
        painter.fillRect(vertical ? QRect(0, i * h, w, h) : QRect(i * w, 0, w, h), colours[i % 4]);
    return image;
}

class BitmapStripTest : public testing::QtTest {};

TEST_F(BitmapStripTest, FrameSizeZeroTakesTheWholeBitmap)
{
    const CBitmapStrip strip(Frames(15, 14, 4, false), 0, 0);
    EXPECT_EQ(strip.frameCount(), 1);
    EXPECT_EQ(strip.frameWidth(), 60);
    EXPECT_EQ(strip.frameHeight(), 14);
    EXPECT_FALSE(strip.vertical());
    QRect rect;
    ASSERT_TRUE(strip.GetFrameRect(0, rect));
    EXPECT_EQ(rect, QRect(0, 0, 60, 14));
    EXPECT_FALSE(strip.GetFrameRect(1, rect));
}

TEST_F(BitmapStripTest, SideBySideFrames)
{
    const CBitmapStrip strip(Frames(15, 14, 4, false), 15, 14);
    EXPECT_EQ(strip.frameCount(), 4);
    QRect rect;
    ASSERT_TRUE(strip.GetFrameRect(3, rect));
    EXPECT_EQ(rect, QRect(45, 0, 15, 14));
    EXPECT_FALSE(strip.GetFrameRect(4, rect));
    EXPECT_FALSE(strip.GetFrameRect(-1, rect));
}

TEST_F(BitmapStripTest, NarrowerThanHighIsAVerticalStrip)
{
    const CBitmapStrip strip(Frames(15, 14, 4, true), 15, 14);
    EXPECT_TRUE(strip.vertical());
    EXPECT_EQ(strip.frameCount(), 4);
    QRect rect;
    ASSERT_TRUE(strip.GetFrameRect(2, rect));
    EXPECT_EQ(rect, QRect(0, 28, 15, 14));
}

TEST_F(BitmapStripTest, DrawFrameCopiesOneFrameAtItsPosition)
{
    CBitmapStrip strip(Frames(15, 14, 4, true), 15, 14);
    strip.setPosition(QPoint(3, 2));
    QImage target(30, 30, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::white);
    QPainter painter(&target);
    ASSERT_TRUE(strip.DrawFrame(&painter, 2));
    painter.end();
    EXPECT_EQ(PixelAt(target, 3, 2), qRgb(0, 0, 255));
    EXPECT_EQ(PixelAt(target, 17, 15), qRgb(0, 0, 255));
    EXPECT_EQ(PixelAt(target, 18, 15), qRgb(255, 255, 255));
    EXPECT_EQ(PixelAt(target, 17, 16), qRgb(255, 255, 255));
    EXPECT_EQ(PixelAt(target, 2, 2), qRgb(255, 255, 255));
}

TEST_F(BitmapStripTest, DrawFramePastTheEndOrWithoutTargetDrawsNothing)
{
    const CBitmapStrip strip(Frames(15, 14, 4, false), 15, 14);
    QImage target(70, 20, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::white);
    const QImage before = target;
    QPainter painter(&target);
    EXPECT_FALSE(strip.DrawFrame(&painter, strip.frameCount()));
    EXPECT_FALSE(strip.DrawFrame(nullptr, 0));
    painter.end();
    EXPECT_EQ(target, before);
}

TEST_F(BitmapStripTest, TransparentPixelsOfAFrameKeepTheirStoredColour)
{
    QImage bitmap(4, 2, QImage::Format_ARGB32);
    bitmap.fill(qRgba(0, 200, 0, 0));
    const CBitmapStrip strip(bitmap, 2, 2);
    QImage target(4, 2, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::white);
    QPainter painter(&target);
    ASSERT_TRUE(strip.DrawFrame(&painter, 1));
    painter.end();
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 200, 0));
}

TEST_F(BitmapStripTest, MissingBitmapHasNoFrames)
{
    const CBitmapStrip strip(QImage(), 0, 0);
    EXPECT_EQ(strip.frameCount(), 0);
    const CBitmapStrip resource(9999, 15, 14);
    EXPECT_EQ(resource.frameCount(), 0);
    QImage target(4, 4, QImage::Format_RGB32);
    QPainter painter(&target);
    EXPECT_FALSE(resource.DrawFrame(&painter, 0));
}

TEST_F(BitmapStripTest, ThumbAndChannelResourcesAreOneFrameEach)
{
    EXPECT_EQ(CBitmapStrip(skins::resource::kSliderThumb, 15, 14).frameCount(), 1);
    const CBitmapStrip channel(skins::resource::kSliderChannel, 0, 0);
    EXPECT_EQ(channel.frameCount(), 1);
    EXPECT_EQ(channel.frameWidth(), 220);
    EXPECT_EQ(channel.frameHeight(), 17);
}

}  // namespace
}  // namespace zr417
