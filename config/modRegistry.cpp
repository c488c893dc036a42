#include "config/modRegistry.h"

#include <QSettings>
#include <QStringList>
#include <memory>

namespace modRegistry
{

namespace
{

const QString BackColorSection = QStringLiteral("Options");
const QString BackColorKey = QStringLiteral("BGColor");

QSettings::Scope scopeOf(Hive hive)
{
    return hive == Hive::LocalMachine ? QSettings::SystemScope : QSettings::UserScope;
}

// A fresh QSettings for every access: each object keeps its own view of the store, and a
// long-lived one would not see what another process (the update launcher) wrote.
std::unique_ptr<QSettings> openKey(Hive hive, const QString &keyPath)
{
    QStringList parts = keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (!parts.isEmpty() && parts.first().compare(QLatin1String("Software"), Qt::CaseInsensitive) == 0)
        parts.removeFirst();
    if (parts.isEmpty())
        return nullptr;
    const QString organization = parts.takeFirst();
    const QString application = parts.isEmpty() ? QString() : parts.takeFirst();
    auto settings
        = std::make_unique<QSettings>(QSettings::NativeFormat, scopeOf(hive), organization, application);
    if (!parts.isEmpty())
        settings->beginGroup(parts.join(QLatin1Char('/')));
    return settings;
}

std::unique_ptr<QSettings> openAppSettings(const QString &appName, const QString &section)
{
    auto settings = std::make_unique<QSettings>(
        QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ulvenor"), appName);
    settings->beginGroup(section);
    return settings;
}

std::optional<qint32> hexColorValue(const QString &digits)
{
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, 16);
    if (!ok || digits.size() > 8 || digits.startsWith(QLatin1Char('+'))
        || digits.startsWith(QLatin1Char('-')))
        return std::nullopt;
    return static_cast<qint32>(static_cast<quint32>(value));
}

} // namespace

void WriteRegistryString(Hive hive, const QString &keyPath, const QString &valueName, const QString &data)
{
    const auto key = openKey(hive, keyPath);
    if (!key)
        return;
    key->setValue(valueName, data);
    key->sync();
}

QString ReadRegistryString(
    Hive hive, const QString &keyPath, const QString &valueName, const QString &defaultValue)
{
    const auto key = openKey(hive, keyPath);
    return key ? key->value(valueName, defaultValue).toString() : defaultValue;
}

void SaveSetting(const QString &appName, const QString &section, const QString &key, const QString &value)
{
    const auto settings = openAppSettings(appName, section);
    settings->setValue(key, value);
    settings->sync();
}

QString GetSetting(
    const QString &appName, const QString &section, const QString &key, const QString &defaultValue)
{
    return openAppSettings(appName, section)->value(key, defaultValue).toString();
}

std::optional<qint32> ColorValueFromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1String("&H"), Qt::CaseInsensitive))
        return hexColorValue(trimmed.mid(2));
    bool ok = false;
    const qint32 value = trimmed.toInt(&ok, 10);
    return ok ? std::optional<qint32>(value) : std::nullopt;
}

void StoreBackColor(const QString &colorText)
{
    SaveSetting(QLatin1String(SettingsAppName), BackColorSection, BackColorKey, colorText);
}

std::optional<qint32> ReadBackColor()
{
    const QString text = GetSetting(QLatin1String(SettingsAppName), BackColorSection, BackColorKey);
    if (text.size() < 2)
        return std::nullopt;
    return ColorValueFromText(text);
}

} // namespace modRegistry
