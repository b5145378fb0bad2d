// Bitmap button window: frames for hover, press and toggle; one command per click.
#include "controls/bit_wnd.h"
#include "qt_app.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>

#include <vector>

namespace zr417 {
namespace {

using testing::PixelAt;

QImage ThreeFrames()
{
    QImage image(30, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, 10, 10, Qt::red);
    painter.fillRect(10, 0, 10, 10, Qt::green);
    painter.fillRect(20, 0, 10, 10, Qt::blue);
    return image;
}

void Send(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
                                         ? Qt::MouseButtons(Qt::NoButton)
                                         : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

void Click(QWidget* widget)
{
    Send(widget, QEvent::MouseButtonPress, QPoint(2, 2));
    Send(widget, QEvent::MouseButtonRelease, QPoint(2, 2));
}

// Records the mouse events forwarded to it.
class Recorder : public QWidget {
public:
    std::vector<std::pair<QEvent::Type, QPoint>> events;

protected:
    void mousePressEvent(QMouseEvent* e) override { events.push_back({e->type(), e->position().toPoint()}); }
    void mouseReleaseEvent(QMouseEvent* e) override { events.push_back({e->type(), e->position().toPoint()}); }
    void mouseMoveEvent(QMouseEvent* e) override { events.push_back({e->type(), e->position().toPoint()}); }
};

class BitWndTest : public testing::QtTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(button_.Create(&parent_));
        button_.setGeometry(10, 20, 10, 10);
    }
    Recorder parent_;
    CBitWnd button_;
};

TEST_F(BitWndTest, CreateMakesAVisibleEmptyChildWithIdZero)
{
    CBitWnd fresh;
    ASSERT_TRUE(fresh.Create(&parent_));
    EXPECT_EQ(fresh.parentWidget(), &parent_);
    EXPECT_EQ(fresh.geometry(), QRect(0, 0, 0, 0));
    EXPECT_EQ(fresh.controlId(), 0);
    EXPECT_FALSE(fresh.isHidden());
    EXPECT_EQ(fresh.frame(), 0);
    EXPECT_FALSE(fresh.checked());
    fresh.setParent(nullptr);
}

TEST_F(BitWndTest, OneFrameStripShowsFrameZeroInEveryState)
{
    button_.SetStrip(std::make_unique<CBitmapStrip>(ThreeFrames().copy(0, 0, 10, 10), 10, 10));
    button_.setToggle(true);
    button_.OnMouseHover();
    EXPECT_EQ(button_.shownFrame(), 0);
    Send(&button_, QEvent::MouseButtonPress, QPoint(2, 2));
    EXPECT_EQ(button_.shownFrame(), 0);
    Send(&button_, QEvent::MouseButtonRelease, QPoint(2, 2));
    EXPECT_TRUE(button_.checked());
    EXPECT_EQ(button_.shownFrame(), 0);
    button_.OnMouseHover();
    EXPECT_EQ(button_.shownFrame(), 0);
    button_.OnMouseLeave();
    EXPECT_EQ(button_.shownFrame(), 0);
    EXPECT_EQ(PixelAt(button_.grab().toImage(), 5, 5), qRgb(255, 0, 0));
}

TEST_F(BitWndTest, FramesFollowTheMouse)
{
    button_.SetStrip(std::make_unique<CBitmapStrip>(ThreeFrames(), 10, 10));
    Send(&button_, QEvent::MouseMove, QPoint(2, 2));
    EXPECT_TRUE(button_.tracking());
    // Hover arrives a millisecond after the first move.
    QElapsedTimer waited;
    waited.start();
    while (button_.frame() != 1 && waited.elapsed() < 2000) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    EXPECT_EQ(button_.frame(), 1);
    EXPECT_EQ(PixelAt(button_.grab().toImage(), 5, 5), qRgb(0, 255, 0));
    Send(&button_, QEvent::MouseButtonPress, QPoint(2, 2));
    EXPECT_EQ(button_.frame(), 2);
    EXPECT_EQ(PixelAt(button_.grab().toImage(), 5, 5), qRgb(0, 0, 255));
    Send(&button_, QEvent::MouseButtonRelease, QPoint(2, 2));
    EXPECT_EQ(button_.frame(), 1);
    button_.OnMouseLeave();
    EXPECT_EQ(button_.frame(), 0);
    EXPECT_FALSE(button_.tracking());
}

TEST_F(BitWndTest, ToggleKeepsPressedFrameWhileChecked)
{
    button_.SetStrip(std::make_unique<CBitmapStrip>(ThreeFrames(), 10, 10));
    button_.setToggle(true);
    button_.OnMouseHover();
    Send(&button_, QEvent::MouseButtonPress, QPoint(2, 2));
    EXPECT_EQ(button_.frame(), 2);
    Send(&button_, QEvent::MouseButtonRelease, QPoint(2, 2));
    EXPECT_TRUE(button_.checked());
    EXPECT_EQ(button_.frame(), 2);
    button_.OnMouseLeave();
    EXPECT_EQ(button_.frame(), 2);
    button_.OnMouseHover();
    EXPECT_EQ(button_.frame(), 2);

    Send(&button_, QEvent::MouseButtonPress, QPoint(2, 2));
    EXPECT_EQ(button_.frame(), 0);
    Send(&button_, QEvent::MouseButtonRelease, QPoint(2, 2));
    EXPECT_FALSE(button_.checked());
    EXPECT_EQ(button_.frame(), 1);
}

TEST_F(BitWndTest, OneCommandPerClickAtReleaseOrAtPress)
{
    button_.SetStrip(std::make_unique<CBitmapStrip>(ThreeFrames(), 10, 10));
    button_.setControlId(1017);
    std::vector<int> commands;
    QObject::connect(&button_, &CBitWnd::command, [&](int id) { commands.push_back(id); });

    Send(&button_, QEvent::MouseButtonPress, QPoint(2, 2));
    EXPECT_EQ(commands.size(), 0u);
    Send(&button_, QEvent::MouseButtonRelease, QPoint(2, 2));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0], 1017);

    commands.clear();
    button_.setNotifyOnPress(true);
    Send(&button_, QEvent::MouseButtonPress, QPoint(2, 2));
    EXPECT_EQ(commands.size(), 1u);
    Send(&button_, QEvent::MouseButtonRelease, QPoint(2, 2));
    EXPECT_EQ(commands.size(), 1u);

    commands.clear();
    Send(&button_, QEvent::MouseButtonPress, QPoint(2, 2), Qt::RightButton);
    Send(&button_, QEvent::MouseButtonRelease, QPoint(2, 2), Qt::RightButton);
    EXPECT_EQ(commands.size(), 0u);
}

TEST_F(BitWndTest, ForwardingPassesMouseToTheParentInItsCoordinates)
{
    parent_.setMouseTracking(true);
    Click(&button_);
    EXPECT_TRUE(parent_.events.empty());
    button_.setForward(true);
    Send(&button_, QEvent::MouseMove, QPoint(3, 4));
    Click(&button_);
    ASSERT_EQ(parent_.events.size(), 3u);
    EXPECT_EQ(parent_.events[0], std::make_pair(QEvent::MouseMove, QPoint(13, 24)));
    EXPECT_EQ(parent_.events[1], std::make_pair(QEvent::MouseButtonPress, QPoint(12, 22)));
    EXPECT_EQ(parent_.events[2], std::make_pair(QEvent::MouseButtonRelease, QPoint(12, 22)));
}

TEST_F(BitWndTest, DefaultStripIsTheOneFrameThumb)
{
    button_.UseDefaultStrip();
    ASSERT_NE(button_.strip(), nullptr);
    EXPECT_EQ(button_.strip()->frameCount(), 1);
    EXPECT_EQ(button_.geometry(), QRect(0, 0, 15, 14));
}

}  // namespace
}  // namespace zr417
