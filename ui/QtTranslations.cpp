#include "ui/QtTranslations.h"

#include "config/LanguageLocale.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace QtTranslations
{

namespace
{

std::unique_ptr<QTranslator> &installed()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

} // namespace

bool UseLanguage(const QString &languageName)
{
    std::unique_ptr<QTranslator> &current = installed();
    if (current) {
        QCoreApplication::removeTranslator(current.get());
        current.reset();
    }
    const QLocale locale = LanguageLocale::ForLanguage(languageName);
    if (locale.language() == QLocale::C)
        return false;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    current = std::move(translator);
    return true;
}

} // namespace QtTranslations
