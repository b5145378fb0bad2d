// Bitmap slider: Qt's logic, no painting of its own, a jump to the clicked
// value, no wheel, and a repaint request for the owner.
#include "controls/bit_slider.h"
#include "qt_app.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <vector>

namespace zr417 {
namespace {

using testing::PixelAt;

struct Request {
    int id, x, y;
};

class BitSliderTest : public testing::QtTest {
protected:
    void SetUp() override
    {
        slider_.LoadStrips();
        slider_.CreateThumb();
        slider_.setSliderId(1017);
        QObject::connect(&slider_, &CBitSlider::repaintRequested, [this](int id, int x, int y) {
            requests_.push_back({id, x, y});
        });
    }

    // Makes the channel exactly `width` pixels wide.
    void SetChannelWidth(int width)
    {
        slider_.resize(slider_.width() + width - slider_.GetChannelRect().width(), slider_.height());
        ASSERT_EQ(slider_.GetChannelRect().width(), width);
    }

    void Mouse(QEvent::Type type, int x, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        const QPointF at(x, slider_.height() / 2);
        QMouseEvent event(type, at, slider_.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&slider_, &event);
    }

    void ClickAtChannelOffset(int offset)
    {
        const int x = slider_.GetChannelRect().left() + offset;
        Mouse(QEvent::MouseButtonPress, x);
        Mouse(QEvent::MouseButtonRelease, x, Qt::NoButton);
    }

    QWidget owner_;
    CBitSlider slider_{&owner_};
    std::vector<Request> requests_;
};

TEST_F(BitSliderTest, StripsSizeTheSliderAndTheThumbIsHidden)
{
    EXPECT_EQ(slider_.size(), QSize(220, 17));
    ASSERT_NE(slider_.channelStrip(), nullptr);
    ASSERT_NE(slider_.fillStrip(), nullptr);
    EXPECT_EQ(slider_.channelStrip()->frameCount(), 1);
    ASSERT_NE(slider_.thumb(), nullptr);
    EXPECT_TRUE(slider_.thumb()->isHidden());
    EXPECT_TRUE(slider_.thumb()->forward());
    EXPECT_EQ(slider_.thumb()->size(), QSize(15, 14));
    CBitWnd* thumb = slider_.thumb();
    slider_.CreateThumb();
    EXPECT_EQ(slider_.thumb(), thumb);
}

TEST_F(BitSliderTest, ClickJumpsToTheValueRoundingHalfUp)
{
    slider_.setRange(0, 5);
    SetChannelWidth(200);
    slider_.setValue(4);
    ClickAtChannelOffset(50);  // 1.25
    EXPECT_EQ(slider_.value(), 1);
    slider_.setValue(0);
    ClickAtChannelOffset(60);  // 1.5
    EXPECT_EQ(slider_.value(), 2);
    ClickAtChannelOffset(199);  // 4.975
    EXPECT_EQ(slider_.value(), 5);
    ClickAtChannelOffset(0);
    EXPECT_EQ(slider_.value(), 0);
}

TEST_F(BitSliderTest, TheJumpDoesNotKeepPagingWhileTheButtonIsHeld)
{
    slider_.setRange(0, 6);
    SetChannelWidth(200);
    slider_.setValue(0);
    const int x = slider_.GetChannelRect().left() + 100;  // 3
    Mouse(QEvent::MouseButtonPress, x);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(slider_.value(), 3);
    Mouse(QEvent::MouseButtonRelease, x, Qt::NoButton);
}

TEST_F(BitSliderTest, MouseWheelChangesNothing)
{
    slider_.setRange(0, 6);
    slider_.setValue(3);
    int changes = 0;
    QObject::connect(&slider_, &QSlider::valueChanged, [&] { ++changes; });
    for (int delta : {120, -120, 480}) {
        const QPointF at(50, 8);
        QWheelEvent wheel(at, slider_.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&slider_, &wheel);
        EXPECT_TRUE(wheel.isAccepted());
    }
    EXPECT_EQ(slider_.value(), 3);
    EXPECT_EQ(changes, 0);
}

TEST_F(BitSliderTest, EveryMouseMoveAsksForOneRepaintWithTheId)
{
    slider_.setRange(0, 5);
    const QRect handle = slider_.GetThumbRect();
    Mouse(QEvent::MouseButtonPress, handle.center().x());
    requests_.clear();
    for (int x = handle.center().x(); x < handle.center().x() + 60; x += 12)
        Mouse(QEvent::MouseMove, x, Qt::LeftButton);
    ASSERT_EQ(requests_.size(), 5u);
    for (const Request& r : requests_) EXPECT_EQ(r.id, 1017);
    // Moving the handle moves the position reported with the next request.
    EXPECT_GT(requests_.back().x, requests_.front().x);
    Mouse(QEvent::MouseButtonRelease, handle.center().x() + 60, Qt::NoButton);
}

TEST_F(BitSliderTest, PaintingDrawsNothingAndReportsTheThumbPlace)
{
    slider_.setRange(0, 5);
    slider_.setValue(2);
    const QRect thumb = slider_.GetThumbRect();
    QImage picture(slider_.size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(QColor(10, 20, 30));
    requests_.clear();
    slider_.render(&picture, QPoint(), QRegion(), QWidget::RenderFlags());
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].id, 1017);
    EXPECT_EQ(requests_[0].x, thumb.left() - 10);
    EXPECT_EQ(requests_[0].y, thumb.top());
    EXPECT_EQ(slider_.thumbX(), thumb.left() - 10);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) ASSERT_EQ(PixelAt(picture, x, y), qRgb(10, 20, 30)) << x << "," << y;
    EXPECT_TRUE(slider_.thumb()->isHidden());
}

TEST_F(BitSliderTest, ThumbRectIsTheThumbSizeCentredOnTheHandle)
{
    slider_.setRange(0, 5);
    for (int value = 0; value <= 5; ++value) {
        slider_.setValue(value);
        const QRect thumb = slider_.GetThumbRect();
        EXPECT_EQ(thumb.size(), QSize(15, 14));
        EXPECT_EQ(thumb.top(), 0);
    }
    slider_.setValue(0);
    const int left0 = slider_.GetThumbRect().left();
    slider_.setValue(5);
    EXPECT_GT(slider_.GetThumbRect().left(), left0 + 150);
    slider_.setThumbOffset(2);
    EXPECT_EQ(slider_.GetThumbRect().top(), 2);
}

TEST_F(BitSliderTest, KeyboardStillMovesTheSlider)
{
    slider_.setRange(0, 6);
    slider_.setValue(1);
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QCoreApplication::sendEvent(&slider_, &right);
    EXPECT_EQ(slider_.value(), 2);
}

TEST_F(BitSliderTest, OwnerPaintsTheSkinAtTheReportedPlace)
{
    slider_.move(28, 260);
    slider_.setRange(0, 5);
    slider_.setValue(5);
    QImage scratch(slider_.size(), QImage::Format_ARGB32_Premultiplied);
    slider_.render(&scratch);  // the owner learns the thumb place from a paint
    QImage window(300, 300, QImage::Format_ARGB32_Premultiplied);
    window.fill(Qt::black);
    {
        QPainter painter(&window);
        DrawSliderSkin(painter, slider_);
    }
    const QImage& thumb = slider_.thumb()->strip()->bitmap();
    const QPoint at(28 + slider_.thumbX() + 10, 260 + slider_.thumbY());
    EXPECT_EQ(PixelAt(window, at.x() + 7, at.y() + 7), PixelAt(thumb, 7, 7));
    // Left of the thumb the channel is the filled one.
    const QImage& fill = slider_.fillStrip()->bitmap();
    EXPECT_EQ(PixelAt(window, 28 + 100, 260 + 7), PixelAt(fill, 100, 7));
    EXPECT_EQ(PixelAt(window, 27, 267), qRgb(0, 0, 0));
}

}  // namespace
}  // namespace zr417
