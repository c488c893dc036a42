#pragma once

#include <QString>
#include <QStringList>

// What the schedule and its transfer runs need of the window that shows them, in their own
// words: what to transfer and which interval, and what to show. The main window implements
// it; tests and the benchmarks implement it without widgets. Every piece of the engine's
// state stays in the engine; the window only shows what it is told.
class ScheduleWindow
{
public:
    // What a run transfers. The run reads it once, when it begins: the inputs stay locked
    // while it works.
    struct TransferRequest {
        QString sourceFolder;
        QString destinationFolder;
        bool move = false;
        bool overwrite = false;
    };

    // What a run that has ended tells: when it ended (as the log writes the moment), how
    // many files it could not transfer, how many error lines it wrote, and the first of them
    // without its "Error: " (empty when there was none).
    struct RunReport {
        QString endedAt;
        int failedFiles = 0;
        int errorLines = 0;
        QString firstError;
    };

    virtual ~ScheduleWindow() = default;

    virtual TransferRequest transferRequest() const = 0;
    // The interval as the user chose or typed it, such as "15 minutes".
    virtual QString intervalText() const = 0;

    virtual void showCaption(const QString &caption) = 0;
    // The Start/Stop button: its text, its picture (an icon file; empty text for none; a file
    // that cannot be loaded leaves the picture as it is), and whether it can be pressed.
    virtual void showStartStop(const QString &text) = 0;
    virtual void showStartStopPicture(const QString &iconFile) = 0;
    virtual void allowStartStop(bool allowed) = 0;
    // Whether each folder exists; a missing one is shown in red.
    virtual void showFolders(bool sourceExists, bool destinationExists) = 0;
    // A started schedule keeps the folders, the interval, the action and Overwrite as they are.
    virtual void lockScheduleInputs(bool locked) = 0;
    // A run keeps the folders, the interval, Overwrite, the log switch and Quit as they are.
    virtual void lockRunInputs(bool locked) = 0;
    // The intervals on offer, the one shown, and a shown one that Start refused (until the
    // user changes it).
    virtual void offerIntervals(const QStringList &choices) = 0;
    virtual void showInterval(const QString &text) = 0;
    virtual void showIntervalRefused() = 0;
    // The minute tick and the blinking tick of a started schedule.
    virtual void runMinuteTimer(bool on) = 0;
    virtual void runBlinkTimer(bool on) = 0;
    virtual void showBusy(bool busy) = 0;
    // Once at the end of every run, also of one that found nothing to do.
    virtual void showRunEnded(const RunReport &report) = 0;
    // Lets pending window events run: clicks, timer ticks, repaints.
    virtual void letEventsRun() = 0;
};
