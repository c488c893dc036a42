#include "config/WindowSettings.h"

#include "config/Settings.h"

namespace WindowSettings
{

Values Load()
{
    Values values;
    values.sourceFolder = Settings::read(Settings::SourceFolder);
    values.destinationFolder = Settings::read(Settings::DestinationFolder);
    values.interval = Settings::storedInterval();
    values.move = Settings::choice(Settings::ActionOption);
    values.showLog = Settings::choice(Settings::ShowLogBox);
    values.overwrite = Settings::choice(Settings::OverwriteBox);
    return values;
}

void Save(const Values &values)
{
    Settings::write(Settings::Key::From, values.sourceFolder);
    Settings::write(Settings::Key::To, values.destinationFolder);
    Settings::write(Settings::Key::Interval, values.interval);
    Settings::writeChoice(Settings::ActionOption, values.move.value_or(false));
    Settings::writeChoice(Settings::ShowLogBox, values.showLog.value_or(false));
    Settings::writeChoice(Settings::OverwriteBox, values.overwrite.value_or(false));
}

QString IntervalValue(const QString &entry, const QString &singular, const QString &plural)
{
    QString value = entry;
    value.remove(QLatin1Char(' ') + plural, Qt::CaseInsensitive);
    value.remove(QLatin1Char(' ') + singular, Qt::CaseInsensitive);
    return value;
}

} // namespace WindowSettings
