#include "config/LanguageList.h"

#include "config/modGlobal.h"
#include "fs/FsError.h"
#include "fs/modFSO.h"

namespace LanguageList
{

namespace
{

QStringList listFiles(const QString &folder)
{
    try {
        return modFSO::ListPlainFiles(folder);
    } catch (const modFSO::FsError &) {
        return {};
    }
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
