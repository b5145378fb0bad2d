// Owner-drawn tree: backgrounds, selection bar, markers and indent, read back
// from the painted pixels.
#include "controls/vivid_tree.h"
#include "controls/skin.h"
#include "controls/skin_names.h"
#include "qt_app.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

namespace zr417 {
namespace {

using testing::PixelAt;

const QRgb kSolid = qRgb(30, 30, 30);
const QRgb kBar = qRgb(102, 46, 47);

class VividTreeTest : public testing::QtTest {
protected:
    void SetUp() override
    {
        auto* layout = new QVBoxLayout(&window_);
        layout->setContentsMargins(0, 0, 0, 0);
        tree_ = new VividTree;
        other_ = new QLineEdit;
        layout->addWidget(tree_);
        layout->addWidget(other_);
        window_.resize(240, 220);
        tree_->LoadMarkers();
        tree_->setBackgroundMode(VividTree::kSolid);

        leaf_ = new QTreeWidgetItem(tree_, {"Search"});
        group_ = new QTreeWidgetItem(tree_, {"Media"});
        for (const char* name : {"Play", "Stop", "Next"}) new QTreeWidgetItem(group_, {name});
        closed_ = new QTreeWidgetItem(tree_, {"Windows"});
        new QTreeWidgetItem(closed_, {"Max"});
        tree_->expandItem(group_);

        window_.show();
        window_.activateWindow();
        QApplication::setActiveWindow(&window_);
        QCoreApplication::processEvents();
    }

    void FocusTree(bool on)
    {
        (on ? static_cast<QWidget*>(tree_) : other_)->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
        ASSERT_EQ(tree_->hasFocus(), on);
    }

    QImage Paint() { return tree_->viewport()->grab().toImage(); }
    QRect Row(QTreeWidgetItem* item) const { return tree_->visualItemRect(item); }

    QWidget window_;
    VividTree* tree_ = nullptr;
    QLineEdit* other_ = nullptr;
    QTreeWidgetItem* leaf_ = nullptr;
    QTreeWidgetItem* group_ = nullptr;
    QTreeWidgetItem* closed_ = nullptr;
};

TEST_F(VividTreeTest, SelectionBarSpansTheWidthOnlyWhileFocused)
{
    tree_->setCurrentItem(group_->child(2));
    const QRect row = Row(group_->child(2));
    const int y = row.center().y();

    FocusTree(true);
    QImage image = Paint();
    EXPECT_EQ(PixelAt(image, 0, y), kBar);
    EXPECT_EQ(PixelAt(image, image.width() - 1, y), kBar);
    EXPECT_EQ(PixelAt(image, 0, row.top()), kBar);
    EXPECT_EQ(PixelAt(image, 0, row.bottom()), kBar);
    EXPECT_EQ(PixelAt(image, 0, row.top() - 1), kSolid);
    EXPECT_EQ(PixelAt(image, 0, row.bottom() + 1), kSolid);

    FocusTree(false);
    image = Paint();
    EXPECT_EQ(PixelAt(image, 0, y), kSolid);
    EXPECT_EQ(PixelAt(image, image.width() - 1, y), kSolid);

    tree_->setShowSelectionAlways(true);
    image = Paint();
    EXPECT_EQ(PixelAt(image, 0, y), kBar);
    EXPECT_EQ(PixelAt(image, image.width() - 1, y), kBar);
}

// True when any pixel of the rectangle differs from `colour`.
bool Inked(const QImage& image, const QRect& rect, QRgb colour)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (PixelAt(image, x, y) != colour) return true;
    return false;
}

TEST_F(VividTreeTest, MarkersOnlyBeforeItemsWithChildren)
{
    const QImage image = Paint();
    const QImage& collapsed = LoadBitmapResource(skins::resource::kTreeCollapsed);
    const QImage& expanded = LoadBitmapResource(skins::resource::kTreeExpanded);
    ASSERT_EQ(collapsed.size(), QSize(9, 9));

    auto markerAt = [&](QTreeWidgetItem* item) {
        const QRect row = Row(item);
        return QPoint(row.left() + 7 - 9 - 2, row.top() + 4);
    };
    auto matches = [&](QPoint at, const QImage& marker) {
        for (int y = 0; y < marker.height(); ++y)
            for (int x = 0; x < marker.width(); ++x)
                if (PixelAt(image, at.x() + x, at.y() + y) != PixelAt(marker, x, y)) return false;
        return true;
    };
    EXPECT_TRUE(matches(markerAt(group_), expanded));
    EXPECT_TRUE(matches(markerAt(closed_), collapsed));
    // A leaf: nothing left of its text, at either depth.
    for (QTreeWidgetItem* leaf : {leaf_, group_->child(0)}) {
        const QRect row = Row(leaf);
        EXPECT_FALSE(Inked(image, QRect(0, row.top(), row.left() + 7, row.height()), kSolid))
            << leaf->text(0).toStdString();
    }
}

TEST_F(VividTreeTest, AClickAnywhereOnAMarkerTogglesItsGroupAndSelectsNothing)
{
    tree_->clearSelection();
    tree_->setCurrentItem(nullptr);
    // Both halves of the marker: the left one lies in the view's own expand
    // area, the right one inside the heading's row.
    for (int dx : {1, 7}) {
        const QRect row = Row(closed_);
        const QPoint at(row.left() + 7 - 9 - 2 + dx, row.top() + 8);
        ASSERT_FALSE(closed_->isExpanded());
        QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, at);
        EXPECT_TRUE(closed_->isExpanded()) << "dx " << dx;
        EXPECT_TRUE(tree_->selectedItems().isEmpty()) << "dx " << dx;
        QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, at);
        EXPECT_FALSE(closed_->isExpanded()) << "dx " << dx;
    }
    // The heading's text still selects it.
    const QRect row = Row(closed_);
    QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, QPoint(row.left() + 20, row.top() + 8));
    EXPECT_EQ(tree_->selectedItems(), QList<QTreeWidgetItem*>{closed_});
}

TEST_F(VividTreeTest, WhiteTextIndentedSevenPixels)
{
    const QImage image = Paint();
    for (QTreeWidgetItem* item : {leaf_, group_->child(1)}) {
        const QRect row = Row(item);
        // Nothing in the 7 pixels after the item's own left edge...
        EXPECT_FALSE(Inked(image, QRect(row.left(), row.top(), 7, row.height()), kSolid));
        // ...then the text, white at its brightest.
        int brightest = 0;
        for (int y = row.top(); y <= row.bottom(); ++y)
            for (int x = row.left() + 7; x < row.left() + 40; ++x)
                brightest = std::max(brightest, qGray(image.pixel(x, y)));
        EXPECT_EQ(brightest, 255) << item->text(0).toStdString();
    }
}

TEST_F(VividTreeTest, GradientCoversTheWholeContentAndFollowsScrolling)
{
    tree_->clear();
    for (int i = 0; i < 60; ++i) new QTreeWidgetItem(tree_, {QStringLiteral("F%1").arg(i)});
    tree_->setBackgroundMode(VividTree::kGradient);
    tree_->setHorizontalGradient(false);
    tree_->setGradientColours(QColor(0, 0, 0), QColor(240, 240, 240));
    QCoreApplication::processEvents();
    QScrollBar* bar = tree_->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);

    auto expected = [&](int y) {
        const QRect area = tree_->backgroundArea();
        return 240.0 * (y + 0.5 - area.top()) / area.height();
    };

    bar->setValue(0);
    QImage top = Paint();
    const int x = top.width() - 3;  // right of every text
    const QRect area0 = tree_->backgroundArea();
    EXPECT_EQ(area0.top(), 0);
    EXPECT_GT(area0.height(), 3 * tree_->viewport()->height()) << "the whole content, not the window";
    EXPECT_NEAR(qRed(top.pixel(x, 0)), expected(0), 3);

    bar->setValue(bar->maximum());
    QImage bottom = Paint();
    const QRect area1 = tree_->backgroundArea();
    EXPECT_LT(area1.top(), 0);
    EXPECT_EQ(area1.height(), area0.height());
    const int last = bottom.height() - 1;
    EXPECT_NEAR(qRed(bottom.pixel(x, 0)), expected(0), 3);
    EXPECT_NEAR(qRed(bottom.pixel(x, last)), expected(last), 3);
    // Scrolled down, the window shows the lighter end of the gradient.
    EXPECT_GT(qRed(bottom.pixel(x, 0)), qRed(top.pixel(x, 0)) + 60);
    EXPECT_GT(qRed(bottom.pixel(x, last)), 220);
}

TEST_F(VividTreeTest, HorizontalGradientRunsLeftToRight)
{
    tree_->setBackgroundMode(VividTree::kGradient);
    tree_->setGradientColours(QColor(0, 0, 0), QColor(200, 200, 200));
    const QImage image = Paint();
    const int y = image.height() - 2;  // below the items
    EXPECT_LT(qRed(image.pixel(1, y)), 10);
    EXPECT_GT(qRed(image.pixel(image.width() - 2, y)), 190);
}

TEST_F(VividTreeTest, TiledPictureBackground)
{
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 200));
    picture.setPixel(0, 0, qRgb(200, 0, 0));
    tree_->setBackgroundPicture(picture, true);
    tree_->setBackgroundMode(VividTree::kPicture);
    const QImage image = Paint();
    const int y = image.height() - 8 - (image.height() - 8) % 4;  // below the items, on a tile corner
    EXPECT_EQ(PixelAt(image, 8, y), qRgb(200, 0, 0));
    EXPECT_EQ(PixelAt(image, 9, y), qRgb(0, 0, 200));
}

TEST_F(VividTreeTest, IconIsKeptForTheOwner)
{
    EXPECT_TRUE(tree_->GetIcon().isNull());
    tree_->SetIcon(LoadIconResource(skins::resource::kIconMain));
    EXPECT_FALSE(tree_->GetIcon().isNull());
}

}  // namespace
}  // namespace zr417
