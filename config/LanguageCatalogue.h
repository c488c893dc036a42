#pragma once

#include <QString>

// The one way from a language file to a window: the text of an id ("t" and its number) in a
// section of the current language file (LanguageFilePath). Each section has a header of its
// ids: config/FrmMainTexts.h, config/DlgLangSelectTexts.h.
namespace LanguageCatalogue
{

// Empty text when the file, the section or the id is missing; cut to 255 characters.
QString Text(const char *section, int id);

} // namespace LanguageCatalogue
