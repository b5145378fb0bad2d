// zr417_skingen: draws the skin artwork at build time.
//
//   zr417_skingen --out <png dir> --res <resource dir>
//       writes <png dir>/{english,chinese}/<folder>/<name> for every skin and
//       <resource dir>/bitmap/<id>.png, <resource dir>/icon/<id>.png
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
    QImageWriter writer(&file, "png");
    writer.setCompression(9);
    if (!writer.write(image)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool Render(const zr417::skingen::SkinSpec& skin, QImage& image)
{
    image = skin.paint(QSize(skin.width, skin.height));
    if (image.size() != QSize(skin.width, skin.height)) {
        std::fprintf(stderr, "zr417_skingen: %s drawn at %dx%d, table says %dx%d\n", std::string(skin.name).c_str(),
                     image.width(), image.height(), skin.width, skin.height);
        return false;
    }
    return true;
}

int Generate(const QString& outDir, const QString& resDir)
{
    for (const auto& skin : zr417::skingen::SkinTable()) {
        QImage image;
        if (!Render(skin, image)) return 1;
        for (const char* language : {"english", "chinese"}) {
            QString path = outDir + '/' + language + '/';
            if (!skin.folder.empty()) path += ToQString(skin.folder) + '/';
            path += ToQString(skin.name);
            if (!WritePng(image, path)) {
                std::fprintf(stderr, "zr417_skingen: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    for (const auto& skin : zr417::skingen::ResourceTable()) {
        QImage image;
        if (!Render(skin, image)) return 1;
        const QString path = resDir + '/' + ToQString(skin.name);
        if (!WritePng(image, path)) {
            std::fprintf(stderr, "zr417_skingen: cannot write %s\n", qPrintable(path));
            return 1;
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
