// The transparent list box on screen: the picture behind it, the white text
// with its shadow, the step marks, and in-place editing with its signals.
#include "controls/skin.h"
#include "controls/skin_names.h"
#include "macro/transparent_list_box.h"
#include "qt_env.h"

#include <QPainter>
#include <QTest>
#include <QWheelEvent>

#include <vector>

namespace zr417 {
namespace {

using testing::MacroQtTest;
using testing::Pump;

// A parent whose picture tells every pixel's position apart.
class PatternParent : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); x += 1) p.fillRect(x, y, 1, 1, Colour(x, y));
    }

public:
    static QColor Colour(int x, int y) { return QColor(x % 256, y % 256, 100); }
};

struct Signal {
    Signal(std::string k, int x = 0, int y = 0, QString t = {}) : kind(std::move(k)), a(x), b(y), text(std::move(t)) {}
    std::string kind;  // "begun", "committed", "changed"
    int a, b;
    QString text;
    bool operator==(const Signal&) const = default;
};
void PrintTo(const Signal& s, std::ostream* os)
{
    *os << s.kind << "(" << s.a << ", " << s.b << ", \"" << s.text.toStdString() << "\")";
}

class ListBoxTest : public MacroQtTest {
protected:
    void SetUp() override
    {
        parent_.resize(300, 420);
        list_ = new CTransparentListBox(&parent_);
        list_->setGeometry(20, 80, 113, 275);
        list_->SetFontAndColours(16, "Arial", Qt::white, QColor(0, 255, 255), true, 2, Qt::black);
        other_ = new QLineEdit(&parent_);
        other_->setGeometry(150, 10, 100, 20);
        QObject::connect(list_, &CTransparentListBox::editBegun, [this] { signals_.push_back({"begun"}); });
        QObject::connect(list_, &CTransparentListBox::editCommitted, [this](int a, int b) {
            signals_.push_back({"committed", a, b});
        });
        QObject::connect(list_, &CTransparentListBox::itemTextChanged, [this](int i, const QString& old) {
            signals_.push_back({"changed", i, 0, old});
        });
        parent_.show();
        QApplication::setActiveWindow(&parent_);
        Pump();
    }
    void Fill(int mode, const QStringList& items)
    {
        list_->SetEditMode(mode);
        for (const QString& s : items) list_->AddString(s);
        Pump();
    }
    QPoint RowCentre(int row) const { return list_->visualItemRect(list_->item(row)).center(); }
    // Selects the row and double-clicks it, as a user opens the editor.
    void DoubleClick(int row)
    {
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, RowCentre(row));
        QTest::mouseDClick(list_->viewport(), Qt::LeftButton, {}, RowCentre(row));
        Pump();
    }
    void Type(const QString& text, int key = Qt::Key_Return)
    {
        ASSERT_NE(list_->editor(), nullptr);
        QTest::keyClicks(list_->editor(), text);
        QTest::keyClick(list_->editor(), static_cast<Qt::Key>(key));
        Pump();
    }

    PatternParent parent_;
    CTransparentListBox* list_ = nullptr;
    QLineEdit* other_ = nullptr;
    std::vector<Signal> signals_;
};

int CountColour(const QImage& img, const QRect& r, QRgb colour)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += (img.pixel(x, y) | 0xff000000u) == (colour | 0xff000000u);
    return n;
}

// --- what is drawn ------------------------------------------------------------------

TEST_F(ListBoxTest, TheListPictureIsCutFromPoint7_22OfTheBackgroundResource)
{
    const QImage& picture = LoadBitmapResource(skins::resource::kListBackground);
    ASSERT_FALSE(picture.isNull());
    const QImage shot = list_->grab().toImage();
    for (QPoint p : {QPoint(0, 0), QPoint(50, 100), QPoint(112, 274)}) {
        EXPECT_EQ(list_->background().pixel(p) | 0xff000000u, picture.pixel(p + QPoint(7, 22)) | 0xff000000u) << p.x();
        EXPECT_EQ(shot.pixel(p) | 0xff000000u, picture.pixel(p + QPoint(7, 22)) | 0xff000000u) << p.x();
    }
}

TEST_F(ListBoxTest, ModeThreeShowsTheParentsPictureOrWhatTheParentHandsOver)
{
    list_->SetEditMode(kEditParentText);
    list_->grab();
    EXPECT_EQ(QColor(list_->background().pixel(0, 0)), PatternParent::Colour(20, 80));
    EXPECT_EQ(QColor(list_->background().pixel(30, 40)), PatternParent::Colour(50, 120));

    // Moved: the picture under the new place.
    list_->move(60, 20);
    Pump();
    list_->grab();
    EXPECT_EQ(QColor(list_->background().pixel(0, 0)), PatternParent::Colour(60, 20));

    QRect asked;
    list_->SetBackgroundProvider([&](const QRect& rect) {
        asked = rect;
        QImage img(rect.size(), QImage::Format_RGB32);
        img.fill(QColor(200, 0, 200));
        return img;
    });
    list_->grab();
    EXPECT_EQ(asked, QRect(60, 20, 113, 275));
    EXPECT_EQ(QColor(list_->background().pixel(10, 10)), QColor(200, 0, 200));
}

TEST_F(ListBoxTest, StepLinesAreWhiteWithAShadowCyanWhenSelectedAndCarryTheirMarks)
{
    Fill(kEditDelay, {"A  dn", "50 ms", "A  up", "B  dn"});
    list_->setCurrentRow(1);
    Pump();
    const QImage shot = list_->grab().toImage();
    const int w = list_->viewport()->width();
    auto rowRect = [&](int row) { return list_->visualItemRect(list_->item(row)); };

    const QRect text0(0, rowRect(0).top(), w - 24, rowRect(0).height());
    EXPECT_GT(CountColour(shot, text0, qRgb(255, 255, 255)), 5);
    EXPECT_GT(CountColour(shot, text0, qRgb(0, 0, 0)), 5);  // the shadow
    EXPECT_EQ(CountColour(shot, text0, qRgb(0, 255, 255)), 0);
    const QRect text1(0, rowRect(1).top(), w - 24, rowRect(1).height());
    EXPECT_GT(CountColour(shot, text1, qRgb(0, 255, 255)), 5);

    // Marks at the right edge - 20: press, delay, release.
    const int marks[] = {skins::resource::kPressMark, skins::resource::kDelayMark, skins::resource::kReleaseMark};
    for (int row = 0; row < 3; ++row) {
        const QImage& mark = LoadBitmapResource(marks[row]);
        ASSERT_FALSE(mark.isNull());
        const QPoint at(w - 20, rowRect(row).top());
        int same = 0;
        for (int y = 0; y < std::min(mark.height(), rowRect(row).height()); ++y)
            for (int x = 0; x < mark.width(); ++x)
                same += (shot.pixel(at + QPoint(x, y)) | 0xff000000u) == (mark.pixel(x, y) | 0xff000000u);
        EXPECT_GT(same, mark.width() * std::min(mark.height(), rowRect(row).height()) * 9 / 10) << row;
    }

    // Disabled: black text over a white shadow, never the selection colour.
    list_->setEnabled(false);
    const QImage off = list_->grab().toImage();
    EXPECT_EQ(CountColour(off, text1, qRgb(0, 255, 255)), 0);
    EXPECT_GT(CountColour(off, text1, qRgb(255, 255, 255)), 5);
}

TEST_F(ListBoxTest, ItemHeightFollowsTheFont)
{
    Fill(kEditPlainText, {"Macro_001", "Macro_002"});
    const int h = list_->itemHeight();
    EXPECT_EQ(h, QFontMetrics(SkinFont(16, 700)).height());
    EXPECT_EQ(list_->visualItemRect(list_->item(1)).top(), h);
}

// --- editing ------------------------------------------------------------------------

TEST_F(ListBoxTest, TypedDelaysAreKeptBetween2And60000AndEscapeSendsNothing)
{
    Fill(kEditDelay, {"A  dn", "50 ms", "A  up"});
    DoubleClick(1);
    ASSERT_NE(list_->editor(), nullptr);
    EXPECT_EQ(list_->editor()->text(), "50");
    EXPECT_EQ(list_->editor()->selectedText(), "50");
    Type("1");
    EXPECT_EQ(signals_, (std::vector<Signal>{{"begun"}, {"committed", 1, 2}, {"changed", 1, 0, "50 ms"}}));
    EXPECT_EQ(list_->Text(1), "2 ms");
    EXPECT_EQ(list_->editor(), nullptr);

    signals_.clear();
    DoubleClick(1);
    Type("99999");
    EXPECT_EQ(signals_, (std::vector<Signal>{{"begun"}, {"committed", 1, 60000}, {"changed", 1, 0, "2 ms"}}));
    EXPECT_EQ(list_->Text(1), "60000 ms");

    signals_.clear();
    DoubleClick(1);
    Type("7", Qt::Key_Escape);
    EXPECT_EQ(signals_, (std::vector<Signal>{{"begun"}}));
    EXPECT_EQ(list_->Text(1), "60000 ms");
    EXPECT_EQ(list_->editor(), nullptr);

    // Letters never reach the field; an empty field commits the least delay.
    signals_.clear();
    DoubleClick(1);
    QTest::keyClick(list_->editor(), Qt::Key_Backspace);
    Type("ab-c");
    EXPECT_EQ(signals_[1], (Signal{"committed", 1, 2}));
}

TEST_F(ListBoxTest, KeyLinesOfTheStepListAreNotEditable)
{
    Fill(kEditDelay, {"A  dn", "50 ms", "A  up"});
    DoubleClick(0);
    DoubleClick(2);
    EXPECT_EQ(list_->editor(), nullptr);
    EXPECT_TRUE(signals_.empty());
}

TEST_F(ListBoxTest, RenamingToTheSameTextSendsOnlyTheBeginning)
{
    Fill(kEditPlainText, {"Macro_001", "Macro_002"});
    DoubleClick(1);
    EXPECT_EQ(list_->editor()->text(), "Macro_002");
    Type("Macro_002");
    EXPECT_EQ(signals_, (std::vector<Signal>{{"begun"}}));
}

TEST_F(ListBoxTest, RenamesNotifyTheParentAndFileNamesEndInBin)
{
    Fill(kEditParentText, {"one", "two"});
    DoubleClick(1);
    Type("three");
    EXPECT_EQ(signals_, (std::vector<Signal>{{"begun"}, {"changed", 1, 0, "two"}, {"committed", 1, 1}}));
    EXPECT_EQ(list_->Text(1), "three");
    EXPECT_EQ(list_->currentRow(), 1);

    list_->clear();
    signals_.clear();
    Fill(kEditFileName, {"a.bin", "b.bin"});
    DoubleClick(0);
    Type("game");
    EXPECT_EQ(list_->Text(0), "game.bin");
    EXPECT_EQ(signals_.back(), (Signal{"committed", 0, 0}));

    // A plain list without the notify style says nothing but the beginning.
    list_->clear();
    signals_.clear();
    list_->SetNotify(false);
    Fill(kEditPlainText, {"x"});
    DoubleClick(0);
    Type("y");
    EXPECT_EQ(signals_, (std::vector<Signal>{{"begun"}}));
    EXPECT_EQ(list_->Text(0), "y");
}

TEST_F(ListBoxTest, TheWheelAndTheFocusMovingAwayCommitAnOpenEdit)
{
    Fill(kEditPlainText, {"a", "b", "c"});
    DoubleClick(0);
    QTest::keyClicks(list_->editor(), "wheel");
    QWheelEvent wheel(QPointF(10, 10), QPointF(list_->mapToGlobal(QPoint(10, 10))), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list_->viewport(), &wheel);
    Pump();
    EXPECT_EQ(list_->Text(0), "wheel");
    EXPECT_EQ(list_->editor(), nullptr);

    DoubleClick(1);
    QTest::keyClicks(list_->editor(), "focus");
    other_->setFocus();
    Pump();
    EXPECT_EQ(list_->Text(1), "focus");
    EXPECT_EQ(list_->editor(), nullptr);
    EXPECT_EQ(std::count(signals_.begin(), signals_.end(), Signal{"begun"}), 2);
}

TEST_F(ListBoxTest, OnlyTheLeftButtonSelectsAndEmptySpaceKeepsTheSelection)
{
    Fill(kEditPlainText, {"a", "b"});
    list_->setCurrentRow(1);
    QTest::mouseClick(list_->viewport(), Qt::RightButton, {}, RowCentre(0));
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, QPoint(10, 200));
    EXPECT_EQ(list_->currentRow(), 1);
    EXPECT_TRUE(list_->item(1)->isSelected());
}

}  // namespace
}  // namespace zr417
