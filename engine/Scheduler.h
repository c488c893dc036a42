#pragma once

#include "config/FrmMainTexts.h"
#include "engine/TransferRun.h"

#include <QString>
#include <optional>

class ActivityLog;
class ScheduleWindow;

// The schedule of the main window: starting and stopping it, the minute countdown, the
// blinking, the interval list, the folder check and the redraw after a language change. The
// window's Start/Stop button and its two timers call the first three. The schedule's state
// (started, the minutes counted, the interval in use) is its own; the window only shows it.
class Scheduler
{
public:
    Scheduler(ScheduleWindow &window, ActivityLog &log, const FrmMainTexts::Table &texts);

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

    bool isStarted() const { return m_started; }
    // Minute ticks counted since Start or since the last timed run, and the interval in use.
    int elapsedMinutes() const { return m_elapsedMinutes; }
    int intervalMinutes() const { return m_intervalMinutes; }

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
    QString stateCaption(FrmMainTexts::TextId id) const;
    QString text(FrmMainTexts::TextId id) const { return m_texts.text(id); }

    ScheduleWindow &m_window;
    ActivityLog &m_log;
    const FrmMainTexts::Table &m_texts;
    bool m_started = false;
    qint16 m_elapsedMinutes = 0;
    qint32 m_intervalMinutes = 0;
    // 0, 1 or 2: the phase of the Start/Stop button's blinking.
    qint32 m_blinkPhase = 0;
    TransferRun m_run;
};
