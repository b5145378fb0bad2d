// A tree that paints itself completely: a background (picture, gradient or
// solid), a dark red bar behind the selected item, its own 9 x 9 expand
// markers before items with children, and white item texts indented 7 pixels;
// all drawn off screen and copied to the window in one piece.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QTreeWidget>

namespace zr417 {

class VividTree : public QTreeWidget {
    Q_OBJECT
public:
    enum BackgroundMode { kPicture = 0, kGradient = 1, kSolid = 2 };

    static inline const QColor kSolidBackground{30, 30, 30};
    static inline const QColor kSelectionBar{102, 46, 47};

    explicit VividTree(QWidget* parent = nullptr);
    ~VividTree() override;

    // Bitmap resource 131 as background picture, 133 and 134 as the collapsed
    // and expanded markers.
    void LoadMarkers();

    virtual void SetIcon(const QIcon& icon) { icon_ = icon; }
    virtual QIcon GetIcon() const { return icon_; }

    int backgroundMode() const { return mode_; }
    void setBackgroundMode(int mode);
    QColor gradientStart() const { return gradientStart_; }
    QColor gradientEnd() const { return gradientEnd_; }
    void setGradientColours(const QColor& start, const QColor& end);
    bool horizontalGradient() const { return horizontalGradient_; }
    void setHorizontalGradient(bool horizontal);
    void setBackgroundPicture(const QImage& picture, bool tile);
    void setMarkers(const QImage& collapsed, const QImage& expanded);
    // The selection bar also shows while the tree has no focus.
    bool showSelectionAlways() const { return showSelectionAlways_; }
    void setShowSelectionAlways(bool always);

    // The area the background covered at the last paint, in viewport
    // coordinates: the whole scrollable content, moved by the scroll position.
    QRect backgroundArea() const { return area_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // A click on an expand marker expands or collapses its item.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QRect MarkerRect(const QModelIndex& index) const;
    bool ToggleAtMarker(const QPoint& pos);
    QRect ComputeBackgroundArea(const QRect& client) const;
    void PaintBackground(QPainter& painter, const QRect& client) const;

    QImage collapsed_;
    QImage expanded_;
    // The resources' @2x twins for a high-resolution screen (null for
    // pictures given by the caller).
    QImage collapsedTwin_;
    QImage expandedTwin_;
    QImage pictureTwin_;
    QColor gradientStart_{255, 255, 255};
    QColor gradientEnd_{213, 213, 224};
    bool horizontalGradient_ = true;
    int mode_ = kGradient;
    QImage picture_;
    bool tile_ = false;
    bool showSelectionAlways_ = false;
    bool markerPressed_ = false;  // the left button went down on a marker
    QRect area_;
    QIcon icon_;
    QImage buffer_;
};

}  // namespace zr417
