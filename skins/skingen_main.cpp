// zr417_skingen: draws the skin artwork at build time.
//
//   zr417_skingen --out <png dir> --res <resource dir>
//       writes <png dir>/{english,chinese}/<folder>/<name> for every skin and
//       <resource dir>/bitmap/<id>.png, <resource dir>/icon/<id>.png; every
//       skin and bitmap also as <name>@2x.png, drawn at twice each side for
//       screens scaled above 100 %
//   zr417_skingen --contact-sheet <file> --out <png dir> --res <resource dir>
//       composes every skin and resource with its name into one picture
#include "artwork.h"
#include "contact_sheet.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSaveFile>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

QString ToQString(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

bool WritePng(const QImage& image, const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    // Written beside and renamed, so an interrupted build leaves no half file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    // Qt's default deflate level. Qt 6 reads setCompression() on a 0..100
    // scale, so a 9 there stores the pixels uncompressed (85 MB of skins
    // instead of 3); the top levels save a tenth more for seven times the time.
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// name.png -> name@2x.png
QString HighResolutionName(const QString& name)
{
    return name.endsWith(QLatin1String(".png")) ? name.chopped(4) + QLatin1String("@2x.png") : name + "@2x";
}

bool Render(const zr417::skingen::SkinSpec& skin, int scale, QImage& image)
{
    const zr417::art::ScopedScale scoped(scale);
    image = skin.paint(QSize(skin.width, skin.height));
    if (image.size() != QSize(skin.width, skin.height) * scale) {
        std::fprintf(stderr, "zr417_skingen: %s drawn at %dx%d, table says %dx%d at scale %d\n",
                     std::string(skin.name).c_str(), image.width(), image.height(), skin.width, skin.height, scale);
        return false;
    }
    // Written as plain pixels: the file name tells the scale.
    image.setDevicePixelRatio(1);
    return true;
}

// Icons are drawn large once; the desktop scales them.
bool HasHighResolutionTwin(const zr417::skingen::SkinSpec& skin)
{
    return !skin.name.starts_with("icon/");
}

int Generate(const QString& outDir, const QString& resDir)
{
    for (const auto& skin : zr417::skingen::SkinTable()) {
        for (int scale : {1, 2}) {
            QImage image;
            if (!Render(skin, scale, image)) return 1;
            const QString name = scale == 1 ? ToQString(skin.name) : HighResolutionName(ToQString(skin.name));
            for (const char* language : {"english", "chinese"}) {
                QString path = outDir + '/' + language + '/';
                if (!skin.folder.empty()) path += ToQString(skin.folder) + '/';
                path += name;
                if (!WritePng(image, path)) {
                    std::fprintf(stderr, "zr417_skingen: cannot write %s\n", qPrintable(path));
                    return 1;
                }
            }
        }
    }
    for (const auto& skin : zr417::skingen::ResourceTable()) {
        for (int scale : {1, 2}) {
            if (scale == 2 && !HasHighResolutionTwin(skin)) continue;
            QImage image;
            if (!Render(skin, scale, image)) return 1;
            const QString name = scale == 1 ? ToQString(skin.name) : HighResolutionName(ToQString(skin.name));
            const QString path = resDir + '/' + name;
            if (!WritePng(image, path)) {
                std::fprintf(stderr, "zr417_skingen: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // Drawing needs fonts but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString outDir, resDir, sheet;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--out")
            outDir = args[i + 1];
        else if (args[i] == "--res")
            resDir = args[i + 1];
        else if (args[i] == "--contact-sheet")
            sheet = args[i + 1];
    }
    if (outDir.isEmpty() || resDir.isEmpty()) {
        std::fprintf(stderr, "usage: zr417_skingen [--contact-sheet FILE] --out PNG_DIR --res RESOURCE_DIR\n");
        return 2;
    }
    if (sheet.isEmpty()) return Generate(outDir, resDir);

    const QImage image = zr417::skingen::ContactSheet(outDir + "/english", resDir);
    if (!WritePng(image, sheet)) {
        std::fprintf(stderr, "zr417_skingen: cannot write %s\n", qPrintable(sheet));
        return 1;
    }
    return 0;
}
