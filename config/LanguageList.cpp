#include "config/LanguageList.h"

#include "config/modGlobal.h"
#include "fs/modFSO.h"

namespace LanguageList
{

namespace
{

// A folder that cannot be listed offers no language; one whose listing breaks off offers
// those read before.
QStringList listFiles(const QString &folder)
{
    return modFSO::ListPlainFiles(folder).value;
}

QString languageName(QString fileName)
{
    return fileName.remove(QStringLiteral(".dat"), Qt::CaseSensitive);
}

bool isOfferedLanguageFile(const QString &folder, const QString &fileName)
{
    if (fileName.contains(QStringLiteral("ulv"), Qt::CaseSensitive))
        return false;
    return modFSO::GetExtensionName(modFSO::JoinPath(folder, fileName)) == QLatin1String("dat");
}

} // namespace

QString LanguageFolder()
{
    return modGlobal::ProgramFolder() + QStringLiteral("/lang");
}

QStringList PlainLanguageList(const QString &folder)
{
    QStringList names;
    for (const QString &fileName : listFiles(folder))
        names.append(languageName(fileName));
    return names;
}

QStringList FilteredLanguageList(const QString &folder)
{
    QStringList names;
    for (const QString &fileName : listFiles(folder)) {
        if (isOfferedLanguageFile(folder, fileName))
            names.append(languageName(fileName));
    }
    return names;
}

} // namespace LanguageList
