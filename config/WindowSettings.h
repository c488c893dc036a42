#pragma once

#include <QString>
#include <optional>

// The transfer options that the main window loads from the settings file when it opens and
// saves when it closes (its LoadSettings and SaveSettings); the window maps them to its
// controls.
namespace WindowSettings
{

struct Values {
    QString sourceFolder; // From, read whole
    QString destinationFolder; // To, read whole
    // Interval: the number of minutes as text. The window's interval list reads it itself
    // when it is filled; Save writes what the list holds without its minute word.
    QString interval;
    // Action, ShowLog, Overwrite: absent when the stored word is none of the two the window
    // knows (another case, another word); the window then leaves its control as it is.
    std::optional<bool> move;
    std::optional<bool> showLog;
    std::optional<bool> overwrite;
};

Values Load();
// Writes From, To, Interval, Action, ShowLog and Overwrite, in this order; an absent switch
// is written as off ("Copy", "0").
void Save(const Values &values);

// The number of an interval entry: the entry without " " + plural word and then without
// " " + singular word, both in any case ("15 Minutes" gives "15").
QString IntervalValue(const QString &entry, const QString &singular, const QString &plural);

} // namespace WindowSettings
