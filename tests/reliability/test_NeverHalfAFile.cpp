// A file is transferred only whole, also when another user's program is still writing it, when
// the power goes, when a move is cut off half way, and when a click comes during the listing.
// Each fault is made for real: another user, a file system that is shut down as by a power cut,
// system calls that fail or are slowed down (strace). Runs are real processes
// (reliability_child); without root or strace the tests skip.
#include "ReliabilitySupport.h"
#include "common/Mounts.h"

#include <QProcess>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using Reliability::errorText;
using TestFiles::entries;
using TestFiles::read;
using TestFiles::write;

namespace
{

// Users that this machine need not know: root may become any of them.
constexpr uid_t RunningUser = 65534;
constexpr uid_t WritingUser = 65533;

// An ext4 file system with its journal, in an image of its own, loop-mounted on a folder;
// commit=1 puts names on disk within a second, as a busy desktop would within five.
class Ext4Image
{
public:
    explicit Ext4Image(const QString &folder)
        : m_folder(folder)
    {
        QDir().mkpath(folder);
        const QString image = m_images.filePath("ext4.img");
        m_made = ::geteuid() == 0 && run("truncate", {"-s", "64M", image})
            && run("mkfs.ext4", {"-q", "-F", "-O", "has_journal", image});
        m_image = image;
        mount();
    }
    ~Ext4Image() { unmount(); }
    Ext4Image(const Ext4Image &) = delete;
    Ext4Image &operator=(const Ext4Image &) = delete;

    bool mounted() const { return m_mounted; }
    QString path() const { return m_folder; }
    // Nothing more reaches the disk from now on, as when the power goes.
    bool cutThePower() { return run("xfs_io", {"-x", "-c", "shutdown", m_folder}); }
    bool mountAgain()
    {
        unmount();
        return mount();
    }

    static bool run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }

private:
    bool mount()
    {
        m_mounted = m_made && run("mount", {"-o", "loop,commit=1", m_image, m_folder});
        return m_mounted;
    }
    void unmount()
    {
        if (m_mounted)
            run("umount", {m_folder});
        m_mounted = false;
    }

    QTemporaryDir m_images;
    QString m_folder;
    QString m_image;
    bool m_made = false;
    bool m_mounted = false;
};

// Appends to a file, as another program (another user, when root may be one) would, until it
// is ended.
class SlowWriter : public Reliability::ChildProcess
{
public:
    SlowWriter(const QString &path, uid_t user)
    {
        const QByteArray file = QFile::encodeName(path);
        m_pid = ::fork();
        if (m_pid != 0)
            return;
        if (::geteuid() == 0 && (::setgid(user) != 0 || ::setuid(user) != 0))
            ::_exit(1);
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const QByteArray block(4096, 'w');
        for (;;) {
            if (fd < 0 || ::write(fd, block.constData(), size_t(block.size())) != block.size())
                ::_exit(1);
            ::usleep(100000);
        }
    }
};

class NeverHalfAFileTest : public FolderFixture
{
protected:
    void SetUp() override
    {
        FolderFixture::SetUp();
        if (HasFatalFailure())
            return;
        settingsFile = root.filePath("Tessaro.ini");
        state = root.filePath("state");
        ASSERT_TRUE(QDir().mkpath(state));
        setSettleSeconds(2);
    }

    void setSettleSeconds(int seconds)
    {
        ASSERT_TRUE(write(settingsFile,
            QString("[Options]\r\nShowDateAndTime=0\r\nCheckDestination=1\r\nSettleSeconds=%1\r\n")
                .arg(seconds)
                .toUtf8()));
    }

    // Runs the child to its end and answers what it printed; with an injection ("unlinkat",
    // "getdents64:delay_enter=200000") under strace, where "call" alone fails with EIO.
    QStringList runChild(const QString &source, const QString &destination, const QStringList &switches,
        const QString &injection = QString())
    {
        QProcess child;
        QStringList arguments = QStringList {"run", source, destination, settingsFile} + switches;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_STATE_HOME", state);
        environment.insert("HOME", state);
        QString program = RELIABILITY_CHILD;
        if (!injection.isEmpty()) {
            const QString call = injection.section(':', 0, 0);
            const QString fault = injection.contains(':') ? injection.mid(call.size()) : ":error=EIO";
            arguments.prepend(program);
            arguments = QStringList {"-f", "-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                            "inject=" + call + fault}
                + arguments;
            program = "strace";
            // The leak checker of a sanitizer build cannot work in a traced process.
            environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
        }
        child.setProcessEnvironment(environment);
        child.start(program, arguments);
        EXPECT_TRUE(child.waitForFinished(120000));
        EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
        return QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

    QString settingsFile;
    QString state;
};

// A folder that another user's program fills (an upload, a scanner service): no lease can say
// whether that program still writes a file there. The file is moved only once it has stayed
// unchanged for the settle time; until then its line says it is still being written, and
// nothing of it is moved.
TEST_F(NeverHalfAFileTest, FileThatAnotherUserStillWritesIsMovedOnlyWhole)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as two other users";
    for (const QString &folder : {root.path(), src, dst, state})
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(settingsFile).constData(), 0644), 0);
    const QString scan = in(src, "scan.pdf");
    SlowWriter writer(scan, WritingUser);
    QThread::msleep(300);
    const QStringList asAnotherUser = {"--move", "--as-user", QString::number(RunningUser)};

    EXPECT_EQ(runChild(src, dst, asAnotherUser), QStringList({"t21 (t75): scan.pdf"}));
    EXPECT_TRUE(entries(dst).isEmpty());

    writer.end();
    const QByteArray whole = read(scan);
    EXPECT_EQ(runChild(src, dst, asAnotherUser), QStringList({"t26: scan.pdf"}));
    EXPECT_EQ(read(in(dst, "scan.pdf")), whole);
    EXPECT_FALSE(QFile::exists(scan));
}

// A share, or a FUSE file system over a folder that another program writes underneath: no lease
// sees that writer, and the share's attribute cache may still answer with an old size. A file
// that grows there is left for a later run, copied or moved, until it has stayed unchanged for
// the settle time; then it arrives whole.
TEST_F(NeverHalfAFileTest, FileWrittenBehindAShareArrivesOnlyWhole)
{
    using Kind = TestMounts::FuseMount::Kind;
    for (const Kind kind : {Kind::Bindfs, Kind::Sshfs}) {
        const std::unique_ptr<TestMounts::FuseMount> share = TestMounts::mountOf(kind);
        SCOPED_TRACE(TestMounts::FuseMount::name(kind).toStdString());
        if (!share->mounted()) {
            std::printf("[  SKIPPED ] %s: %s\n", qPrintable(TestMounts::FuseMount::name(kind)),
                qPrintable(share->whyNot()));
            continue;
        }
        const bool move = kind == Kind::Sshfs;
        const QString underneath = kind == Kind::Bindfs
            ? static_cast<TestMounts::BindfsMount &>(*share).under()
            : static_cast<TestMounts::SshfsMount &>(*share).under();
        SlowWriter writer(underneath + "/upload.bin", 0);
        QThread::msleep(300);
        const QStringList switches = move ? QStringList {"--move"} : QStringList();

        EXPECT_EQ(runChild(share->path(), dst, switches),
            QStringList({QString(move ? "t21" : "t22") + " (t75): upload.bin"}));
        EXPECT_TRUE(entries(dst).isEmpty());

        writer.end();
        const QByteArray whole = read(underneath + "/upload.bin");
        EXPECT_EQ(runChild(share->path(), dst, switches),
            QStringList({QString(move ? "t26" : "t25") + ": upload.bin"}));
        EXPECT_EQ(read(in(dst, "upload.bin")), whole);
        EXPECT_EQ(QFile::exists(underneath + "/upload.bin"), !move);
        QFile::remove(in(dst, "upload.bin"));
    }
}

// A power cut a moment after a run: the journal has the new names on disk within a second,
// the data only when it is flushed. Every name holds its whole content afterwards, a replaced
// file too, and the next run has nothing left to do.
TEST_F(NeverHalfAFileTest, PowerCutAfterACopyLeavesNoEmptyName)
{
    Ext4Image disk(root.filePath("disk"));
    if (!disk.mounted())
        GTEST_SKIP() << "needs root, mkfs.ext4 and a loop device";
    QMap<QString, QByteArray> sums;
    for (int n = 0; n < 40; ++n) {
        const QString name = QString("page-%1.bin").arg(n, 2, 10, QChar('0'));
        sums.insert(name, Reliability::writePattern(in(src, name), 64 * 1024, quint32(n)));
    }
    ASSERT_TRUE(write(in(disk.path(), "page-00.bin"), "the old page"));
    sums.remove("page-00.bin");
    sums.insert("page-00.bin", Reliability::sha256(in(src, "page-00.bin")));

    EXPECT_EQ(runChild(src, disk.path(), {"--overwrite"}).size(), 40);
    QThread::msleep(2500);
    ASSERT_TRUE(disk.cutThePower());
    ASSERT_TRUE(disk.mountAgain());

    for (const QString &name : entries(disk.path())) {
        if (name == "lost+found")
            continue;
        EXPECT_EQ(Reliability::sha256(in(disk.path(), name)), sums.value(name)) << name.toStdString();
    }
    const QStringList next = runChild(src, disk.path(), {});
    EXPECT_EQ(next.filter("t25: ").size() + next.filter("t22 (t24): ").size(), 40);
    EXPECT_EQ(Reliability::checksums(disk.path()).size() - 1, 40);
}

// A move to another disk that is cut off after its copy took its name and before its source
// went (the source's disk gives an I/O error; or the flush of the names fails, as on a stick
// that is pulled out) keeps the source, and the next run finishes it: it removes the source
// once the destination holds the very copy that move made, and never when the destination's
// file is another one of that name.
TEST_F(NeverHalfAFileTest, MoveCutOffHalfWayIsFinishedByTheNextRun)
{
    if (!Reliability::straceWorks())
        GTEST_SKIP() << "needs strace, allowed to trace, to cut the move off";
    TestFiles::SmallTmpfs memory(root.filePath("memory"), "16m");
    Ext4Image disk(root.filePath("disk"));
    if (!memory.mounted() || !disk.mounted())
        GTEST_SKIP() << "needs root to mount a tmpfs and an ext4 image";
    const QString from = memory.path();
    // The source cannot be removed; the flush of the names (the second flush of the run, after
    // that of the record of moves) fails.
    for (const QString &cutOff : {QString("unlinkat"), QString("fsync:error=EIO:when=2")}) {
        SCOPED_TRACE(cutOff.toStdString());
        ASSERT_TRUE(write(in(from, "report.pdf"), "the whole report"));

        const QStringList cut = runChild(from, disk.path(), {"--move"}, cutOff);
        ASSERT_EQ(cut.size(), 1);
        EXPECT_EQ(cut.first(), "t35: " + errorText(EIO) + " - report.pdf");
        EXPECT_EQ(read(in(from, "report.pdf")), "the whole report");

        EXPECT_EQ(runChild(from, disk.path(), {"--move"}), QStringList({"t26: report.pdf"}));
        EXPECT_FALSE(QFile::exists(in(from, "report.pdf")));
        EXPECT_EQ(read(in(disk.path(), "report.pdf")), "the whole report");
        QFile::remove(in(disk.path(), "report.pdf"));
    }

    // Cut off again; then someone puts another file of that name into the destination.
    ASSERT_TRUE(write(in(from, "report.pdf"), "the whole report"));
    runChild(from, disk.path(), {"--move"}, "unlinkat");
    ASSERT_TRUE(write(in(disk.path(), "report.pdf"), "another report"));
    EXPECT_EQ(runChild(from, disk.path(), {"--move"}), QStringList({"t21 (t24): report.pdf"}));
    EXPECT_EQ(read(in(from, "report.pdf")), "the whole report");
    EXPECT_EQ(read(in(disk.path(), "report.pdf")), "another report");
}

// A click while the run still lists a slow folder cancels that run only: the button said so,
// and the next run copies every file (also after a click into a folder without files).
TEST_F(NeverHalfAFileTest, ClickDuringTheListingCancelsThatRunOnly)
{
    if (!Reliability::straceWorks())
        GTEST_SKIP() << "needs strace, allowed to trace, to slow the listing down";
    ASSERT_TRUE(write(in(src, ".only-hidden"), "h"));
    const QString slowListing = "getdents64:delay_enter=300000";
    EXPECT_EQ(runChild(src, dst, {"--click-during-listing"}, slowListing),
        QStringList({"button: t32", "t18: t19 ", "t18: t19 "}));

    ASSERT_TRUE(write(in(src, "a.txt"), "a"));
    ASSERT_TRUE(write(in(src, "b.txt"), "b"));
    EXPECT_EQ(runChild(src, dst, {"--click-during-listing"}, slowListing),
        QStringList({"button: t32", "t31:  0 t30", "t25: a.txt", "t25: b.txt"}));
    EXPECT_EQ(entries(dst), QStringList({"a.txt", "b.txt"}));
}

// A file server's lock (a write lease) on a file: the file is in use, not an error.
TEST_F(NeverHalfAFileTest, FileUnderAnotherProgramsWriteLeaseIsInUse)
{
    ASSERT_TRUE(write(in(src, "locked.doc"), "held"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const QByteArray file = QFile::encodeName(in(src, "locked.doc"));
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::signal(SIGIO, SIG_IGN);
        const int fd = ::open(file.constData(), O_RDWR);
        const bool leased = fd >= 0 && ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
        if (::write(ready[1], leased ? "y" : "n", 1) != 1)
            ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    if (answer != 'y') {
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        GTEST_SKIP() << "this file system or user cannot take a write lease";
    }
    const QStringList lines = runChild(src, dst, {});
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(lines, QStringList({"t22 (t72): locked.doc"}));
    EXPECT_TRUE(entries(dst).isEmpty());
}

} // namespace
