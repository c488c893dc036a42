#include "engine/Scheduler.h"

#include "config/FrmMainTexts.h"
#include "config/Settings.h"
#include "config/WindowSettings.h"
#include "config/modGlobal.h"
#include "engine/ActivityLog.h"
#include "engine/ScheduleWindow.h"
#include "fs/modFSO.h"

#include <QDir>
#include <algorithm>
#include <array>

namespace
{

using namespace FrmMainTexts;

// A folder typed relative to the working folder (such as "..") would name another folder
// depending on where the program was started from: only absolute folders are taken.
bool isUsableFolder(const QString &text)
{
    return QDir::isAbsolutePath(text) && modFSO::FolderExists(text);
}

// The intervals the list offers, in minutes.
constexpr std::array<int, 18> IntervalChoices
    = {1, 2, 3, 5, 10, 15, 20, 30, 45, 60, 120, 180, 240, 300, 360, 420, 480, 540};

constexpr qint64 MinuteMs = 60000;

} // namespace

Scheduler::Scheduler(ScheduleWindow &window, ActivityLog &log, const FrmMainTexts::Table &texts)
    : m_window(window)
    , m_log(log)
    , m_texts(texts)
    , m_clock(SuspendClock::nowMs)
    , m_logFile(LogFile::DefaultFolder())
    , m_run(window, log, texts, m_started)
{
    m_log.setFinalLineHook([this](const QString &line) { m_logFile.append(line); });
    m_logFile.setFailureReport([this](const QString &reason) { logFileFailed(reason); });
    m_logFile.setEnabled(Settings::logFileWanted());
    QObject::connect(&m_watcher, &ArrivalWatcher::arrived, &m_watcher, [this] { filesArrived(); });
}

// The log outlives the schedule in the window: it must not call into it any more.
Scheduler::~Scheduler()
{
    m_log.setFinalLineHook({});
    m_logFile.setFailureReport({});
}

void Scheduler::toggleSchedule()
{
    if (m_run.inFileLoop() || m_run.isActive()) {
        // The run finishes the file it is handling, then writes its cancel summary.
        cancelRun();
        return;
    }
    if (m_started)
        stop();
    else
        start();
}

void Scheduler::start()
{
    const std::optional<int> interval
        = ReadInterval(m_window.intervalText(), text(MinuteWord), text(MinutesWord));
    if (!interval) {
        m_window.showIntervalRefused();
        return;
    }

    m_window.showStartStop(text(ButtonStarted));
    m_window.showStartStopPicture(BlinkerOnIcon());
    m_intervalMinutes = *interval;
    m_periodStartMs = m_clock();
    m_window.showCaption(countingCaption(m_intervalMinutes));
    m_log.logWithPrefix(text(StartLine), ActivityLog::PrefixWanted());
    m_window.lockScheduleInputs(true);
    m_started = true;
    followArrivals();

    if (Settings::runOnStart()) {
        RunTransfer();
        // The run left its own caption behind; the countdown goes on from where it is.
        showCountdown();
    }

    m_window.runBlinkTimer(true);
    m_log.selectNewest();
}

void Scheduler::stop()
{
    m_window.showStartStopPicture(QString());
    m_window.runBlinkTimer(false);
    m_window.showStartStop(text(ButtonStopped));
    m_window.showCaption(stateCaption(StateStopped));
    m_log.logWithPrefix(text(StopLine), ActivityLog::PrefixWanted());
    m_window.lockScheduleInputs(false);
    m_started = false;
    followArrivals();
    m_log.selectNewest();
}

int Scheduler::elapsedMinutes() const
{
    if (!m_started)
        return 0;
    return int((m_clock() - m_periodStartMs + MinuteMs / 2) / MinuteMs);
}

// The tick only says when to look: the minutes are the clock's, so a tick that comes late
// (after a sleep) or twice counts no minute that did not pass.
void Scheduler::countMinute()
{
    // While a run works, the caption is the run's; a run that came due follows it.
    if (!m_started || m_run.isActive())
        return;
    const int remaining = remainingMinutes();
    if (remaining > 0) {
        m_window.showCaption(countingCaption(remaining));
        return;
    }
    m_runCancelled = false;
    runWhatCameDue();
}

void Scheduler::RunTransfer()
{
    if (m_run.isActive())
        return;
    runOnce();
    runWhatCameDue();
}

void Scheduler::cancelRun()
{
    m_run.requestStop();
    m_runCancelled = true;
}

void Scheduler::runOnce()
{
    // What arrived before the run begins, the run takes.
    m_arrivalWaiting = false;
    m_runCancelled = false;
    m_watcher.runStarted();
    const int pendingFiles = m_run.RunTransfer();
    m_logFile.flush();
    if (m_logFileTrouble)
        reportLogFileTrouble();
    m_watcher.runEnded(pendingFiles, Settings::settleSeconds());
}

// Only one run at a time: the timed run that came due while another worked, then files that
// arrived meanwhile, each after the one before. After a cancel (a click, or the window
// closing) none follows at once.
void Scheduler::runWhatCameDue()
{
    while (m_started && !m_run.isActive() && !m_runCancelled) {
        if (remainingMinutes() <= 0)
            runDueTransfer();
        else if (m_arrivalWaiting)
            runForArrivals();
        else
            return;
    }
}

void Scheduler::runDueTransfer()
{
    m_window.showCaption(stateCaption(StateRun) + QLatin1Char('!'));
    m_window.runMinuteTimer(false);
    runOnce();
    m_window.runMinuteTimer(true);
    m_periodStartMs = m_clock();
    if (!m_started) {
        m_window.showCaption(stateCaption(StateStopped));
        return;
    }
    m_window.showCaption(stateCaption(StateStarted));
    m_window.showCaption(countingCaption(m_intervalMinutes));
}

// The countdown goes on as it was: a run on arrival is no timed run.
void Scheduler::runForArrivals()
{
    runOnce();
    if (remainingMinutes() > 0)
        showCountdown();
}

void Scheduler::filesArrived()
{
    if (!m_started)
        return;
    m_arrivalWaiting = true;
    // While a run works, the run comes after it.
    if (!m_run.isActive()) {
        m_runCancelled = false;
        runWhatCameDue();
    }
}

// The watcher works while the schedule is started and the option is on.
void Scheduler::followArrivals()
{
    if (!m_started || !Settings::runOnArrival()) {
        m_watcher.stop();
        m_arrivalWaiting = false;
        return;
    }
    if (m_watcher.mode() == ArrivalWatcher::Mode::Off)
        m_watcher.watch(m_window.transferRequest().sourceFolder);
}

// During a run the newest line may be the in-progress line that the run replaces: the report
// waits for the run's end.
void Scheduler::logFileFailed(const QString &reason)
{
    m_logFileTrouble = reason;
    if (!m_run.isActive())
        reportLogFileTrouble();
}

void Scheduler::reportLogFileTrouble()
{
    const QString reason = m_logFileTrouble.value_or(QString());
    m_logFileTrouble.reset();
    m_log.logWithPrefix(text(LogFileUnwritable) + QLatin1String(": ") + reason, ActivityLog::PrefixWanted());
    m_log.selectNewest();
}

// A count at or past the interval is a run that follows at the next tick: the caption says
// one minute rather than none.
void Scheduler::showCountdown()
{
    if (m_started)
        m_window.showCaption(countingCaption(std::max(remainingMinutes(), 1)));
}

void Scheduler::blink()
{
    if (m_blinkPhase == 2)
        m_blinkPhase = 0;
    if (m_blinkPhase == 0)
        m_window.showStartStopPicture(BlinkerOffIcon());
    else if (m_blinkPhase == 1)
        m_window.showStartStopPicture(BlinkerOnIcon());
    ++m_blinkPhase;
}

void Scheduler::FillIntervalList()
{
    const QString minute = QLatin1Char(' ') + text(MinuteWord);
    const QString minutes = QLatin1Char(' ') + text(MinutesWord);
    QStringList entries;
    for (int choice : IntervalChoices)
        entries.append(QString::number(choice) + (choice == 1 ? minute : minutes));
    m_window.offerIntervals(entries);

    const QString stored = Settings::storedInterval();
    // A stored value that is no interval leaves the one in use alone; Start refuses the text.
    bool isNumber = false;
    const int minutesStored = stored.trimmed().toInt(&isNumber);
    if (isNumber && minutesStored >= MinimumInterval && minutesStored <= MaximumInterval)
        m_intervalMinutes = minutesStored;
    m_window.showInterval(stored + (stored == QLatin1String("1") ? minute : minutes));
}

void Scheduler::CheckFolders()
{
    // Each field says whether its own folder exists, whatever the other one holds.
    const ScheduleWindow::TransferRequest request = m_window.transferRequest();
    const bool sourceExists = isUsableFolder(request.sourceFolder);
    const bool destinationExists = isUsableFolder(request.destinationFolder);
    m_window.allowStartStop(sourceExists && destinationExists);
    m_window.showFolders(sourceExists, destinationExists);
}

void Scheduler::SetMessages(bool languageChanged)
{
    const int intervalBefore = m_intervalMinutes;
    FillIntervalList();
    // A shorter interval that the count has already passed begins anew; a run that was due
    // anyway (the machine slept past it) still follows at the next tick.
    const int elapsed = elapsedMinutes();
    if (m_started && elapsed >= m_intervalMinutes && elapsed < intervalBefore)
        m_periodStartMs = m_clock();
    m_logFile.setEnabled(Settings::logFileWanted());
    followArrivals();

    // While a run works, the button and the caption are the run's, in the new language.
    if (m_run.isActive()) {
        m_run.retext();
    } else {
        if (m_started) {
            m_window.showStartStop(text(ButtonStarted));
            showCountdown();
        } else {
            m_window.showCaption(stateCaption(StateStopped));
            m_window.showStartStop(text(ButtonStopped));
        }
    }

    if (languageChanged) {
        const QString word = FrmMainTexts::Text(LanguageChangedLine);
        m_log.logWithPrefix(
            word + QLatin1Char(' ') + modGlobal::CurrentLanguage, ActivityLog::PrefixWanted());
        m_log.selectNewest();
    }
}

std::optional<int> Scheduler::ReadInterval(
    const QString &text, const QString &minuteWord, const QString &minutesWord)
{
    const QString number = WindowSettings::IntervalValue(text, minuteWord, minutesWord);
    bool isNumber = false;
    const int minutes = number.trimmed().toInt(&isNumber);
    if (!isNumber || minutes < MinimumInterval || minutes > MaximumInterval)
        return std::nullopt;
    return minutes;
}

QString Scheduler::BlinkerOnIcon()
{
    return modGlobal::ProgramFolder() + QLatin1String("/bin/scheduler-blinker-on.ico");
}

QString Scheduler::BlinkerOffIcon()
{
    return modGlobal::ProgramFolder() + QLatin1String("/bin/scheduler-blinker-off.ico");
}

QString Scheduler::countingCaption(int remaining) const
{
    return stateCaption(StateStarted) + QLatin1String(" (") + text(Remaining) + QLatin1Char(' ')
        + QString::number(remaining) + QLatin1Char(' ') + text(remaining == 1 ? MinuteWord : MinutesWord)
        + QLatin1Char(')');
}

QString Scheduler::stateCaption(TextId id) const
{
    return QLatin1String(modGlobal::ProductName) + QLatin1String(" - ") + text(id);
}
