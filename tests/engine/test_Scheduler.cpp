#include "RunFixture.h"
#include "common/TestFiles.h"
#include "engine/Scheduler.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <utility>

using TestFiles::write;

namespace
{

class SchedulerTest : public HostFixture
{
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        if (HasFatalFailure())
            return;
        scheduler.transferRun().setEventInterval(0);
        scheduler.transferRun().setFilesAhead(0);
    }

    QString counting(int remaining, const QString &unit) const
    {
        return QString("Tessaro Lite - t14 (t17 %1 %2)").arg(remaining).arg(unit);
    }
    int copiedFiles() const { return TestFiles::entries(dst).size(); }

    TestScheduler scheduler {host};
};

TEST_F(SchedulerTest, StartCountsDownFiveMinutesRunsAtZeroAndStartsAgain)
{
    ASSERT_TRUE(write(src + "/a.txt", "a"));
    host.interval = "5 Minutes";

    scheduler.toggleSchedule();
    EXPECT_TRUE(scheduler.isStarted());
    EXPECT_EQ(scheduler.intervalMinutes(), 5);
    EXPECT_EQ(host.caption, counting(5, "Minutes"));
    EXPECT_EQ(host.stopStartCaption, "t11");
    EXPECT_EQ(host.picture, Scheduler::BlinkerOnIcon());
    EXPECT_EQ(host.scheduleUnlocked, false);
    EXPECT_EQ(host.timer2, true);
    EXPECT_EQ(host.log.lines(), QStringList({"t33"}));
    EXPECT_EQ(host.log.selectedRow(), 0);
    EXPECT_EQ(copiedFiles(), 0);

    scheduler.minutePasses();
    EXPECT_EQ(host.caption, counting(4, "Minutes"));
    for (int n = 0; n < 3; ++n)
        scheduler.minutePasses();
    EXPECT_EQ(host.caption, counting(1, "Minute"));
    EXPECT_EQ(copiedFiles(), 0);

    host.captions.clear();
    scheduler.minutePasses();
    EXPECT_EQ(copiedFiles(), 1);
    EXPECT_EQ(host.captions,
        QStringList({"Tessaro Lite - t15!", "Tessaro Lite - t15 (t27 1 t29)", "Tessaro Lite - t14",
            counting(5, "Minutes")}));
    EXPECT_EQ(host.timer1, true);
    EXPECT_EQ(scheduler.elapsedMinutes(), 0);
    EXPECT_EQ(host.stopStartCaption, "t11");
    EXPECT_EQ(host.log.lines(), QStringList({"t33", "t25: a.txt"}));

    // The next interval is a full one again.
    for (int n = 0; n < 4; ++n)
        scheduler.minutePasses();
    EXPECT_EQ(host.caption, counting(1, "Minute"));
}

TEST_F(SchedulerTest, IntervalOfOneMinuteRunsAtTheFirstTick)
{
    host.interval = "1 Minute";
    scheduler.toggleSchedule();
    EXPECT_EQ(host.caption, counting(1, "Minute"));

    scheduler.minutePasses();
    EXPECT_EQ(host.log.lines(), QStringList({"t33", "t18: t19 "}));
    EXPECT_EQ(host.caption, counting(1, "Minute"));
}

TEST_F(SchedulerTest, StopResetsTheCountAndStartBeginsWithTheFullInterval)
{
    host.interval = "10 minutes";
    scheduler.toggleSchedule();
    for (int n = 0; n < 3; ++n)
        scheduler.minutePasses();
    EXPECT_EQ(host.caption, counting(7, "Minutes"));

    scheduler.toggleSchedule();
    EXPECT_FALSE(scheduler.isStarted());
    EXPECT_EQ(scheduler.elapsedMinutes(), 0);
    EXPECT_TRUE(host.picture.isEmpty());
    EXPECT_EQ(host.timer2, false);
    EXPECT_EQ(host.stopStartCaption, "t12");
    EXPECT_EQ(host.caption, "Tessaro Lite - t16");
    EXPECT_EQ(host.scheduleUnlocked, true);
    EXPECT_EQ(host.log.lines(), QStringList({"t33", "t34"}));
    EXPECT_EQ(host.log.selectedRow(), 1);

    // Ticks while stopped do nothing.
    scheduler.minutePasses();
    EXPECT_EQ(scheduler.elapsedMinutes(), 0);
    EXPECT_EQ(host.caption, "Tessaro Lite - t16");

    scheduler.toggleSchedule();
    EXPECT_EQ(host.caption, counting(10, "Minutes"));
}

TEST_F(SchedulerTest, ClickDuringARunOnlyCancelsIt)
{
    for (int n = 1; n <= 4; ++n)
        ASSERT_TRUE(write(src + QString("/f%1.txt").arg(n), "x"));
    host.interval = "1 Minute";
    scheduler.toggleSchedule();
    bool clicked = false;
    host.onEvents = [&] {
        if (!clicked && host.log.lineCount() == 2 && host.log.newestLine().startsWith("t25")) {
            clicked = true;
            EXPECT_EQ(host.stopStartCaption, "t32");
            scheduler.toggleSchedule();
        }
    };

    scheduler.minutePasses();

    EXPECT_TRUE(clicked);
    EXPECT_TRUE(scheduler.isStarted());
    EXPECT_EQ(copiedFiles(), 1);
    EXPECT_EQ(host.log.lines().last(), "t31: t25 1 t29");
    EXPECT_EQ(host.stopStartCaption, "t11");
    EXPECT_EQ(host.scheduleUnlocked, false);
    EXPECT_EQ(host.caption, counting(1, "Minute"));
}

TEST_F(SchedulerTest, DoActionOnStartRunsBeforeTheBlinkingAndARunDueMeanwhileFollowsIt)
{
    ASSERT_TRUE(write(src + "/a.txt", "a"));
    ASSERT_TRUE(write(src + "/b.txt", "b"));
    settings.set("DoActionOnStart", "1");
    host.interval = "1 Minute";
    bool blinkingDuringRun = false;
    bool ticked = false;
    host.onEvents = [&] {
        blinkingDuringRun = blinkingDuringRun || host.timer2.value_or(false);
        // The minute comes due while the run begun by Start works.
        if (!std::exchange(ticked, true))
            scheduler.minutePasses();
    };

    scheduler.toggleSchedule();

    EXPECT_FALSE(blinkingDuringRun);
    EXPECT_EQ(host.timer2, true);
    EXPECT_EQ(copiedFiles(), 2);
    EXPECT_EQ(host.log.lines(),
        QStringList({"t33", "t25: a.txt", "t25: b.txt", "t22 (t24): a.txt", "t22 (t24): b.txt"}));
    EXPECT_TRUE(host.captions.contains("Tessaro Lite - t15!"));
    EXPECT_EQ(scheduler.elapsedMinutes(), 0);
    EXPECT_EQ(host.caption, counting(1, "Minute"));
}

// Qt's timers stand still while the machine sleeps; the schedule's clock does not.
TEST_F(SchedulerTest, TheCountdownKeepsTheClockThroughASleepAndCountsNoTickTwice)
{
    host.interval = "60 Minutes";
    scheduler.toggleSchedule();
    scheduler.clockMs += 10 * 60000 + 2000;
    scheduler.countMinute();
    EXPECT_EQ(host.caption, counting(50, "Minutes"));
    // Ticks that come faster than the minutes (a timer that catches up) count nothing.
    scheduler.countMinute();
    scheduler.countMinute();
    EXPECT_EQ(host.caption, counting(50, "Minutes"));

    // Two hours asleep: the first tick after waking runs the overdue run, once.
    ASSERT_TRUE(write(src + "/a.txt", "a"));
    scheduler.clockMs += 120 * 60000;
    scheduler.countMinute();
    scheduler.countMinute();
    EXPECT_EQ(host.log.lines(), QStringList({"t33", "t25: a.txt"}));
    EXPECT_EQ(host.caption, counting(60, "Minutes"));

    // Twenty minutes asleep: the first tick shows the minutes that are really left.
    scheduler.clockMs += 20 * 60000 + 2000;
    scheduler.countMinute();
    EXPECT_EQ(host.caption, counting(40, "Minutes"));
    EXPECT_EQ(host.log.lineCount(), 2);
}

// Run on the source folder's notifications (a local folder) with a short quiet time.
TEST_F(SchedulerTest, FilesThatArriveStartARunAndTheCountdownGoesOn)
{
    settings.set("RunOnArrival", "1");
    scheduler.arrivalWatcher().setTiming({50, 2000, 30000});
    host.interval = "60 Minutes";
    scheduler.toggleSchedule();
    ASSERT_EQ(scheduler.arrivalWatcher().mode(), ArrivalWatcher::Mode::Notified);
    scheduler.clockMs += 5 * 60000;

    ASSERT_TRUE(write(src + "/a.txt", "a"));
    QTRY_COMPARE(copiedFiles(), 1);
    EXPECT_EQ(host.log.lines(), QStringList({"t33", "t25: a.txt"}));
    EXPECT_EQ(host.caption, counting(55, "Minutes"));
    scheduler.minutePasses();
    EXPECT_EQ(host.caption, counting(54, "Minutes"));

    // A burst of files gives a few runs, not one per file.
    const int runsBefore = host.runsEnded;
    for (int n = 0; n < 300; ++n)
        ASSERT_TRUE(write(src + QString("/burst%1.txt").arg(n), "b"));
    QTRY_COMPARE(copiedFiles(), 301);
    QTest::qWait(200);
    EXPECT_LE(host.runsEnded - runsBefore, 3);

    // Files that a move takes out of the folder start no run; nor does anything but a plain file.
    host.move = true;
    ASSERT_TRUE(write(src + "/moved.txt", "m"));
    QTRY_VERIFY(!QFile::exists(src + "/moved.txt"));
    const int runsAfterMove = host.runsEnded;
    ASSERT_TRUE(QDir(src).mkdir("folder"));
    ASSERT_TRUE(write(src + "/.hidden", "h"));
    QTest::qWait(200);
    EXPECT_EQ(host.runsEnded, runsAfterMove);

    scheduler.toggleSchedule();
    EXPECT_EQ(scheduler.arrivalWatcher().mode(), ArrivalWatcher::Mode::Off);
    ASSERT_TRUE(write(src + "/late.txt", "l"));
    QTest::qWait(200);
    EXPECT_EQ(host.runsEnded, runsAfterMove);
}

// The file gets the final lines with the moment in ISO 8601; when it cannot be written, the
// window's log says so once, and the runs go on.
TEST_F(SchedulerTest, TheLogFileHoldsTheFinalLinesAndAFailureIsToldOnce)
{
    QTemporaryDir state;
    const QByteArray stateBefore = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    auto own = std::make_unique<TestScheduler>(host);
    qputenv("XDG_STATE_HOME", stateBefore);
    own->transferRun().setEventInterval(0);
    own->transferRun().setFilesAhead(0);
    const QString logPath = state.filePath("TessaroLite/TessaroLite.log");
    ASSERT_EQ(own->logFile().path(), logPath);

    ASSERT_TRUE(write(src + "/a.txt", "a"));
    ASSERT_TRUE(write(src + "/line\nbreak.txt", "b"));
    host.interval = "1 Minute";
    own->toggleSchedule();
    own->minutePasses();
    own->toggleSchedule();
    own->logFile().flush();
    host.log.clear();

    const QStringList lines = QString::fromUtf8(TestFiles::read(logPath)).split('\n', Qt::SkipEmptyParts);
    const QRegularExpression stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d )");
    QStringList texts;
    for (const QString &line : lines) {
        EXPECT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();
        texts.append(line.mid(26));
    }
    // Not the in-progress lines; names as the window shows them.
    EXPECT_EQ(texts, QStringList({"t33", "t25: a.txt", "t25: line\\nbreak.txt", "t34"}));

    // The state folder turns into a file.
    ASSERT_TRUE(QDir(state.filePath("TessaroLite")).removeRecursively());
    ASSERT_TRUE(write(state.filePath("TessaroLite"), "not a folder"));
    ASSERT_TRUE(write(src + "/c.txt", "c"));
    own->toggleSchedule();
    own->minutePasses();
    ASSERT_TRUE(write(src + "/d.txt", "d"));
    own->minutePasses();
    EXPECT_EQ(copiedFiles(), 4);
    EXPECT_EQ(host.log.lines().filter(QRegularExpression("^t80: .+")).size(), 1)
        << host.log.lines().join(" | ").toStdString();
}

TEST_F(SchedulerTest, StartRefusesAnIntervalThatIsNoWholeNumberFrom1To540)
{
    const QStringList refused
        = {"abc", "0", "-5", "541", "99999999999", "", "0 Minutes", "541 Minutes", "5.5 Minutes", "Minutes"};
    for (const QString &text : refused) {
        host.interval = text;
        host.intervalRed = false;
        scheduler.toggleSchedule();
        EXPECT_FALSE(scheduler.isStarted()) << text.toStdString();
        EXPECT_TRUE(host.intervalRed) << text.toStdString();
    }
    EXPECT_EQ(host.log.lineCount(), 0);
    EXPECT_TRUE(host.captions.isEmpty());
    EXPECT_FALSE(host.timer2.has_value());
    EXPECT_TRUE(host.picture.isEmpty());

    host.interval = "540 MINUTES";
    host.intervalRed = false;
    scheduler.toggleSchedule();
    EXPECT_TRUE(scheduler.isStarted());
    EXPECT_FALSE(host.intervalRed);
    EXPECT_EQ(scheduler.intervalMinutes(), 540);
}

TEST_F(SchedulerTest, ReadIntervalRemovesBothMinuteWordsIgnoringCase)
{
    EXPECT_EQ(Scheduler::ReadInterval("45 Minuten", "Minute", "Minuten"), 45);
    EXPECT_EQ(Scheduler::ReadInterval("1 MINUTE", "Minute", "Minuten"), 1);
    EXPECT_EQ(Scheduler::ReadInterval("7", "Minute", "Minuten"), 7);
    EXPECT_EQ(Scheduler::ReadInterval("7 ", "", ""), 7);
    EXPECT_EQ(Scheduler::ReadInterval("5 Stunden", "Minute", "Minuten"), std::nullopt);
}

TEST_F(SchedulerTest, BlinkingAlternatesTheTwoPictures)
{
    QStringList pictures;
    for (int n = 0; n < 5; ++n) {
        scheduler.blink();
        pictures.append(host.picture);
    }
    const QString off = Scheduler::BlinkerOffIcon();
    const QString on = Scheduler::BlinkerOnIcon();
    EXPECT_EQ(pictures, QStringList({off, on, off, on, off}));
    EXPECT_TRUE(off.endsWith("/bin/scheduler-blinker-off.ico"));
    EXPECT_TRUE(on.endsWith("/bin/scheduler-blinker-on.ico"));
}

TEST_F(SchedulerTest, FillIntervalListOffersEighteenEntriesAndShowsTheStoredInterval)
{
    scheduler.FillIntervalList();
    ASSERT_EQ(host.intervalEntries.size(), 18);
    EXPECT_EQ(host.intervalEntries.first(), "1 Minute");
    EXPECT_EQ(host.intervalEntries.at(3), "5 Minutes");
    EXPECT_EQ(host.intervalEntries.last(), "540 Minutes");
    EXPECT_EQ(host.interval, "5 Minutes");
    EXPECT_EQ(scheduler.intervalMinutes(), 5);

    settings.set("Interval", "1");
    scheduler.FillIntervalList();
    EXPECT_EQ(host.interval, "1 Minute");
    EXPECT_EQ(scheduler.intervalMinutes(), 1);

    settings.set("Interval", "abc");
    scheduler.FillIntervalList();
    EXPECT_EQ(host.interval, "abc Minutes");
    EXPECT_EQ(scheduler.intervalMinutes(), 1);
}

TEST_F(SchedulerTest, CheckFoldersColoursEachFieldAndEnablesStartOnlyForTwoFolders)
{
    scheduler.CheckFolders();
    EXPECT_EQ(host.stopStartEnabled, true);
    EXPECT_EQ(host.foldersExist, std::pair(true, true));

    ASSERT_TRUE(write(root.filePath("plain"), "file"));
    const QStringList notFolders = {root.filePath("missing"), src + "\nsecond line", QString(4000, 'a'),
        root.filePath("plain"), root.filePath("plain/inside"), root.filePath("missing/..")};
    for (const QString &text : notFolders) {
        host.source = text;
        scheduler.CheckFolders();
        EXPECT_EQ(host.stopStartEnabled, false) << text.left(60).toStdString();
        EXPECT_EQ(host.foldersExist, std::pair(false, true)) << text.left(60).toStdString();
    }

    // A field whose folder exists is black even while the other one is still wrong.
    host.destination = root.filePath("missing");
    host.source = src;
    scheduler.CheckFolders();
    EXPECT_EQ(host.stopStartEnabled, false);
    EXPECT_EQ(host.foldersExist, std::pair(true, false));

    host.destination = dst;
    scheduler.CheckFolders();
    EXPECT_EQ(host.stopStartEnabled, true);
    EXPECT_EQ(host.foldersExist, std::pair(true, true));
}

TEST_F(SchedulerTest, SetMessagesTakesTheStoredIntervalAndRestartsACountBeyondIt)
{
    host.interval = "30 Minutes";
    scheduler.toggleSchedule();
    for (int n = 0; n < 3; ++n)
        scheduler.minutePasses();

    settings.set("Interval", "10");
    scheduler.SetMessages(false);
    EXPECT_EQ(scheduler.intervalMinutes(), 10);
    EXPECT_EQ(scheduler.elapsedMinutes(), 3);
    EXPECT_EQ(host.caption, counting(7, "Minutes"));
    EXPECT_EQ(host.stopStartCaption, "t11");
    EXPECT_EQ(host.interval, "10 Minutes");

    for (int n = 0; n < 4; ++n)
        scheduler.minutePasses();
    settings.set("Interval", "5");
    scheduler.SetMessages(false);
    EXPECT_EQ(scheduler.elapsedMinutes(), 0);
    EXPECT_EQ(host.caption, counting(5, "Minutes"));
    EXPECT_EQ(host.log.lines(), QStringList({"t33"}));

    // The count reaches the new interval again.
    for (int n = 0; n < 5; ++n)
        scheduler.minutePasses();
    EXPECT_TRUE(host.log.lines().contains("t18: t19 "));
}

TEST_F(SchedulerTest, SetMessagesLogsTheLanguageLineAfterALanguageChange)
{
    const QString languageFile = root.filePath("English.dat");
    ASSERT_TRUE(write(languageFile, "[frmMain]\r\nt44=Language\r\n"));
    modGlobal::LanguageFilePath = languageFile;
    modGlobal::CurrentLanguage = "English";

    scheduler.SetMessages(true);
    EXPECT_EQ(host.caption, "Tessaro Lite - t16");
    EXPECT_EQ(host.stopStartCaption, "t12");
    EXPECT_EQ(host.intervalEntries.size(), 18);
    EXPECT_EQ(host.log.lines(), QStringList({"Language English"}));
    EXPECT_EQ(host.log.selectedRow(), 0);

    ASSERT_TRUE(write(languageFile, "[frmMain]\r\nt1=x\r\n"));
    scheduler.SetMessages(true);
    EXPECT_EQ(host.log.lines().last(), " English");

    scheduler.SetMessages(false);
    EXPECT_EQ(host.log.lineCount(), 2);
    modGlobal::LanguageFilePath.clear();
    modGlobal::CurrentLanguage.clear();
}

// A language saved while a file is copied: the button keeps the run's caption (in the new
// words), the language line stays, and the file's result takes the place of its in-progress line.
TEST_F(SchedulerTest, LanguageChangedDuringARunKeepsTheRunsButtonAndTheLanguageLine)
{
    ASSERT_TRUE(write(in(src, "a.txt"), "a"));
    QString buttonAfterChange;
    host.onEvents = [&] {
        if (host.log.newestLine() == "t27: a.txt") {
            host.texts.setText(FrmMainTexts::ButtonRunning, "Abbrechen");
            host.stopStartCaption = "t12"; // what the window's own texts put there
            scheduler.SetMessages(true);
            buttonAfterChange = host.stopStartCaption;
        }
    };

    scheduler.RunTransfer();

    EXPECT_EQ(buttonAfterChange, "Abbrechen");
    ASSERT_EQ(host.log.lineCount(), 2);
    EXPECT_EQ(host.log.line(0), "t25: a.txt");
    EXPECT_EQ(host.log.line(1), " ");
}

} // namespace
