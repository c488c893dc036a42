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

QString LanguageName(const QString &text)
{
    return text.trimmed();
}

QString LanguageFileFor(const QString &languageName)
{
    return ProgramFolder() + QStringLiteral("/lang/") + LanguageName(languageName) + QStringLiteral(".dat");
}

} // namespace modGlobal
