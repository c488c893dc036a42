#pragma once

#include <QString>
#include <limits>

// The settings file and the language files: INI text read and written key by key.
namespace modIniHandler
{

// The size that reads a value whole, however long it is.
inline constexpr int WholeValue = std::numeric_limits<int>::max();

// A setting of SettingsFilePath; the default for a missing file, section or key; cut to
// size - 1 characters.
QString ReadSetting(const QString &section, const QString &key, const QString &defaultValue, int size = 256);
void WriteSetting(const QString &section, const QString &key, const QString &value);

// A text of LanguageFilePath, read the same way.
QString ReadLanguageText(
    const QString &section, const QString &key, const QString &defaultValue = QString(), int size = 256);

// Writes the default settings file "Tessaro.ini" into the folder.
void WriteDefaultSettings(const QString &folder);

// The INI reader and writer behind the operations above, on any file.
QString ReadIniValue(const QString &filePath, const QString &section, const QString &key,
    const QString &defaultValue, int size = 256);
// Replaces the file atomically, one writer of its folder at a time, so that writes of
// different keys from two processes never undo each other; false when it could not be written.
bool WriteIniValue(const QString &filePath, const QString &section, const QString &key, const QString &value);

} // namespace modIniHandler
