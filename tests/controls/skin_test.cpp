// Skin files: look-up in any letter case, decode once, opaque copy, text.
#include "controls/skin.h"
#include "controls/skin_names.h"
#include "qt_app.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QPainter>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace zr417 {
namespace {

using testing::PixelAt;

class SkinTest : public testing::QtTest {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString Path(const QString& name) const { return dir_.filePath(name); }

    // A 4 x 1 PNG: transparent red, half-transparent blue, opaque green, opaque white.
    void WriteTransparentPng(const QString& name) const
    {
        QImage image(4, 1, QImage::Format_ARGB32);
        image.setPixel(0, 0, qRgba(255, 0, 0, 0));
        image.setPixel(1, 0, qRgba(0, 0, 255, 128));
        image.setPixel(2, 0, qRgba(0, 255, 0, 255));
        image.setPixel(3, 0, qRgba(255, 255, 255, 255));
        ASSERT_TRUE(image.save(Path(name), "png"));
    }

    static QImage White(int w, int h, QImage::Format format = QImage::Format_ARGB32_Premultiplied)
    {
        QImage image(w, h, format);
        image.fill(Qt::white);
        return image;
    }

    QTemporaryDir dir_;
};

TEST_F(SkinTest, TransparentPixelsShowTheirStoredColourNotTheBackground)
{
    WriteTransparentPng("alpha.png");
    SkinImageCache cache;
    SkinFolder skins(dir_.path(), &cache);
    for (QImage::Format format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB32}) {
        QImage target = White(6, 3, format);
        {
            QPainter painter(&target);
            DrawSkinImage(painter, skins, "alpha.png", 1, 1);
        }
        EXPECT_EQ(PixelAt(target, 1, 1), qRgb(255, 0, 0));
        EXPECT_EQ(PixelAt(target, 2, 1), qRgb(0, 0, 255));
        EXPECT_EQ(PixelAt(target, 3, 1), qRgb(0, 255, 0));
        EXPECT_EQ(qAlpha(target.pixel(1, 1)), 255);
        // Nothing around the picture is touched.
        EXPECT_EQ(PixelAt(target, 0, 1), qRgb(255, 255, 255));
        EXPECT_EQ(PixelAt(target, 5, 1), qRgb(255, 255, 255));
        EXPECT_EQ(PixelAt(target, 1, 0), qRgb(255, 255, 255));
    }
}

TEST_F(SkinTest, OpaqueCopyLeavesThePainterBlendingAfterwards)
{
    WriteTransparentPng("alpha.png");
    SkinImageCache cache;
    QImage target = White(4, 1);
    QPainter painter(&target);
    DrawSkinImage(painter, SkinFolder(dir_.path(), &cache), "alpha.png", 0, 0);
    EXPECT_EQ(painter.compositionMode(), QPainter::CompositionMode_SourceOver);
}

TEST_F(SkinTest, MissingOrUndecodableFilesDrawNothing)
{
    QFile bad(Path("bad.png"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("\x89PNG\r\n\x1a\n this is not a picture");
    bad.close();
    QFile empty(Path("empty.png"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();

    SkinImageCache cache;
    SkinFolder skins(dir_.path(), &cache);
    QImage target = White(8, 8);
    const QImage before = target;
    {
        QPainter painter(&target);
        for (const char* name : {"bad.png", "empty.png", "missing.png"}) DrawSkinImage(painter, skins, name, 0, 0);
    }
    EXPECT_EQ(target, before);
    EXPECT_TRUE(skins.Image("bad.png").isNull());
    EXPECT_TRUE(skins.Image("missing.png").isNull());
}

TEST_F(SkinTest, RepaintsNeverDecodeAgainFailuresIncluded)
{
    WriteTransparentPng("a.png");
    WriteTransparentPng("b.png");
    SkinImageCache cache;
    SkinFolder skins(dir_.path(), &cache);
    QImage target = White(8, 8);
    QPainter painter(&target);
    for (int frame = 0; frame < 20; ++frame) {
        DrawSkinImage(painter, skins, "a.png", 0, 0);
        DrawSkinImage(painter, skins, "b.png", 0, 1);
        DrawSkinImage(painter, skins, "missing.png", 0, 2);
    }
    EXPECT_EQ(cache.decodeCount(), 3);
    // The same decoded picture comes back, not a fresh copy.
    EXPECT_EQ(skins.Image("a.png").cacheKey(), skins.Image("a.png").cacheKey());
    // Deleting the file no longer matters once it is decoded.
    ASSERT_TRUE(QFile::remove(Path("a.png")));
    EXPECT_FALSE(skins.Image("a.png").isNull());
    EXPECT_EQ(cache.decodeCount(), 3);
}

// Closed windows keep no decoded skins: a picture stays while some window's
// folder (or a copy of it) holds it, and goes with the last one; pictures
// taken meanwhile stay whole, and sizing a window decodes nothing.
TEST_F(SkinTest, PicturesGoWithTheLastWindowThatDrewThem)
{
    WriteTransparentPng("a.png");
    WriteTransparentPng("b.png");
    SkinImageCache cache;
    auto main = std::make_unique<SkinFolder>(dir_.path(), &cache);
    auto dialog = std::make_unique<SkinFolder>(dir_.path(), &cache);
    EXPECT_EQ(dialog->Size("b.png"), QSize(4, 1));
    EXPECT_FALSE(dialog->Size("missing.png").isValid());
    EXPECT_EQ(cache.decodeCount(), 0);

    main->Image("a.png");
    const QImage taken = dialog->Image("b.png");
    dialog->Image("a.png");
    std::optional<SkinFolder> copy(*dialog);
    dialog.reset();
    EXPECT_EQ(cache.size(), 2u) << "the copy still holds b.png";
    copy.reset();
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(PixelAt(taken, 2, 0), qRgb(0, 255, 0));
    main->Image("a.png");
    EXPECT_EQ(cache.decodeCount(), 2);
    main.reset();
    EXPECT_EQ(cache.size(), 0u);

    // A window opened again decodes its pictures again, once.
    SkinFolder reopened(dir_.path(), &cache);
    for (int paint = 0; paint < 3; ++paint) reopened.Image("b.png");
    EXPECT_EQ(cache.decodeCount(), 3);
}

TEST_F(SkinTest, LookUpFindsEitherSpellingAndPrefersTheExactOne)
{
    WriteTransparentPng("Disable.png");
    SkinFolder skins(dir_.path());
    EXPECT_EQ(skins.PathOf("disable.png"), Path("Disable.png"));
    EXPECT_EQ(skins.PathOf("DISABLE.PNG"), Path("Disable.png"));
    EXPECT_TRUE(skins.PathOf("disabled.png").isEmpty());

    WriteTransparentPng("enable.png");
    WriteTransparentPng("Enable.png");
    EXPECT_EQ(skins.PathOf("enable.png"), Path("enable.png"));
    EXPECT_EQ(skins.PathOf("Enable.png"), Path("Enable.png"));

    SkinImageCache cache;
    EXPECT_FALSE(SkinFolder(dir_.path(), &cache).Image("disable.png").isNull());
}

TEST_F(SkinTest, FolderForLanguageAndSubfolder)
{
    const AppPaths paths = AppPaths::InFolder(dir_.path().toStdString());
    EXPECT_EQ(SkinFolder::ForLanguage(paths, 4, skins::kCustomFolder).dir(), dir_.path() + "/png/chinese/Custom/");
    EXPECT_EQ(SkinFolder::ForLanguage(paths, 9).dir(), dir_.path() + "/png/english/");
    EXPECT_EQ(SkinFolder::ForLanguage(paths, 0, skins::kMacroFolder).dir(),
              dir_.path() + "/png/english/MacroManagement/");
}

TEST_F(SkinTest, SkinTextIsLightArialWithACjkFallbackAndItsCellHeight)
{
    const QFont font = SkinFont(16);
    // Arial itself, or its metric twin; never the desktop's default face.
    const QString face = QFontInfo(font).family();
    EXPECT_TRUE(face == "Arial" || face == "Liberation Sans") << face.toStdString();
    EXPECT_TRUE(font.families().join(',').contains("WenQuanYi Zen Hei"));
    EXPECT_EQ(font.weight(), QFont::Light);
    EXPECT_EQ(font.pixelSize(), 14);  // a 16-pixel cell
}

// Bounding box of the pixels that differ from `background`.
QRect Inked(const QImage& image, QRgb background)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (PixelAt(image, x, y) != background) box |= QRect(x, y, 1, 1);
    return box;
}

TEST_F(SkinTest, SkinTextStandsBelowAndRightOfItsCornerInItsColour)
{
    for (const QString& text : {QStringLiteral("Profile"), QStringLiteral("配置")}) {
        QImage target(120, 40, QImage::Format_ARGB32_Premultiplied);
        target.fill(QColor(53, 53, 53));
        {
            QPainter painter(&target);
            DrawSkinText(painter, text, 10, 12, 16, QColor(255, 0, 0));
        }
        const QRect box = Inked(target, qRgb(53, 53, 53));
        ASSERT_FALSE(box.isEmpty()) << text.toStdString();
        EXPECT_GE(box.left(), 10);
        EXPECT_GE(box.top(), 12);
        EXPECT_LE(box.bottom(), 12 + 16);
        EXPECT_GE(box.height(), 8) << "glyphs of a 16-pixel cell";
        // Transparent background: the colour is the text's, blended on the old pixels.
        bool red = false;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x) red |= PixelAt(target, x, y) == qRgb(255, 0, 0);
        EXPECT_TRUE(red) << text.toStdString();
    }
}

// A screen at 200 %: the @2x twin lands pixel for pixel, in the layout's
// units (a 2 x 1 picture still covers 2 x 1 at (1, 0)), and a part of it is
// cut in layout units too. Without a twin the plain picture is drawn.
TEST_F(SkinTest, HighResolutionScreensDrawTheTwinPixelForPixel)
{
    QImage plain(2, 1, QImage::Format_RGB32);
    plain.fill(Qt::red);
    ASSERT_TRUE(plain.save(Path("b.png"), "png"));
    QImage twin(4, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) twin.setPixel(x, y, qRgb(10 * x, 100 + 10 * y, 7));
    ASSERT_TRUE(twin.save(Path("b@2x.png"), "png"));
    WriteTransparentPng("only.png");

    SkinImageCache cache;
    SkinFolder skins(dir_.path(), &cache);
    EXPECT_EQ(skins.Image("b.png", 2).devicePixelRatio(), 2.0);
    EXPECT_EQ(LayoutSize(skins.Image("b.png", 2)), QSize(2, 1));
    EXPECT_EQ(skins.Image("b.png").size(), QSize(2, 1));

    QImage frame = MakeFrame(QSize(6, 3), 2.0);
    frame.fill(Qt::white);
    {
        QPainter painter(&frame);
        DrawSkinImage(painter, skins, "b.png", 1, 0);
        DrawSkinImagePart(painter, skins.Image("b.png", 2), 4, 2, QRect(1, 0, 1, 1));
        DrawSkinImage(painter, skins, "only.png", 0, 1);
    }
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelAt(frame, 2 + x, y), twin.pixel(x, y)) << x << "," << y;
    EXPECT_EQ(PixelAt(frame, 1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(PixelAt(frame, 8, 4), twin.pixel(2, 0));
    EXPECT_EQ(PixelAt(frame, 9, 5), twin.pixel(3, 1));
    EXPECT_EQ(PixelAt(frame, 0, 2), qRgb(255, 0, 0));  // only.png, scaled up
    // Each picture and twin decoded once, however often it is drawn.
    for (int i = 0; i < 5; ++i) skins.Image("b.png", 2);
    EXPECT_EQ(cache.decodeCount(), 4);  // b.png, b@2x.png, only.png, only@2x.png (missing)
}

TEST_F(SkinTest, CompiledInResourcesHaveTheirSizes)
{
    for (const auto& bitmap : skins::resource::kBitmaps) {
        const QImage& image = LoadBitmapResource(bitmap.id);
        ASSERT_FALSE(image.isNull()) << bitmap.id;
        EXPECT_EQ(image.size(), QSize(bitmap.width, bitmap.height)) << bitmap.id;
        EXPECT_EQ(image.format(), QImage::Format_RGB32) << bitmap.id;
        const QImage& twin = LoadBitmapResource(bitmap.id, 2);
        EXPECT_EQ(twin.size(), QSize(bitmap.width, bitmap.height) * 2) << bitmap.id;
        EXPECT_EQ(LayoutSize(twin), image.size()) << bitmap.id;
    }
    EXPECT_TRUE(LoadBitmapResource(132).isNull());
    for (int id : skins::resource::kIcons) EXPECT_FALSE(LoadIconResource(id).isNull()) << id;
}

}  // namespace
}  // namespace zr417
