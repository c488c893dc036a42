#pragma once

#include <QString>

// What the main window lends to the loading and saving of its transfer options: its
// folder fields, action options, log and overwrite boxes and interval list. The window
// implements it; tests use a stand-in.
class SettingsHost
{
public:
    virtual ~SettingsHost() = default;

    // Refills the interval list and selects the stored interval (FillIntervalList).
    virtual void fillIntervalList() = 0;
    // The current text of the interval list, such as "15 minutes".
    virtual QString intervalText() const = 0;
    // The minute words of the interval list: singular (t4) and plural (t5).
    virtual QString minuteWordSingular() const = 0;
    virtual QString minuteWordPlural() const = 0;

    virtual QString sourceFolderText() const = 0;
    virtual void setSourceFolderText(const QString &text) = 0;
    virtual QString destinationFolderText() const = 0;
    virtual void setDestinationFolderText(const QString &text) = 0;

    // The option pair: "Move files" (dxOption1 index 0) and "Copy files" (index 1).
    virtual bool moveOptionOn() const = 0;
    virtual void setMoveOption(bool on) = 0;
    virtual void setCopyOption(bool on) = 0;

    // The "Show log" box (dxCheck1) and the two layouts it switches between.
    virtual bool showLogChecked() const = 0;
    virtual void setShowLogChecked(bool checked) = 0;
    virtual void ShowLogArea() = 0;
    virtual void HideLogArea() = 0;

    // The "Overwrite existing files" box (dxCheck2).
    virtual bool overwriteChecked() const = 0;
    virtual void setOverwriteChecked(bool checked) = 0;
};

// The main window's LoadSettings and SaveSettings: the transfer options between the
// settings file and the window.
namespace WindowSettings
{

// Values that the window does not know (another case, another word) leave its controls
// as they are.
void LoadSettings(SettingsHost &host);
void SaveSettings(const SettingsHost &host);

// The number of an interval entry: the entry without " " + plural word and then without
// " " + singular word, both in any case ("15 Minutes" gives "15").
QString IntervalValue(const QString &entry, const QString &singular, const QString &plural);

} // namespace WindowSettings
