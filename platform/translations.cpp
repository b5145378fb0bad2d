#include "platform/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace zr417 {

bool UseQtTranslations(const QLocale& locale)
{
    static QPointer<QTranslator> current;
    if (current) {
        QCoreApplication::removeTranslator(current);
        delete current;
    }
    if (locale.language() == QLocale::English || locale.language() == QLocale::C) return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    // "qt" names the catalogue of every Qt module (qtbase among them).
    if (!translator->load(locale, QStringLiteral("qt"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    current = translator;
    return true;
}

QLocale MainProgramLocale(int languageWord)
{
    if (languageWord == 4) return QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China);
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

QLocale UpdateToolLocale(int toolLanguage)
{
    switch (toolLanguage) {
        case 1:
            return QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China);
        case 2:
            return QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan);
        default:
            return QLocale(QLocale::English, QLocale::UnitedStates);
    }
}

}  // namespace zr417
