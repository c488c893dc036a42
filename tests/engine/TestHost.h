#pragma once

#include "config/modGlobal.h"
#include "config/modIniHandler.h"
#include "engine/ActivityLog.h"
#include "engine/ScheduleWindow.h"
#include "engine/Scheduler.h"
#include "engine/TransferRun.h"
#include "fs/modSize.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <optional>

// A main window without widgets: it keeps what the engine shows, answers what it reads, and
// lets a test act at every point where the engine lets events run. It also holds what the
// window lends the engine: the log, the texts (each text is its own id, "t25"), and whether
// the schedule is started, for a run made without a schedule.
class TestHost : public ScheduleWindow
{
public:
    TestHost()
    {
        for (int n = 0; n <= FrmMainTexts::LastFurtherText; ++n)
            texts.setText(FrmMainTexts::TextId(n), QStringLiteral("t%1").arg(n));
        texts.setText(FrmMainTexts::MinuteWord, QStringLiteral("Minute"));
        texts.setText(FrmMainTexts::MinutesWord, QStringLiteral("Minutes"));
    }

    TransferRequest transferRequest() const override { return {source, destination, move, overwrite}; }
    QString intervalText() const override { return interval; }

    void showCaption(const QString &text) override
    {
        caption = text;
        captions.append(text);
    }
    void showStartStop(const QString &text) override { stopStartCaption = text; }
    void showStartStopPicture(const QString &iconFile) override { picture = iconFile; }
    void allowStartStop(bool allowed) override { stopStartEnabled = allowed; }
    void showFolders(bool sourceExists, bool destinationExists) override
    {
        foldersExist = {sourceExists, destinationExists};
    }
    void lockScheduleInputs(bool locked) override { scheduleUnlocked = !locked; }
    void lockRunInputs(bool locked) override { runInputsEnabled = !locked; }
    void offerIntervals(const QStringList &list) override { intervalEntries = list; }
    void showInterval(const QString &text) override
    {
        interval = text;
        intervalRed = false;
    }
    void showIntervalRefused() override { intervalRed = true; }
    void runMinuteTimer(bool on) override { timer1 = on; }
    void runBlinkTimer(bool on) override { timer2 = on; }
    void showBusy(bool busy) override
    {
        this->busy = busy;
        ++busyChanges;
    }
    void showRunEnded(const RunReport &report) override
    {
        lastRun = report;
        ++runsEnded;
    }
    void letEventsRun() override
    {
        ++eventRounds;
        if (onEvents)
            onEvents();
    }

    // The free space that the run sees: this, or the system's when it is not set.
    TransferRun::FreeSpaceProbe freeSpaceProbe()
    {
        return [this](const QString &folder) -> modFSO::FsResult<qint64> {
            if (freeSpace)
                return {*freeSpace, std::nullopt};
            return modSize::FreeSpace(folder);
        };
    }

    QString text(int id) const { return texts.text(FrmMainTexts::TextId(id)); }

    ActivityLog log;
    FrmMainTexts::Table texts;
    bool scheduleStarted = false;

    QString source;
    QString destination;
    bool move = false;
    bool overwrite = false;
    QString interval;

    QString caption;
    QStringList captions;
    std::optional<bool> runInputsEnabled;
    QString stopStartCaption;
    QString picture;
    std::optional<bool> stopStartEnabled;
    std::optional<std::pair<bool, bool>> foldersExist;
    std::optional<bool> scheduleUnlocked;
    QStringList intervalEntries;
    bool intervalRed = false;
    std::optional<bool> timer1;
    std::optional<bool> timer2;
    bool busy = false;
    int busyChanges = 0;
    int eventRounds = 0;
    // Only the last report: a thousand runs must not grow the heap here.
    std::optional<RunReport> lastRun;
    int runsEnded = 0;
    std::function<void()> onEvents;
    std::optional<qint64> freeSpace;
};

// A transfer run, and a schedule with its run, on the stand-in window, with its free space.
class TestRun : public TransferRun
{
public:
    explicit TestRun(TestHost &host)
        : TransferRun(host, host.log, host.texts, host.scheduleStarted)
    {
        setFreeSpaceProbe(host.freeSpaceProbe());
    }
};

class TestScheduler : public Scheduler
{
public:
    explicit TestScheduler(TestHost &host)
        : Scheduler(host, host.log, host.texts)
    {
        transferRun().setFreeSpaceProbe(host.freeSpaceProbe());
        setClock([this] { return clockMs; });
    }

    // A minute of the schedule's clock passes, and the minute tick comes.
    void minutePasses()
    {
        clockMs += 60000;
        countMinute();
    }

    // The schedule's clock in ms: it moves only when a test moves it.
    qint64 clockMs = 0;
};

// A private settings file for one test; the engine reads it through ReadSetting.
class TestSettings
{
public:
    TestSettings()
    {
        modGlobal::SettingsFilePath = m_dir.filePath(QStringLiteral("Tessaro.ini"));
        QFile file(modGlobal::SettingsFilePath);
        if (file.open(QIODevice::WriteOnly))
            file.write("[Options]\r\n");
    }
    ~TestSettings() { modGlobal::SettingsFilePath.clear(); }

    void set(const QString &key, const QString &value) { modIniHandler::WriteSetting("Options", key, value); }

private:
    QTemporaryDir m_dir;
};
