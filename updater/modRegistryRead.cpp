#include "updater/modRegistryRead.h"

#include <QSettings>
#include <QStringList>

namespace modRegistryRead
{

namespace
{

struct StoreLocation {
    QString organization;
    QString application;
    QString group;
};

// "Software\<organization>\<application>[\<group>...]"; anything else names no key.
bool locate(const QString &keyPath, StoreLocation &location)
{
    const QStringList parts = keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.size() < 3 || parts.first().compare(QLatin1String("Software"), Qt::CaseInsensitive) != 0)
        return false;
    location.organization = parts.at(1);
    location.application = parts.at(2);
    location.group = parts.mid(3).join(QLatin1Char('/'));
    return true;
}

QString textBeforeNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

QString firstTwoBytesAsNumber(const QByteArray &data)
{
    const auto low = static_cast<quint8>(data.size() > 0 ? data.at(0) : 0);
    const auto high = static_cast<quint8>(data.size() > 1 ? data.at(1) : 0);
    return QString::number(static_cast<qint16>(static_cast<quint16>(low | (high << 8))));
}

} // namespace

RegistryKey::RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey &&other) noexcept = default;
RegistryKey &RegistryKey::operator=(RegistryKey &&other) noexcept = default;
RegistryKey::~RegistryKey() = default;

RegistryKey RegistryKey::open(RootKey root, const QString &keyPath)
{
    Q_UNUSED(root);
    RegistryKey key;
    StoreLocation location;
    if (!locate(keyPath, location))
        return key;
    auto settings = std::make_unique<QSettings>(
        QSettings::NativeFormat, QSettings::UserScope, location.organization, location.application);
    // The current user's values only, as a per-user registry key would give them; the
    // system-wide and organization-wide fallbacks of QSettings are not part of that key.
    settings->setFallbacksEnabled(false);
    if (settings->status() != QSettings::NoError)
        return key;
    if (!location.group.isEmpty())
        settings->beginGroup(location.group);
    key.settings = std::move(settings);
    return key;
}

bool RegistryKey::isOpen() const
{
    return settings != nullptr;
}

QVariant RegistryKey::value(const QString &valueName) const
{
    return isOpen() ? settings->value(valueName) : QVariant();
}

void RegistryKey::close()
{
    settings.reset();
}

QString QueryValueText(const RegistryKey &key, const QString &valueName)
{
    const QVariant value = key.value(valueName);
    switch (value.typeId()) {
    case QMetaType::QString:
        return textBeforeNul(value.toString());
    case QMetaType::QByteArray:
        return firstTwoBytesAsNumber(value.toByteArray());
    default:
        return QString();
    }
}

QString ReadRegistryValue(RootKey root, const QString &keyPath, const QString &valueName)
{
    RegistryKey key = RegistryKey::open(root, keyPath);
    const QString text = QueryValueText(key, valueName);
    key.close();
    return text;
}

} // namespace modRegistryRead
