#include "engine/Scheduler.h"

#include "config/FrmMainTexts.h"
#include "config/Settings.h"
#include "config/WindowSettings.h"
#include "config/modGlobal.h"
#include "engine/ActivityLog.h"
#include "engine/MainWindowHost.h"
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

Scheduler::Scheduler(MainWindowHost &host)
    : m_host(host)
    , m_run(host)
{
}

void Scheduler::toggleSchedule()
{
    if (state().RunInProgress || m_run.isActive()) {
        // The run finishes the file it is handling, then writes its cancel summary.
        state().StopRequested = true;
        return;
    }
    if (state().Started)
        stop();
    else
        start();
}

void Scheduler::start()
{
    const MainWindowState &s = state();
    const std::optional<int> interval
        = ReadInterval(m_host.intervalText(), s.text(MinuteWord), s.text(MinutesWord));
    if (!interval) {
        m_host.setIntervalTextRed(true);
        return;
    }

    m_host.setStopStartCaption(s.text(ButtonStarted));
    m_host.setStopStartPicture(BlinkerOnIcon());
    state().IntervalMinutes = *interval;
    m_host.setWindowCaption(countingCaption(s.IntervalMinutes - s.ElapsedMinutes));
    m_host.activityLog().logWithPrefix(s.text(StartLine), ActivityLog::PrefixWanted());
    m_host.SetScheduleControls(false);
    state().Started = true;

    if (Settings::runOnStart()) {
        RunTransfer();
        // The run left its own caption behind; the countdown goes on from where it is.
        if (s.Started)
            m_host.setWindowCaption(countingCaption(s.IntervalMinutes - s.ElapsedMinutes));
    }

    m_host.setTimer2Enabled(true);
    m_host.activityLog().selectNewest();
}

void Scheduler::stop()
{
    const MainWindowState &s = state();
    m_host.setStopStartPicture(QString());
    state().ElapsedMinutes = 0;
    m_host.setTimer2Enabled(false);
    m_host.setStopStartCaption(s.text(ButtonStopped));
    m_host.setWindowCaption(stateCaption(StateStopped));
    m_host.activityLog().logWithPrefix(s.text(StopLine), ActivityLog::PrefixWanted());
    m_host.SetScheduleControls(true);
    state().Started = false;
    m_host.activityLog().selectNewest();
}

void Scheduler::countMinute()
{
    MainWindowState &s = state();
    if (!s.Started)
        return;
    ++s.ElapsedMinutes;
    const int remaining = s.IntervalMinutes - s.ElapsedMinutes;
    if (remaining > 0) {
        // While a run works, the caption is the run's.
        if (!m_run.isActive())
            m_host.setWindowCaption(countingCaption(remaining));
        return;
    }
    if (m_run.isActive()) {
        // Only one run at a time: the one that came due now is skipped and the count begins anew.
        s.ElapsedMinutes = 0;
        return;
    }
    runDueTransfer();
}

void Scheduler::runDueTransfer()
{
    m_host.setWindowCaption(stateCaption(StateRun) + QLatin1Char('!'));
    m_host.setTimer1Enabled(false);
    RunTransfer();
    m_host.setTimer1Enabled(true);
    state().ElapsedMinutes = 0;
    if (!state().Started) {
        m_host.setWindowCaption(stateCaption(StateStopped));
        return;
    }
    m_host.setWindowCaption(stateCaption(StateStarted));
    m_host.setWindowCaption(countingCaption(state().IntervalMinutes));
}

void Scheduler::blink()
{
    MainWindowState &s = state();
    if (s.BlinkPhase == 2)
        s.BlinkPhase = 0;
    if (s.BlinkPhase == 0)
        m_host.setStopStartPicture(BlinkerOffIcon());
    else if (s.BlinkPhase == 1)
        m_host.setStopStartPicture(BlinkerOnIcon());
    ++s.BlinkPhase;
}

void Scheduler::FillIntervalList()
{
    const MainWindowState &s = state();
    const QString minute = QLatin1Char(' ') + s.text(MinuteWord);
    const QString minutes = QLatin1Char(' ') + s.text(MinutesWord);
    QStringList entries;
    for (int choice : IntervalChoices)
        entries.append(QString::number(choice) + (choice == 1 ? minute : minutes));
    m_host.setIntervalEntries(entries);

    const QString stored = Settings::storedInterval();
    // A stored value that is no interval leaves the one in use alone; Start refuses the text.
    bool isNumber = false;
    const int minutesStored = stored.trimmed().toInt(&isNumber);
    if (isNumber && minutesStored >= MinimumInterval && minutesStored <= MaximumInterval)
        state().IntervalMinutes = minutesStored;
    m_host.setIntervalText(stored + (stored == QLatin1String("1") ? minute : minutes));
}

void Scheduler::CheckFolders()
{
    const bool sourceExists = isUsableFolder(m_host.sourceFolderText());
    const bool destinationExists = isUsableFolder(m_host.destinationFolderText());
    m_host.setStopStartEnabled(sourceExists && destinationExists);
    // Each field says whether its own folder exists, whatever the other one holds.
    m_host.setFolderTextColor(MainWindowHost::FolderField::Source,
        sourceExists ? MainWindowHost::TextColor::Black : MainWindowHost::TextColor::Red);
    m_host.setFolderTextColor(MainWindowHost::FolderField::Destination,
        destinationExists ? MainWindowHost::TextColor::Black : MainWindowHost::TextColor::Red);
}

void Scheduler::SetMessages(bool languageChanged)
{
    FillIntervalList();
    MainWindowState &s = state();
    // A count already at or past the new interval would never reach it again.
    if (s.Started && s.ElapsedMinutes >= s.IntervalMinutes)
        s.ElapsedMinutes = 0;

    // While a run works, the button and the caption are the run's.
    if (!m_run.isActive()) {
        if (s.Started) {
            m_host.setStopStartCaption(s.text(ButtonStarted));
            m_host.setWindowCaption(countingCaption(s.IntervalMinutes - s.ElapsedMinutes));
        } else {
            m_host.setWindowCaption(stateCaption(StateStopped));
            m_host.setStopStartCaption(s.text(ButtonStopped));
        }
    }

    if (languageChanged) {
        const QString word = FrmMainTexts::Text(LanguageChangedLine);
        m_host.activityLog().logWithPrefix(
            word + QLatin1Char(' ') + modGlobal::CurrentLanguage, ActivityLog::PrefixWanted());
        m_host.activityLog().selectNewest();
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
    const MainWindowState &s = m_host.state();
    return stateCaption(StateStarted) + QLatin1String(" (") + s.text(Remaining) + QLatin1Char(' ')
        + QString::number(remaining) + QLatin1Char(' ') + s.text(remaining == 1 ? MinuteWord : MinutesWord)
        + QLatin1Char(')');
}

QString Scheduler::stateCaption(int id) const
{
    return QLatin1String(modGlobal::ProductName) + QLatin1String(" - ") + m_host.state().text(id);
}

MainWindowState &Scheduler::state()
{
    return m_host.state();
}
