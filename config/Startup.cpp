#include "config/Startup.h"

#include "config/modGlobal.h"
#include "config/modIniHandler.h"
#include "config/modRegistry.h"
#include "fs/clsSysInfo.h"
#include "fs/modFSO.h"

namespace Startup
{

namespace
{

const QString Options = QStringLiteral("Options");
const QString LanguageKey = QStringLiteral("Language");

QString ensureSubfolder(const QString &parent, const QString &name)
{
    const QString folder = modFSO::JoinPath(parent, name);
    if (!modFSO::FolderExists(folder))
        modFSO::CreateFolder(folder);
    return folder;
}

QString settingsFileIn(const QString &folder)
{
    return folder + QLatin1Char('/') + QLatin1String(modGlobal::SettingsFileName);
}

// The language as stored; defaultValue only when the settings file has no Language line.
// The name is a file name: the language dialog stores it as typed, blanks at its ends
// included, but they never belong to the name (a blank-only name is no choice at all).
QString readLanguage(const QString &defaultValue)
{
    return modIniHandler::ReadSetting(Options, LanguageKey, defaultValue, 256).trimmed();
}

void prepareSettingsFile()
{
    const clsSysInfo sysInfo;
    QString folder = sysInfo.GetSpecialFolder(CSIDL_APPDATA);
    folder = ensureSubfolder(folder, QStringLiteral("Tessaro"));
    folder = ensureSubfolder(folder, QStringLiteral("Lite"));
    modGlobal::SettingsFolder = folder;
    if (!modFSO::FileExists(settingsFileIn(folder)))
        modIniHandler::WriteDefaultSettings(folder);
    modGlobal::SettingsFilePath = settingsFileIn(folder);
}

void settleLanguage(StartupHost &host)
{
    modGlobal::CurrentLanguage = readLanguage(QString());
    if (modGlobal::CurrentLanguage.isEmpty()) {
        host.showLanguageDialogModal();
        modGlobal::CurrentLanguage = readLanguage(QString());
    }
    const QString fallback = QStringLiteral("Deutsch");
    modGlobal::LanguageFilePath = modGlobal::LanguageFileFor(readLanguage(fallback));
    modGlobal::CurrentLanguage = readLanguage(fallback);
}

void recordForUpdater()
{
    const QString key = QLatin1String(modRegistry::TessaroRegistryKey);
    modRegistry::WriteRegistryString(modRegistry::Hive::CurrentUser, key, QStringLiteral("Version"),
        QLatin1String(modGlobal::VersionText));
    modRegistry::WriteRegistryString(modRegistry::Hive::CurrentUser, key, QStringLiteral("Language"),
        LanguageCode(modGlobal::CurrentLanguage));
}

} // namespace

void Main(StartupHost &host)
{
    prepareSettingsFile();
    settleLanguage(host);
    recordForUpdater();
    host.showMainWindow();
}

QString LanguageCode(const QString &languageName)
{
    return languageName.left(2).toLower();
}

} // namespace Startup
