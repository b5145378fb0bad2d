#include "platform/translations.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace zr417 {
namespace {

QString ButtonText(QMessageBox& box, QMessageBox::StandardButton which)
{
    return box.button(which)->text().remove(QLatin1Char('&'));
}

TEST(QtTranslations, DialogButtonsFollowTheProgramsLanguageAndGoBackToEnglish)
{
    test::QtApp();
    ASSERT_TRUE(UseQtTranslations(MainProgramLocale(4))) << "qt6-translations-l10n is not installed";
    {
        QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(ButtonText(box, QMessageBox::Ok), QString::fromUtf8("确定"));
        EXPECT_EQ(ButtonText(box, QMessageBox::Cancel), QString::fromUtf8("取消"));
        QFileDialog files;
        files.setOption(QFileDialog::DontUseNativeDialog, true);
        auto* buttons = files.findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        // "打开(&O)": the translation keeps a mnemonic of its own.
        EXPECT_TRUE(buttons->button(QDialogButtonBox::Open)->text().startsWith(QString::fromUtf8("打开")));
    }
    ASSERT_TRUE(UseQtTranslations(UpdateToolLocale(2)));
    {
        QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Ok);
        EXPECT_EQ(ButtonText(box, QMessageBox::Ok), QString::fromUtf8("確定"));
    }
    ASSERT_TRUE(UseQtTranslations(MainProgramLocale(9)));
    {
        QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(ButtonText(box, QMessageBox::Ok), "OK");
        EXPECT_EQ(ButtonText(box, QMessageBox::Cancel), "Cancel");
    }
}

}  // namespace
}  // namespace zr417
