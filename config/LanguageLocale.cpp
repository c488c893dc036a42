#include "config/LanguageLocale.h"

#include "config/modGlobal.h"

namespace LanguageLocale
{

namespace
{

bool names(const QString &candidate, const QString &wanted)
{
    return !candidate.isEmpty() && candidate.compare(wanted, Qt::CaseInsensitive) == 0;
}

QLocale lookUp(const QString &name)
{
    for (int value = QLocale::C + 1; value <= QLocale::LastLanguage; ++value) {
        const auto language = static_cast<QLocale::Language>(value);
        const QLocale locale(language);
        // An unknown language falls back to the C locale rather than to itself.
        if (locale.language() != language)
            continue;
        if (names(QLocale::languageToString(language), name) || names(locale.nativeLanguageName(), name))
            return locale;
    }
    return QLocale::c();
}

} // namespace

QLocale ForLanguage(const QString &languageName)
{
    // Start-up, every log line's prefix and each change of language ask for the same name.
    static QString cachedName;
    static QLocale cachedLocale = QLocale::c();
    const QString name = modGlobal::LanguageName(languageName);
    if (name != cachedName) {
        cachedLocale = name.isEmpty() ? QLocale::c() : lookUp(name);
        cachedName = name;
    }
    return cachedLocale;
}

QLocale ForDates(const QLocale &userLocale, const QString &languageName)
{
    if (userLocale.language() != QLocale::C)
        return userLocale;
    const QLocale language = ForLanguage(languageName);
    return language.language() == QLocale::C ? userLocale : language;
}

} // namespace LanguageLocale
