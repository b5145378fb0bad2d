// CTransparentListBox: a list drawn over a picture instead of a plain colour,
// in white text with a drop shadow, step lines marked with small icons, and
// items edited in place after a double-click (CEditHelper). Used by the macro
// manager (macro list, step list) and the profile manager (edit mode 3).
//
// Edit modes (ListEditMode): 0 plain text; 1 delay in ms (the step list: key
// lines are not editable, the editor takes digits only and the value is kept
// to 2..60000); 2 file name (".bin" appended when missing); 3 plain text with
// index notification, drawn over the parent's picture.
//
// Signals, in the order they come:
//   editBegun()                      an in-place edit begins (before the editor opens)
//   editCommitted(wParam, lParam)    mode 1: item index and the value in ms, sent
//                                    for every commit; modes 2 and 3: the index at
//                                    which the edit began and the item's new index,
//                                    sent only when the text changed
//   itemTextChanged(index, oldText)  an item's text changed (notify lists only)
// Escape in the editor ends the edit with nothing sent; Enter or the editor
// losing the focus commits; scrolling, the wheel and resizing commit first.
#pragma once

#include "macro/list_box_logic.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>

#include <functional>

namespace zr417 {

class CTransparentListBox;

// The in-place editor: Enter (on release) commits, Escape cancels, losing the
// focus commits.
class CEditHelper : public QLineEdit {
    Q_OBJECT
public:
    explicit CEditHelper(QWidget* parent);

signals:
    void endEdit(bool commit);

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

class CTransparentListBox : public QListWidget {
    Q_OBJECT
public:
    explicit CTransparentListBox(QWidget* parent = nullptr);
    ~CTransparentListBox() override;

    void SetEditMode(int mode);
    int editMode() const { return m_nEditMode; }

    // Font and colours: the list's own font (`height` as a character cell,
    // bold), text colours, and the shadow. Remeasures the item height from
    // item 0 when the list has items.
    void SetFontAndColours(int height, const QString& face, const QColor& text, const QColor& selectedText,
                           bool shadowOn, int shadowOffset, const QColor& shadow);

    // Adds at the end or inserts at `index` (out of range: at the end); an
    // empty list first takes its item height from the new text. Returns the
    // new item's index.
    int AddString(const QString& text, qulonglong data = 0);
    int InsertString(int index, const QString& text, qulonglong data = 0);
    QString Text(int index) const;
    qulonglong ItemData(int index) const;
    void SetTexts(const QStringList& texts);  // replaces all items when they differ

    // The notify style (itemTextChanged is sent) and the sort style (a
    // renamed item goes to the end instead of staying in place).
    void SetNotify(bool on) { notify_ = on; }
    void SetSortStyle(bool on) { sortStyle_ = on; }

    void BeginEdit(int item);
    void EndEdit(bool commit);
    bool editing() const { return m_iItemBeingEdited != -1; }
    CEditHelper* editor() const { return m_edit; }
    int itemBeingEdited() const { return m_iItemBeingEdited; }
    int itemHeight() const { return m_nItemHeight; }

    // Mode 3: what lies behind the list, as a picture of the list's size. The
    // parent hands it over (`rect` is the list's geometry in the parent);
    // without a provider the parent's own painting under the list is used.
    using BackgroundProvider = std::function<QImage(const QRect& rect)>;
    void SetBackgroundProvider(BackgroundProvider provider);
    // The picture behind the list changed: take it again at the next paint.
    void InvalidateBackground();
    const QImage& background() const { return background_; }

    // Redraws the whole list now.
    void Redraw();

signals:
    void editBegun();
    void editCommitted(int wParam, int lParam);
    void itemTextChanged(int index, const QString& oldText);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void captureBackground();
    void drawItem(QPainter& painter, int index, const QRect& rect) const;
    int measure(const QString& text) const;
    void applyItemHeight();

    QPointer<CEditHelper> m_edit;
    int m_iItemBeingEdited = -1;
    int m_iEditStartItem = -1;
    int m_nEditMode = kEditPlainText;
    int m_nItemHeight = 25;
    QColor textColour_;
    QColor selectedTextColour_;
    QColor shadowColour_{0, 0, 0};
    QFont m_font;
    bool hasFont_ = false;
    QImage background_;
    bool backgroundValid_ = false;
    int shadowOffset_ = 3;
    bool shadowOn_ = false;
    int fontHeight_ = 0;
    bool notify_ = true;
    bool sortStyle_ = false;
    bool endingEdit_ = false;
    BackgroundProvider provider_;
};

}  // namespace zr417
