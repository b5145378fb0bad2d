#include "config/ui/configure_dlg.h"

#include "config/keys.h"
#include "controls/skin_names.h"

#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>

namespace zr417 {
namespace fs = std::filesystem;
namespace cfg = skins::config_panel;

namespace {

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString qpath(const fs::path& p)
{
    return QFile::decodeName(QByteArray::fromStdString(p.native()));
}

fs::path fspath(const QString& s)
{
    return fs::path(QFile::encodeName(s).toStdString());
}

constexpr QSize kDefaultSize{263, 632};
const QColor kWhite(255, 255, 255);
const QColor kCyan(0, 255, 255);

}  // namespace

ConfigButton HitTestConfigButton(const QPoint& pt)
{
    const int x = pt.x(), y = pt.y();
    if (x >= 248 && x <= 262 && y > 10 && y <= 24) return ConfigButton::Close;
    if (x >= 14 && x < 80 && y >= 576 && y <= 624) return ConfigButton::New;
    if (x >= 184 && x < 250 && y >= 576 && y <= 624) return ConfigButton::Delete;
    return ConfigButton::None;
}

CConfigureDlg::CConfigureDlg(KeymapStore& store, int language, const AppPaths& paths, const QRect& mainWindowRect,
                             QWidget* parent, ProfileManagerSeams seams)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      seams_(std::move(seams)),
      language_(language),
      skins_(SkinFolder::ForLanguage(paths, language, skins::kConfigFolder)),
      profiles_(store, paths.profileDir(), paths.dataDir, language, *this)
{
    setModal(true);
    setWindowTitle(qs(ProfileMessageTexts(ProfileMessage::SixProfiles).caption.in(language_)));
    const QSize background = skins_.Size(cfg::kBackground);
    setFixedSize(background.isValid() ? background : kDefaultSize);
    move(mainWindowRect.left() - 1, mainWindowRect.top() - 1);
    frame_ = RenderFrame();

    list_ = new CTransparentListBox(this);
    list_->setObjectName(QStringLiteral("profileList"));
    list_->setGeometry(kListRect);
    list_->SetEditMode(kEditParentText);
    list_->SetNotify(false);
    list_->SetSortStyle(true);
    list_->SetFontAndColours(15, QStringLiteral("Arial"), kWhite, kCyan, true, 2, QColor(0, 0, 0));
    // The list shows the panel's own picture behind its rows.
    list_->SetBackgroundProvider([this](const QRect& rect) { return CopyFramePart(frame_, rect); });
    list_->viewport()->installEventFilter(this);
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        if (syncing_) return;
        const auto selected = list_->selectedItems();
        profiles_.Select(selected.isEmpty() ? -1 : list_->row(selected.first()));
    });
    connect(list_, &CTransparentListBox::editCommitted, this, &CConfigureDlg::onNameEdited);

    profiles_.Open();
}

CConfigureDlg::~CConfigureDlg()
{
    list_->viewport()->removeEventFilter(this);
}

QImage CConfigureDlg::RenderFrame() const
{
    // At the screen's resolution: skins from their @2x twins above 100 %.
    QImage frame = MakeFrame(size(), devicePixelRatioF());
    frame.fill(QColor(0, 0, 0));
    QPainter p(&frame);
    DrawSkinImage(p, skins_, cfg::kBackground, 0, 0);
    DrawSkinText(p, qs(profile_text::kTitle.in(language_)), 10, 10, 15);
    DrawSkinImage(p, skins_, cfg::kCloseNormal, 247, 10);
    DrawSkinImage(p, skins_, cfg::kNew, 13, 575);
    DrawSkinText(p, qs(profile_text::kNew.in(language_)), 30, 578, 16);
    DrawSkinImage(p, skins_, cfg::kDelete, 183, 575);
    DrawSkinText(p, qs(profile_text::kDelete.in(language_)), 200, 578, 16);
    return frame;
}

void CConfigureDlg::paintEvent(QPaintEvent*)
{
    // A window that meets a screen of another scale is drawn anew for it.
    if (frame_.devicePixelRatio() != devicePixelRatioF()) {
        frame_ = RenderFrame();
        list_->InvalidateBackground();
    }
    QPainter(this).drawImage(0, 0, frame_);
}

void CConfigureDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        switch (HitTestConfigButton(event->position().toPoint())) {
            case ConfigButton::Close:
                accept();
                return;
            case ConfigButton::New:
                Command(kCmdProfileNew);
                break;
            case ConfigButton::Delete:
                Command(kCmdProfileDelete);
                break;
            case ConfigButton::None:
                break;
        }
    }
    QDialog::mouseReleaseEvent(event);
}

void CConfigureDlg::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    // Enter never closes the panel; Escape closes it, unless it is meant for
    // an open in-place edit (the editor cancels on the key's release).
    if (key == Qt::Key_Return || key == Qt::Key_Enter || (key == Qt::Key_Escape && list_->editing())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CConfigureDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            OpenContextMenu(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CConfigureDlg::BuildContextMenu(QMenu& menu) const
{
    menu.setTitle(qs(profile_text::kMenuCaption.in(language_)));
    const std::pair<int, Bilingual> items[] = {
        {kCmdProfileNew, profile_text::kNew},       {kCmdProfileCopy, profile_text::kCopy},
        {kCmdProfileSave, profile_text::kSave},     {kCmdProfileLoad, profile_text::kLoad},
        {kCmdProfileDelete, profile_text::kDelete},
    };
    for (const auto& [id, text] : items) menu.addAction(qs(text.in(language_)))->setData(id);
    if (seams_.openAutomaticProfiles) {
        menu.addSeparator();
        menu.addAction(qs(profile_text::kAutomaticProfiles.in(language_)))->setData(kCmdAutomaticProfiles);
    }
}

void CConfigureDlg::OpenContextMenu(const QPoint& globalPos)
{
    QMenu menu(this);
    BuildContextMenu(menu);
    QAction* chosen = seams_.execMenu ? seams_.execMenu(menu, globalPos) : menu.exec(globalPos);
    if (chosen) Command(chosen->data().toInt());
}

void CConfigureDlg::commitOpenEdit()
{
    if (list_->editing()) list_->EndEdit(true);
}

void CConfigureDlg::Command(int command)
{
    // An open edit is finished first, so no command works on rows that are
    // about to change under it.
    commitOpenEdit();
    switch (command) {
        case kCmdProfileNew:
            profiles_.New();
            break;
        case kCmdProfileCopy:
            profiles_.Copy();
            break;
        case kCmdProfileSave:
            profiles_.Save();
            break;
        case kCmdProfileLoad:
            profiles_.Load();
            break;
        case kCmdProfileDelete:
            profiles_.Delete();
            break;
        case kCmdAutomaticProfiles:
            if (seams_.openAutomaticProfiles) seams_.openAutomaticProfiles(this);
            break;
        default:
            break;
    }
}

void CConfigureDlg::onNameEdited(int startRow, int newRow)
{
    profiles_.Rename(startRow, list_->Text(newRow).toStdString());
}

void CConfigureDlg::done(int result)
{
    commitOpenEdit();
    QDialog::done(result);
}

bool CConfigureDlg::messageBox(ProfileMessage message)
{
    const ProfileMessageText m = ProfileMessageTexts(message);
    const QString text = qs(m.text.in(language_));
    const QString caption = qs(m.caption.in(language_));
    if (seams_.messageBox) return seams_.messageBox(this, text, caption, m.okCancel);
    QMessageBox box(QMessageBox::NoIcon, caption, text,
                    m.okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, this);
    return box.exec() == QMessageBox::Ok;
}

std::optional<fs::path> CConfigureDlg::chooseFile(ProfileStore::FileChoice choice, const fs::path& folder)
{
    if (seams_.chooseFile) return seams_.chooseFile(this, choice, folder);
    const bool save = choice == ProfileStore::FileChoice::Save;
    QFileDialog dialog(this, qs((save ? profile_text::kSave : profile_text::kLoad).in(language_)), qpath(folder),
                       QStringLiteral("bin Files(*.bin)"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("bin"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return fspath(dialog.selectedFiles().first());
}

void CConfigureDlg::pause(std::chrono::milliseconds ms)
{
    if (seams_.pause)
        seams_.pause(ms);
    else
        QThread::msleep(static_cast<unsigned long>(ms.count()));
}

void CConfigureDlg::listChanged()
{
    syncing_ = true;
    QStringList rows;
    for (const std::string& row : profiles_.rows()) rows << QString::fromStdString(row);
    list_->SetTexts(rows);
    const int selected = profiles_.selection();
    if (selected < 0) {
        list_->clearSelection();
        list_->setCurrentRow(-1);
    } else {
        list_->setCurrentRow(selected);
    }
    syncing_ = false;
    list_->Redraw();
}

int RunProfileManager(QWidget* parent, QRect mainWindowRect, KeymapStore& store, int language, const AppPaths& paths,
                      ProfileManagerSeams seams)
{
    CConfigureDlg dialog(store, language, paths, mainWindowRect, parent, std::move(seams));
    return dialog.exec();
}

}  // namespace zr417
