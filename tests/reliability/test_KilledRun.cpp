// A real run killed with SIGKILL in the middle of copying a large file, then started again.
#include "ReliabilitySupport.h"
#include "engine/RunFixture.h"
#include "fs/modFSO.h"

#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

using Reliability::sha256;
using Reliability::writePattern;
using TestFiles::entries;

namespace
{

constexpr qint64 MiB = 1024 * 1024;
// Several chunks of the copy, so that the run can be caught between two of them.
constexpr qint64 LargeFileSize = 64 * MiB;

// The file a process holds open in a folder: its path as the kernel names it and its size.
struct OpenFile {
    QString target;
    qint64 size = -1;
};

OpenFile openFileIn(qint64 pid, const QString &folder)
{
    const QString fds = QString("/proc/%1/fd").arg(pid);
    for (const QString &fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds + "/" + fd);
        struct stat st;
        if (!target.startsWith(folder + "/")
            || ::stat(QFile::encodeName(fds + "/" + fd).constData(), &st) != 0)
            continue;
        return {target, st.st_size};
    }
    return {};
}

class KilledRunTest : public Reliability::ChildRunFixture
{
protected:
    // Starts a run that stops for good in the middle of its copy (or, with the switch
    // --pause-before-rename, once its complete copy has a hidden name), checks that it really
    // holds a copy open in the destination, and kills it. Answers what it held open.
    OpenFile killInTheMiddleOfTheCopy(
        const QString &destination, const QStringList &switches, const QString &pause = "--pause")
    {
        const QByteArray where = pause == "--pause" ? "copying" : "renaming";
        QProcess child;
        child.start(RELIABILITY_CHILD, childArguments(destination, switches + QStringList {pause}));
        child.setReadChannel(QProcess::StandardError);
        QByteArray said;
        while (
            !said.contains(where) && child.state() != QProcess::NotRunning && child.waitForReadyRead(60000))
            said += child.readAll();
        EXPECT_TRUE(said.contains(where))
            << said.toStdString() << child.readAllStandardOutput().toStdString();
        const OpenFile partial = openFileIn(child.processId(), destination);
        child.kill();
        EXPECT_TRUE(child.waitForFinished(10000));
        EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
        return partial;
    }

    // What a killed copy may leave: nothing when its file had no name yet; a hidden file on
    // file systems that cannot make unnamed files. Never a file under a name of the listing.
    static void expectOnlyHiddenLeftovers(
        const QString &folder, const OpenFile &partial, const QStringList &kept)
    {
        EXPECT_EQ(modFSO::ListPlainFiles(folder).value, kept);
        if (partial.target.endsWith(" (deleted)")) {
            EXPECT_EQ(entries(folder), kept);
        }
    }
};

TEST_F(KilledRunTest, KilledCopyLeavesNoIncompleteFileAndTheNextRunCopiesItWhole)
{
    const QByteArray sum = writePattern(src + "/large.bin", LargeFileSize, 1);
    ASSERT_FALSE(sum.isEmpty());

    const OpenFile partial = killInTheMiddleOfTheCopy(dst, {});
    EXPECT_TRUE(partial.target.startsWith(dst + "/")) << partial.target.toStdString();
    EXPECT_GT(partial.size, 0);
    EXPECT_LT(partial.size, LargeFileSize);
    expectOnlyHiddenLeftovers(dst, partial, {});
    EXPECT_EQ(sha256(src + "/large.bin"), sum);

    EXPECT_EQ(runToTheEnd(dst, {}), QStringList({"t25: large.bin"}));
    EXPECT_EQ(sha256(dst + "/large.bin"), sum);
}

// With Overwrite ticked the old file stays whole until the new one is complete.
TEST_F(KilledRunTest, KilledOverwriteKeepsTheOldFileWhole)
{
    const QByteArray newSum = writePattern(src + "/large.bin", LargeFileSize, 2);
    const QByteArray oldSum = writePattern(dst + "/large.bin", 3 * MiB, 3);

    const OpenFile partial = killInTheMiddleOfTheCopy(dst, {"--overwrite"});
    EXPECT_GT(partial.size, 0);
    expectOnlyHiddenLeftovers(dst, partial, {"large.bin"});
    EXPECT_EQ(sha256(dst + "/large.bin"), oldSum);

    EXPECT_EQ(runToTheEnd(dst, {"--overwrite"}), QStringList({"t25 (t23): large.bin"}));
    EXPECT_EQ(sha256(dst + "/large.bin"), newSum);
}

// A move to another file system is a copy first: killed during it, the source stays.
TEST_F(KilledRunTest, KilledMoveAcrossFileSystemsKeepsTheSource)
{
    TestFiles::SmallTmpfs other(root.filePath("other"), "160m");
    RELIABILITY_REQUIRE_MOUNT(other);
    const QString destination = root.filePath("other");
    const QByteArray sum = writePattern(src + "/large.bin", LargeFileSize, 4);

    const OpenFile partial = killInTheMiddleOfTheCopy(destination, {"--move"});
    EXPECT_GT(partial.size, 0);
    EXPECT_LT(partial.size, LargeFileSize);
    expectOnlyHiddenLeftovers(destination, partial, {});
    EXPECT_EQ(sha256(src + "/large.bin"), sum);

    EXPECT_EQ(runToTheEnd(destination, {"--move"}), QStringList({"t26: large.bin"}));
    EXPECT_EQ(sha256(destination + "/large.bin"), sum);
    EXPECT_TRUE(entries(src).isEmpty());
}

} // namespace

namespace
{

// The hidden temporaries that copies write on file systems without unnamed files.
QStringList temporariesIn(const QString &folder)
{
    const QRegularExpression temporary("^\\.tessaro-[0-9a-f]{16}-[0-9a-f]+\\.part$");
    return entries(folder).filter(temporary);
}

// Killed while its two workers copy many files: every file under its final name is whole, and
// nothing else is left; the next run copies the rest.
TEST_F(KilledRunTest, KilledWhileTheWorkersCopyManyFilesLeavesOnlyWholeFiles)
{
    constexpr int Files = 300;
    QMap<QString, QByteArray> sums;
    for (int n = 0; n < Files; ++n) {
        const QString name = QString("file-%1.bin").arg(n, 3, 10, QChar('0'));
        sums.insert(name, writePattern(src + "/" + name, (n % 7 + 1) * 256 * 1024, quint32(n)));
    }

    QProcess child;
    child.start(RELIABILITY_CHILD, childArguments(dst, {}));
    ASSERT_TRUE(child.waitForStarted());
    while (entries(dst).size() < 20 && child.state() == QProcess::Running)
        QThread::msleep(2);
    child.kill();
    ASSERT_TRUE(child.waitForFinished(10000));
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << "the run ended before it could be killed";

    const QStringList arrived = entries(dst);
    EXPECT_LT(arrived.size(), Files);
    for (const QString &name : arrived)
        EXPECT_EQ(sha256(dst + "/" + name), sums.value(name)) << name.toStdString();

    EXPECT_EQ(runToTheEnd(dst, {}).size(), Files);
    EXPECT_EQ(Reliability::checksums(dst), sums);
}

// On a stick without unnamed files a copy writes a hidden temporary. One that a killed run
// left is removed by the next run into that folder, also once the stick was pulled and
// plugged in again (its device and inode numbers are new); one that a running copy still
// writes, and every other file, is left alone.
TEST_F(KilledRunTest, NextRunRemovesOnlyTheTemporariesThatNoCopyStillUses)
{
    TestMounts::FatMount stick("160M");
    TESTMOUNTS_REQUIRE_FUSE(stick);
    const QString at = stick.path();
    const QByteArray sum = writePattern(src + "/large.bin", 20 * MiB, 5);
    const QString lookAlike = ".tessaro-0123456789abcdef-0.part";
    ASSERT_TRUE(TestFiles::write(at + "/.tessaro-notes.part", "a file of the user's"));
    ASSERT_TRUE(TestFiles::write(at + "/" + lookAlike, "named like ours, made by the user"));

    QProcess running;
    const auto stopRunning = qScopeGuard([&] {
        running.kill();
        running.waitForFinished(10000);
    });
    running.start(RELIABILITY_CHILD, childArguments(at, {"--pause"}));
    running.setReadChannel(QProcess::StandardError);
    QByteArray said;
    while (!said.contains("copying") && running.waitForReadyRead(60000))
        said += running.readAll();
    ASSERT_TRUE(said.contains("copying"));
    // The running copy's temporary, and the user's file that only looks like one.
    const QStringList stillInUse = temporariesIn(at);
    ASSERT_EQ(stillInUse.size(), 2);

    killInTheMiddleOfTheCopy(at, {});
    EXPECT_EQ(temporariesIn(at).size(), 3);
    running.kill();
    running.waitForFinished(10000);
    ASSERT_TRUE(stick.remount());
    running.start(RELIABILITY_CHILD, childArguments(at, {"--pause"}));
    said.clear();
    while (!said.contains("copying") && running.waitForReadyRead(60000))
        said += running.readAll();
    ASSERT_TRUE(said.contains("copying"));
    EXPECT_EQ(temporariesIn(at).size(), 2) << "the two killed runs' temporaries are gone";

    EXPECT_EQ(runToTheEnd(at, {}), QStringList({"t25: large.bin"}));
    EXPECT_EQ(sha256(at + "/large.bin"), sum);
    EXPECT_EQ(temporariesIn(at).size(), 2);
    EXPECT_EQ(TestFiles::read(at + "/.tessaro-notes.part"), "a file of the user's");
    EXPECT_EQ(TestFiles::read(at + "/" + lookAlike), "named like ours, made by the user");

    running.kill();
    running.waitForFinished(10000);
    EXPECT_EQ(runToTheEnd(at, {}), QStringList({"t22 (t24): large.bin"}));
    EXPECT_EQ(temporariesIn(at), QStringList({lookAlike}));
}

// With Overwrite the complete copy takes a hidden name and then, in one rename, the place of
// the old file. Killed between the two, the next run removes that hidden copy.
TEST_F(KilledRunTest, KilledBetweenTheHiddenNameAndTheRenameLeavesNothingForGood)
{
    const QByteArray newSum = writePattern(src + "/large.bin", 4 * MiB, 6);
    const QByteArray oldSum = writePattern(dst + "/large.bin", MiB, 7);

    killInTheMiddleOfTheCopy(dst, {"--overwrite"}, "--pause-before-rename");
    EXPECT_EQ(temporariesIn(dst).size(), 1);
    EXPECT_EQ(sha256(dst + "/large.bin"), oldSum);

    EXPECT_EQ(runToTheEnd(dst, {"--overwrite"}), QStringList({"t25 (t23): large.bin"}));
    EXPECT_EQ(sha256(dst + "/large.bin"), newSum);
    EXPECT_EQ(entries(dst), QStringList({"large.bin"}));
}

} // namespace
