#include "macro/transparent_list_box.h"

#include "controls/skin.h"
#include "controls/skin_names.h"
#include "platform/trace.h"

#include <QKeyEvent>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace zr417 {

// --- the editor --------------------------------------------------------------------

CEditHelper::CEditHelper(QWidget* parent) : QLineEdit(parent) {}

void CEditHelper::keyReleaseEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        emit endEdit(true);
    else if (key == Qt::Key_Escape)
        emit endEdit(false);
    QLineEdit::keyReleaseEvent(event);
}

void CEditHelper::focusOutEvent(QFocusEvent* event)
{
    emit endEdit(true);
    QLineEdit::focusOutEvent(event);
}

// --- the list --------------------------------------------------------------------

namespace {

// Every item is as high as the list's text.
class ItemHeightDelegate : public QStyledItemDelegate {
public:
    ItemHeightDelegate(CTransparentListBox* list) : QStyledItemDelegate(list), list_(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return QSize(option.rect.width(), list_->itemHeight());
    }

private:
    CTransparentListBox* list_;
};

constexpr int kDataRole = Qt::UserRole;

// The list background picture is copied from this point of resource 145.
constexpr QPoint kListBackgroundOrigin{7, 22};

}  // namespace

CTransparentListBox::CTransparentListBox(QWidget* parent)
    : QListWidget(parent),
      textColour_(palette().color(QPalette::WindowText)),
      selectedTextColour_(palette().color(QPalette::HighlightedText))
{
    setFrameShape(QFrame::NoFrame);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setItemDelegate(new ItemHeightDelegate(this));
    // A slim dark scroll bar that sits quietly beside the skin.
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: #1c1c20; width: 10px; margin: 0; }"
        "QScrollBar::handle:vertical { background: #5c5c64; min-height: 24px; border-radius: 4px; margin: 1px; }"
        "QScrollBar::handle:vertical:hover { background: #7a7a84; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Scrolling ends an open edit first, then the whole list is drawn again.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        EndEdit(true);
        Redraw();
    });
    connect(this, &QListWidget::currentRowChanged, this, [this] { Redraw(); });
}

CTransparentListBox::~CTransparentListBox()
{
    m_iItemBeingEdited = -1;  // the editor's focus loss on the way out commits nothing
}

void CTransparentListBox::SetEditMode(int mode)
{
    m_nEditMode = mode;
    InvalidateBackground();
}

void CTransparentListBox::SetFontAndColours(int height, const QString& face, const QColor& text,
                                            const QColor& selectedText, bool shadowOn, int shadowOffset,
                                            const QColor& shadow)
{
    fontHeight_ = height;
    textColour_ = text;
    selectedTextColour_ = selectedText;
    shadowOn_ = shadowOn;
    shadowOffset_ = shadowOffset;
    shadowColour_ = shadow;
    m_font = SkinFont(height, 700);
    if (!face.isEmpty() && face != QLatin1String("Arial")) {
        QStringList families = m_font.families();
        families.prepend(face);
        m_font.setFamilies(families);
    }
    hasFont_ = true;
    setFont(m_font);
    if (count() > 0) {
        m_nItemHeight = measure(item(0)->text());
        applyItemHeight();
    }
    Redraw();
}

int CTransparentListBox::measure(const QString&) const
{
    // The height of a line of text in the list's font ("XYZ" and any other
    // single line measure the same).
    return QFontMetrics(hasFont_ ? m_font : font()).height();
}

void CTransparentListBox::applyItemHeight()
{
    scheduleDelayedItemsLayout();
}

int CTransparentListBox::AddString(const QString& text, qulonglong data)
{
    return InsertString(-1, text, data);
}

int CTransparentListBox::InsertString(int index, const QString& text, qulonglong data)
{
    if (count() == 0) {
        m_nItemHeight = measure(text);
        applyItemHeight();
    }
    auto* it = new QListWidgetItem(text);
    it->setData(kDataRole, data);
    if (index < 0 || index > count()) index = count();
    insertItem(index, it);
    Redraw();
    return index;
}

QString CTransparentListBox::Text(int index) const
{
    const QListWidgetItem* it = item(index);
    return it ? it->text() : QString();
}

qulonglong CTransparentListBox::ItemData(int index) const
{
    const QListWidgetItem* it = item(index);
    return it ? it->data(kDataRole).toULongLong() : 0;
}

void CTransparentListBox::SetTexts(const QStringList& texts)
{
    bool same = texts.size() == count();
    for (int i = 0; same && i < count(); ++i) same = item(i)->text() == texts[i];
    if (same) return;
    // Rows that stay keep their item (and the scroll position its place).
    const int common = std::min<int>(count(), static_cast<int>(texts.size()));
    for (int i = 0; i < common; ++i)
        if (item(i)->text() != texts[i]) item(i)->setText(texts[i]);
    while (count() > texts.size()) delete takeItem(count() - 1);
    for (int i = common; i < texts.size(); ++i) AddString(texts[i]);
    Redraw();
}

void CTransparentListBox::SetBackgroundProvider(BackgroundProvider provider)
{
    provider_ = std::move(provider);
    InvalidateBackground();
}

void CTransparentListBox::InvalidateBackground()
{
    backgroundValid_ = false;
    viewport()->update();
}

void CTransparentListBox::Redraw()
{
    viewport()->update();
}

// --- painting ---------------------------------------------------------------------

void CTransparentListBox::captureBackground()
{
    const QSize size = viewport()->size();
    const qreal ratio = viewport()->devicePixelRatioF();
    background_ = MakeFrame(size, ratio);
    background_.fill(Qt::black);
    QPainter p(&background_);
    if (m_nEditMode == kEditParentText) {
        QWidget* parent = parentWidget();
        const QRect rect(parent ? viewport()->mapTo(parent, QPoint(0, 0)) : QPoint(0, 0), size);
        if (provider_) {
            p.drawImage(QPoint(0, 0), provider_(rect));
        } else if (parent) {
            // The parent's own picture under the list, without its children.
            QImage under = MakeFrame(size, ratio);
            under.fill(Qt::black);
            parent->render(&under, QPoint(), QRegion(rect), QWidget::DrawWindowBackground);
            p.drawImage(QPoint(0, 0), under);
        }
    } else {
        const QImage& picture = LoadBitmapResource(skins::resource::kListBackground, ratio);
        DrawSkinImagePart(p, picture, 0, 0, QRect(kListBackgroundOrigin, size));
    }
    backgroundValid_ = true;
}

void CTransparentListBox::paintEvent(QPaintEvent*)
{
    if (!backgroundValid_ || LayoutSize(background_) != viewport()->size() ||
        background_.devicePixelRatio() != viewport()->devicePixelRatioF())
        captureBackground();
    QImage frame = background_.copy();
    {
        QPainter p(&frame);
        const int height = viewport()->height();
        QListWidgetItem* top = itemAt(0, 0);
        for (int row = top ? this->row(top) : 0; row < count(); ++row) {
            const QRect rect = visualItemRect(item(row));
            if (rect.top() >= height) break;
            if (rect.bottom() < 0) continue;
            drawItem(p, row, QRect(0, rect.top(), viewport()->width(), m_nItemHeight));
        }
    }
    QPainter(viewport()).drawImage(0, 0, frame);
}

void CTransparentListBox::drawItem(QPainter& p, int index, const QRect& rect) const
{
    DrawSkinImagePart(p, background_, rect.left(), rect.top(), rect);
    const QListWidgetItem* it = item(index);
    const ListItemLook look = LookOfItem(it->text().toStdString(), m_nEditMode);
    const QString text = QString::fromStdString(look.text);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextExpandTabs;
    const bool enabled = isEnabled();
    p.setFont(hasFont_ ? m_font : font());
    if (shadowOn_) {
        p.setPen(enabled ? shadowColour_ : QColor(Qt::white));
        p.drawText(rect.translated(shadowOffset_, shadowOffset_), flags, text);
    }
    p.setPen(!enabled ? QColor(Qt::black) : it->isSelected() ? selectedTextColour_ : textColour_);
    p.drawText(rect, flags, text);

    int mark = 0;
    switch (look.mark) {
        case ListMark::Press:
            mark = skins::resource::kPressMark;
            break;
        case ListMark::Release:
            mark = skins::resource::kReleaseMark;
            break;
        case ListMark::Delay:
            mark = skins::resource::kDelayMark;
            break;
        case ListMark::None:
            break;
    }
    if (mark != 0)
        DrawSkinImage(p, LoadBitmapResource(mark, DevicePixelRatio(p)), rect.left() + rect.width() - 20, rect.top());
}

// --- editing ----------------------------------------------------------------------

void CTransparentListBox::mousePressEvent(QMouseEvent* event)
{
    // Only the left button selects, and a click below the items keeps the
    // selection (it still takes the focus, which commits an open edit).
    if (event->button() != Qt::LeftButton || !itemAt(event->position().toPoint())) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
}

void CTransparentListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListWidgetItem* sel = currentItem();
    if (!sel || !sel->isSelected() || !ItemEditable(sel->text().toStdString(), m_nEditMode) ||
        !visualItemRect(sel).contains(event->position().toPoint())) {
        QListWidget::mouseDoubleClickEvent(event);
        return;
    }
    BeginEdit(row(sel));
    event->accept();
}

void CTransparentListBox::BeginEdit(int index)
{
    QListWidgetItem* it = item(index);
    if (!it) return;
    if (m_edit) EndEdit(true);
    emit editBegun();
    it = item(index);  // the parent may have changed the list
    if (!it) return;

    QRect rect = visualItemRect(it);
    rect.adjust(0, -1, 0, 1);
    auto* edit = new CEditHelper(viewport());
    edit->setGeometry(rect);
    edit->setFont(hasFont_ ? m_font : font());
    edit->setText(QString::fromStdString(EditorText(it->text().toStdString(), m_nEditMode)));
    if (m_nEditMode == kEditDelay)
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    connect(edit, &CEditHelper::endEdit, this, [this](bool commit) { EndEdit(commit); });
    m_edit = edit;
    m_iItemBeingEdited = index;
    m_iEditStartItem = index;
    edit->show();
    edit->selectAll();
    edit->setFocus(Qt::OtherFocusReason);
    Tracef("m_iItemBeingEdited=%d \n", index);
}

void CTransparentListBox::EndEdit(bool commit)
{
    if (!m_edit || endingEdit_) return;
    endingEdit_ = true;
    const int index = m_iItemBeingEdited;
    const QString typed = m_edit->text();
    // The editor goes first: its focus loss then finds no item under edit,
    // and the parent's answers below may rebuild the list freely.
    m_iItemBeingEdited = -1;
    CEditHelper* edit = m_edit;
    m_edit = nullptr;
    const bool hadFocus = edit->hasFocus();
    edit->hide();
    edit->deleteLater();
    if (hadFocus) setFocus(Qt::OtherFocusReason);
    endingEdit_ = false;

    if (!commit || index < 0 || index >= count()) return;
    const QString oldText = Text(index);
    const ListEditOutcome outcome = CommitListEdit(typed.toStdString(), m_nEditMode);
    const QString newText = QString::fromStdString(outcome.text);
    if (m_nEditMode == kEditDelay) emit editCommitted(index, outcome.delay);
    if (newText == oldText) return;

    int at = index < count() ? index : count();
    QListWidgetItem* it = item(at);
    if (it && sortStyle_) {
        it = takeItem(at);
        addItem(it);
        at = count() - 1;
    }
    if (it)
        it->setText(newText);
    else
        at = AddString(newText);
    setCurrentRow(at);
    if (notify_) emit itemTextChanged(at, oldText);
    if (m_nEditMode == kEditFileName || m_nEditMode == kEditParentText) emit editCommitted(m_iEditStartItem, at);
    Redraw();
}

// --- scrolling, moving and sizing ----------------------------------------------------

void CTransparentListBox::wheelEvent(QWheelEvent* event)
{
    EndEdit(true);
    QListWidget::wheelEvent(event);
    Redraw();
    event->accept();
}

void CTransparentListBox::resizeEvent(QResizeEvent* event)
{
    QListWidget::resizeEvent(event);
    EndEdit(true);
    InvalidateBackground();
}

void CTransparentListBox::moveEvent(QMoveEvent* event)
{
    QListWidget::moveEvent(event);
    InvalidateBackground();
}

void CTransparentListBox::changeEvent(QEvent* event)
{
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) Redraw();
}

}  // namespace zr417
