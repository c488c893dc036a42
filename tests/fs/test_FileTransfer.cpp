// Deleting, copying and moving one file: results, error texts and what the file system holds
// afterwards, including after failures.
#include "FsTestSupport.h"
#include "fs/TestHooks.h"
#include "fs/TransferFolders.h"
#include "fs/modFSO.h"
#include "fs/modSize.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fstest;

namespace
{

QString strerrorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString copyStepText(int code, const QString &source, const QString &destination)
{
    return QStringLiteral("CopyAFile CopyFile Error(%1): %2 Source Path: %3 Destination Path: %4")
        .arg(code)
        .arg(strerrorText(code), source, destination);
}

QString moveText(int code, const QString &source, const QString &destination)
{
    return QStringLiteral("MoveAFile Error(%1): %2 Source Path: %3 Destination Path: %4")
        .arg(code)
        .arg(strerrorText(code), source, destination);
}

struct stat statOf(const QString &path)
{
    struct stat st {
    };
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st;
}

void setModeAndTime(const QString &path, mode_t mode)
{
    const QByteArray native = QFile::encodeName(path);
    ASSERT_EQ(::chmod(native.constData(), mode), 0);
    const struct timespec times[2] = {{1000000000, 123456789}, {1200000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
}

void expectSameModeAndTime(const QString &original, const QString &copy)
{
    const struct stat a = statOf(original);
    const struct stat b = statOf(copy);
    EXPECT_EQ(a.st_mode & 07777, b.st_mode & 07777);
    EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec);
    EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec);
}

// What the file operations say of a failure, empty on success.
QString textOf(const std::optional<modFSO::FsError> &error)
{
    return error ? modFSO::ErrorText(*error) : QString();
}

// A copy as on file systems without unnamed files: through a hidden temporary. The errno of
// its failure, 0 on success.
int copyWithHiddenTemporary(const QString &source, const QString &destination, modFSO::Placement placement)
{
    modFSO::testing::refuseUnnamedFiles(true);
    const auto error = modFSO::CopyAFile(source, destination, placement == modFSO::Placement::Replace);
    modFSO::testing::refuseUnnamedFiles(false);
    return error ? error->code : 0;
}

class FileTransferTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("src")));
        ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("dst")));
    }

    QString src(const QString &name) const { return m_dir.filePath(QStringLiteral("src/") + name); }
    QString dst(const QString &name) const { return m_dir.filePath(QStringLiteral("dst/") + name); }
    QString dstFolder() const { return m_dir.filePath(QStringLiteral("dst")); }

    QTemporaryDir m_dir;
};

TEST_F(FileTransferTest, CopyKeepsContentModeAndModificationTime)
{
    const QByteArray data = patternBytes(300000);
    writeFile(src("a.bin"), data);
    setModeAndTime(src("a.bin"), 0751);

    EXPECT_EQ(textOf(modFSO::CopyAFile(src("a.bin"), dst("a.bin"), false)), QString());
    EXPECT_EQ(readFile(dst("a.bin")), data);
    expectSameModeAndTime(src("a.bin"), dst("a.bin"));

    ASSERT_EQ(copyWithHiddenTemporary(src("a.bin"), dst("b.bin"), modFSO::Placement::NoReplace), 0);
    EXPECT_EQ(readFile(dst("b.bin")), data);
    expectSameModeAndTime(src("a.bin"), dst("b.bin"));

    // Bits that the process's creation mask takes away are still those of the source.
    const mode_t mask = ::umask(077);
    writeFile(src("shared.txt"), "for all");
    setModeAndTime(src("shared.txt"), 0666);
    EXPECT_EQ(textOf(modFSO::CopyAFile(src("shared.txt"), dst("shared.txt"), false)), QString());
    ::umask(mask);
    expectSameModeAndTime(src("shared.txt"), dst("shared.txt"));

    writeFile(src("empty"), {});
    EXPECT_EQ(textOf(modFSO::CopyAFile(src("empty"), dst("empty"), false)), QString());
    EXPECT_TRUE(QFileInfo(dst("empty")).isFile());
    EXPECT_EQ(QFileInfo(dst("empty")).size(), 0);

    EXPECT_EQ(allEntries(dstFolder()), QStringList({"a.bin", "b.bin", "empty", "shared.txt"}));
}

TEST_F(FileTransferTest, CopyWithoutOverwriteNeverReplaces)
{
    writeFile(src("a.txt"), "new");
    writeFile(dst("a.txt"), "old");

    EXPECT_EQ(textOf(modFSO::CopyAFile(src("a.txt"), dst("a.txt"), false)),
        copyStepText(EEXIST, src("a.txt"), dst("a.txt")));
    EXPECT_EQ(readFile(dst("a.txt")), "old");

    EXPECT_EQ(copyWithHiddenTemporary(src("a.txt"), dst("a.txt"), modFSO::Placement::NoReplace), EEXIST);
    EXPECT_EQ(readFile(dst("a.txt")), "old");

    // A dangling link holds its name too: nothing is written through it.
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(dst("link")).constData()), 0);
    EXPECT_EQ(textOf(modFSO::CopyAFile(src("a.txt"), dst("link"), false)),
        copyStepText(EEXIST, src("a.txt"), dst("link")));
    EXPECT_FALSE(QFileInfo::exists(dstFolder() + "/nowhere"));

    EXPECT_EQ(allEntries(dstFolder()), QStringList({"a.txt", "link"}));
}

// The names noted at the start stand in for a look at each name: anything the destination had
// then counts, and a destination whose names were not read, or were too many, lacks nothing.
TEST_F(FileTransferTest, DestinationNamesNotedAtTheStartTellWhichNamesItLacked)
{
    writeFile(dst("a.txt"), "old");
    writeFile(dst(".hidden"), "old");
    ASSERT_TRUE(QDir(dstFolder()).mkdir("folder"));
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(dst("link")).constData()), 0);

    modFSO::TransferFolders folders(m_dir.filePath("src"), dstFolder());
    EXPECT_FALSE(folders.destinationLacked("new.txt")) << "not noted yet";
    folders.noteDestinationNames(4);
    EXPECT_TRUE(folders.destinationLacked("new.txt"));
    for (const char *name : {"a.txt", ".hidden", "folder", "link"})
        EXPECT_FALSE(folders.destinationLacked(name)) << name;
    folders.noteDestinationNames(3);
    EXPECT_FALSE(folders.destinationLacked("new.txt")) << "more names than it may note";

    modFSO::TransferFolders gone(m_dir.filePath("src"), m_dir.filePath("gone"));
    gone.noteDestinationNames(4);
    EXPECT_FALSE(gone.destinationLacked("new.txt"));
}

TEST_F(FileTransferTest, CopyWithOverwriteReplacesTarget)
{
    writeFile(src("a.txt"), "new content");
    writeFile(dst("a.txt"), "old");
    EXPECT_EQ(textOf(modFSO::CopyAFile(src("a.txt"), dst("a.txt"), true)), QString());
    EXPECT_EQ(readFile(dst("a.txt")), "new content");

    writeFile(src("b.txt"), "second");
    EXPECT_EQ(textOf(modFSO::CopyAFile(src("b.txt"), dst("b.txt"), true)), QString());
    EXPECT_EQ(readFile(dst("b.txt")), "second");

    writeFile(dst("c.txt"), "old");
    EXPECT_EQ(copyWithHiddenTemporary(src("a.txt"), dst("c.txt"), modFSO::Placement::Replace), 0);
    EXPECT_EQ(readFile(dst("c.txt")), "new content");

    EXPECT_EQ(allEntries(dstFolder()), QStringList({"a.txt", "b.txt", "c.txt"}));
}

// The old target is only given up once its replacement is complete.
TEST_F(FileTransferTest, FailedCopyWithOverwriteKeepsTheOldTarget)
{
    writeFile(dst("a.txt"), "old");
    EXPECT_EQ(textOf(modFSO::CopyAFile(src("missing"), dst("a.txt"), true)),
        copyStepText(ENOENT, src("missing"), dst("a.txt")));
    EXPECT_EQ(readFile(dst("a.txt")), "old");

    writeFile(src("self.txt"), "precious");
    EXPECT_EQ(textOf(modFSO::CopyAFile(src("self.txt"), src("self.txt"), true)), QString());
    EXPECT_EQ(readFile(src("self.txt")), "precious");

    // Neither delete nor copy can put a file in place of a folder; the copy step's text wins.
    ASSERT_TRUE(QDir(dstFolder()).mkpath("folder/inner"));
    EXPECT_EQ(textOf(modFSO::CopyAFile(src("self.txt"), dst("folder"), true)),
        copyStepText(EISDIR, src("self.txt"), dst("folder")));
    EXPECT_TRUE(QFileInfo(dst("folder/inner")).isDir());
    EXPECT_EQ(allEntries(dstFolder()), QStringList({"a.txt", "folder"}));
}

TEST_F(FileTransferTest, CopyFailuresGiveTheirTextAndLeaveNothing)
{
    writeFile(src("a.txt"), "data");
    writeFile(dst("plain"), "x");

    EXPECT_EQ(textOf(modFSO::CopyAFile(src("missing"), dst("a.txt"), false)),
        copyStepText(ENOENT, src("missing"), dst("a.txt")));
    EXPECT_EQ(textOf(modFSO::CopyAFile(src("a.txt"), dst("plain/a.txt"), false)),
        copyStepText(ENOTDIR, src("a.txt"), dst("plain/a.txt")));
    EXPECT_EQ(textOf(modFSO::CopyAFile(m_dir.filePath("src"), dst("b"), false)),
        copyStepText(EISDIR, m_dir.filePath("src"), dst("b")));

    EXPECT_EQ(textOf(modFSO::CopyAFile(src("a.txt"), dstFolder() + "/", false)),
        copyStepText(EISDIR, src("a.txt"), dstFolder() + "/"));

    // The name is refused only after the data is written: the temporary must go as well.
    const QString longTarget = dst(overlongName());
    EXPECT_EQ(textOf(modFSO::CopyAFile(src("a.txt"), longTarget, true)),
        copyStepText(ENAMETOOLONG, src("a.txt"), longTarget));
    EXPECT_EQ(copyWithHiddenTemporary(src("a.txt"), longTarget, modFSO::Placement::NoReplace), ENAMETOOLONG);
    EXPECT_EQ(copyWithHiddenTemporary(src("a.txt"), longTarget, modFSO::Placement::Replace), ENAMETOOLONG);

    EXPECT_EQ(allEntries(dstFolder()), QStringList({"plain"}));
}

TEST_F(FileTransferTest, DeleteAFileReportsFailures)
{
    writeFile(dst("a.txt"), "x");
    EXPECT_EQ(textOf(modFSO::DeleteAFile(dst("a.txt"))), QString());
    EXPECT_FALSE(QFileInfo::exists(dst("a.txt")));

    EXPECT_EQ(textOf(modFSO::DeleteAFile(dst("a.txt"))),
        QStringLiteral("DeleteAFile Error(%1): %2 FileName: %3")
            .arg(ENOENT)
            .arg(strerrorText(ENOENT), dst("a.txt")));
    EXPECT_EQ(textOf(modFSO::DeleteAFile(dstFolder())),
        QStringLiteral("DeleteAFile Error(%1): %2 FileName: %3")
            .arg(EISDIR)
            .arg(strerrorText(EISDIR), dstFolder()));
    EXPECT_TRUE(QFileInfo(dstFolder()).isDir());
}

TEST_F(FileTransferTest, MoveWithinOneFileSystem)
{
    const QByteArray data = patternBytes(5000);
    writeFile(src("a.bin"), data);
    EXPECT_EQ(textOf(modFSO::MoveAFile(src("a.bin"), dst("a.bin"))), QString());
    EXPECT_FALSE(QFileInfo::exists(src("a.bin")));
    EXPECT_EQ(readFile(dst("a.bin")), data);

    EXPECT_EQ(
        textOf(modFSO::MoveAFile(src("a.bin"), dst("b.bin"))), moveText(ENOENT, src("a.bin"), dst("b.bin")));
}

TEST_F(FileTransferTest, MoveNeverReplacesTarget)
{
    writeFile(src("a.txt"), "new");
    writeFile(dst("a.txt"), "old");
    EXPECT_EQ(
        textOf(modFSO::MoveAFile(src("a.txt"), dst("a.txt"))), moveText(EEXIST, src("a.txt"), dst("a.txt")));
    EXPECT_EQ(readFile(src("a.txt")), "new");
    EXPECT_EQ(readFile(dst("a.txt")), "old");
}

// Large files go in chunks; a test can act between them (the kill tests stop there).
TEST_F(FileTransferTest, LargeCopiesGoInChunksThatATestCanStopBetween)
{
    const qint64 chunk = 1024 * 1024;
    const QByteArray data = patternBytes(5 * chunk - 100);
    writeFile(src("big"), data);
    int calls = 0;
    modFSO::testing::CopyObserver observer;
    observer.afterChunk = [&](const QByteArray &name) {
        EXPECT_EQ(name, "big");
        ++calls;
    };
    modFSO::testing::setCopyObserver(&observer);
    EXPECT_EQ(textOf(modFSO::CopyAFile(src("big"), dst("big"), false)), QString());
    modFSO::testing::setCopyObserver(nullptr);
    EXPECT_EQ(calls, 4) << "one call after each chunk but the last";
    EXPECT_EQ(readFile(dst("big")), data);
}

// A file with holes keeps them: its copy takes no more room than it does.
TEST_F(FileTransferTest, HolesStayHoles)
{
    const qint64 size = 1024LL * 1024 * 1024;
    {
        QFile sparse(src("sparse"));
        ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
        ASSERT_TRUE(sparse.seek(size / 2));
        ASSERT_EQ(sparse.write("in the middle"), 13);
        ASSERT_TRUE(sparse.resize(size));
    }
    for (bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "hidden temporary" : "unnamed temporary");
        const QString target = dst(hidden ? "hidden" : "unnamed");
        if (hidden)
            ASSERT_EQ(copyWithHiddenTemporary(src("sparse"), target, modFSO::Placement::NoReplace), 0);
        else
            ASSERT_EQ(textOf(modFSO::CopyAFile(src("sparse"), target, false)), QString());
        const struct stat original = statOf(src("sparse"));
        const struct stat copy = statOf(target);
        EXPECT_EQ(copy.st_size, size);
        EXPECT_LE(copy.st_blocks, original.st_blocks + 16) << "a block of 4 KiB is 8 of these";
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        ASSERT_TRUE(file.seek(size / 2 - 1));
        EXPECT_EQ(file.read(15), QByteArray(1, '\0') + "in the middle" + QByteArray(1, '\0'));
    }
}

// The look for another program that still writes the source takes a lease, whose break the
// kernel signals with SIGIO: the signal is caught, not ignored, since an ignored signal stays
// ignored in every program started from this one (a browser opened from the help).
TEST_F(FileTransferTest, ProgramsStartedAfterACopyDoNotIgnoreSigio)
{
    writeFile(src("a.txt"), "data");
    ASSERT_EQ(textOf(modFSO::CopyAFile(src("a.txt"), dst("a.txt"), false)), QString());
    struct sigaction action {
    };
    ASSERT_EQ(::sigaction(SIGIO, nullptr, &action), 0);
    EXPECT_NE(action.sa_handler, SIG_DFL) << "a lease break would end the program";

    QProcess child;
    child.start("/bin/sh", {"-c", "grep SigIgn /proc/self/status"});
    ASSERT_TRUE(child.waitForFinished(10000));
    bool ok = false;
    const quint64 ignored = child.readAll().split(':').value(1).trimmed().toULongLong(&ok, 16);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ignored & (quint64(1) << (SIGIO - 1)), 0u);
}

class AcrossFileSystemsTest : public FileTransferTest
{
protected:
    QString onTmpfs(const QString &name) const { return m_tmpfs.path() + QLatin1Char('/') + name; }

    TmpfsMount m_tmpfs;
};

TEST_F(AcrossFileSystemsTest, MoveCopiesThenRemovesTheSource)
{
    FSTEST_REQUIRE_TMPFS(m_tmpfs);
    const QByteArray data = patternBytes(1024 * 1024);
    writeFile(src("a.bin"), data);
    setModeAndTime(src("a.bin"), 0640);
    const struct stat before = statOf(src("a.bin"));

    EXPECT_EQ(textOf(modFSO::MoveAFile(src("a.bin"), onTmpfs("a.bin"))), QString());
    EXPECT_FALSE(QFileInfo::exists(src("a.bin")));
    EXPECT_EQ(readFile(onTmpfs("a.bin")), data);
    const struct stat after = statOf(onTmpfs("a.bin"));
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    writeFile(src("b.txt"), "new");
    writeFile(onTmpfs("b.txt"), "old");
    EXPECT_EQ(textOf(modFSO::MoveAFile(src("b.txt"), onTmpfs("b.txt"))),
        moveText(EEXIST, src("b.txt"), onTmpfs("b.txt")));
    EXPECT_EQ(readFile(src("b.txt")), "new");
    EXPECT_EQ(readFile(onTmpfs("b.txt")), "old");
    EXPECT_EQ(allEntries(m_tmpfs.path()), QStringList({"a.bin", "b.txt"}));
}

// A copy that runs out of room fails as a whole: no partial file, no temporary holding space,
// and a move keeps its source byte for byte.
TEST_F(AcrossFileSystemsTest, CopyThatDoesNotFitLeavesNothingBehind)
{
    FSTEST_REQUIRE_TMPFS(m_tmpfs);
    const QByteArray data = patternBytes(6 * 1024 * 1024);
    writeFile(src("big.bin"), data);
    const qint64 freeBefore = modSize::DiskFree(m_tmpfs.path());

    EXPECT_EQ(textOf(modFSO::MoveAFile(src("big.bin"), onTmpfs("big.bin"))),
        moveText(ENOSPC, src("big.bin"), onTmpfs("big.bin")));
    EXPECT_EQ(readFile(src("big.bin")), data);

    EXPECT_EQ(textOf(modFSO::CopyAFile(src("big.bin"), onTmpfs("big.bin"), true)),
        copyStepText(ENOSPC, src("big.bin"), onTmpfs("big.bin")));
    EXPECT_EQ(
        copyWithHiddenTemporary(src("big.bin"), onTmpfs("big.bin"), modFSO::Placement::NoReplace), ENOSPC);

    EXPECT_TRUE(allEntries(m_tmpfs.path()).isEmpty());
    EXPECT_EQ(modFSO::ListPlainFiles(m_tmpfs.path()).value, QStringList());
    EXPECT_EQ(modSize::DiskFree(m_tmpfs.path()), freeBefore);
}

} // namespace
