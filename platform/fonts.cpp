#include "platform/fonts.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHash>

namespace zr417 {

QStringList ProgramFontFamilies(const QStringList& faces)
{
    // Windows are built often; the font list is read once per set of faces.
    static QHash<QString, QStringList> cache;
    const QString key = faces.join(QLatin1Char('\n'));
    if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;

    // QFontDatabase::families() holds the real families only, so "Arial"
    // counts only when Arial itself is there, not fontconfig's stand-in.
    const QStringList installed = QFontDatabase::families();
    QStringList families;
    for (const QString& face : faces)
        if (installed.contains(face, Qt::CaseInsensitive)) families << face;
    families << QStringLiteral("Liberation Sans") << QStringLiteral("WenQuanYi Zen Hei")
             << QStringLiteral("Noto Sans CJK SC");
    families.removeDuplicates();
    cache.insert(key, families);
    return families;
}

QFont ProgramFont(const QStringList& faces)
{
    QFont font;
    font.setFamilies(ProgramFontFamilies(faces));
    return font;
}

QFont WithCellHeight(QFont font, int cellHeight)
{
    for (int size = cellHeight; size > 1; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= cellHeight) return font;
    }
    font.setPixelSize(1);
    return font;
}

void UseProgramFont(const QStringList& faces)
{
    QFont font = QGuiApplication::font();
    font.setFamilies(ProgramFontFamilies(faces));
    QGuiApplication::setFont(font);
}

}  // namespace zr417
