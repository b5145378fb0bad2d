#include "bit_wnd.h"

#include "skin_names.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>

namespace zr417 {

CBitWnd::CBitWnd(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(1);
    connect(&hoverTimer_, &QTimer::timeout, this, &CBitWnd::OnMouseHover);
}

CBitWnd::~CBitWnd() = default;

bool CBitWnd::Create(QWidget* parent)
{
    if (!parent) return false;
    setParent(parent);
    setGeometry(0, 0, 0, 0);
    controlId_ = 0;
    show();
    return true;
}

void CBitWnd::UseDefaultStrip()
{
    SetStrip(std::make_unique<CBitmapStrip>(skins::resource::kSliderThumb, 15, 14));
    setGeometry(0, 0, strip_->frameWidth(), strip_->frameHeight());
}

void CBitWnd::SetStrip(std::unique_ptr<CBitmapStrip> strip)
{
    ownedStrip_ = std::move(strip);
    strip_ = ownedStrip_.get();
    update();
}

void CBitWnd::SetStrip(CBitmapStrip* strip)
{
    ownedStrip_.reset();
    strip_ = strip;
    update();
}

int CBitWnd::shownFrame() const
{
    return frame_ < FrameCount() ? frame_ : 0;
}

void CBitWnd::setChecked(bool checked)
{
    checked_ = checked;
    update();
}

void CBitWnd::OnMouseHover()
{
    frame_ = checked_ ? 2 : (FrameCount() > 1 ? 1 : 0);
    update();
}

void CBitWnd::OnMouseLeave()
{
    hoverTimer_.stop();
    tracking_ = false;
    frame_ = (checked_ && FrameCount() > 1) ? 2 : 0;
    update();
}

void CBitWnd::paintEvent(QPaintEvent*)
{
    if (!strip_) return;
    QPainter painter(this);
    strip_->DrawFrame(&painter, shownFrame());
}

void CBitWnd::mouseMoveEvent(QMouseEvent* event)
{
    if (!tracking_) {
        tracking_ = true;
        hoverTimer_.start();
    }
    if (forward_) Forward(event);
}

void CBitWnd::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    frame_ = checked_ ? 0 : (FrameCount() > 2 ? 2 : 0);
    if (toggle_) checked_ = !checked_;
    update();
    if (notifyOnPress_) emit command(controlId_);
    if (forward_) Forward(event);
}

void CBitWnd::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    if (!checked_) {
        frame_ = FrameCount() > 1 ? 1 : 0;
        update();
    }
    if (!notifyOnPress_) emit command(controlId_);
    if (forward_) Forward(event);
}

void CBitWnd::leaveEvent(QEvent* event)
{
    OnMouseLeave();
    QWidget::leaveEvent(event);
}

void CBitWnd::Forward(QMouseEvent* event)
{
    QWidget* parent = parentWidget();
    if (!parent) return;
    QMouseEvent copy(event->type(), mapToParent(event->position()), event->scenePosition(), event->globalPosition(),
                     event->button(), event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(parent, &copy);
}

}  // namespace zr417
