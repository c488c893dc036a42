#include "config/LanguageCatalogue.h"

#include "config/modIniHandler.h"

namespace LanguageCatalogue
{

QString Text(const char *section, int id)
{
    return modIniHandler::ReadLanguageText(
        QLatin1String(section), QLatin1Char('t') + QString::number(id), QString(), 256);
}

} // namespace LanguageCatalogue
