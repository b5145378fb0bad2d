#include "app/about_dlg.h"

#include "app/main_logic.h"
#include "controls/skin.h"
#include "controls/skin_names.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace zr417 {

namespace {
QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

CAboutDlg::CAboutDlg(int language, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(qs(texts::kAboutTitle.in(language)));
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(LoadIconResource(skins::resource::kIconAbout).pixmap(32, 32));
    auto* name = new QLabel(qs(texts::kAboutName.in(language)), this);
    name->setObjectName(QStringLiteral("name"));
    auto* rights = new QLabel(qs(texts::kAboutRights.in(language)), this);
    rights->setObjectName(QStringLiteral("rights"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(name, 0, 1);
    grid->addWidget(rights, 1, 1);
    grid->addWidget(buttons, 0, 2, 2, 1, Qt::AlignTop);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace zr417
