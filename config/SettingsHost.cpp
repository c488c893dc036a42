#include "config/SettingsHost.h"

#include "config/modIniHandler.h"

namespace WindowSettings
{

namespace
{

const QString Options = QStringLiteral("Options");

QString readOption(const char *key, const QString &defaultValue)
{
    return modIniHandler::ReadSetting(Options, QLatin1String(key), defaultValue, 256);
}

// The folders are read whole: a path cut at 255 characters names another folder (its
// parent, at worst), which a move would then empty.
QString readFolder(const char *key)
{
    return modIniHandler::ReadSetting(Options, QLatin1String(key), QString(), modIniHandler::WholeValue);
}

void writeOption(const char *key, const QString &value)
{
    modIniHandler::WriteSetting(Options, QLatin1String(key), value);
}

QString switchText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

void loadAction(SettingsHost &host)
{
    const QString action = readOption("Action", QStringLiteral("Copy"));
    if (action == QLatin1String("Copy")) {
        host.setMoveOption(false);
        host.setCopyOption(true);
    } else if (action == QLatin1String("Move")) {
        host.setMoveOption(true);
        host.setCopyOption(false);
    }
}

void loadShowLog(SettingsHost &host)
{
    const QString showLog = readOption("ShowLog", QStringLiteral("0"));
    if (showLog == QLatin1String("0")) {
        host.setShowLogChecked(false);
        host.HideLogArea();
    } else if (showLog == QLatin1String("1")) {
        host.setShowLogChecked(true);
        host.ShowLogArea();
    }
}

void loadOverwrite(SettingsHost &host)
{
    const QString overwrite = readOption("Overwrite", QStringLiteral("0"));
    if (overwrite == QLatin1String("0"))
        host.setOverwriteChecked(false);
    else if (overwrite == QLatin1String("1"))
        host.setOverwriteChecked(true);
}

} // namespace

void LoadSettings(SettingsHost &host)
{
    host.fillIntervalList();
    host.setSourceFolderText(readFolder("From"));
    host.setDestinationFolderText(readFolder("To"));
    loadAction(host);
    loadShowLog(host);
    loadOverwrite(host);
}

void SaveSettings(const SettingsHost &host)
{
    writeOption("From", host.sourceFolderText());
    writeOption("To", host.destinationFolderText());
    writeOption(
        "Interval", IntervalValue(host.intervalText(), host.minuteWordSingular(), host.minuteWordPlural()));
    writeOption("Action", host.moveOptionOn() ? QStringLiteral("Move") : QStringLiteral("Copy"));
    writeOption("ShowLog", switchText(host.showLogChecked()));
    writeOption("Overwrite", switchText(host.overwriteChecked()));
}

QString IntervalValue(const QString &entry, const QString &singular, const QString &plural)
{
    QString value = entry;
    value.remove(QLatin1Char(' ') + plural, Qt::CaseInsensitive);
    value.remove(QLatin1Char(' ') + singular, Qt::CaseInsensitive);
    return value;
}

} // namespace WindowSettings
