// Ways a file could be lost or a failure told as success: a name that appears while its copy
// is written, a source that is still being written while it is moved, links in the source, a
// destination that has gone, a placement or a listing that the kernel refuses half way.
#include "ReliabilitySupport.h"
#include "engine/RunFixture.h"
#include "fs/TransferFolders.h"

#include <cerrno>
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

// A move across file systems deletes its source only when the source is still what was
// copied; a file that was still being written keeps everything, in both places.
TEST_F(DataSafetyTest, MoveKeepsASourceThatChangedWhileItWasCopied)
{
    TestFiles::SmallTmpfs other(root.filePath("other"), "16m");
    RELIABILITY_REQUIRE_MOUNT(other);
    host.destination = root.filePath("other");
    host.move = true;
    const BeforePlacement stillWriting([&](const QString &name) {
        QFile file(in(src, name));
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(" and more");
    });

    for (bool overwrite : {false, true}) {
        SCOPED_TRACE(overwrite ? "over an existing file" : "a new file");
        ASSERT_TRUE(write(in(src, "grows.log"), "first part"));
        if (overwrite) {
            ASSERT_TRUE(write(in(host.destination, "grows.log"), "old"));
        }
        host.overwrite = overwrite;
        run.RunTransfer();
        EXPECT_EQ(lines().last(),
            "t35: The file changed while it was moved; it was kept in both folders - grows.log");
        EXPECT_EQ(read(in(src, "grows.log")), "first part and more");
        EXPECT_EQ(read(in(host.destination, "grows.log")), "first part");
        QFile::remove(in(host.destination, "grows.log"));
    }
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
    for (const char *call : {"linkat", "renameat"}) {
        SCOPED_TRACE(call);
        ASSERT_TRUE(write(in(src, "a.txt"), "new version"));
        ASSERT_TRUE(write(in(dst, "a.txt"), "old version"));
        EXPECT_EQ(runToTheEnd(dst, {"--overwrite"}, call), QStringList({failed}));
        EXPECT_EQ(read(in(dst, "a.txt")), "old version");
        EXPECT_EQ(entries(dst), QStringList({"a.txt"}));
    }
    EXPECT_EQ(runToTheEnd(dst, {"--overwrite", "--move"}, "renameat"), QStringList({failed}));
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
