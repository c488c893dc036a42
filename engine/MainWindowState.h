#pragma once

#include <QString>
#include <QStringList>

// The state of the main window that the transfer run and the scheduler share with it.
// The window owns one instance and clears it (default-constructs it) when it is created.
struct MainWindowState {
    // Texts of section frmMain: Texts[n] is text id tn, n from 0 to 38 (filled by LoadLanguage).
    QStringList Texts;
    // Texts t54 to t59 of section frmMain: Messages[0] is t54.
    QStringList Messages;

    // The schedule is started.
    bool Started = false;
    // A cancel of the running transfer was asked for; the run clears it when it acts on it.
    bool StopRequested = false;
    // The run is in its file loop.
    bool RunInProgress = false;

    // Minute ticks counted since Start or since the last timed run.
    qint16 ElapsedMinutes = 0;
    // The interval in use, in minutes.
    qint32 IntervalMinutes = 0;
    // 0, 1 or 2: the phase of the Start/Stop button's blinking.
    qint32 BlinkPhase = 0;

    // Text id tn, or empty text when it is not loaded.
    QString text(int id) const { return id >= 0 && id < Texts.size() ? Texts.at(id) : QString(); }
};
