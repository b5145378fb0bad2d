#include "keymap/keymap_dialogs.h"

#include "config/keys.h"
#include "controls/skin_names.h"
#include "controls/vivid_tree.h"
#include "keymap/key_hook.h"
#include "platform/trace.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QWindow>

namespace zr417 {

namespace {

namespace c = skins::custom;

constexpr int kTextHeight = 14;
const QColor kCaptionGrey(192, 192, 192);
const QColor kBoxGrey(109, 109, 109);

// Control places (the same on both models).
constexpr QRect kTreeRect(10, 60, 295, 160);
constexpr QRect kSingleRect(20, 89, 280, 15);
constexpr QRect kCombineRect(20, 139, 280, 15);
constexpr QRect kListRect(20, 79, 280, 150);

// The macro list draws only its real selection: the item that merely has
// the focus (row 0 once the list is focused) gets no frame or tint, which
// read as a chosen macro while Save then found none.
class NoFocusMarkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
    }
};

// Where a window without its background picture still fits every control.
constexpr QSize kFallbackSize(325, 276);

QString FromUtf8(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

const char* const kProgramName = "ZR417 RGB Gaming Keyboard";
constexpr int kFirstModel = 1;  // QV310; every other model number gets the three-tab dialog

}  // namespace

// --- services ---------------------------------------------------------------------

KeymapDialogServices KeymapDialogServices::Desktop()
{
    KeymapDialogServices s;
    s.message = [](QWidget* parent, const QString& text) {
        QMessageBox::warning(parent, QString::fromUtf8(kProgramName), text);
    };
    s.choosePath = ChooseActionPath;
    s.installHook = [](QWidget* window, int mode) { return installhook(window, mode); };
    s.removeHook = [] { removehook(); };
    return s;
}

// --- the dialog ---------------------------------------------------------------------

KeymapDialogBase::KeymapDialogBase(bool secondModel, ControlIds ids, KeyAssignmentState& state, ConfigImage& image,
                                   const MacroTable& macros, int language, const AppPaths& paths,
                                   KeymapDialogServices services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      state_(state),
      language_(language),
      services_(std::move(services)),
      skins_(SkinFolder::ForLanguage(paths, language, skins::kCustomFolder)),
      logic_(*this, state, image, macros, language, secondModel),
      ids_(ids)
{
    setModal(true);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QString::fromUtf8(kProgramName));
}

KeymapDialogBase::~KeymapDialogBase()
{
    RemoveHook();
}

void KeymapDialogBase::InitDialog(std::string_view sizingBackground)
{
    const QSize background = skins_.Size(sizingBackground);
    setFixedSize(background.isValid() ? background : kFallbackSize);

    // Members in the order of the dialog: tree, single box, combination box,
    // macro list (also the order the focus moves in).
    tree_ = new VividTree(this);
    tree_->setObjectName(QString::number(ids_.tree));
    tree_->setGeometry(kTreeRect);
    tree_->LoadMarkers();
    tree_->SetIcon(LoadIconResource(skins::resource::kIconMain));
    tree_->setBackgroundMode(VividTree::kSolid);
    tree_->setFont(SkinFont(kTextHeight, 400));
    tree_->setIndentation(16);
    BuildTree();
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item) return;
        QTreeWidgetItem* group = item->parent();
        Tracef("%s %s\n", item->text(0).toUtf8().constData(), group ? group->text(0).toUtf8().constData() : "");
    });

    const QString boxStyle = QStringLiteral(
        "QLineEdit { background: rgb(109, 109, 109); color: white; border: none; padding: 0px; margin: 0px; }");
    auto makeBox = [&](int id, const QRect& rect) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QString::number(id));
        box->setGeometry(rect);
        box->setStyleSheet(boxStyle);
        box->setFont(SkinFont(kTextHeight - 1, 400));
        box->setContextMenuPolicy(Qt::NoContextMenu);
        box->setAcceptDrops(false);
        box->setDragEnabled(false);
        box->installEventFilter(this);
        return box;
    };
    singleBox_ = makeBox(ids_.single, kSingleRect);
    combineBox_ = makeBox(ids_.combine, kCombineRect);

    macroList_ = new QListWidget(this);
    macroList_->setObjectName(QString::number(ids_.list));
    macroList_->setGeometry(kListRect);
    macroList_->setFrameShape(QFrame::NoFrame);
    macroList_->setFont(SkinFont(kTextHeight, 400));
    macroList_->setStyleSheet(
        QStringLiteral("QListWidget { background: rgb(109, 109, 109); color: white; }"
                       "QListWidget::item:selected { background: rgb(102, 46, 47); }"));
    macroList_->setSelectionMode(QAbstractItemView::SingleSelection);
    macroList_->setItemDelegate(new NoFocusMarkDelegate(macroList_));
    macroList_->hide();

    logic_.Init();
    UpdateControls();

    hookInstalled_ = services_.installHook && services_.installHook(this, 0);
    logic_.SetHookInstalled(hookInstalled_);
}

void KeymapDialogBase::BuildTree()
{
    const std::vector<BasicTreeItem> items = BasicTreeItems();
    std::vector<QTreeWidgetItem*> groups(g_basicGroups.size(), nullptr);
    treeItems_.clear();
    for (const BasicTreeItem& it : items) {
        QTreeWidgetItem* item = nullptr;
        QTreeWidgetItem* parent = it.parent >= 0 ? groups[static_cast<std::size_t>(it.parent)] : nullptr;
        if (parent)
            item = new QTreeWidgetItem(parent);
        else
            item = new QTreeWidgetItem(tree_);
        const std::string_view label =
            it.heading ? BasicGroupLabel(g_basicGroups[static_cast<std::size_t>(it.index)], language_)
                       : BasicLabel(g_basicFunctions[static_cast<std::size_t>(it.index)], language_);
        item->setText(0, FromUtf8(label));
        if (it.heading) groups[static_cast<std::size_t>(it.index)] = item;
        treeItems_.push_back(item);
    }
}

QTreeWidgetItem* KeymapDialogBase::treeItem(int index) const
{
    return index >= 0 && index < static_cast<int>(treeItems_.size()) ? treeItems_[static_cast<std::size_t>(index)]
                                                                     : nullptr;
}

void KeymapDialogBase::UpdateControls()
{
    const int tab = logic_.tab();
    const bool boxes = tab == keymap_tab::SingleCombine;
    // A box losing its place must not hand the focus to the other box (that
    // would switch the key mode), so the focus moves to the page first.
    if (!boxes && (singleBox_->hasFocus() || combineBox_->hasFocus())) {
        if (tab == keymap_tab::Macro)
            macroList_->show(), macroList_->setFocus(Qt::OtherFocusReason);
        else if (tab == keymap_tab::Basic)
            tree_->show(), tree_->setFocus(Qt::OtherFocusReason);
        else
            setFocus(Qt::OtherFocusReason);
    }
    tree_->setVisible(tab == keymap_tab::Basic);
    macroList_->setVisible(tab == keymap_tab::Macro);
    singleBox_->setVisible(boxes);
    combineBox_->setVisible(boxes);
}

void KeymapDialogBase::RemoveHook()
{
    if (hookInstalled_) {
        hookInstalled_ = false;
        logic_.SetHookInstalled(false);
        if (services_.removeHook) services_.removeHook();
    }
}

void KeymapDialogBase::done(int result)
{
    // Every ending goes through the logic (a close from outside is Cancel).
    if (!logic_.result()) {
        logic_.OnCloseRequest();
        return;
    }
    RemoveHook();
    QDialog::done(result);
}

// --- view ----------------------------------------------------------------------------

void KeymapDialogBase::SetBoxText(KeyBox box, const std::string& text)
{
    QLineEdit* edit = box == KeyBox::Single ? singleBox_ : combineBox_;
    edit->setText(QString::fromStdString(text));
    edit->setCursorPosition(static_cast<int>(edit->text().size()));
}

void KeymapDialogBase::FocusBox(KeyBox box)
{
    (box == KeyBox::Single ? singleBox_ : combineBox_)->setFocus();
}

void KeymapDialogBase::SetMacroNames(const std::vector<std::string>& names)
{
    macroList_->clear();
    for (const std::string& n : names) macroList_->addItem(QString::fromStdString(n));
}

void KeymapDialogBase::SelectMacroRow(int row)
{
    if (row < 0 || row >= macroList_->count()) {
        macroList_->clearSelection();
        macroList_->setCurrentRow(-1);
        return;
    }
    macroList_->setCurrentRow(row);
}

void KeymapDialogBase::FocusMacroList()
{
    macroList_->show();
    macroList_->setFocus();
}

int KeymapDialogBase::MacroSelection() const
{
    const QList<QListWidgetItem*> selected = macroList_->selectedItems();
    return selected.isEmpty() ? -1 : macroList_->row(selected.first());
}

void KeymapDialogBase::SelectTreeItem(int index)
{
    QTreeWidgetItem* item = treeItem(index);
    if (!item) {
        tree_->clearSelection();
        tree_->setCurrentItem(nullptr);
        return;
    }
    if (item->parent()) item->parent()->setExpanded(true);
    tree_->setCurrentItem(item);
    tree_->scrollToItem(item);
}

int KeymapDialogBase::SelectedTreeItem() const
{
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    if (selected.isEmpty()) return -1;
    auto it = std::find(treeItems_.begin(), treeItems_.end(), selected.first());
    return it == treeItems_.end() ? -1 : static_cast<int>(it - treeItems_.begin());
}

void KeymapDialogBase::SuspendHook()
{
    // The capture takes every key of the application; a message box or a
    // chooser in front of the dialog needs its keys (typing a file name).
    if (hookInstalled_) {
        RemoveHook();
        hookSuspended_ = true;
    }
}

void KeymapDialogBase::ResumeHook()
{
    if (hookSuspended_) {
        hookSuspended_ = false;
        hookInstalled_ = services_.installHook && services_.installHook(this, 0);
        logic_.SetHookInstalled(hookInstalled_);
    }
}

void KeymapDialogBase::ShowMessage(std::string_view text)
{
    if (!services_.message) return;
    SuspendHook();
    services_.message(this, FromUtf8(text));
    ResumeHook();
}

std::optional<std::u16string> KeymapDialogBase::ChoosePath(int row)
{
    if (!services_.choosePath) return std::nullopt;
    SuspendHook();
    std::optional<QString> path = services_.choosePath(this, row, QString::fromStdU16String(state_.g_szActionPath));
    ResumeHook();
    if (!path) return std::nullopt;
    return path->toStdU16String();
}

void KeymapDialogBase::Redraw()
{
    if (tree_) UpdateControls();
    update();
}

void KeymapDialogBase::EndDialog(bool ok)
{
    RemoveHook();
    QDialog::done(ok ? QDialog::Accepted : QDialog::Rejected);
}

// --- events ----------------------------------------------------------------------------

void KeymapDialogBase::mousePressEvent(QMouseEvent* event)
{
    dragging_ = false;
    dragArmed_ = false;
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        if (HitTestKeymapButtons(logic_.buttons(), p.x(), p.y()) == kNoHit) {
            dragArmed_ = true;
            dragPressGlobal_ = event->globalPosition().toPoint();
            dragWindowStart_ = pos();
        }
    }
    event->accept();
}

void KeymapDialogBase::mouseMoveEvent(QMouseEvent* event)
{
    if (dragArmed_ && (event->buttons() & Qt::LeftButton)) {
        const QPoint delta = event->globalPosition().toPoint() - dragPressGlobal_;
        if (!dragging_ && delta.manhattanLength() >= QApplication::startDragDistance()) {
            dragging_ = true;
            // The window manager moves the window where it can (Wayland,
            // most X11 desktops); elsewhere the window follows the mouse.
            if (windowHandle() && windowHandle()->startSystemMove()) dragArmed_ = false;
        }
        if (dragging_ && dragArmed_) move(dragWindowStart_ + delta);
    }
    const QPoint p = event->position().toPoint();
    if (logic_.OnMouseMove(p.x(), p.y())) update();
    event->accept();
}

void KeymapDialogBase::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    dragArmed_ = false;
    if (dragging_) {
        dragging_ = false;  // the end of a drag is no click
        return;
    }
    const QPoint p = event->position().toPoint();
    logic_.OnClick(p.x(), p.y());
    event->accept();
}

void KeymapDialogBase::leaveEvent(QEvent* event)
{
    if (logic_.OnMouseLeave()) update();
    QDialog::leaveEvent(event);
}

void KeymapDialogBase::keyPressEvent(QKeyEvent* event)
{
    // Enter and Esc never close the dialog.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void KeymapDialogBase::closeEvent(QCloseEvent* event)
{
    if (!logic_.result()) logic_.OnCloseRequest();
    event->accept();
}

bool KeymapDialogBase::event(QEvent* event)
{
    if (event->type() == KeystrokeEvent::eventType()) {
        logic_.OnKeystroke(static_cast<KeystrokeEvent*>(event)->vk());
        return true;
    }
    return QDialog::event(event);
}

bool KeymapDialogBase::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != singleBox_ && watched != combineBox_) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::FocusIn: {
            // The box the user moves to sets the mode. The window getting active
            // again (after a chooser, another program) moves nothing, except at
            // the first activation, which the loaded keys survive.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            const bool reactivation = reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
            if (static_cast<QWidget*>(watched)->isVisible() && (!reactivation || !firstBoxFocusSeen_)) {
                firstBoxFocusSeen_ = true;
                logic_.OnBoxFocus(watched == singleBox_ ? KeyBox::Single : KeyBox::Combine);
            }
            // A line edit selects its text when tabbed into; these boxes keep
            // the caret at the end instead.
            auto* box = static_cast<QLineEdit*>(watched);
            box->event(event);
            box->deselect();
            box->setCursorPosition(static_cast<int>(box->text().size()));
            return true;
        }
        // The boxes show captured keys only: nothing typed, pasted or dropped.
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton;
        default:
            return false;
    }
}

// --- painting ------------------------------------------------------------------------

void KeymapDialogBase::DrawButton(QPainter& p, int b, std::string_view image)
{
    const SkinButton& button = logic_.buttons()[static_cast<std::size_t>(b)];
    DrawSkinImage(p, skins_, image, button.left, button.top);
}

void KeymapDialogBase::DrawButton(QPainter& p, int b)
{
    const SkinButton& button = logic_.buttons()[static_cast<std::size_t>(b)];
    DrawButton(p, b, button.images[button.state == 1 ? 1 : 0]);
}

void KeymapDialogBase::Caption(QPainter& p, std::string_view text, int x, int y, bool current)
{
    DrawSkinText(p, FromUtf8(text), x, y, kTextHeight, current ? QColor(Qt::white) : kCaptionGrey);
}

void KeymapDialogBase::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    PaintCommon(p);
    PaintTabs(p);
    PaintTabPage(p);
    PaintBottom(p);
}

void KeymapDialogBase::PaintCommon(QPainter& p)
{
    DrawSkinImage(p, skins_, c::kBackground, 0, 0);
    Caption(p, std::string(texts().currentKey) + std::string(KeyName(state_.g_nCurKeyVk)), 2, 2);
    DrawButton(p, keymap_button::Close);
}

void KeymapDialogBase::PaintTabPage(QPainter& p)
{
    switch (logic_.tab()) {
        case keymap_tab::SingleCombine:
            Caption(p, texts().single, 20, 69);
            Caption(p, texts().combine, 20, 119);
            break;
        case keymap_tab::Advance:
            if (logic_.advancedReadOnly()) {
                if (state_.g_nActionRow < kAdvancedRows) PaintAdvancedRow(p, state_.g_nActionRow, true);
            } else {
                PaintAdvancedPage(p);
            }
            break;
        default:
            break;
    }
}

void KeymapDialogBase::PaintAdvancedPage(QPainter& p)
{
    DrawSkinImage(p, skins_, c::kMacroBK, 15, 66);
    for (int r = 0; r < kAdvancedRows; ++r) PaintAdvancedRow(p, r, false);
    const std::uint8_t radio = state_.g_nActionRadio;
    if (radio < kAdvancedZoneCount && radio % 4 == 0) {
        for (int r = 0; r < kAdvancedRows; ++r)
            DrawSkinImage(p, skins_, r == radio / 4 ? c::kRadioOn : c::kToggleOff, 15, 72 + kAdvancedRowPitch * r);
    }
    const int row = state_.g_nActionRow;
    if (row < kAdvancedRows) {
        const int dy = kAdvancedRowPitch * row;
        const ZoneRect field = AdvancedZone(4 * row + 2);
        p.save();
        p.setClipRect(QRect(QPoint(field.left, field.top), QPoint(field.right, field.bottom)));
        Caption(p, QString::fromStdU16String(ShownActionPath(state_.g_szActionPath)).toStdString(), 85, 69 + dy);
        p.restore();
        DrawSkinImage(p, skins_, c::kRadioOn, 15, 72 + dy);
    }
}

void KeymapDialogBase::FittedCaption(QPainter& p, std::string_view text, int x, int y, int width, bool current)
{
    DrawFittedSkinText(p, FromUtf8(text), x, y, kTextHeight, width, current ? QColor(Qt::white) : kCaptionGrey);
}

void KeymapDialogBase::PaintAdvancedRow(QPainter& p, int row, bool readOnly)
{
    const int dy = kAdvancedRowPitch * row;
    DrawSkinImage(p, skins_, readOnly ? c::kRadioOn : c::kRadioOff, 15, 72 + dy);
    // The label ends clear of the path field (85).
    FittedCaption(p, texts().actions[static_cast<std::size_t>(row)], 30, 69 + dy, 82 - 30);
    DrawSkinImage(p, skins_, c::kAdvanced, 85, 68 + dy);
    if (readOnly) {
        const ZoneRect field = AdvancedZone(4 * row + 2);
        p.save();
        p.setClipRect(QRect(QPoint(field.left, field.top), QPoint(field.right, field.bottom)));
        Caption(p, QString::fromStdU16String(ShownActionPath(state_.g_szActionPath)).toStdString(), 85, 69 + dy);
        p.restore();
        return;
    }
    DrawSkinImage(p, skins_, logic_.hoveredBrowseRow() == row ? c::kView02 : c::kView, 256, 68 + dy);
}

void KeymapDialogBase::PaintBottom(QPainter& p)
{
    DrawButton(p, keymap_button::Toggle);
    const SkinButton& toggle = logic_.buttons()[keymap_button::Toggle];
    Caption(p, texts().disable, toggle.left + 15, toggle.top - 2);
    DrawButton(p, keymap_button::Default);
    DrawButton(p, keymap_button::Cancel);
    DrawButton(p, keymap_button::Save);
    const bool chinese = language_ == kLanguageChinese;
    // Each caption stays inside its 41-pixel button.
    const auto inside = [&](const SkinButton& b, int x) { return b.right - 2 - x; };
    const auto& buttons = logic_.buttons();
    const int cancelX = chinese ? 218 : 213;
    FittedCaption(p, texts().defaultButton, 158, 248, inside(buttons[keymap_button::Default], 158));
    FittedCaption(p, texts().cancel, cancelX, 248, inside(buttons[keymap_button::Cancel], cancelX));
    FittedCaption(p, texts().save, 272, 248, inside(buttons[keymap_button::Save], 272));
}

// --- the two models ----------------------------------------------------------------------

CKeyMap::CKeyMap(KeyAssignmentState& state, ConfigImage& image, const MacroTable& macros, int language,
                 const AppPaths& paths, KeymapDialogServices services, QWidget* parent)
    : KeymapDialogBase(false, {1003, 1013, 1012, 1015}, state, image, macros, language, paths, std::move(services),
                       parent)
{
    InitDialog(c::kBackground);
}

void CKeyMap::PaintTabs(QPainter& p)
{
    for (int b = keymap_button::TabSingle; b <= keymap_button::TabAdvance; ++b) DrawButton(p, b);
    DrawButton(p, keymap_button::TabStrip);
    static constexpr int kMarkerX[] = {35, 115, 200, 280};
    static constexpr int kCaptionX[] = {6, 115, 182, 259};
    const int tab = logic().tab();
    DrawSkinImage(p, skins(), c::kCursor, kMarkerX[tab], 30);
    // Each caption ends short of the separator at the right edge of its tab.
    for (int t = 0; t < 4; ++t) {
        const SkinButton& b = logic().buttons()[static_cast<std::size_t>(keymap_button::TabSingle + t)];
        FittedCaption(p, texts().tabs[static_cast<std::size_t>(t)], kCaptionX[t], 39, b.right - 3 - kCaptionX[t],
                      t == tab);
    }
}

CKeymapDlg420::CKeymapDlg420(KeyAssignmentState& state, ConfigImage& image, const MacroTable& macros, int language,
                             const AppPaths& paths, KeymapDialogServices services, QWidget* parent)
    : KeymapDialogBase(true, {1020, 1021, 1023, 1022}, state, image, macros, language, paths, std::move(services),
                       parent)
{
    InitDialog(c::kBackground420);
    Trace("420 init\n");
}

void CKeymapDlg420::paintEvent(QPaintEvent* event)
{
    Trace("420 OnPaint\n");
    KeymapDialogBase::paintEvent(event);
}

void CKeymapDlg420::PaintTabs(QPainter& p)
{
    static constexpr int kTabX[] = {0, 108, 216};
    for (int x : kTabX) DrawSkinImage(p, skins(), c::kLargeButton420, x, 31);
    DrawSkinImage(p, skins(), c::kTabStrip420, 0, 30);
    static constexpr int kMarkerX[] = {54, 162, 270};
    static constexpr int kCaptionEnglishX[] = {16, 145, 255};
    static constexpr int kCaptionChineseX[] = {22, 160, 250};
    const int tab = logic().tab();
    // On an Advanced assignment no tab is current: all three captions grey.
    if (tab < 3) DrawSkinImage(p, skins(), c::kCursor, kMarkerX[tab], 30);
    const bool chinese = language() == kLanguageChinese;
    for (int t = 0; t < 3; ++t)
        Caption(p, texts().tabs[static_cast<std::size_t>(t)], chinese ? kCaptionChineseX[t] : kCaptionEnglishX[t], 39,
                t == tab);
}

// --- running them ---------------------------------------------------------------------------

bool RunKeyAssignmentDialog(QWidget* parent, int model, KeyAssignmentState& state, ConfigImage& image,
                            const MacroTable& macros, int language, const AppPaths& paths,
                            const KeymapDialogServices& services)
{
    std::unique_ptr<KeymapDialogBase> dialog;
    if (model == kFirstModel)
        dialog = std::make_unique<CKeyMap>(state, image, macros, language, paths, services, parent);
    else
        dialog = std::make_unique<CKeymapDlg420>(state, image, macros, language, paths, services, parent);
    dialog->exec();
    return dialog->logic().result().value_or(false);
}

AssignmentDialog KeyAssignmentDialogFor(QWidget* parent, int model, const MacroTable& macros, int language,
                                        AppPaths paths, KeymapDialogServices services)
{
    return [=, &macros](KeyAssignmentState& state, ConfigImage& image) {
        return RunKeyAssignmentDialog(parent, model, state, image, macros, language, paths, services);
    };
}

}  // namespace zr417
