#pragma once

#include "engine/TransferRun.h"

#include <QString>
#include <optional>

class MainWindowHost;
struct MainWindowState;

// The schedule of the main window: starting and stopping it, the minute countdown, the
// blinking, the interval list, the folder check and the redraw after a language change. The
// window's Start/Stop button and its two timers call the first three.
class Scheduler
{
public:
    explicit Scheduler(MainWindowHost &host);

    // Starts the schedule, or stops it; while a transfer runs, asks it to stop instead.
    void toggleSchedule();
    // One minute has passed: counts it down, and runs the transfer when the interval is used up.
    void countMinute();
    // The next phase of the Start/Stop button's blinking picture.
    void blink();
    void FillIntervalList();
    void CheckFolders();
    void SetMessages(bool languageChanged);

    // The transfer run; a call while a run is working does nothing.
    void RunTransfer();
    bool isRunActive() const { return m_run.isActive(); }
    TransferRun &transferRun() { return m_run; }

    // The minutes that an interval text gives once the minute words (" " + t5, then
    // " " + t4, ignoring case) are removed: a whole number from 1 to 540, or nothing.
    static std::optional<int> ReadInterval(
        const QString &text, const QString &minuteWord, const QString &minutesWord);

    static QString BlinkerOnIcon();
    static QString BlinkerOffIcon();

    static constexpr int MinimumInterval = 1;
    static constexpr int MaximumInterval = 540;

private:
    void start();
    void stop();
    void runDueTransfer();
    QString countingCaption(int remaining) const;
    QString stateCaption(int id) const;

    MainWindowState &state();

    MainWindowHost &m_host;
    TransferRun m_run;
};
