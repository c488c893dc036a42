#include "updater/modUpdate.h"

namespace modUpdate
{

namespace
{

constexpr qsizetype LanguageCodeLength = 2;

// Percent-encodes everything but the unreserved characters, so that "/", "?", "#", "%"
// and blanks cannot change the address around the segment.
QString encodedSegment(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// Browsers resolve "." and ".." (even percent-encoded) as steps in the path, which would
// lead out of the update folder; such a folder falls back to the default language.
QString languageFolder(const QString &text)
{
    const QString folder = text.toLower();
    if (folder == QLatin1String(".") || folder == QLatin1String(".."))
        return QString::fromLatin1(DefaultLanguage);
    return folder;
}

QString pageName(const QString &name)
{
    return QString::fromLatin1(PageTag) + QLatin1Char('_') + name + QLatin1String(".htm");
}

QUrl pageAddress(const QString &folder, const QString &name)
{
    const QString edition = QString::fromLatin1(Edition).toLower();
    const QString address = QString::fromLatin1(SiteRoot) + edition + QLatin1Char('/')
        + encodedSegment(languageFolder(folder)) + QLatin1String("/update/") + encodedSegment(pageName(name));
    return QUrl(address, QUrl::StrictMode);
}

} // namespace

QString CommandLineText(const QStringList &arguments)
{
    return arguments.mid(1).join(QLatin1Char(' '));
}

StoredValues SettleValues(const QString &version, const QString &language)
{
    StoredValues values {version, language};
    // Lowered first: a letter may lower into two ("İ" into "i" and a dot above).
    if (values.language.size() > LanguageCodeLength)
        values.language = values.language.toLower().left(LanguageCodeLength);
    if (values.version.isEmpty())
        values.version = QString::fromLatin1(MissingVersion);
    if (values.language.isEmpty())
        values.language = QString::fromLatin1(DefaultLanguage);
    return values;
}

MessageLines QuestionLines(const QString &language)
{
    const QString edition = QString::fromLatin1(Edition);
    if (language == QLatin1String("de"))
        return {QStringLiteral("Dies wird Ihren Browser öffnen um die Tessaro ") + edition
                + QStringLiteral(" Update Website zu besuchen!"),
            QStringLiteral("Hierzu benötigen Sie eine aktive Internetverbindung."),
            QStringLiteral("Möchten Sie jetzt Online gehen?")};
    if (language == QLatin1String("en"))
        return {QStringLiteral("This will open your browser to visit the Tessaro ") + edition
                + QStringLiteral(" update website!"),
            QStringLiteral("An active internet connection is required."),
            QStringLiteral("Do you want to go online now?")};
    return {};
}

QString QuestionText(const MessageLines &lines)
{
    const QString crlf = QStringLiteral("\r\n");
    return lines[0] + crlf + lines[1] + crlf + crlf + lines[2];
}

QString QuestionTitle()
{
    return QStringLiteral("Tessaro ") + QString::fromLatin1(Edition) + QStringLiteral(" Update");
}

QUrl UpdateAddress(const QString &argumentText, const StoredValues &values)
{
    if (!argumentText.isEmpty())
        return pageAddress(argumentText, values.language);
    return pageAddress(values.language.left(LanguageCodeLength), values.version);
}

} // namespace modUpdate
