#include "app/kalvex_dlg.h"

#include "platform/settings.h"
#include "platform/trace.h"

#include <QApplication>
#include <QEventLoop>
#include <QPainter>

namespace zr417 {

CKalvexDlg::CKalvexDlg(QWidget* parent) : QWidget(parent, Qt::FramelessWindowHint | Qt::Window)
{
    setWindowTitle(QStringLiteral("ZR417 RGB Gaming Keyboard"));
}

CKalvexDlg::~CKalvexDlg() = default;

void CKalvexDlg::OnInitDialog()
{
    g_nLanguage = LanguageFromSetting(ReadLanguageSetting());
    paths_ = AppPaths::ForExecutableDir(ExecutableDir());
    resize(1000, 640);
    store_ = std::make_unique<KeymapStore>(paths_.keymapFile());
    store_->Startup();
}

int CKalvexDlg::DoModal()
{
    OnInitDialog();
    show();
    QEventLoop loop;
    connect(qApp, &QApplication::aboutToQuit, &loop, &QEventLoop::quit);
    return loop.exec();
}

void CKalvexDlg::restoreAndActivate()
{
    Trace("Main window activated by a second start\n");
    showNormal();
    raise();
    activateWindow();
}

void CKalvexDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(20, 20, 22));
}

}  // namespace zr417
