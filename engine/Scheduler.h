#pragma once

#include "config/FrmMainTexts.h"
#include "engine/ArrivalWatcher.h"
#include "engine/LogFile.h"
#include "engine/TransferRun.h"
#include "fs/SuspendClock.h"

#include <QString>
#include <memory>
#include <optional>

class ActivityLog;
class ScheduleWindow;

// The schedule of the main window: starting and stopping it, the minute countdown, the
// blinking, the interval list, the folder check and the redraw after a language change. The
// window's Start/Stop button and its two timers call the first three. The schedule's state
// (started, the minutes counted, the interval in use) is its own; the window only shows it.
//
// The countdown reads a clock that goes on while the machine sleeps (the minute tick only
// says when to look), so a run that came due during a sleep follows the first tick after it.
// While started with RunOnArrival, files that arrive in the source folder start a run too.
// Only one run works at a time: a run that comes due meanwhile, or files that arrive, follow
// it. The schedule also keeps the log file, which gets the log's final lines.
class Scheduler
{
public:
    Scheduler(ScheduleWindow &window, ActivityLog &log, const FrmMainTexts::Table &texts);
    ~Scheduler();

    // Starts the schedule, or stops it; while a transfer runs, asks it to stop instead.
    void toggleSchedule();
    // One minute has passed: counts it down, and runs the transfer when the interval is used up.
    void countMinute();
    // The next phase of the Start/Stop button's blinking picture.
    void blink();
    void FillIntervalList();
    void CheckFolders();
    void SetMessages(bool languageChanged);

    // The transfer run, then what came due meanwhile; a call while a run is working does nothing.
    void RunTransfer();
    // Asks the working run to stop after its file. What came due meanwhile waits for the next
    // minute tick or arrival.
    void cancelRun();
    bool isRunActive() const { return m_run.isActive(); }
    TransferRun &transferRun() { return m_run; }

    bool isStarted() const { return m_started; }
    // Whole minutes (the nearest) since Start or since the last timed run, and the interval in use.
    int elapsedMinutes() const;
    int intervalMinutes() const { return m_intervalMinutes; }

    // The countdown's clock, SuspendClock::nowMs unless a test gives another.
    void setClock(SuspendClock::Clock clock) { m_clock = std::move(clock); }
    LogFile &logFile() { return m_logFile; }
    ArrivalWatcher &arrivalWatcher() { return m_watcher; }

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
    int remainingMinutes() const { return m_intervalMinutes - elapsedMinutes(); }
    void runOnce();
    void runWhatCameDue();
    void runDueTransfer();
    void runForArrivals();
    void filesArrived();
    void followArrivals();
    void logFileFailed(const QString &reason);
    void reportLogFileTrouble();
    void showCountdown();
    QString countingCaption(int remaining) const;
    QString stateCaption(FrmMainTexts::TextId id) const;
    QString text(FrmMainTexts::TextId id) const { return m_texts.text(id); }

    ScheduleWindow &m_window;
    ActivityLog &m_log;
    const FrmMainTexts::Table &m_texts;
    bool m_started = false;
    qint32 m_intervalMinutes = 0;
    // 0, 1 or 2: the phase of the Start/Stop button's blinking.
    qint32 m_blinkPhase = 0;
    SuspendClock::Clock m_clock;
    // When the countdown began: Start, or the end of the last timed run.
    qint64 m_periodStartMs = 0;
    LogFile m_logFile;
    // What the log file could not do, told once a run has ended.
    std::optional<QString> m_logFileTrouble;
    ArrivalWatcher m_watcher;
    // Files arrived while a run worked.
    bool m_arrivalWaiting = false;
    // The last run was cancelled.
    bool m_runCancelled = false;
    TransferRun m_run;
};
