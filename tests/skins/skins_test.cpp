// The built skin folders: every picture the program names exists in both
// languages, and the pictures cover what the windows draw and hit-test on them.
#include "config/keys.h"
#include "controls/skin.h"
#include "controls/skin_names.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace zr417 {
namespace {

class SkinFolders : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "zr417_skins_test";
        static char* argv[] = {name, nullptr};
        if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
    }

    void SetUp() override
    {
        const char* runtime = std::getenv("ZR417_RUNTIME_DIR");
        ASSERT_NE(runtime, nullptr) << "ZR417_RUNTIME_DIR names the build's program folder";
        paths_ = AppPaths::InFolder(runtime);
    }

    QImage Skin(int language, std::string_view folder, std::string_view name)
    {
        return SkinFolder::ForLanguage(paths_, language, folder, &cache_).Image(name);
    }

    AppPaths paths_;
    SkinImageCache cache_;
};

TEST_F(SkinFolders, EveryNamedSkinExistsInBothLanguages)
{
    for (int language : {kLanguageEnglish, kLanguageChinese}) {
        for (const auto& file : skins::kAllSkinFiles) {
            const SkinFolder folder = SkinFolder::ForLanguage(paths_, language, file.folder, &cache_);
            EXPECT_FALSE(folder.PathOf(file.name).isEmpty())
                << folder.dir().toStdString() << std::string(file.name) << " is missing";
            EXPECT_FALSE(folder.Image(file.name).isNull())
                << folder.dir().toStdString() << std::string(file.name) << " does not decode";
        }
    }
}

// The generator draws every skin twice: name.png and name@2x.png at exactly
// twice each side, for screens scaled above 100 %. Checked on the files the
// build wrote, in both languages, and on the compiled-in bitmaps.
TEST_F(SkinFolders, EveryPictureHasATwinAtExactlyTwiceEachSide)
{
    int pairs = 0;
    auto check = [&](const QString& folder) {
        QDirIterator files(folder, {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            const QFileInfo info(path);
            const bool isTwin = info.completeBaseName().endsWith(QLatin1String("@2x"));
            const QString plainPath = isTwin ? info.dir().filePath(info.completeBaseName().chopped(3) + ".png") : path;
            const QString twinPath = info.dir().filePath(
                (isTwin ? info.completeBaseName().chopped(3) : info.completeBaseName()) + "@2x.png");
            const QImage plain(plainPath), twin(twinPath);
            ASSERT_FALSE(plain.isNull()) << plainPath.toStdString() << " (twin of " << path.toStdString() << ")";
            ASSERT_FALSE(twin.isNull()) << twinPath.toStdString() << " is missing";
            EXPECT_EQ(twin.size(), plain.size() * 2) << twinPath.toStdString();
            if (!isTwin) ++pairs;
        }
    };
    check(QString::fromStdString(paths_.exeDir.string()) + "/png");
    LoadBitmapResource(skins::resource::kPressMark);  // makes the resources available
    check(QStringLiteral(":/zr417/bitmap"));
    EXPECT_GE(pairs, 2 * static_cast<int>(skins::kAllSkinFiles.size()) + 9);
}

// The skins are installed with the program: written deflated, the whole
// png/ folder (both languages, every twin) stays small.
TEST_F(SkinFolders, TheSkinFoldersStayUnderFourMegabytes)
{
    std::uintmax_t bytes = 0;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(paths_.exeDir / "png")) {
        if (!entry.is_regular_file()) continue;
        bytes += entry.file_size();
        ++files;
    }
    EXPECT_GE(files, 4 * skins::kAllSkinFiles.size());
    EXPECT_LE(bytes, 4'000'000u) << files << " files";
}

TEST_F(SkinFolders, BothSpellingsOfTheRadioPicturesResolve)
{
    for (int language : {kLanguageEnglish, kLanguageChinese}) {
        const SkinFolder custom = SkinFolder::ForLanguage(paths_, language, skins::kCustomFolder, &cache_);
        for (std::string_view name : {"disable.png", "Disable.png", "enable.png", "Enable.png"})
            EXPECT_FALSE(custom.Image(name).isNull()) << std::string(name);
    }
}

// Smallest size that holds every rectangle, right and bottom inclusive.
QSize Covering(std::initializer_list<QRect> rects)
{
    QRect all;
    for (const QRect& r : rects) all |= r;
    return QSize(all.right() + 1, all.bottom() + 1);
}

void ExpectCovers(const QImage& image, QSize needed, const char* what)
{
    EXPECT_GE(image.width(), needed.width()) << what;
    EXPECT_GE(image.height(), needed.height()) << what;
}

TEST_F(SkinFolders, BackgroundsCoverEveryPositionDrawnOrTested)
{
    for (int language : {kLanguageEnglish, kLanguageChinese}) {
        // Main window: close button 978..994, Save button 923..980 x 605..635.
        ExpectCovers(Skin(language, skins::kMainFolder, skins::main_window::kBackground),
                     Covering({QRect(QPoint(978, 5), QPoint(994, 20)), QRect(QPoint(923, 605), QPoint(980, 635))}),
                     "main.png");
        // Profile manager: close 248..262 x 10..24, list 1,34 260 x 540, buttons down to 624.
        ExpectCovers(Skin(language, skins::kConfigFolder, skins::config_panel::kBackground),
                     Covering({QRect(QPoint(248, 10), QPoint(262, 24)), QRect(1, 34, 260, 540),
                               QRect(QPoint(184, 576), QPoint(249, 624))}),
                     "Config/Config.png");
        // Key assignment: close 303..318, buttons down to 268, tree 10,60 295 x 160.
        for (std::string_view name : {skins::custom::kBackground, skins::custom::kBackground420})
            ExpectCovers(Skin(language, skins::kCustomFolder, name),
                         Covering({QRect(QPoint(303, 2), QPoint(318, 17)), QRect(QPoint(264, 246), QPoint(305, 268)),
                                   QRect(10, 60, 295, 160), QRect(QPoint(0, 30), QPoint(324, 36))}),
                         "Custom background");
        // Macro manager: Cancel 340..397 x 400..424, loop edit 296,331 84 x 18.
        ExpectCovers(Skin(language, skins::kMacroFolder, skins::macro_manager::kBackground),
                     Covering({QRect(QPoint(340, 400), QPoint(397, 424)), QRect(296, 331, 84, 18)}),
                     "MacroManagement.png");
    }
}

TEST_F(SkinFolders, ButtonPicturesCoverTheirHotSpots)
{
    using namespace skins;
    const struct {
        std::string_view folder, name;
        QSize hotSpot;
    } buttons[] = {
        {kMainFolder, main_window::kCloseNormal, QSize(17, 16)},
        {kMainFolder, main_window::kSaveNormal, QSize(57, 30)},
        {kMainFolder, main_window::kCancelNormal, QSize(57, 30)},
        {kMainFolder, main_window::kLightItem, QSize(221, 16)},
        {kMainFolder, main_window::kMacroButton, QSize(241, 19)},
        {kMainFolder, main_window::kDirectionDisable[kTop], QSize(36, 16)},
        {kCustomFolder, custom::kLargeButton, QSize(81, 26)},
        {kCustomFolder, custom::kLargeButton420, QSize(108, 26)},
        {kCustomFolder, custom::kSaveNormal, QSize(42, 23)},
        {kCustomFolder, custom::kView, QSize(47, 16)},
        {kMacroFolder, macro_manager::kRecordNormal, QSize(90, 25)},
        {kMacroFolder, macro_manager::kPane, QSize(15, 15)},
        {kMacroFolder, macro_manager::kNewNormal, QSize(58, 25)},
    };
    for (const auto& b : buttons) {
        const QImage& image = Skin(kLanguageEnglish, b.folder, b.name);
        EXPECT_GE(image.width(), b.hotSpot.width() - 1) << std::string(b.name);
        EXPECT_GE(image.height(), b.hotSpot.height() - 1) << std::string(b.name);
    }
}

TEST_F(SkinFolders, KeyboardPicturesHoldEveryKeyAndTheirTwinsLightOnlyTheKeys)
{
    using namespace skins::main_window;
    const std::pair<std::string_view, std::string_view> models[] = {{kKeyboardQV310, kKeyboardLitQV310},
                                                                    {kKeyboardQV420, kKeyboardLitQV420}};
    for (const auto& [plainName, litName] : models) {
        const QImage& plain = Skin(kLanguageEnglish, skins::kMainFolder, plainName);
        const QImage& lit = Skin(kLanguageEnglish, skins::kMainFolder, litName);
        ASSERT_EQ(plain.size(), lit.size()) << std::string(plainName);
        QImage keys(plain.size(), QImage::Format_Grayscale8);
        keys.fill(0);
        for (int k = 0; k < kKeyCount; ++k) {
            const KeyRect& r = g_keyRectByKey[k];
            const QRect rect(QPoint(r.left, r.top), QPoint(r.right, r.bottom));
            ASSERT_TRUE(plain.rect().contains(rect)) << "key " << k << " outside " << std::string(plainName);
            // The lit key differs from the plain one at its centre.
            const QPoint c = rect.center();
            EXPECT_NE(plain.pixel(c), lit.pixel(c)) << "key " << k;
            for (int y = rect.top(); y <= rect.bottom(); ++y)
                for (int x = rect.left(); x <= rect.right(); ++x) keys.setPixel(x, y, 255);
        }
        // Copying key rectangles from the twin must not bring anything else along.
        int differences = 0;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                if (qGray(keys.pixel(x, y)) == 0 && plain.pixel(x, y) != lit.pixel(x, y)) ++differences;
        EXPECT_EQ(differences, 0) << std::string(litName);
    }
    // The models' pictures are not the same picture.
    EXPECT_NE(Skin(kLanguageEnglish, skins::kMainFolder, kKeyboardQV310),
              Skin(kLanguageEnglish, skins::kMainFolder, kKeyboardQV420));
}

TEST_F(SkinFolders, KeyboardPictureFitsInTheMainWindowAbovePanels)
{
    const QImage& keyboard = Skin(kLanguageEnglish, skins::kMainFolder, skins::main_window::kKeyboardQV310);
    const QImage& main = Skin(kLanguageEnglish, skins::kMainFolder, skins::main_window::kBackground);
    EXPECT_LE(kKeyboardPictureX + keyboard.width(), main.width());
    // The macro and Game Mode panels start at y = 426.
    EXPECT_LE(kKeyboardPictureY + keyboard.height(), 426);
}

}  // namespace
}  // namespace zr417
