#pragma once

#include <QString>
#include <optional>

// The per-user stores outside the settings file: the registry key that the update launcher
// reads, and the store of named application settings that keeps the window colour.
//
// Both live in QSettings' native store. A registry key path "Software\Maker\App\Group..."
// becomes organization "Maker", application "App" and the group "Group/...", so that
// Software\Ulvenor\Tessaro\Lite is $XDG_CONFIG_HOME/Ulvenor/Tessaro.conf, group [Lite].
namespace modRegistry
{

enum class Hive { CurrentUser, LocalMachine };

inline constexpr const char *TessaroRegistryKey = "Software\\Ulvenor\\Tessaro\\Lite";
// The application name of the colour setting: the program's file name.
inline constexpr const char *SettingsAppName = "TessaroLite";
inline constexpr const char *ButtonFaceColor = "&H8000000F";
inline constexpr const char *WhiteColor = "&H00FFFFFF";

// Creates the key when it is missing and sets the named value to data. Failures are
// not reported.
void WriteRegistryString(Hive hive, const QString &keyPath, const QString &valueName, const QString &data);
// The named value as text; defaultValue when the key or value is missing.
QString ReadRegistryString(
    Hive hive, const QString &keyPath, const QString &valueName, const QString &defaultValue = QString());

// The named application settings of the current user: application, section, key.
void SaveSetting(const QString &appName, const QString &section, const QString &key, const QString &value);
QString GetSetting(const QString &appName, const QString &section, const QString &key,
    const QString &defaultValue = QString());

// A colour text as stored ("&H8000000F", "&H00FFFFFF" or a decimal number) as the 32-bit
// signed number it stands for; absent when it is no number or does not fit 32 bits.
std::optional<qint32> ColorValueFromText(const QString &text);

// Stores the window colour chosen with F11/F12 (ButtonFaceColor or WhiteColor).
void StoreBackColor(const QString &colorText);

// The window colour chosen with F11/F12: absent while the stored text is shorter than two
// characters (nothing chosen yet) or cannot be read as a colour.
std::optional<qint32> ReadBackColor();

} // namespace modRegistry
