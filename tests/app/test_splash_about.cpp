// The splash window's picture, size and timing, and the about box's texts.
#include "app/about_dlg.h"
#include "app/splash.h"
#include "config/keys.h"
#include "tests/app/main_window_fixture.h"

#include <QLabel>

using namespace zr417;
using namespace zr417::test;

TEST(Splash, ShowsThePictureOfTheLanguageAndClosesOnItsFiftySecondTick)
{
    App();
    CSplashScreen english(RuntimeDir(), kLanguageEnglish, std::chrono::milliseconds(1));
    EXPECT_EQ(english.picturePath(), RuntimeDir() / "png" / "english" / "SplashScreen.png");
    QImage picture(QString::fromStdString(english.picturePath().string()));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(english.size(), picture.size()) << "the window takes the picture's size";
    EXPECT_EQ(english.exec(), QDialog::Accepted);
    EXPECT_EQ(english.ticks(), CSplashScreen::kLastTick + 2);

    CSplashScreen chinese(RuntimeDir(), kLanguageChinese, std::chrono::milliseconds(1));
    EXPECT_EQ(chinese.picturePath(), RuntimeDir() / "png" / "chinese" / "SplashScreen.png");
}

TEST(Splash, MissingPictureGivesAnEmptyWindowThatStillCloses)
{
    App();
    TempDir empty;
    CSplashScreen splash(empty.path(), kLanguageEnglish, std::chrono::milliseconds(1));
    EXPECT_EQ(splash.size(), QSize(0, 0));
    EXPECT_EQ(splash.exec(), QDialog::Accepted);
    EXPECT_EQ(splash.ticks(), CSplashScreen::kLastTick + 2);
}

TEST(About, NameVersionAndRightsInTheLanguage)
{
    App();
    CAboutDlg english(kLanguageEnglish);
    auto* name = english.findChild<QLabel*>("name");
    auto* rights = english.findChild<QLabel*>("rights");
    auto* icon = english.findChild<QLabel*>("icon");
    ASSERT_TRUE(name && rights && icon);
    EXPECT_TRUE(name->text().contains("ZR417 RGB Gaming Keyboard"));
    EXPECT_TRUE(name->text().contains("1.0"));
    EXPECT_TRUE(rights->text().contains("All rights reserved"));
    EXPECT_FALSE(icon->pixmap().isNull()) << "icon 128";
    CAboutDlg chinese(kLanguageChinese);
    EXPECT_TRUE(chinese.windowTitle().startsWith("关于"));
}
