#pragma once

#include <QString>
#include <QStringList>

// The languages on offer: the files of the language folder, in the order the file system
// lists them. A folder that is missing or cannot be listed offers none.
namespace LanguageList
{

// ProgramFolder() + "/lang"
QString LanguageFolder();

// Every plain file of the folder, each with every ".dat" taken out of its name; nothing is
// skipped (the options dialog).
QStringList PlainLanguageList(const QString &folder = LanguageFolder());

// Only the files whose extension is exactly "dat" and whose name does not contain "ulv",
// each with ".dat" taken out (the first-start language dialog).
QStringList FilteredLanguageList(const QString &folder = LanguageFolder());

} // namespace LanguageList
