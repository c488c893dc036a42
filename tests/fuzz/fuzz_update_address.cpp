// Fuzz target for the update launcher's address building.
//
// Input: the argument text and the stored version, each ended by a backslash followed by any
// other character ("\\" stands for one backslash), then the stored language. A seed reads
// like
//     FR\ 3.01.00\ de
//
// Whatever the three texts hold, the address is a valid URL on the maker's site, under
// "lite/", with exactly four path segments (lite, the language folder, update, the page), no
// query and no fragment; the folder and the page name each carry their text whole.
#include "updater/modUpdate.h"

#include <QByteArrayList>
#include <QString>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace
{

constexpr size_t MaxTextBytes = 256;

void require(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz_update_address: %s\n", what);
    std::abort();
}

// A URL holds UTF-8: text that UTF-8 cannot carry (a lone surrogate) arrives replaced.
QString asCarried(const QString &text)
{
    return QString::fromUtf8(text.toUtf8());
}

QString expectedFolder(const QString &argumentText, const modUpdate::StoredValues &values)
{
    const QString folder
        = argumentText.isEmpty() ? values.language.left(2).toLower() : argumentText.toLower();
    // A dot segment would lead out of the update folder once a browser resolves it.
    if (folder == QLatin1String(".") || folder == QLatin1String(".."))
        return QString::fromLatin1(modUpdate::DefaultLanguage);
    return asCarried(folder);
}

QString expectedPage(const QString &argumentText, const modUpdate::StoredValues &values)
{
    const QString name = argumentText.isEmpty() ? values.version : values.language;
    return asCarried(QStringLiteral("QZL_") + name + QStringLiteral(".htm"));
}

void requireSettled(const QString &language, const modUpdate::StoredValues &values)
{
    require(!values.version.isEmpty() && !values.language.isEmpty(), "an empty value was not replaced");
    if (language.size() > 2)
        require(values.language.size() == 2, "a long language was not cut to two characters");
    else if (!language.isEmpty())
        require(values.language == language, "a short language was changed");
}

void requireOnSite(const QUrl &address)
{
    const QUrl root(QString::fromLatin1(modUpdate::SiteRoot));
    require(address.isValid(), "the address is not a valid URL");
    require(address.scheme() == root.scheme() && address.host() == root.host(), "the address left the site");
    require(address.port() == -1 && address.userInfo().isEmpty(), "the address gained a port or a user");
    require(!address.hasQuery() && !address.hasFragment(), "the address gained a query or a fragment");
    const QString text = address.toString(QUrl::FullyEncoded);
    require(text.startsWith(QString::fromLatin1(modUpdate::SiteRoot) + QStringLiteral("lite/")),
        "the address is not under lite/");
    require(QUrl(text, QUrl::StrictMode) == address, "the address does not parse back to itself");
}

// Browsers take "." and ".." as steps in the path, also when a dot is written as %2E.
// (QUrl's own NormalizePathSegments is no judge here: it also drops segments such as ".n".)
bool isDotSegment(const QByteArray &segment)
{
    const QByteArray dots = segment.toLower().replace("%2e", ".");
    return dots == "." || dots == "..";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString argumentText = QString::fromStdString(input.ConsumeRandomLengthString(MaxTextBytes));
    const QString version = QString::fromStdString(input.ConsumeRandomLengthString(MaxTextBytes));
    const QString language = QString::fromStdString(input.ConsumeRemainingBytesAsString());

    const modUpdate::StoredValues values = modUpdate::SettleValues(version, language);
    requireSettled(language, values);
    const QUrl address = modUpdate::UpdateAddress(argumentText, values);
    requireOnSite(address);

    const QByteArrayList segments = address.path(QUrl::FullyEncoded).toLatin1().split('/');
    require(segments.size() == 5 && segments[0].isEmpty(), "the path does not have four segments");
    require(segments[1] == "lite" && segments[3] == "update", "the fixed segments moved");
    require(!isDotSegment(segments[2]) && !isDotSegment(segments[4]), "the path holds a dot segment");
    require(QUrl::fromPercentEncoding(segments[2]) == expectedFolder(argumentText, values),
        "the language folder does not carry its text whole");
    require(QUrl::fromPercentEncoding(segments[4]) == expectedPage(argumentText, values),
        "the page name does not carry its text whole");
    return 0;
}
