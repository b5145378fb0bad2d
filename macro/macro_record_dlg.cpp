#include "macro/macro_record_dlg.h"

#include "controls/skin_names.h"
#include "keymap/key_hook.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QWindow>

#include <chrono>

namespace zr417 {

namespace {

namespace mm = skins::macro_manager;
namespace mt = macro_text;

// Control placement (client pixels).
constexpr QRect kMacroListRect{20, 80, 113, 275};
constexpr QRect kStepListRect{150, 80, 113, 275};
constexpr QRect kLoopEditRect{296, 331, 84, 18};

// The hot regions: inclusive corners and their off / on pictures.
struct RegionSpec {
    int left, top, right, bottom;
    std::string_view off, on;
};
constexpr std::array<RegionSpec, CMacroRecordDlg::kRegionCount> kRegions{{
    {290, 100, 379, 124, mm::kRecordNormal, mm::kRecordOver},
    {368, 168, 382, 182, mm::kPane, mm::kPaneTick},
    {296, 315, 310, 329, mm::kPane, mm::kPaneTick},
    {20, 368, 77, 392, mm::kNewNormal, mm::kNewOver},
    {80, 368, 137, 392, mm::kNewNormal, mm::kNewOver},
    {280, 400, 337, 424, mm::kNewNormal, mm::kNewOver},
    {340, 400, 397, 424, mm::kNewNormal, mm::kNewOver},
}};

// Texts drawn on the background, with their positions in each language.
struct PlacedText {
    Bilingual text;
    QPoint english;
    QPoint chinese;
    int height;
    int right = 0;  // where the text must end (a box's border), 0: anywhere
};
// Borders the texts keep clear of: the step list's panel, the options panel,
// the record-delay check box.
constexpr int kStepPanelRight = 266;
constexpr int kOptionsPanelRight = 390;
constexpr int kRecordDelayRight = 366;
constexpr int kTitleHeight = 18;
constexpr int kTextHeight = 15;
const PlacedText kTexts[] = {
    {mt::kTitle, {16, 9}, {16, 9}, kTitleHeight},
    {mt::kSelectMacro, {39, 60}, {39, 60}, kTextHeight},
    {mt::kKeystrobeSequence, {151, 60}, {151, 60}, kTextHeight, kStepPanelRight},
    {mt::kOptions, {311, 60}, {311, 60}, kTextHeight, kOptionsPanelRight},
    {mt::kNumberOfLoops, {295, 300}, {295, 300}, kTextHeight, kOptionsPanelRight},
};
// Button labels, drawn again whenever a region is drawn.
const PlacedText kButtonLabels[] = {
    {mt::kNew, {35, 372}, {35, 372}, kTextHeight},
    {mt::kDelete, {92, 372}, {95, 372}, kTextHeight},
    {mt::kOk, {300, 404}, {300, 404}, kTextHeight},
    {mt::kCancel, {352, 404}, {352, 404}, kTextHeight},
};
constexpr QPoint kRecordDelayEnglish[] = {{290, 153}, {290, 168}, {290, 183}};
constexpr QPoint kRecordDelayChinese[] = {{290, 168}, {290, 184}};
// The record label inside the record button.
constexpr QPoint kRecordLabelEnglish{2, 3};
constexpr QPoint kRecordLabelChinese{20, 3};

QString Q(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::uint64_t SteadyMs()
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

CMacroRecordDlg::CMacroRecordDlg(MacroStore& store, int language, const AppPaths& paths, QWidget* parent,
                                 MacroManagerSeams seams)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      seams_(std::move(seams)),
      language_(language),
      model_(store, *this)
{
    setWindowTitle(Q(mt::kTitle.in(language_)));
    setMouseTracking(true);

    // The controls.
    macroList_ = new CTransparentListBox(this);
    stepList_ = new CTransparentListBox(this);
    loopEdit_ = new QLineEdit(this);
    macroList_->setGeometry(kMacroListRect);
    stepList_->setGeometry(kStepListRect);
    loopEdit_->setGeometry(kLoopEditRect);
    loopEdit_->setMaxLength(3);
    loopEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), loopEdit_));
    loopEdit_->setFont(SkinFont(15));
    loopEdit_->setFrame(false);
    loopEdit_->setTextMargins(3, 0, 3, 0);
    for (CTransparentListBox* list : {macroList_, stepList_})
        list->SetFontAndColours(16, QStringLiteral("Arial"), QColor(255, 255, 255), QColor(0, 255, 255), true, 2,
                                QColor(0, 0, 0));
    stepList_->SetEditMode(kEditDelay);
    macroList_->SetEditMode(kEditPlainText);

    // The skin and the window's size.
    skins_ = SkinFolder::ForLanguage(paths, language_, skins::kMacroFolder);
    const QSize background = skins_.Size(mm::kBackground);
    resize(background.isValid() ? background : QSize(400, 430));
    setFixedSize(size());

    for (std::size_t i = 0; i < kRegions.size(); ++i) {
        const RegionSpec& r = kRegions[i];
        MacroHotRegions[i] = {QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)), r.off, r.on, 0};
    }

    // The lists and the field report to the model.
    connect(macroList_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (syncing_) return;
        model_.SelectMacro(row);
        syncFromModel();
    });
    connect(stepList_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!syncing_) model_.SelectStep(row);
    });
    for (CTransparentListBox* list : {macroList_, stepList_}) {
        connect(list, &CTransparentListBox::editBegun, this, [this] {
            model_.OnEditBegin();
            update();
        });
    }
    connect(stepList_, &CTransparentListBox::editCommitted, this, [this](int line, int ms) {
        model_.OnDelayEdited(line, ms);
        syncFromModel();
    });
    connect(macroList_, &CTransparentListBox::itemTextChanged, this, &CMacroRecordDlg::onMacroRenamed);
    connect(loopEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        model_.SetLoopText(text.toStdString());
        syncFromModel();
    });

    // Right-clicks over the step list open the step menu before the list sees them.
    stepList_->viewport()->installEventFilter(this);
    stepList_->verticalScrollBar()->installEventFilter(this);

    model_.Init();
    syncFromModel();
}

CMacroRecordDlg::~CMacroRecordDlg()
{
    model_.Closing();
}

// --- the model's way out ----------------------------------------------------------

bool CMacroRecordDlg::installhook()
{
    return seams_.installhook ? seams_.installhook(this, 1) : zr417::installhook(this, 1);
}

void CMacroRecordDlg::removehook()
{
    if (seams_.removehook)
        seams_.removehook();
    else
        zr417::removehook();
}

bool CMacroRecordDlg::messageBox(MacroMessage message)
{
    const MacroMessageText m = MacroMessageTexts(message);
    const QString text = Q(m.text.in(language_));
    const QString caption = Q(m.caption.in(language_));
    if (seams_.messageBox) return seams_.messageBox(this, text, caption, m.okCancel);
    QMessageBox box(QMessageBox::NoIcon, caption, text,
                    m.okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, this);
    return box.exec() == QMessageBox::Ok;
}

// --- showing the model ----------------------------------------------------------------

void CMacroRecordDlg::syncFromModel()
{
    syncing_ = true;
    auto toList = [](const std::vector<std::string>& lines) {
        QStringList out;
        for (const std::string& l : lines) out << QString::fromStdString(l);
        return out;
    };
    macroList_->SetTexts(toList(model_.macroLines()));
    if (macroList_->currentRow() != model_.macroSelection()) macroList_->setCurrentRow(model_.macroSelection());
    const QStringList steps = toList(model_.stepLines());
    // The list follows the selection only when the steps or the selection
    // changed, never away from where the user scrolled to.
    bool moved = steps.size() != stepList_->count();
    for (int i = 0; !moved && i < steps.size(); ++i) moved = stepList_->Text(i) != steps[i];
    stepList_->SetTexts(steps);
    if (stepList_->currentRow() != model_.stepSelection()) {
        stepList_->setCurrentRow(model_.stepSelection());
        moved = true;
    }
    if (moved && model_.stepSelection() >= 0) stepList_->scrollToItem(stepList_->item(model_.stepSelection()));
    const QString loops = QString::fromStdString(model_.loopText());
    if (loopEdit_->text() != loops) loopEdit_->setText(loops);
    loopEdit_->setEnabled(model_.loops());
    MacroHotRegions[kRecordDelayBox].state = model_.recordDelay() ? 1 : 0;
    MacroHotRegions[kLoopsBox].state = model_.loops() ? 1 : 0;
    syncing_ = false;
    update();
}

void CMacroRecordDlg::onMacroRenamed(int index, const QString& oldText)
{
    const QString typed = macroList_->Text(index);
    // An empty name would free the record; the old name stays.
    if (!model_.RenameMacro(index, typed.toStdString()) && index >= 0 && index < macroList_->count())
        macroList_->item(index)->setText(oldText);
    syncFromModel();
}

// --- painting -------------------------------------------------------------------------

void CMacroRecordDlg::drawRegion(QPainter& p, int i) const
{
    const MacroButtonRegion& r = MacroHotRegions[static_cast<std::size_t>(i)];
    const QImage& picture = skins_.Image(r.state == 1 ? r.on : r.off, DevicePixelRatio(p));
    if (i == kRecord && !picture.isNull()) {
        QImage button = picture.copy();
        button.setDevicePixelRatio(picture.devicePixelRatio());
        QPainter bp(&button);
        const Bilingual& label = model_.recording() ? mt::kStopRecording : mt::kStartRecording;
        const QPoint at = language_ == kLanguageChinese ? kRecordLabelChinese : kRecordLabelEnglish;
        const QString text = Q(label.in(language_));
        // Inside the button's border, not run into it.
        DrawFittedSkinText(bp, text, at.x(), at.y(), kTextHeight, LayoutSize(button).width() - at.x() - 3);
        bp.end();
        DrawSkinImage(p, button, r.rect.left(), r.rect.top());
        return;
    }
    DrawSkinImage(p, picture, r.rect.left(), r.rect.top());
}

QImage CMacroRecordDlg::RenderFrame() const
{
    // At the screen's resolution: skins from their @2x twins above 100 %.
    QImage frame = MakeFrame(size(), devicePixelRatioF());
    frame.fill(QColor(53, 53, 53));
    QPainter p(&frame);
    DrawSkinImage(p, skins_, mm::kBackground, 0, 0);
    const bool chinese = language_ == kLanguageChinese;
    for (const PlacedText& t : kTexts) {
        const QPoint at = chinese ? t.chinese : t.english;
        if (t.right > 0)
            DrawFittedSkinText(p, Q(t.text.in(language_)), at.x(), at.y(), t.height, t.right - at.x());
        else
            DrawSkinText(p, Q(t.text.in(language_)), at.x(), at.y(), t.height);
    }
    if (chinese) {
        for (std::size_t i = 0; i < std::size(kRecordDelayChinese); ++i)
            DrawFittedSkinText(p, Q(mt::kRecordDelayChinese[i]), kRecordDelayChinese[i].x(), kRecordDelayChinese[i].y(),
                               kTextHeight, kRecordDelayRight - kRecordDelayChinese[i].x());
    } else {
        for (std::size_t i = 0; i < std::size(kRecordDelayEnglish); ++i)
            DrawFittedSkinText(p, Q(mt::kRecordDelayEnglish[i]), kRecordDelayEnglish[i].x(), kRecordDelayEnglish[i].y(),
                               kTextHeight, kRecordDelayRight - kRecordDelayEnglish[i].x());
    }
    for (int i = 0; i < kRegionCount; ++i) drawRegion(p, i);
    for (const PlacedText& t : kButtonLabels) {
        const QPoint at = chinese ? t.chinese : t.english;
        DrawSkinText(p, Q(t.text.in(language_)), at.x(), at.y(), t.height);
    }
    return frame;
}

void CMacroRecordDlg::paintEvent(QPaintEvent*)
{
    QPainter(this).drawImage(0, 0, RenderFrame());
}

// --- mouse ---------------------------------------------------------------------------

int CMacroRecordDlg::HitTestMacroButton(const QPoint& point) const
{
    for (int i = 0; i < kRegionCount; ++i)
        if (MacroHotRegions[static_cast<std::size_t>(i)].rect.contains(point)) return i;
    return -1;
}

void CMacroRecordDlg::mousePressEvent(QMouseEvent* event)
{
    // Dragging the background moves the window.
    if (event->button() == Qt::LeftButton && HitTestMacroButton(event->position().toPoint()) == -1) {
        if (!(windowHandle() && windowHandle()->startSystemMove())) {
            dragging_ = true;
            dragOffset_ = event->globalPosition().toPoint() - pos();
        }
    }
    QDialog::mousePressEvent(event);
}

void CMacroRecordDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
        return;
    }
    const int i = HitTestMacroButton(event->position().toPoint());
    if (i == hover_) return;
    hover_ = i;
    static constexpr int kHoverRegions[] = {kRecord, kNew, kDelete, kOk, kCancel};
    if (i == kRecordDelayBox || i == kLoopsBox) return;
    for (int r : kHoverRegions) MacroHotRegions[static_cast<std::size_t>(r)].state = r == i ? 1 : 0;
    update();
}

void CMacroRecordDlg::leaveEvent(QEvent* event)
{
    hover_ = -1;
    for (int r : {kRecord, kNew, kDelete, kOk, kCancel}) MacroHotRegions[static_cast<std::size_t>(r)].state = 0;
    update();
    QDialog::leaveEvent(event);
}

void CMacroRecordDlg::mouseReleaseEvent(QMouseEvent* event)
{
    const bool wasDragging = dragging_;
    dragging_ = false;
    if (event->button() != Qt::LeftButton || wasDragging) {
        QDialog::mouseReleaseEvent(event);
        return;
    }
    const int i = HitTestMacroButton(event->position().toPoint());
    if (i < 0) {
        QDialog::mouseReleaseEvent(event);
        return;
    }
    regionAction(i);
}

void CMacroRecordDlg::regionAction(int region)
{
    switch (region) {
        case kRecord:
            model_.ToggleRecording();
            break;
        case kRecordDelayBox:
            model_.ToggleRecordDelay();
            break;
        case kLoopsBox:
            model_.ToggleLoops();
            break;
        case kNew:
            model_.NewMacro();
            break;
        case kDelete:
            model_.DeleteMacro();
            break;
        case kOk:
            // What is typed into an open editor is part of what OK keeps.
            macroList_->EndEdit(true);
            stepList_->EndEdit(true);
            model_.Ok();
            accept();
            return;
        case kCancel:
            reject();
            return;
        default:
            return;
    }
    syncFromModel();
}

// --- keys, keystrokes and the step menu ------------------------------------------------

void CMacroRecordDlg::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape never close the dialog.
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

void CMacroRecordDlg::customEvent(QEvent* event)
{
    if (event->type() != KeystrokeEvent::eventType()) {
        QDialog::customEvent(event);
        return;
    }
    const auto* key = static_cast<KeystrokeEvent*>(event);
    // The key event's own time; a platform that gives none is timed on arrival.
    const std::uint64_t when = key->timestamp() != 0 ? key->timestamp() : SteadyMs();
    model_.OnKeystroke(key->vk(), key->isRelease(), key->isRepeat(), when);
    syncFromModel();
}

bool CMacroRecordDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress &&
        (watched == stepList_->viewport() || watched == stepList_->verticalScrollBar())) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            OpenStepMenu(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CMacroRecordDlg::BuildStepMenu(QMenu& menu) const
{
    menu.clear();
    auto add = [this](QMenu& m, const Bilingual& text, int command) {
        m.addAction(Q(text.in(language_)))->setData(command);
    };
    add(menu, mt::kInsertBefore, kCmdInsertBefore);
    add(menu, mt::kInsertAfter, kCmdInsertAfter);
    QMenu* mouse = menu.addMenu(Q(mt::kInsertMouseKey.in(language_)));
    struct Button {
        Bilingual name;
        int down, up, click;
    };
    const Button buttons[] = {
        {mt::kLeft, kCmdLeftDown, kCmdLeftUp, kCmdLeftClick},
        {mt::kRight, kCmdRightDown, kCmdRightUp, kCmdRightClick},
        {mt::kMiddle, kCmdMiddleDown, kCmdMiddleUp, kCmdMiddleClick},
    };
    for (const Button& b : buttons) {
        QMenu* sub = mouse->addMenu(Q(b.name.in(language_)));
        add(*sub, mt::kDown, b.down);
        add(*sub, mt::kUp, b.up);
        add(*sub, mt::kClick, b.click);
    }
    add(menu, mt::kInsertDelay, kCmdInsertDelay);
    add(menu, mt::kDeleteStep, kCmdDeleteStep);
}

void CMacroRecordDlg::OpenStepMenu(const QPoint& globalPos)
{
    QMenu menu(this);
    BuildStepMenu(menu);
    QAction* chosen = seams_.execMenu ? seams_.execMenu(menu, globalPos) : menu.exec(globalPos);
    if (!chosen || !chosen->data().isValid()) return;
    // The command works on the line selected before the menu opened.
    model_.SelectStep(stepList_->currentRow());
    model_.Command(chosen->data().toInt());
    syncFromModel();
}

void CMacroRecordDlg::done(int result)
{
    model_.Closing();
    QDialog::done(result);
}

bool RunMacroManager(QWidget* parent, MacroStore& store, int language, const AppPaths& paths)
{
    CMacroRecordDlg dialog(store, language, paths, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace zr417
