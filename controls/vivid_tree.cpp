#include "vivid_tree.h"

#include "skin.h"
#include "skin_names.h"

#include <QHeaderView>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace zr417 {

VividTree::VividTree(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setFrameShape(QFrame::NoFrame);
    setUniformRowHeights(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    // A picture background may show through an expanding branch's old place.
    connect(this, &QTreeWidget::itemExpanded, this, [this] {
        if (mode_ == kPicture) viewport()->update();
    });
}

VividTree::~VividTree() = default;

void VividTree::LoadMarkers()
{
    picture_ = LoadBitmapResource(skins::resource::kPressMark);
    collapsed_ = LoadBitmapResource(skins::resource::kTreeCollapsed);
    expanded_ = LoadBitmapResource(skins::resource::kTreeExpanded);
    pictureTwin_ = LoadBitmapResource(skins::resource::kPressMark, 2);
    collapsedTwin_ = LoadBitmapResource(skins::resource::kTreeCollapsed, 2);
    expandedTwin_ = LoadBitmapResource(skins::resource::kTreeExpanded, 2);
    viewport()->update();
}

void VividTree::setBackgroundMode(int mode)
{
    mode_ = mode;
    viewport()->update();
}

void VividTree::setGradientColours(const QColor& start, const QColor& end)
{
    gradientStart_ = start;
    gradientEnd_ = end;
    viewport()->update();
}

void VividTree::setHorizontalGradient(bool horizontal)
{
    horizontalGradient_ = horizontal;
    viewport()->update();
}

void VividTree::setBackgroundPicture(const QImage& picture, bool tile)
{
    picture_ = picture;
    pictureTwin_ = QImage();
    tile_ = tile;
    viewport()->update();
}

void VividTree::setMarkers(const QImage& collapsed, const QImage& expanded)
{
    collapsed_ = collapsed;
    expanded_ = expanded;
    collapsedTwin_ = expandedTwin_ = QImage();
    viewport()->update();
}

void VividTree::setShowSelectionAlways(bool always)
{
    showSelectionAlways_ = always;
    viewport()->update();
}

QRect VividTree::ComputeBackgroundArea(const QRect& client) const
{
    QRect area = client;
    const QScrollBar* h = horizontalScrollBar();
    if (h->maximum() > h->minimum()) {
        area.setLeft(-h->value());
        area.setWidth(std::max(h->maximum() + h->pageStep(), client.width()));
    }
    const QScrollBar* v = verticalScrollBar();
    if (v->maximum() > v->minimum()) {
        // Per-item scrolling counts rows; per-pixel scrolling counts pixels.
        const int unit = verticalScrollMode() == QAbstractItemView::ScrollPerItem
                             ? std::max(1, visualRect(model()->index(0, 0, rootIndex())).height())
                             : 1;
        area.setTop(-unit * v->value());
        // The page counts whole rows only; one more covers a partly shown last row.
        area.setHeight(std::max(unit * (v->maximum() + v->pageStep() + 1), client.height() - area.top()));
    }
    return area;
}

void VividTree::PaintBackground(QPainter& painter, const QRect& client) const
{
    switch (mode_) {
        case kPicture:
            if (!picture_.isNull()) {
                const QImage& shown = DevicePixelRatio(painter) > 1 && !pictureTwin_.isNull() ? pictureTwin_ : picture_;
                if (tile_) {
                    const int w = picture_.width(), h = picture_.height();
                    // Only the copies that reach the window.
                    const int firstCol = std::max(0, (client.left() - area_.left()) / w);
                    const int firstRow = std::max(0, (client.top() - area_.top()) / h);
                    for (int row = firstRow; row <= area_.height() / h; ++row) {
                        const int y = area_.top() + row * h;
                        if (y >= client.bottom() + 1) break;
                        for (int col = firstCol; col <= area_.width() / w; ++col) {
                            const int x = area_.left() + col * w;
                            if (x >= client.right() + 1) break;
                            DrawSkinImage(painter, shown, x, y);
                        }
                    }
                } else {
                    painter.drawImage(area_, shown);
                }
                break;
            }
            [[fallthrough]];
        case kGradient: {
            QLinearGradient gradient(area_.topLeft(), horizontalGradient_
                                                          ? QPointF(area_.left() + area_.width(), area_.top())
                                                          : QPointF(area_.left(), area_.top() + area_.height()));
            gradient.setColorAt(0, gradientStart_);
            gradient.setColorAt(1, gradientEnd_);
            painter.fillRect(area_.intersected(client), gradient);
            break;
        }
        case kSolid:
            painter.fillRect(client, kSolidBackground);
            break;
        default:
            break;
    }
}

QRect VividTree::MarkerRect(const QModelIndex& index) const
{
    const QImage& marker = isExpanded(index) ? expanded_ : collapsed_;
    const QRect row = visualRect(index);
    // Left of the text, which is moved 7 pixels right of the row.
    return QRect(row.left() + 7 - marker.width() - 2, row.top() + 4, marker.width(), marker.height());
}

bool VividTree::ToggleAtMarker(const QPoint& pos)
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid() || !model()->hasChildren(index)) return false;
    // The marker straddles the row's left edge; the view would expand only
    // for its left part and select the heading for the rest. A pixel of
    // slack around it, as the marker is small.
    if (!MarkerRect(index).adjusted(-1, -2, 1, 2).contains(pos)) return false;
    setExpanded(index, !isExpanded(index));
    return true;
}

void VividTree::mousePressEvent(QMouseEvent* event)
{
    markerPressed_ = event->button() == Qt::LeftButton && ToggleAtMarker(event->position().toPoint());
    if (markerPressed_) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void VividTree::mouseReleaseEvent(QMouseEvent* event)
{
    // The view would toggle again on the release of a press in its own area.
    if (markerPressed_ && event->button() == Qt::LeftButton) {
        markerPressed_ = false;
        event->accept();
        return;
    }
    QTreeWidget::mouseReleaseEvent(event);
}

void VividTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second click of a double-click on the marker toggles once more,
    // as on the view's own expand area.
    markerPressed_ = event->button() == Qt::LeftButton && ToggleAtMarker(event->position().toPoint());
    if (markerPressed_) {
        event->accept();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void VividTree::paintEvent(QPaintEvent*)
{
    const QRect client = viewport()->rect();
    if (client.isEmpty()) return;
    area_ = ComputeBackgroundArea(client);
    const qreal ratio = viewport()->devicePixelRatioF();
    if (LayoutSize(buffer_) != client.size() || buffer_.devicePixelRatio() != ratio)
        buffer_ = MakeFrame(client.size(), ratio, QImage::Format_ARGB32_Premultiplied);
    buffer_.fill(Qt::black);
    {
        QPainter painter(&buffer_);
        painter.setFont(font());
        PaintBackground(painter, client);

        const bool focused = hasFocus();
        const QFontMetrics metrics(font());
        painter.setPen(Qt::white);
        for (QModelIndex index = indexAt(QPoint(0, 0)); index.isValid(); index = indexBelow(index)) {
            const QRect row = visualRect(index);
            if (row.top() > client.bottom()) break;
            const bool highlighted =
                selectionModel() && selectionModel()->isSelected(index) && (focused || showSelectionAlways_);
            const QString text = index.data(Qt::DisplayRole).toString();
            QRect textRect(row.left() + 7, row.top(), metrics.horizontalAdvance(text) + 4, row.height());
            if (highlighted)
                painter.fillRect(QRect(0, textRect.top(), area_.left() + area_.width(), textRect.height()),
                                 kSelectionBar);
            if (model()->hasChildren(index)) {
                const bool open = isExpanded(index);
                const QImage& twin = open ? expandedTwin_ : collapsedTwin_;
                const QImage& marker = ratio > 1 && !twin.isNull() ? twin : (open ? expanded_ : collapsed_);
                const QRect at = MarkerRect(index);
                DrawSkinImage(painter, marker, at.left(), at.top());
            }
            textRect.adjust(0, 1, 0, -1);
            painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, text);
        }
    }
    QPainter window(viewport());
    window.setCompositionMode(QPainter::CompositionMode_Source);
    window.drawImage(0, 0, buffer_);
}

}  // namespace zr417
