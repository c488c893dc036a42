// Ways a file could be lost or a failure told as success: a name that appears while its copy
// is written, a source that is still being written while it is moved, links in the source, a
// destination that has gone, a placement or a listing that the kernel refuses half way.
#include "ReliabilitySupport.h"
#include "engine/RunFixture.h"
#include "fs/TestHooks.h"
#include "fs/TransferFolders.h"

#include <QProcess>
#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

using Reliability::errorText;
using TestFiles::entries;
using TestFiles::read;
using TestFiles::write;

namespace
{

// Lets a test act inside every copy of the run, right before the copy takes its name.
class BeforePlacement
{
public:
    explicit BeforePlacement(std::function<void(const QString &name)> action)
    {
        m_observer.beforePlacement = [action](const QByteArray &name) { action(QString::fromUtf8(name)); };
        modFSO::testing::setCopyObserver(&m_observer);
    }
    ~BeforePlacement() { modFSO::testing::setCopyObserver(nullptr); }
    BeforePlacement(const BeforePlacement &) = delete;
    BeforePlacement &operator=(const BeforePlacement &) = delete;

private:
    modFSO::testing::CopyObserver m_observer;
};

class DataSafetyTest : public RunFixture
{
protected:
    QStringList lines() const { return host.log.lines(); }
};

// Without Overwrite nothing is ever replaced, also not with the free-space check on (which
// used to copy with Overwrite forced on): the copy is dropped and the other file stays.
TEST_F(DataSafetyTest, NameThatAppearsDuringTheCopyIsNotReplacedWithoutOverwrite)
{
    ASSERT_TRUE(write(in(src, "a.txt"), "mine"));
    const BeforePlacement otherWriter([&](const QString &name) { write(in(dst, name), "theirs"); });
    host.freeSpace = Q_INT64_C(1) << 30;

    for (const char *check : {"0", "1"}) {
        SCOPED_TRACE(check);
        settings.set("CheckDestination", check);
        QFile::remove(in(dst, "a.txt"));
        run.RunTransfer();
        EXPECT_EQ(lines().last(), "t35: " + errorText(EEXIST) + " - a.txt");
        EXPECT_EQ(read(in(dst, "a.txt")), "theirs");
        EXPECT_EQ(entries(dst), QStringList({"a.txt"}));
    }
}

// A copy whose source changed while it was copied (written to, or cut short) is never named: it
// may be neither the old content nor the new. The line says so, the source stays as it is,
// and the next run transfers it whole. A move across file systems is the same.
TEST_F(DataSafetyTest, CopyOfASourceThatChangedIsNeverNamedAndTheNextRunTransfersItWhole)
{
    TestFiles::SmallTmpfs other(root.filePath("other"), "16m");
    RELIABILITY_REQUIRE_MOUNT(other);
    const QByteArray data(3 * 1024 * 1024, 'd');
    const auto appendBeforeNaming = [&](modFSO::testing::CopyObserver &observer) {
        observer.beforePlacement = [&](const QByteArray &name) {
            QFile file(in(src, QString::fromUtf8(name)));
            ASSERT_TRUE(file.open(QIODevice::Append));
            file.write(" and more");
        };
    };
    const auto truncateWhileCopying = [&](modFSO::testing::CopyObserver &observer) {
        observer.afterChunk = [&](const QByteArray &name) {
            ASSERT_EQ(::truncate(QFile::encodeName(in(src, QString::fromUtf8(name))).constData(), 100), 0);
        };
    };
    using Change = std::function<void(modFSO::testing::CopyObserver &)>;
    for (bool move : {false, true}) {
        for (const Change &change : {Change(appendBeforeNaming), Change(truncateWhileCopying)}) {
            SCOPED_TRACE(move ? "move to another file system" : "copy");
            host.move = move;
            host.destination = move ? root.filePath("other") : dst;
            ASSERT_TRUE(write(in(src, "big.bin"), data));
            modFSO::testing::CopyObserver observer;
            change(observer);
            modFSO::testing::setCopyObserver(&observer);
            run.RunTransfer();
            modFSO::testing::setCopyObserver(nullptr);

            EXPECT_EQ(lines().last(), move ? "t35: t74 - big.bin" : "t35: t73 - big.bin");
            EXPECT_TRUE(entries(host.destination).isEmpty());
            const QByteArray changed = read(in(src, "big.bin"));
            EXPECT_NE(changed, data);

            run.RunTransfer();
            EXPECT_EQ(lines().last(), move ? "t26: big.bin" : "t25: big.bin");
            EXPECT_EQ(read(in(host.destination, "big.bin")), changed);
            EXPECT_EQ(QFile::exists(in(src, "big.bin")), !move);
            QFile::remove(in(host.destination, "big.bin"));
        }
    }
}

// A file that another program still holds open for writing (a download, a scan) is neither
// copied nor moved, also not renamed within one file system; once the writer has closed it,
// the next run transfers it. The writer is a process of its own.
TEST_F(DataSafetyTest, FileThatAnotherProgramStillWritesIsLeftForTheNextRun)
{
    TestFiles::SmallTmpfs other(root.filePath("other"), "4m");
    QStringList destinations = {dst};
    if (other.mounted())
        destinations.append(root.filePath("other"));
    for (const QString &destination : destinations) {
        for (bool move : {false, true}) {
            SCOPED_TRACE(QString("%1 to %2").arg(move ? "move" : "copy", destination).toStdString());
            host.move = move;
            host.destination = destination;
            ASSERT_TRUE(write(in(src, "scan.pdf"), "first pages"));
            Reliability::FileHolder writer(in(src, "scan.pdf"));
            ASSERT_TRUE(writer.holds());

            run.RunTransfer();
            EXPECT_EQ(lines().last(), move ? "t21 (t72): scan.pdf" : "t22 (t72): scan.pdf");
            EXPECT_TRUE(entries(destination).isEmpty());
            EXPECT_EQ(read(in(src, "scan.pdf")), "first pages");

            writer.end();
            run.RunTransfer();
            EXPECT_EQ(lines().last(), move ? "t26: scan.pdf" : "t25: scan.pdf");
            EXPECT_EQ(read(in(destination, "scan.pdf")), "first pages");
            QFile::remove(in(destination, "scan.pdf"));
            QFile::remove(in(src, "scan.pdf"));
        }
    }
}

// A move is whole or not at all: a source that cannot be removed (here a read-only folder) is
// not copied either, the line says why, and the next run, able to remove it, moves it.
TEST_F(DataSafetyTest, MoveWhoseSourceCannotBeRemovedLeavesNoCopy)
{
    TestFiles::SmallTmpfs other(root.filePath("other"), "4m");
    RELIABILITY_REQUIRE_MOUNT(other);
    ASSERT_TRUE(write(in(src, "keep.txt"), "mine"));
    ASSERT_TRUE(QDir().mkpath(root.filePath("read-only")));
    const TestMounts::BindMount readOnly(src, root.filePath("read-only"), true);
    RELIABILITY_REQUIRE_MOUNT(readOnly);
    host.move = true;
    host.destination = root.filePath("other");

    host.source = root.filePath("read-only");
    run.RunTransfer();
    EXPECT_EQ(lines().last(), "t35: " + errorText(EROFS) + " - keep.txt");
    EXPECT_TRUE(entries(host.destination).isEmpty());
    EXPECT_EQ(read(in(src, "keep.txt")), "mine");

    host.source = src;
    run.RunTransfer();
    EXPECT_EQ(lines().last(), "t26: keep.txt");
    EXPECT_EQ(read(in(host.destination, "keep.txt")), "mine");
    EXPECT_FALSE(QFile::exists(in(src, "keep.txt")));
}

// A link to a file delivers the content of its target under the link's name, whether it is
// copied or moved, on one file system or across; a move removes the link, never the target.
TEST_F(DataSafetyTest, LinkToAFileArrivesAsItsContentAndAMoveRemovesOnlyTheLink)
{
    ASSERT_TRUE(QDir().mkpath(root.filePath("elsewhere")));
    ASSERT_TRUE(write(root.filePath("elsewhere/data.txt"), "the content"));
    TestFiles::SmallTmpfs other(root.filePath("other"), "4m");
    QStringList destinations = {dst};
    if (other.mounted())
        destinations.append(root.filePath("other"));

    for (const QString &destination : destinations) {
        for (bool move : {false, true}) {
            SCOPED_TRACE(destination.toStdString() + (move ? " move" : " copy"));
            QFile::remove(in(destination, "relative.txt"));
            QFile::remove(in(src, "relative.txt"));
            ASSERT_EQ(
                ::symlink("../elsewhere/data.txt", QFile::encodeName(in(src, "relative.txt")).constData()),
                0);
            host.destination = destination;
            host.move = move;
            run.RunTransfer();
            EXPECT_EQ(lines().last(), (move ? "t26: " : "t25: ") + QString("relative.txt"));
            EXPECT_FALSE(QFileInfo(in(destination, "relative.txt")).isSymLink());
            EXPECT_EQ(read(in(destination, "relative.txt")), "the content");
            EXPECT_EQ(QFileInfo(in(src, "relative.txt")).isSymLink(), !move);
            EXPECT_EQ(read(root.filePath("elsewhere/data.txt")), "the content");
        }
    }
}

// With the free-space check on, a destination that is gone is told as what it is, not as a
// lack of room.
TEST_F(DataSafetyTest, MissingDestinationWithTheFreeSpaceCheckTellsTheSystemsReason)
{
    ASSERT_TRUE(write(in(src, "a.txt"), "a"));
    settings.set("CheckDestination", "0");
    host.destination = root.filePath("missing");

    for (bool move : {false, true}) {
        host.move = move;
        run.RunTransfer();
        EXPECT_EQ(lines().last(), "t35: " + errorText(ENOENT) + " - a.txt");
        EXPECT_EQ(read(in(src, "a.txt")), "a");
    }
}

class InjectedFaultTest : public Reliability::ChildRunFixture
{
protected:
    void SetUp() override
    {
        Reliability::ChildRunFixture::SetUp();
        if (!HasFatalFailure() && !Reliability::straceWorks())
            GTEST_SKIP() << "needs strace, allowed to trace, to inject the faults";
    }
};

// Overwrite links the complete copy under a hidden name and renames it over the old file in
// one step: whichever of the two the kernel refuses, the old file stays whole and nothing
// else is left.
TEST_F(InjectedFaultTest, ReplacementThatCannotBePlacedKeepsTheOldFile)
{
    const QString failed = "t35: " + errorText(EIO) + " - a.txt";
    // Where no rename works, the record of temporaries cannot be kept either, and the run says so.
    const auto fileLines = [](QStringList lines) {
        lines.removeIf([](const QString &line) { return line.startsWith("t35: t81 - "); });
        return lines;
    };
    for (const char *call : {"linkat", "renameat"}) {
        SCOPED_TRACE(call);
        ASSERT_TRUE(write(in(src, "a.txt"), "new version"));
        ASSERT_TRUE(write(in(dst, "a.txt"), "old version"));
        EXPECT_EQ(fileLines(runToTheEnd(dst, {"--overwrite"}, call)), QStringList({failed}));
        EXPECT_EQ(read(in(dst, "a.txt")), "old version");
        EXPECT_EQ(entries(dst), QStringList({"a.txt"}));
    }
    EXPECT_EQ(fileLines(runToTheEnd(dst, {"--overwrite", "--move"}, "renameat")), QStringList({failed}));
    EXPECT_EQ(read(in(dst, "a.txt")), "old version");
    EXPECT_EQ(read(in(src, "a.txt")), "new version");
}

// A listing that breaks off gives its error line, and the run goes on with the names read.
TEST_F(InjectedFaultTest, ListingThatBreaksOffGoesOnWithTheNamesRead)
{
    constexpr int Files = 3000; // more than one read of the folder returns
    for (int n = 0; n < Files; ++n)
        ASSERT_TRUE(write(in(src, QString("file-%1.txt").arg(n, 4, 10, QChar('0'))), "x"));

    const QStringList lines = runToTheEnd(dst, {}, "getdents64:when=2");

    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), "t35: " + errorText(EIO) + " - ");
    const QStringList copied = entries(dst);
    EXPECT_GT(copied.size(), 0);
    EXPECT_LT(copied.size(), Files);
    QStringList expected;
    for (const QString &name : copied)
        expected.append("t25: " + name);
    EXPECT_EQ(lines.mid(1), expected);
}

} // namespace
