#include "app/seams.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>

namespace zr417 {

bool DesktopActions::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

bool DesktopActions::startDetached(const QString& program, const QString& workingDirectory)
{
    // The program itself, no arguments, never through a shell.
    return QProcess::startDetached(program, {}, workingDirectory);
}

bool DesktopActions::confirm(QWidget* parent, const QString& text, const QString& caption)
{
    return QMessageBox::question(parent, caption, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) ==
           QMessageBox::Ok;
}

void DesktopActions::warn(QWidget* parent, const QString& text, const QString& caption, const QString& ok)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::NoButton, parent);
    box.addButton(ok, QMessageBox::AcceptRole);
    box.exec();
}

void DesktopActions::notify(QWidget* parent, const QString& text, const QString& caption, const QString& ok)
{
    delete notice_;
    auto* box = new QMessageBox(QMessageBox::Warning, caption, text, QMessageBox::NoButton, parent);
    box->addButton(ok, QMessageBox::AcceptRole);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    notice_ = box;
    box->show();
}

std::optional<QColor> DesktopActions::pickColour(QWidget* parent, const QColor& initial)
{
    QColor c = QColorDialog::getColor(initial, parent);
    if (!c.isValid()) return std::nullopt;
    return c;
}

}  // namespace zr417
