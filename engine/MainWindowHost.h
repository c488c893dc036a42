#pragma once

#include "engine/MainWindowState.h"
#include "fs/modSize.h"

#include <QString>
#include <QStringList>

class ActivityLog;

// What the transfer run and the scheduler need of the main window. The engine holds the
// logic (engine/TransferRun, engine/Scheduler); the window holds the controls and implements
// this interface. Tests and the bench implement it without widgets.
//
// Every write is a plain setter: the engine has already decided the texts, so the window
// only puts them on its controls.
class MainWindowHost
{
public:
    enum class FolderField { Source, Destination }; // dxText1, dxText2
    enum class TextColor { Black, Red }; // colour numbers 0 and 255

    virtual ~MainWindowHost() = default;

    // ---- state and log -----------------------------------------------------------------
    virtual MainWindowState &state() = 0;
    // The model that List1 shows.
    virtual ActivityLog &activityLog() = 0;

    // ---- reads ---------------------------------------------------------------------------
    virtual QString sourceFolderText() const = 0; // dxText1
    virtual QString destinationFolderText() const = 0; // dxText2
    // dxOption1 index 0 ("move") is on.
    virtual bool moveSelected() const = 0;
    // dxCheck2 ("overwrite existing files") is ticked.
    virtual bool overwriteChecked() const = 0;
    virtual QString intervalText() const = 0; // the text of dxCombo1

    // ---- writes --------------------------------------------------------------------------
    virtual void setWindowCaption(const QString &caption) = 0;
    // Enables or disables dxText1, dxText2, cmdFrom, cmdTo, cmdQuit, dxCombo1, dxCheck1 and
    // dxCheck2 together; nothing else. (The engine's SetRunControls sets the captions.)
    virtual void setRunInputsEnabled(bool enabled) = 0;
    virtual void setStopStartCaption(const QString &caption) = 0;
    // An icon file to show on cmdStopStart, or empty text to remove the picture. A file that
    // cannot be loaded leaves the picture as it was.
    virtual void setStopStartPicture(const QString &iconFile) = 0;
    virtual void setStopStartEnabled(bool enabled) = 0;
    virtual void setFolderTextColor(FolderField field, TextColor color) = 0;
    // dxText1, dxText2 and dxCombo1 read-only unless unlocked; cmdFrom, cmdTo, both dxOption1
    // buttons and dxCheck2 enabled exactly when unlocked. dxCheck1 is not touched.
    virtual void SetScheduleControls(bool unlocked) = 0;
    // Replaces all entries of dxCombo1.
    virtual void setIntervalEntries(const QStringList &entries) = 0;
    virtual void setIntervalText(const QString &text) = 0;
    // An interval text that Start refused is shown in red; the window turns it back to
    // black by itself as soon as the text of dxCombo1 changes.
    virtual void setIntervalTextRed(bool red) = 0;
    virtual void setTimer1Enabled(bool enabled) = 0;
    virtual void setTimer2Enabled(bool enabled) = 0;
    virtual void setBusyPointer(bool busy) = 0;
    // Lets pending window events run (clicks, timer ticks, repaints).
    virtual void processEvents() = 0;

    // ---- seams ---------------------------------------------------------------------------
    // Bytes free for the user on the file system of the folder, or why it cannot be asked.
    virtual modFSO::FsResult<qint64> diskFree(const QString &folder) { return modSize::FreeSpace(folder); }
};
