#include "RunFixture.h"
#include "common/TestFiles.h"
#include "fs/TestHooks.h"
#include "fs/TransferFolders.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

using TestFiles::read;
using TestFiles::write;

namespace
{

class TransferRunTest : public RunFixture
{
protected:
    QString t(int id) const { return host.text(id); }
    QStringList lines() const { return host.log.lines(); }
};

TEST_F(TransferRunTest, CopiesEveryPlainFileWithOneResultLineEachAndFreesTheControls)
{
    ASSERT_TRUE(write(in(src, "a.txt"), "alpha"));
    ASSERT_TRUE(write(in(src, "b.txt"), "bravo"));
    ASSERT_TRUE(write(in(src, "c.txt"), QByteArray(200000, 'c')));
    ASSERT_TRUE(write(in(src, ".hidden"), "h"));
    ASSERT_TRUE(QDir().mkpath(in(src, "sub")));
    ASSERT_TRUE(write(in(src, "sub/inner.txt"), "i"));
    bool inProgressDuringLoop = false;
    host.onEvents = [&] { inProgressDuringLoop = inProgressDuringLoop || run.inFileLoop(); };

    run.RunTransfer();

    EXPECT_EQ(read(in(dst, "a.txt")), "alpha");
    EXPECT_EQ(read(in(dst, "b.txt")), "bravo");
    EXPECT_EQ(read(in(dst, "c.txt")), QByteArray(200000, 'c'));
    EXPECT_EQ(TestFiles::entries(dst), QStringList({"a.txt", "b.txt", "c.txt"}));
    QStringList sorted = lines();
    sorted.sort();
    EXPECT_EQ(sorted, QStringList({"t25: a.txt", "t25: b.txt", "t25: c.txt"}));
    EXPECT_EQ(host.log.selectedRow(), 2);

    EXPECT_TRUE(inProgressDuringLoop);
    EXPECT_FALSE(run.inFileLoop());
    EXPECT_TRUE(host.captions.contains("Tessaro Lite - t15 (t27 3 t30)"));
    EXPECT_EQ(host.runInputsEnabled, true);
    EXPECT_EQ(host.stopStartCaption, "t12");
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(host.busyChanges, 2);
    EXPECT_FALSE(run.isActive());
    // The window hears once that the run ended, without errors.
    EXPECT_EQ(host.runsEnded, 1);
    ASSERT_TRUE(host.lastRun);
    EXPECT_FALSE(host.lastRun->endedAt.isEmpty());
    EXPECT_EQ(host.lastRun->errorLines, 0);
}

TEST_F(TransferRunTest, RunCaptionNamesOneFileAndTheMoveWord)
{
    ASSERT_TRUE(write(in(src, "only.txt"), "x"));
    host.move = true;
    host.scheduleStarted = true;

    run.RunTransfer();

    EXPECT_EQ(host.captions, QStringList({"Tessaro Lite - t15 (t28 1 t29)"}));
    EXPECT_EQ(lines(), QStringList({"t26: only.txt"}));
    EXPECT_EQ(host.stopStartCaption, "t11");
    // The started schedule keeps its inputs locked after the run.
    EXPECT_EQ(host.scheduleUnlocked, false);
}

// While the folder is listed the button cancels the run; with nothing to transfer the controls
// are as they were after it, the caption untouched, and a click during the listing is gone.
TEST_F(TransferRunTest, EmptyFolderGivesOneLineAndLeavesTheControlsAsTheyWere)
{
    ASSERT_TRUE(write(in(src, ".hidden"), "h"));
    ASSERT_TRUE(QDir().mkpath(in(src, "folder")));
    settings.set("ShowDateAndTime", "1");
    host.log.setClock([] { return QDateTime(QDate(2024, 3, 9), QTime(7, 5, 0)); });
    run.requestStop();

    run.RunTransfer();

    EXPECT_EQ(lines(), QStringList({host.log.datePrefix() + "t18: t19 "}));
    EXPECT_TRUE(lines().first().endsWith("t19 "));
    EXPECT_TRUE(host.captions.isEmpty());
    EXPECT_EQ(host.runInputsEnabled, true);
    EXPECT_EQ(host.stopStartCaption, "t12");
    EXPECT_FALSE(run.stopRequested());
    EXPECT_EQ(host.busyChanges, 2);
    EXPECT_EQ(host.log.selectedRow(), 0);
}

TEST_F(TransferRunTest, UnlistableSourceGivesAnErrorLineAndKeepsEarlierLines)
{
    host.log.log("t33");
    host.source = in(src, "missing");

    run.RunTransfer();

    ASSERT_EQ(lines().size(), 2);
    EXPECT_EQ(lines().at(0), "t33");
    EXPECT_TRUE(lines().at(1).startsWith("t35: ")) << lines().at(1).toStdString();
    EXPECT_TRUE(lines().at(1).endsWith(" - "));
    EXPECT_TRUE(host.captions.isEmpty());
}

TEST_F(TransferRunTest, ExistingFilesFollowTheOverwriteBox)
{
    ASSERT_TRUE(write(in(src, "a.txt"), "new"));
    ASSERT_TRUE(write(in(dst, "a.txt"), "old"));

    run.RunTransfer();
    EXPECT_EQ(read(in(dst, "a.txt")), "old");
    EXPECT_EQ(lines(), QStringList({"t22 (t24): a.txt"}));

    host.overwrite = true;
    run.RunTransfer();
    EXPECT_EQ(read(in(dst, "a.txt")), "new");
    EXPECT_EQ(lines().last(), "t25 (t23): a.txt");

    host.move = true;
    host.overwrite = false;
    ASSERT_TRUE(write(in(dst, "a.txt"), "older"));
    run.RunTransfer();
    EXPECT_EQ(read(in(src, "a.txt")), "new");
    EXPECT_EQ(read(in(dst, "a.txt")), "older");
    EXPECT_EQ(lines().last(), "t21 (t24): a.txt");

    host.overwrite = true;
    run.RunTransfer();
    EXPECT_FALSE(QFile::exists(in(src, "a.txt")));
    EXPECT_EQ(read(in(dst, "a.txt")), "new");
    EXPECT_EQ(lines().last(), "t26 (t23): a.txt");
    EXPECT_EQ(lines().size(), 4);
}

TEST_F(TransferRunTest, CopyFreeSpaceCheckIsStrictlyLessThanFreeMinus1024)
{
    const QByteArray content(3000, 'x');
    ASSERT_TRUE(write(in(src, "f.bin"), content));
    settings.set("CheckDestination", "0");

    host.freeSpace = content.size() + 1024;
    run.RunTransfer();
    EXPECT_FALSE(QFile::exists(in(dst, "f.bin")));
    EXPECT_EQ(lines().last(), "t22 - t20: f.bin");

    host.freeSpace = -1;
    run.RunTransfer();
    EXPECT_FALSE(QFile::exists(in(dst, "f.bin")));
    EXPECT_EQ(lines().last(), "t22 - t20: f.bin");

    // Beyond 32 bits: free space of several GiB is compared as it is.
    host.freeSpace = Q_INT64_C(6) << 30;
    run.RunTransfer();
    EXPECT_EQ(read(in(dst, "f.bin")), content);
    EXPECT_EQ(lines().last(), "t25: f.bin");
    EXPECT_EQ(lines().size(), 3);
}

TEST_F(TransferRunTest, CheckDestinationSettingDecidesWhetherFreeSpaceIsAsked)
{
    ASSERT_TRUE(write(in(src, "f.bin"), "data"));
    host.freeSpace = -1;

    for (const char *noCheck : {"1", "2", "-7"}) {
        settings.set("CheckDestination", noCheck);
        QFile::remove(in(dst, "f.bin"));
        run.RunTransfer();
        EXPECT_TRUE(QFile::exists(in(dst, "f.bin"))) << noCheck;
        EXPECT_EQ(lines().last(), "t25: f.bin") << noCheck;
    }

    // A missing key means: check.
    TestSettings withoutKey;
    withoutKey.set("ShowDateAndTime", "0");
    QFile::remove(in(dst, "f.bin"));
    run.RunTransfer();
    EXPECT_FALSE(QFile::exists(in(dst, "f.bin")));
    EXPECT_EQ(lines().last(), "t22 - t20: f.bin");

    // A value that is no number is reported, and the file is handled as with the check.
    withoutKey.set("CheckDestination", "abc");
    const int before = lines().size();
    run.RunTransfer();
    EXPECT_FALSE(QFile::exists(in(dst, "f.bin")));
    ASSERT_EQ(lines().size(), before + 1);
    EXPECT_TRUE(lines().last().startsWith("t35: ")) << lines().last().toStdString();
    EXPECT_TRUE(lines().last().contains("abc"));
    EXPECT_TRUE(lines().last().endsWith(" - f.bin"));
}

TEST_F(TransferRunTest, SameVolumeMoveNeedsMoreThan1024BytesFree)
{
    ASSERT_TRUE(write(in(src, "m.bin"), QByteArray(5000, 'm')));
    settings.set("CheckDestination", "0");

    host.move = true;
    host.freeSpace = 1024;
    run.RunTransfer();
    EXPECT_TRUE(QFile::exists(in(src, "m.bin")));
    EXPECT_FALSE(QFile::exists(in(dst, "m.bin")));
    EXPECT_EQ(lines().last(), "t21 - t20: m.bin");

    // On one file system a rename needs no room for the data: 1025 bytes are enough.
    host.freeSpace = 1025;
    run.RunTransfer();
    EXPECT_FALSE(QFile::exists(in(src, "m.bin")));
    EXPECT_EQ(read(in(dst, "m.bin")), QByteArray(5000, 'm'));
    EXPECT_EQ(lines().last(), "t26: m.bin");
}

TEST_F(TransferRunTest, MoveAcrossFileSystemsChecksTheSizeAndCopiesBeforeDeleting)
{
    TestFiles::SmallTmpfs other(root.filePath("other"), "4m");
    if (!other.mounted())
        GTEST_SKIP() << "needs root to mount a tmpfs as a second file system";
    const QByteArray content(100000, 'z');
    ASSERT_TRUE(write(in(src, "big.bin"), content));
    host.destination = root.filePath("other");
    host.move = true;
    settings.set("CheckDestination", "0");

    host.freeSpace = content.size() + 1024;
    run.RunTransfer();
    EXPECT_TRUE(QFile::exists(in(src, "big.bin")));
    EXPECT_EQ(lines().last(), "t21 - t20: big.bin");

    host.freeSpace.reset();
    run.RunTransfer();
    EXPECT_FALSE(QFile::exists(in(src, "big.bin")));
    EXPECT_EQ(read(in(host.destination, "big.bin")), content);
    EXPECT_EQ(lines().last(), "t26: big.bin");
}

TEST_F(TransferRunTest, FailedCopyAndMoveGiveTheErrorLine)
{
    ASSERT_TRUE(write(in(src, "a.txt"), "alpha"));
    ASSERT_TRUE(write(root.filePath("plain"), "not a folder"));
    host.destination = root.filePath("plain");

    run.RunTransfer();
    const QString error = QString::fromLocal8Bit(std::strerror(ENOTDIR)) + " - a.txt";
    const QString expected = "t35: " + error;
    EXPECT_EQ(lines(), QStringList({expected}));
    ASSERT_TRUE(host.lastRun);
    EXPECT_EQ(host.lastRun->failedFiles, 1);
    EXPECT_EQ(host.lastRun->errorLines, 1);
    EXPECT_EQ(host.lastRun->firstError, error);

    host.move = true;
    run.RunTransfer();
    EXPECT_EQ(lines().last(), expected);
    EXPECT_EQ(read(in(src, "a.txt")), "alpha");
    EXPECT_EQ(read(root.filePath("plain")), "not a folder");
    EXPECT_EQ(lines().size(), 2);
}

TEST_F(TransferRunTest, CopyThatRunsOutOfSpaceLeavesNoPartialFile)
{
    TestFiles::SmallTmpfs small(root.filePath("small"), "256k");
    if (!small.mounted())
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    const QByteArray content(1024 * 1024, 'q');
    ASSERT_TRUE(write(in(src, "huge.bin"), content));
    host.destination = root.filePath("small");

    run.RunTransfer();
    EXPECT_EQ(
        lines(), QStringList({"t35: " + QString::fromLocal8Bit(std::strerror(ENOSPC)) + " - huge.bin"}));
    EXPECT_TRUE(TestFiles::entries(host.destination).isEmpty())
        << TestFiles::entries(host.destination).join(", ").toStdString();

    // With the check, the real free space of the small file system turns the file away.
    settings.set("CheckDestination", "0");
    run.RunTransfer();
    EXPECT_EQ(lines().last(), "t22 - t20: huge.bin");

    // A move that fails keeps its source.
    settings.set("CheckDestination", "1");
    host.move = true;
    run.RunTransfer();
    EXPECT_EQ(read(in(src, "huge.bin")), content);
    EXPECT_TRUE(lines().last().startsWith("t35: "));
    EXPECT_TRUE(TestFiles::entries(host.destination).isEmpty());
}

TEST_F(TransferRunTest, SameFolderLosesNothingEvenWithOverwrite)
{
    ASSERT_TRUE(write(in(src, "one.txt"), "1"));
    ASSERT_TRUE(write(in(src, "two.txt"), "22"));
    ASSERT_TRUE(QFile::link(src, root.filePath("link")));
    host.overwrite = true;

    const QStringList spellings = {src, src + "/", src + "/.", dst + "/../src", root.filePath("link")};
    for (const QString &destination : spellings) {
        host.destination = destination;
        for (bool move : {false, true}) {
            host.move = move;
            host.log.clear();
            run.RunTransfer();
            EXPECT_EQ(read(in(src, "one.txt")), "1") << destination.toStdString();
            EXPECT_EQ(read(in(src, "two.txt")), "22") << destination.toStdString();
            const QString word = move ? "t21" : "t22";
            QStringList sorted = lines();
            sorted.sort();
            EXPECT_EQ(sorted, QStringList({word + " (t24): one.txt", word + " (t24): two.txt"}))
                << destination.toStdString();
        }
    }
}

TEST_F(TransferRunTest, LinkInTheSourceToTheDestinationFileIsLeftAlone)
{
    ASSERT_TRUE(write(in(dst, "shared.txt"), "keep me"));
    ASSERT_TRUE(QFile::link(in(dst, "shared.txt"), in(src, "shared.txt")));
    host.overwrite = true;

    for (bool move : {false, true}) {
        host.move = move;
        run.RunTransfer();
        EXPECT_EQ(read(in(dst, "shared.txt")), "keep me");
        EXPECT_EQ(lines().last(), (move ? "t21" : "t22") + QString(" (t24): shared.txt"));
    }
}

TEST_F(TransferRunTest, FileVanishingBeforeItsTurnGetsOneErrorLine)
{
    ASSERT_TRUE(write(in(src, "stays.txt"), "s"));
    ASSERT_TRUE(write(in(src, "gone.txt"), "g"));
    ASSERT_TRUE(write(in(src, "gone-too.txt"), "g2"));
    ASSERT_TRUE(write(in(dst, "gone-too.txt"), "old copy"));
    host.overwrite = true;
    host.onEvents = [&] {
        const QString newest = host.log.newestLine();
        if (newest == "t27: gone.txt" || newest == "t27: gone-too.txt")
            QFile::remove(in(src, newest.mid(5)));
    };

    run.RunTransfer();

    const QString vanished = QString::fromLocal8Bit(std::strerror(ENOENT));
    QStringList sorted = lines();
    sorted.sort();
    EXPECT_EQ(sorted,
        QStringList(
            {"t25: stays.txt", "t35: " + vanished + " - gone-too.txt", "t35: " + vanished + " - gone.txt"}));
    EXPECT_FALSE(QFile::exists(in(dst, "gone.txt")));
    // The copy over an existing file replaces it only when it succeeds.
    EXPECT_EQ(read(in(dst, "gone-too.txt")), "old copy");
}

TEST_F(TransferRunTest, CancelSummaryCountsTheHandledFiles)
{
    for (int n = 1; n <= 5; ++n)
        ASSERT_TRUE(write(in(src, QString("f%1.txt").arg(n)), "x"));

    struct Case {
        int cancelAfter; // result lines written when the cancel comes
        QString summary;
    };
    const QList<Case> cases = {{2, "t31: t25 2 t30"}, {1, "t31: t25 1 t29"}, {0, "t31:  0 t30"}};
    for (const Case &c : cases) {
        QDir(dst).removeRecursively();
        QDir().mkpath(dst);
        host.log.clear();
        host.onEvents = [&] {
            if (host.log.lineCount() == c.cancelAfter && !host.log.newestLine().startsWith("t27"))
                run.requestStop();
        };
        run.RunTransfer();
        ASSERT_EQ(lines().size(), c.cancelAfter + 1) << c.summary.toStdString();
        EXPECT_EQ(lines().last(), c.summary);
        EXPECT_EQ(TestFiles::entries(dst).size(), c.cancelAfter);
        EXPECT_FALSE(run.stopRequested());
        EXPECT_FALSE(run.inFileLoop());
    }
}

// A cancel that comes while the last file is being handled still lets it finish, and the summary
// counts all files. One handled in the very event round that first shows a file's in-progress
// line comes from a user who saw the file before it: the cut is there, and the line goes.
TEST_F(TransferRunTest, CancelCutsAtTheFileTheUserSaw)
{
    modFSO::testing::CopyObserver slow;
    slow.beforePlacement = [](const QByteArray &) { QThread::msleep(50); };
    modFSO::testing::setCopyObserver(&slow);
    for (bool seenBefore : {false, true}) {
        SCOPED_TRACE(seenBefore ? "the last file was seen" : "the last file was not seen yet");
        QDir(dst).removeRecursively();
        QDir().mkpath(dst);
        host.log.clear();
        for (int n = 1; n <= 3; ++n)
            ASSERT_TRUE(write(in(src, QString("f%1.txt").arg(n)), "x"));
        int roundsShowingIt = 0;
        host.onEvents = [&] {
            if (host.log.lineCount() == 3 && host.log.newestLine() == "t27: f3.txt"
                && ++roundsShowingIt == (seenBefore ? 2 : 1))
                run.requestStop();
        };

        run.RunTransfer();

        const int moved = seenBefore ? 3 : 2;
        EXPECT_EQ(TestFiles::entries(dst).size(), moved);
        ASSERT_EQ(lines().size(), moved + 1) << lines().join(" | ").toStdString();
        EXPECT_TRUE(lines().at(moved - 1).startsWith("t25: "));
        EXPECT_EQ(lines().last(), QString("t31: t25 %1 t30").arg(moved));
        EXPECT_FALSE(run.stopRequested());
    }
    modFSO::testing::setCopyObserver(nullptr);
}

TEST_F(TransferRunTest, DatePrefixFollowsShowDateAndTimeReadOncePerRun)
{
    ASSERT_TRUE(write(in(src, "p.txt"), "p"));
    host.log.setClock([] { return QDateTime(QDate(2024, 3, 9), QTime(7, 5, 0)); });
    const QString prefix = host.log.datePrefix();

    for (const char *value : {"0", "yes", "1 "}) {
        settings.set("ShowDateAndTime", value);
        QFile::remove(in(dst, "p.txt"));
        run.RunTransfer();
        EXPECT_EQ(lines().last(), "t25: p.txt") << value;
    }

    TestSettings withoutKey;
    withoutKey.set("CheckDestination", "1");
    QFile::remove(in(dst, "p.txt"));
    // A change of the setting during the run applies to the next run only.
    host.onEvents = [] { modIniHandler::WriteSetting("Options", "ShowDateAndTime", "0"); };
    run.RunTransfer();
    EXPECT_EQ(lines().last(), prefix + "t25: p.txt");
}

// Names are copied under their exact bytes and logged whole, each on one line: control
// characters, line separators and the controls that turn text around show as escapes in the
// log only, so that no name can pass for another line or another name.
TEST_F(TransferRunTest, UnusualNamesAreCopiedAndLoggedWholeOnOneLine)
{
    const QString longName = QString(127, QChar(0x00E4)) + "x"; // 255 bytes in UTF-8
    ASSERT_EQ(longName.toUtf8().size(), 255);
    const QMap<QString, QString> logged = {{"with blanks .txt", "with blanks .txt"},
        {QString::fromUtf8("Grüße ñ 日本.txt"), QString::fromUtf8("Grüße ñ 日本.txt")},
        {"-leading-dash", "-leading-dash"}, {"line\nbreak", "line\\nbreak"},
        {"tab\tand\x01"
         "bell",
            "tab\\tand\\x01bell"},
        {QString::fromUtf8("a.txt\u2028Error: b"), "a.txt\\u2028Error: b"},
        {QString::fromUtf8("c\u202etxt.exe"), "c\\u202etxt.exe"},
        {QString::fromUtf8("d\u2066e\u200ff"), "d\\u2066e\\u200ff"}, {longName, longName}};
    for (const QString &name : logged.keys())
        ASSERT_TRUE(write(in(src, name), name.toUtf8())) << name.toStdString();

    run.RunTransfer();

    for (const QString &name : logged.keys()) {
        EXPECT_EQ(read(in(dst, name)), name.toUtf8()) << name.toStdString();
        EXPECT_TRUE(lines().contains("t25: " + logged.value(name))) << name.toStdString();
    }
    EXPECT_EQ(lines().size(), logged.size());
}

TEST_F(TransferRunTest, SourceTypedWithTrailingSlashWorks)
{
    ASSERT_TRUE(write(in(src, "s.txt"), "s"));
    host.source = src + "/";
    host.destination = dst + "/";

    run.RunTransfer();

    EXPECT_EQ(read(in(dst, "s.txt")), "s");
    EXPECT_EQ(lines(), QStringList({"t25: s.txt"}));
}

TEST_F(TransferRunTest, SecondCallDuringARunDoesNothing)
{
    ASSERT_TRUE(write(in(src, "a.txt"), "a"));
    ASSERT_TRUE(write(in(src, "b.txt"), "b"));
    int nested = 0;
    host.onEvents = [&] {
        ++nested;
        run.RunTransfer();
    };

    run.RunTransfer();

    EXPECT_GE(nested, 4);
    EXPECT_EQ(lines().size(), 2);
    EXPECT_EQ(host.captions.size(), 1);
}

} // namespace

namespace
{

// The run as the window runs it: the workers handle files ahead of the log. Two of them from
// the first file on, so that files are prepared, and left behind, out of list order.
class AheadRunTest : public RunFixture
{
protected:
    void SetUp() override
    {
        RunFixture::SetUp();
        if (HasFatalFailure())
            return;
        run.setFilesAhead(TransferRun::AllFilesAhead);
        run.setWorkers(2);
        for (int n = 0; n < 60; ++n) {
            names.append(QString("f%1.txt").arg(n, 2, 10, QChar('0')));
            ASSERT_TRUE(write(in(src, names.last()), names.last().toUtf8()));
        }
    }

    QStringList names;
};

// However long one file takes, the lines come in list order.
TEST_F(AheadRunTest, SlowFileKeepsTheLogInListOrder)
{
    modFSO::testing::CopyObserver slow;
    slow.beforePlacement = [](const QByteArray &name) {
        if (name == "f01.txt")
            QThread::msleep(300);
    };
    modFSO::testing::setCopyObserver(&slow);
    run.RunTransfer();
    modFSO::testing::setCopyObserver(nullptr);

    QStringList expected;
    for (const QString &name : names)
        expected.append("t25: " + name);
    EXPECT_EQ(host.log.lines(), expected);
}

// A stop cuts the list: the files before the cut are there, whole, each with its line, and
// nothing of the files after it.
TEST_F(AheadRunTest, StopMidRunLetsNoFileAfterTheStopPointAppear)
{
    // Fewer files ahead than the list has, so that the stop comes before the last file is done.
    run.setFilesAhead(32);
    host.onEvents = [&] {
        if (host.log.lineCount() >= 10)
            run.requestStop();
    };
    run.RunTransfer();

    const QStringList lines = host.log.lines();
    ASSERT_FALSE(lines.isEmpty());
    const int handled = int(lines.size()) - 1;
    EXPECT_EQ(lines.last(), QString("t31: t25 %1 t30").arg(handled));
    EXPECT_LT(handled, names.size());
    EXPECT_EQ(TestFiles::entries(dst), names.mid(0, handled));
    for (int n = 0; n < handled; ++n) {
        EXPECT_EQ(lines.at(n), "t25: " + names.at(n));
        EXPECT_EQ(read(in(dst, names.at(n))), names.at(n).toUtf8());
    }
}

// A stop cuts where the user saw the run: once a file's in-progress line is shown, no later file
// takes its name before the window's events ran again without a stop. A dialog open during
// the run (here an event round that lasts) holds every further file too.
TEST_F(AheadRunTest, StopAndDialogsFindTheRunWhereTheLogShowsIt)
{
    modFSO::testing::CopyObserver slow;
    slow.beforePlacement = [](const QByteArray &name) {
        if (name == "f05.txt")
            QThread::msleep(300);
    };
    modFSO::testing::setCopyObserver(&slow);
    QStringList duringDialog;
    host.onEvents = [&] {
        if (host.log.newestLine() == "t27: f03.txt" && duringDialog.isEmpty()) {
            QThread::msleep(100);
            duringDialog = TestFiles::entries(dst);
        }
        if (host.log.newestLine() == "t27: f05.txt")
            run.requestStop();
    };
    run.RunTransfer();
    modFSO::testing::setCopyObserver(nullptr);

    // f05 holds up the files after it; during the dialog no file after those that had taken
    // their names may take one.
    EXPECT_FALSE(duringDialog.isEmpty());
    EXPECT_FALSE(duringDialog.contains("f06.txt")) << duringDialog.join(' ').toStdString();
    EXPECT_EQ(TestFiles::entries(dst), names.mid(0, 6));
    const QStringList lines = host.log.lines();
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines.at(5), "t25: f05.txt");
    EXPECT_EQ(lines.last(), "t31: t25 6 t30");
}

// The free-space check switched on while the workers run ahead without it applies from the
// next file that had not taken its name.
TEST_F(AheadRunTest, FreeSpaceCheckSwitchedOnDuringTheRunAppliesFromTheNextFile)
{
    modFSO::testing::CopyObserver slow;
    slow.beforePlacement = [](const QByteArray &name) {
        if (name == "f10.txt")
            QThread::msleep(100);
    };
    modFSO::testing::setCopyObserver(&slow);
    host.freeSpace = 0;
    host.onEvents = [&] {
        if (host.log.newestLine() == "t27: f10.txt")
            settings.set("CheckDestination", "0");
    };
    run.RunTransfer();
    modFSO::testing::setCopyObserver(nullptr);

    EXPECT_EQ(TestFiles::entries(dst), names.mid(0, 11));
    const QStringList lines = host.log.lines();
    ASSERT_EQ(lines.size(), names.size());
    EXPECT_EQ(lines.at(10), "t25: f10.txt");
    for (int n = 11; n < names.size(); ++n)
        EXPECT_EQ(lines.at(n), "t22 - t20: " + names.at(n));
}

// Stop answers at once: a large file that a worker copies ahead of the file in progress is
// abandoned within a MiB and leaves nothing; the file in progress is finished.
TEST_F(AheadRunTest, StopAbandonsTheCopyOfALaterLargeFile)
{
    for (const QString &name : names)
        QFile::remove(in(src, name));
    ASSERT_TRUE(write(in(src, "a.bin"), QByteArray(8 * 1024 * 1024, 'a')));
    ASSERT_TRUE(write(in(src, "b.bin"), QByteArray(64 * 1024 * 1024, 'b')));
    std::atomic<int> chunksOfB {0};
    modFSO::testing::CopyObserver slowDisk;
    slowDisk.afterChunk = [&](const QByteArray &name) {
        if (name == "b.bin")
            ++chunksOfB;
        QThread::msleep(20);
    };
    modFSO::testing::setCopyObserver(&slowDisk);
    host.onEvents = [&] {
        if (host.log.newestLine() == "t27: a.bin" && chunksOfB.load() >= 2)
            run.requestStop();
    };
    run.RunTransfer();
    modFSO::testing::setCopyObserver(nullptr);

    EXPECT_EQ(TestFiles::entries(dst), QStringList({"a.bin"}));
    EXPECT_EQ(host.log.lines(), QStringList({"t25: a.bin", "t31: t25 1 t29"}));
    EXPECT_LT(chunksOfB.load(), 32) << "the copy of b.bin went on after the stop";
}

// A kernel that refuses to link an open file by its descriptor (AT_EMPTY_PATH needs a
// privilege on older kernels): the link through /proc serves instead, for every file.
TEST_F(AheadRunTest, FilesAreLinkedThroughProcWhereTheKernelRefusesEmptyPaths)
{
    modFSO::testing::refuseEmptyPathLinks(true);
    run.RunTransfer();
    modFSO::testing::refuseEmptyPathLinks(false);

    EXPECT_EQ(TestFiles::entries(dst), names);
    for (const QString &name : names)
        EXPECT_EQ(read(in(dst, name)), name.toUtf8());
    EXPECT_EQ(host.log.lineCount(), names.size());
}

// As the run chooses its workers: a second one joins while the files are large and leaves
// when they are small again. However the two share the files, every file arrives whole, with its
// line in list order.
TEST_F(AheadRunTest, SecondWorkerForLargeFilesKeepsTheListOrder)
{
    run.setWorkers(0);
    for (int n = 0; n < names.size(); n += 3)
        ASSERT_TRUE(write(in(src, names.at(n)), QByteArray(1536 * 1024, char('a' + n % 26))));
    run.RunTransfer();

    QStringList expected;
    for (const QString &name : names)
        expected.append("t25: " + name);
    EXPECT_EQ(host.log.lines(), expected);
    EXPECT_EQ(TestFiles::entries(dst), names);
    for (const QString &name : names)
        ASSERT_EQ(read(in(dst, name)), read(in(src, name))) << name.toStdString();
}

} // namespace
