// Qt's own texts (the standard buttons of message boxes, the colour and file
// dialogs) in the programs' language. Debian ships them in
// qt6-translations-l10n; without that package they stay English.
#pragma once

#include <QLocale>

namespace zr417 {

// Loads Qt's translations for `locale`, replacing those of an earlier call;
// English needs none and drops them. False when the catalogue is missing.
// Call once the application object exists.
bool UseQtTranslations(const QLocale& locale);

// The locale of the main program's language word (4 Chinese, else English)
// and of the update tool's language (1 Simplified, 2 Traditional Chinese,
// else English).
QLocale MainProgramLocale(int languageWord);
QLocale UpdateToolLocale(int toolLanguage);

}  // namespace zr417
