#pragma once

#include <QString>

// Program-wide values: the paths that start-up settles and the fixed texts of the product.
namespace modGlobal
{

inline constexpr const char *ProductName = "Tessaro Lite";
inline constexpr const char *VersionText = "3.01.00";
inline constexpr const char *MakerName = "Ulvenor";
inline constexpr const char *SiteRoot = "https://www.ulvenor.example/";
inline constexpr const char *HelpPageUrl = "https://www.ulvenor.example/lite/help/index.html";
inline constexpr const char *SupportAddress = "support@ulvenor.example";
// The maker's postal address for the header of the settings file (a made-up place).
inline constexpr const char *MakerStreet = "Nowhere Lane 0";
inline constexpr const char *MakerTown = "00000 Examplestead";
inline constexpr const char *MakerCountry = "Neverland";
inline constexpr const char *SettingsFileName = "Tessaro.ini";
// The installed desktop entry (packaging/, without ".desktop") and its icon: the desktop finds
// the program's name and icon by them, for its windows and its notifications.
inline constexpr const char *DesktopEntryName = "example.ulvenor.TessaroLite";
inline constexpr const char *IconName = "tessaro-lite";

// Settled by start-up (Main) and changed by the language dialogs.
extern QString SettingsFolder;
extern QString SettingsFilePath;
extern QString LanguageFilePath;
extern QString CurrentLanguage;

// The folder of the running program file, without a trailing separator. Tests point it at
// the build folder with SetProgramFolder.
QString ProgramFolder();
void SetProgramFolder(const QString &folder);

// A language name as typed or stored, without the blanks at its ends: they may come with a
// typed name, but never belong to the name of its file.
QString LanguageName(const QString &text);

// ProgramFolder() + "/lang/" + LanguageName(name) + ".dat"
QString LanguageFileFor(const QString &languageName);

} // namespace modGlobal
