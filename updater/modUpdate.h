#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <array>

// What the update launcher decides before and after its question: the values it settles
// from the store, the question in German or English and the address of the update page.
namespace modUpdate
{

// The maker's site; the same root as the main program's help page.
inline constexpr const char *SiteRoot = "https://www.ulvenor.example/";
inline constexpr const char *Edition = "Lite";
inline constexpr const char *KeyPath = "Software\\Ulvenor\\Tessaro\\Lite";
inline constexpr const char *PageTag = "QZL";
inline constexpr const char *MissingVersion = "NotFound";
inline constexpr const char *DefaultLanguage = "en";

using MessageLines = std::array<QString, 3>;

struct StoredValues {
    QString version;
    QString language;
};

// The arguments after the program name, joined by single blanks.
QString CommandLineText(const QStringList &arguments);

// A language longer than two characters is cut to two and lower-cased; a shorter one is
// kept as it is. Then empty values get their defaults.
StoredValues SettleValues(const QString &version, const QString &language);

// Exact, case-sensitive: "de" and "en" have texts, every other code three empty lines.
MessageLines QuestionLines(const QString &language);
QString QuestionText(const MessageLines &lines);
QString QuestionTitle();

// The update page: with an argument text the argument names the language folder and the
// language names the page; without one the language names the folder and the version the
// page. Each part stays a single path segment, whatever characters it holds.
QUrl UpdateAddress(const QString &argumentText, const StoredValues &values);

} // namespace modUpdate
