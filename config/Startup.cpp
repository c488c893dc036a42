#include "config/Startup.h"

#include "config/Settings.h"
#include "config/modGlobal.h"
#include "config/modIniHandler.h"
#include "config/modRegistry.h"
#include "fs/clsSysInfo.h"
#include "fs/modFSO.h"

namespace Startup
{

namespace
{

QString ensureSubfolder(const QString &parent, const QString &name)
{
    QString folder = modFSO::JoinPath(parent, name);
    if (!modFSO::FolderExists(folder))
        modFSO::CreateFolder(folder);
    return folder;
}

QString settingsFileIn(const QString &folder)
{
    return folder + QLatin1Char('/') + QLatin1String(modGlobal::SettingsFileName);
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

// The language dialog stores the name as typed, blanks at its ends included, but they never
// belong to the name (a blank-only name is no choice at all).
void settleLanguage(StartupHost &host)
{
    modGlobal::CurrentLanguage = Settings::chosenLanguage();
    if (modGlobal::CurrentLanguage.isEmpty()) {
        host.showLanguageDialogModal();
        modGlobal::CurrentLanguage = Settings::chosenLanguage();
    }
    UseStoredLanguage();
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

void UseStoredLanguage()
{
    modGlobal::LanguageFilePath = modGlobal::LanguageFileFor(Settings::languageInUse());
    modGlobal::CurrentLanguage = Settings::languageInUse();
}

QString LanguageCode(const QString &languageName)
{
    return languageName.left(2).toLower();
}

} // namespace Startup
