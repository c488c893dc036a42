#pragma once

#include <QLocale>
#include <QString>

// The locale that a language file stands for. A language file is named after its language,
// in that language or in English ("Deutsch", "English", "Français"); the locale gives Qt's own
// texts and the date and time of the log in that language.
namespace LanguageLocale
{

// The locale of the language that the name names, case and blanks at the ends aside
// ("Deutsch" gives de_DE, "English" en_US); the C locale for a name that is no language.
QLocale ForLanguage(const QString &languageName);

// The locale whose formats date the log: the user's own, unless it says nothing (the C or
// POSIX locale), then the program's language's.
QLocale ForDates(const QLocale &userLocale, const QString &languageName);

} // namespace LanguageLocale
