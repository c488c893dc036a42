#include "config/modGlobal.h"

#include <QCoreApplication>

namespace modGlobal
{

QString SettingsFolder;
QString SettingsFilePath;
QString LanguageFilePath;
QString CurrentLanguage;

namespace
{

QString &programFolderOverride()
{
    static QString folder;
    return folder;
}

} // namespace

QString ProgramFolder()
{
    const QString &folder = programFolderOverride();
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

void SetProgramFolder(const QString &folder)
{
    programFolderOverride() = folder;
}

QString LanguageFileFor(const QString &languageName)
{
    // A stored name may keep the blanks it was typed with; they never belong to the file name.
    return ProgramFolder() + QStringLiteral("/lang/") + languageName.trimmed() + QStringLiteral(".dat");
}

} // namespace modGlobal
