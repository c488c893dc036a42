#include "engine/Scheduler.h"

#include "config/FrmMainTexts.h"
#include "config/Settings.h"
#include "config/WindowSettings.h"
#include "config/modGlobal.h"
#include "engine/ActivityLog.h"
#include "engine/ScheduleWindow.h"
#include "fs/modFSO.h"

#include <QDir>
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

} // namespace

Scheduler::Scheduler(ScheduleWindow &window, ActivityLog &log, const FrmMainTexts::Table &texts)
    : m_window(window)
    , m_log(log)
    , m_texts(texts)
    , m_run(window, log, texts, m_started)
{
}

void Scheduler::toggleSchedule()
{
    if (m_run.inFileLoop() || m_run.isActive()) {
        // The run finishes the file it is handling, then writes its cancel summary.
        m_run.requestStop();
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
    m_window.showCaption(countingCaption(m_intervalMinutes - m_elapsedMinutes));
    m_log.logWithPrefix(text(StartLine), ActivityLog::PrefixWanted());
    m_window.lockScheduleInputs(true);
    m_started = true;

    if (Settings::runOnStart()) {
        RunTransfer();
        // The run left its own caption behind; the countdown goes on from where it is.
        if (m_started)
            m_window.showCaption(countingCaption(m_intervalMinutes - m_elapsedMinutes));
    }

    m_window.runBlinkTimer(true);
    m_log.selectNewest();
}

void Scheduler::stop()
{
    m_window.showStartStopPicture(QString());
    m_elapsedMinutes = 0;
    m_window.runBlinkTimer(false);
    m_window.showStartStop(text(ButtonStopped));
    m_window.showCaption(stateCaption(StateStopped));
    m_log.logWithPrefix(text(StopLine), ActivityLog::PrefixWanted());
    m_window.lockScheduleInputs(false);
    m_started = false;
    m_log.selectNewest();
}

void Scheduler::countMinute()
{
    if (!m_started)
        return;
    ++m_elapsedMinutes;
    const int remaining = m_intervalMinutes - m_elapsedMinutes;
    if (remaining > 0) {
        // While a run works, the caption is the run's.
        if (!m_run.isActive())
            m_window.showCaption(countingCaption(remaining));
        return;
    }
    if (m_run.isActive()) {
        // Only one run at a time: the one that came due now is skipped and the count begins anew.
        m_elapsedMinutes = 0;
        return;
    }
    runDueTransfer();
}

void Scheduler::runDueTransfer()
{
    m_window.showCaption(stateCaption(StateRun) + QLatin1Char('!'));
    m_window.runMinuteTimer(false);
    RunTransfer();
    m_window.runMinuteTimer(true);
    m_elapsedMinutes = 0;
    if (!m_started) {
        m_window.showCaption(stateCaption(StateStopped));
        return;
    }
    m_window.showCaption(stateCaption(StateStarted));
    m_window.showCaption(countingCaption(m_intervalMinutes));
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
    FillIntervalList();
    // A count already at or past the new interval would never reach it again.
    if (m_started && m_elapsedMinutes >= m_intervalMinutes)
        m_elapsedMinutes = 0;

    // While a run works, the button and the caption are the run's, in the new language.
    if (m_run.isActive()) {
        m_run.retext();
    } else {
        if (m_started) {
            m_window.showStartStop(text(ButtonStarted));
            m_window.showCaption(countingCaption(m_intervalMinutes - m_elapsedMinutes));
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

void Scheduler::RunTransfer()
{
    m_run.RunTransfer();
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
