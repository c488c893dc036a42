// The record of hidden temporaries: what a killed run leaves goes with the next run into that
// folder, and never a file that the program did not make; the record stays small, and nothing
// put in its place can make the program write into a file of the user's, eat memory or hang.
#include "FsTestSupport.h"
#include "fs/FileDescriptor.h"
#include "fs/TemporaryRecord.h"
#include "fs/TestHooks.h"
#include "fs/TransferFolders.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace fstest;
using modFSO::detail::RunTemporaries;

namespace
{

modFSO::FileDescriptor openFolder(const QString &path)
{
    return modFSO::FileDescriptor(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// A run that makes a hidden name in the folder and is killed before it can remove it: a
// process of its own that ends without a word.
void killedRunInto(const QString &folder)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const modFSO::FileDescriptor fd = openFolder(folder);
        RunTemporaries names(fd.get());
        const QByteArray name = names.nextName();
        ::_exit(::openat(fd.get(), name.constData(), O_CREAT | O_EXCL | O_WRONLY, 0600) >= 0 ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);
}

qint64 recordSize()
{
    return QFileInfo(modFSO::detail::temporaryRecordPath()).size();
}

class TemporaryRecordTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_state = qgetenv("XDG_STATE_HOME");
        m_home = qgetenv("HOME");
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.filePath("state")));
        QDir(m_dir.path()).mkpath("src");
        QDir(m_dir.path()).mkpath("dst");
        writeFile(m_dir.filePath("src/a.txt"), "data");
    }
    void TearDown() override
    {
        qputenv("XDG_STATE_HOME", m_state);
        qputenv("HOME", m_home);
        modFSO::testing::refuseUnnamedFiles(false);
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString recordFolder() const { return path("state/TessaroLite"); }

    // A copy through a hidden temporary, as on a stick; whether the run found the record
    // unusable.
    bool copyReportsUnusableRecord(const QString &name)
    {
        modFSO::testing::refuseUnnamedFiles(true);
        const modFSO::TransferFolders folders(path("src"), path("dst"));
        folders.removeLeftoverTemporaries();
        modFSO::PendingTransfer pending
            = folders.prepareCopy("a.txt", name.toUtf8(), modFSO::Placement::NoReplace);
        modFSO::PendingTransfer *const one[] = {&pending};
        folders.commit(one);
        EXPECT_EQ(pending.error(), std::nullopt);
        modFSO::testing::refuseUnnamedFiles(false);
        EXPECT_EQ(readFile(path("dst/") + name), "data");
        return folders.temporaryRecordUnusable();
    }

    QTemporaryDir m_dir;
    QByteArray m_state;
    QByteArray m_home;
};

TEST_F(TemporaryRecordTest, KilledRunsLeaveNothingForGoodAndNothingElseGoes)
{
    const QString folder = path("dst");
    killedRunInto(folder);
    killedRunInto(folder);
    writeFile(folder + "/.tessaro-0123456789abcdef-0.part", "the user's, named like ours");
    writeFile(folder + "/.tessaro-notes.part", "the user's");
    const modFSO::FileDescriptor fd = openFolder(folder);
    RunTemporaries running(fd.get());
    const QByteArray inUse = running.nextName();
    writeFile(folder + "/" + inUse, "a copy that still runs");
    ASSERT_EQ(allEntries(folder).size(), 5);

    EXPECT_TRUE(modFSO::detail::removeLeftoverTemporaries(fd.get()));
    EXPECT_EQ(allEntries(folder),
        QStringList({".tessaro-0123456789abcdef-0.part", QString::fromLatin1(inUse), ".tessaro-notes.part"}));
    EXPECT_LT(recordSize(), 200) << "only the running run's line is left";
}

// A year of daily runs into folders that are never visited again: the record keeps a bounded
// number of lines.
TEST_F(TemporaryRecordTest, RecordStaysSmall)
{
    for (int day = 0; day < 365; ++day) {
        const QString folder = path(QString("sticks/%1").arg(day));
        ASSERT_TRUE(QDir().mkpath(folder));
        killedRunInto(folder);
    }
    EXPECT_LT(recordSize(), 4096);
    // The lines of the last runs are still there: their folders are cleaned on the next run.
    const modFSO::FileDescriptor last = openFolder(path("sticks/364"));
    EXPECT_EQ(allEntries(path("sticks/364")).size(), 1);
    modFSO::detail::removeLeftoverTemporaries(last.get());
    EXPECT_TRUE(allEntries(path("sticks/364")).isEmpty());
}

// A link, a second name of a file, a FIFO, a device, a folder or a file of someone else in
// the record's place: the copy goes on, the run says once that the record cannot be used, and
// nothing is written into what was put there.
TEST_F(TemporaryRecordTest, AnythingButARegularFileOfTheUsersIsNoRecord)
{
    const QString usersFile = path("notes.txt");
    writeFile(usersFile, "the user's notes");
    const QByteArray record = QFile::encodeName(recordFolder() + "/temporaries");
    const QByteArray lock = QFile::encodeName(recordFolder() + "/temporaries.lock");
    const QByteArray notes = QFile::encodeName(usersFile);
    const std::function<bool()> plants[] = {
        [&] { return ::symlink(notes.constData(), record.constData()) == 0; },
        [&] { return ::link(notes.constData(), record.constData()) == 0; },
        [&] { return ::mkfifo(record.constData(), 0600) == 0; },
        [&] { return ::symlink("/dev/zero", record.constData()) == 0; },
        [&] { return ::symlink(notes.constData(), lock.constData()) == 0; },
        [&] { return ::mkfifo(lock.constData(), 0600) == 0; },
        [&] {
            return QDir().rmdir(recordFolder())
                && ::symlink(QFile::encodeName(path("dst")).constData(),
                       QFile::encodeName(recordFolder()).constData())
                == 0;
        },
    };
    int round = 0;
    for (const auto &plant : plants) {
        SCOPED_TRACE(round);
        QFile::remove(recordFolder());
        QDir(recordFolder()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(recordFolder()));
        ASSERT_TRUE(plant());
        EXPECT_TRUE(copyReportsUnusableRecord(QString("copy-%1.txt").arg(round++)));
        EXPECT_EQ(readFile(usersFile), "the user's notes");
    }
    EXPECT_EQ(allEntries(path("dst")).size(), round) << "only the copies, no temporary";
}

// A record far larger than the program ever writes is not read (a record of 172 MB cost
// every run seconds and hundreds of MB): it counts as none, once, and is replaced.
TEST_F(TemporaryRecordTest, OversizedRecordIsNotReadAndIsReplaced)
{
    ASSERT_TRUE(QDir().mkpath(recordFolder()));
    QFile big(modFSO::detail::temporaryRecordPath());
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(172 * 1000 * 1000));
    big.close();
    EXPECT_TRUE(copyReportsUnusableRecord("first.txt"));
    EXPECT_FALSE(QFile::exists(modFSO::detail::temporaryRecordPath()));
    EXPECT_FALSE(copyReportsUnusableRecord("second.txt"));
}

// Without a home folder there is nowhere to keep the record: nothing goes to /.local.
TEST_F(TemporaryRecordTest, WithoutHomeNothingIsWritten)
{
    if (QFileInfo::exists("/.local"))
        GTEST_SKIP() << "/.local exists already";
    qunsetenv("XDG_STATE_HOME");
    qunsetenv("HOME");
    EXPECT_TRUE(modFSO::detail::temporaryRecordPath().isEmpty());
    EXPECT_TRUE(copyReportsUnusableRecord("a.txt"));
    EXPECT_FALSE(QFileInfo::exists("/.local"));
}

} // namespace
