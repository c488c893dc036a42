#include "common/TestFiles.h"
#include "engine/ArrivalWatcher.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

using TestFiles::write;

TEST(ArrivalWatcherTest, SharesAndFuseAreLookedAtAndOnlyNewOrChangedFilesCount)
{
    struct Row {
        qint64 type;
        ArrivalWatcher::Mode mode;
    };
    const Row rows[] = {
        {0xEF53, ArrivalWatcher::Mode::Notified}, // ext4
        {0x01021994, ArrivalWatcher::Mode::Notified}, // tmpfs
        {0x58465342, ArrivalWatcher::Mode::Notified}, // xfs
        {0x65735546, ArrivalWatcher::Mode::Polled}, // FUSE
        {0x6969, ArrivalWatcher::Mode::Polled}, // NFS
        {0xFE534D42, ArrivalWatcher::Mode::Polled}, // SMB2
        {qint64(qint32(0xFF534D42)), ArrivalWatcher::Mode::Polled}, // CIFS, as a 32-bit long gives it
    };
    for (const Row &row : rows)
        EXPECT_EQ(ArrivalWatcher::ModeFor(row.type), row.mode) << std::hex << row.type;

    using S = ArrivalWatcher::Snapshot;
    EXPECT_FALSE(ArrivalWatcher::Arrived({1, 2, 3}, {1, 3}));
    EXPECT_FALSE(ArrivalWatcher::Arrived({1, 2, 3}, {}));
    EXPECT_TRUE(ArrivalWatcher::Arrived({1, 2, 3}, {1, 2, 4}));
    EXPECT_TRUE(ArrivalWatcher::Arrived(S(), {7}));

    QTemporaryDir folder;
    ASSERT_TRUE(write(folder.filePath("a"), "a"));
    const S before = ArrivalWatcher::Look(folder.path());
    ASSERT_TRUE(QDir(folder.path()).mkdir("sub"));
    ASSERT_TRUE(write(folder.filePath(".hidden"), "h"));
    EXPECT_EQ(ArrivalWatcher::Look(folder.path()), before);
    ASSERT_TRUE(write(folder.filePath("a"), "longer"));
    EXPECT_TRUE(ArrivalWatcher::Arrived(before, ArrivalWatcher::Look(folder.path())));
}

// A local folder: the kernel's notifications, nothing while nothing happens.
TEST(ArrivalWatcherTest, ABurstOfFilesArrivesOnceItIsQuiet)
{
    QTemporaryDir folder;
    ArrivalWatcher watcher;
    watcher.setTiming({200, 10000, 30000});
    QSignalSpy arrived(&watcher, &ArrivalWatcher::arrived);
    watcher.watch(folder.path());
    ASSERT_EQ(watcher.mode(), ArrivalWatcher::Mode::Notified);

    for (int n = 0; n < 1000; ++n)
        ASSERT_TRUE(write(folder.filePath(QString("f%1").arg(n)), "x"));
    QTRY_VERIFY(arrived.count() >= 1);
    QTest::qWait(500);
    EXPECT_LE(arrived.count(), 2);
    arrived.clear();

    // Gone files, folders and hidden files are no arrival; a file linked in whole is.
    for (int n = 0; n < 10; ++n)
        ASSERT_TRUE(QFile::remove(folder.filePath(QString("f%1").arg(n))));
    ASSERT_TRUE(QDir(folder.path()).mkdir("sub"));
    ASSERT_TRUE(write(folder.filePath(".partial"), "p"));
    QTest::qWait(500);
    EXPECT_EQ(arrived.count(), 0);
    ASSERT_EQ(::link(QFile::encodeName(folder.filePath("f500")).constData(),
                  QFile::encodeName(folder.filePath("linked")).constData()),
        0);
    QTRY_COMPARE(arrived.count(), 1);

    // Files still written at a run's end are looked for once more; when that run still finds
    // them unready and nothing came, the writer's close is waited for.
    watcher.runEnded(1, 0);
    QTRY_COMPARE(arrived.count(), 2);
    watcher.runEnded(1, 0);
    QTest::qWait(500);
    EXPECT_EQ(arrived.count(), 2);

    // The folder goes: looks take over, and find it when it comes back.
    ASSERT_TRUE(QDir(folder.path()).removeRecursively());
    QTRY_COMPARE(watcher.mode(), ArrivalWatcher::Mode::Polled);
}

// Where no notifications come, files count once a look finds the folder as the one before.
TEST(ArrivalWatcherTest, LooksTellAnArrivalOnceTheFolderHasGoneQuiet)
{
    QTemporaryDir folder;
    ASSERT_TRUE(write(folder.filePath("there"), "already"));
    ArrivalWatcher watcher;
    watcher.setTiming({20, 5000, 100});
    QSignalSpy arrived(&watcher, &ArrivalWatcher::arrived);
    watcher.watchByLooking(folder.path());
    EXPECT_EQ(watcher.mode(), ArrivalWatcher::Mode::Polled);
    QTest::qWait(350);
    EXPECT_EQ(arrived.count(), 0);

    ASSERT_TRUE(write(folder.filePath("new"), "n"));
    QTRY_COMPARE(arrived.count(), 1);
    ASSERT_TRUE(QFile::remove(folder.filePath("there")));
    QTest::qWait(350);
    EXPECT_EQ(arrived.count(), 1);

    watcher.stop();
    ASSERT_TRUE(write(folder.filePath("later"), "l"));
    QTest::qWait(350);
    EXPECT_EQ(arrived.count(), 1);
}
