#pragma once

#include <QString>

// Qt's own texts (the buttons of the question boxes, the folder picker) in the program's
// language, from the translations that Qt ships (qtbase_de.qm and the like).
namespace QtTranslations
{

// Qt speaks the language of that name from now on, the windows already open included; a
// language without Qt translations gives Qt's English. False when nothing was found.
bool UseLanguage(const QString &languageName);

} // namespace QtTranslations
