#include "bit_slider.h"

#include "skin.h"
#include "skin_names.h"

#include <QCursor>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>

#include <algorithm>

namespace zr417 {

CBitSlider::CBitSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setMouseTracking(true);
    // Nothing of its own is painted: the owner's skin shows through.
    setAutoFillBackground(false);
    tipTimer_.setSingleShot(true);
    tipTimer_.setInterval(50);
    connect(&tipTimer_, &QTimer::timeout, this, &CBitSlider::ShowTip);
}

CBitSlider::~CBitSlider() = default;

void CBitSlider::LoadStrips()
{
    channel_ = std::make_unique<CBitmapStrip>(skins::resource::kSliderChannel, 0, 0);
    fill_ = std::make_unique<CBitmapStrip>(skins::resource::kSliderFill, 0, 0);
    if (!fill_->bitmap().isNull()) resize(fill_->bitmap().size());
}

void CBitSlider::CreateThumb()
{
    if (thumb_) return;
    thumb_ = new CBitWnd(this);
    thumb_->Create(this);
    thumb_->UseDefaultStrip();
    thumb_->setForward(true);
    tips_ = true;
    thumb_->hide();
}

QRect CBitSlider::GetChannelRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
}

QRect CBitSlider::GetThumbRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const QSize size = thumb_ ? thumb_->size() : QSize(15, 14);
    const int w = size.width(), h = size.height();
    if (orientation() == Qt::Horizontal) {
        const int left = handle.left() + (w - handle.width()) / 2;  // truncates toward zero
        return QRect(left, thumbOffset_, w, h);
    }
    const int top = handle.top() + (h - handle.height()) / 2;
    return QRect(thumbOffset_, top, w, h);
}

QString CBitSlider::ToolTipText() const
{
    return QString::number(value());
}

void CBitSlider::RequestRepaint()
{
    const QRect thumb = GetThumbRect();
    thumbX_ = thumb.left() - 10;
    thumbY_ = thumb.top();
    emit repaintRequested(sliderId_, thumbX_, thumbY_);
}

void CBitSlider::paintEvent(QPaintEvent*)
{
    RequestRepaint();
    if (thumb_) thumb_->hide();
}

void CBitSlider::mousePressEvent(QMouseEvent* event)
{
    QSlider::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return;
    // The jump replaces Qt's paging towards the click.
    setRepeatAction(SliderNoAction);
    const QRect channel = GetChannelRect();
    const int width = channel.width();
    if (width <= 0) return;
    const int offset = static_cast<int>(event->position().x()) - channel.left();
    const int range = maximum() - minimum();
    int position = range * offset / width;
    // Half a step or more rounds up.
    if (static_cast<float>(range) * static_cast<float>(offset) / static_cast<float>(width) -
            static_cast<float>(position) >=
        0.5f)
        ++position;
    setValue(minimum() + position);
}

void CBitSlider::mouseMoveEvent(QMouseEvent* event)
{
    RequestRepaint();
    QSlider::mouseMoveEvent(event);
    if (tips_) tipTimer_.start();
}

void CBitSlider::wheelEvent(QWheelEvent* event)
{
    event->accept();
}

bool CBitSlider::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        if (tips_) QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), ToolTipText(), this);
        return true;
    }
    if (event->type() == QEvent::Leave) {
        tipTimer_.stop();
        QToolTip::hideText();
    }
    return QSlider::event(event);
}

void CBitSlider::ShowTip()
{
    if (underMouse()) QToolTip::showText(QCursor::pos(), ToolTipText(), this);
}

void DrawSliderSkin(QPainter& painter, const CBitSlider& slider)
{
    const QPoint origin = slider.pos();
    const qreal ratio = DevicePixelRatio(painter);
    if (const CBitmapStrip* channel = slider.channelStrip())
        DrawSkinImage(painter, channel->bitmapFor(ratio), origin.x(), origin.y());
    const int thumbLeft = slider.thumbX() + 10;
    const QImage& thumb = slider.thumb() && slider.thumb()->strip()
                              ? slider.thumb()->strip()->bitmapFor(ratio)
                              : LoadBitmapResource(skins::resource::kSliderThumb, ratio);
    if (const CBitmapStrip* fill = slider.fillStrip()) {
        const QSize size = fill->bitmap().size();
        const int filled = std::clamp(thumbLeft + LayoutSize(thumb).width() / 2, 0, size.width());
        DrawSkinImagePart(painter, fill->bitmapFor(ratio), origin.x(), origin.y(), QRect(0, 0, filled, size.height()));
    }
    DrawSkinImage(painter, thumb, origin.x() + thumbLeft, origin.y() + slider.thumbY());
}

}  // namespace zr417
