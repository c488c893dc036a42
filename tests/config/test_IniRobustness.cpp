#include "config/ConfigTestSupport.h"
#include "config/modIniHandler.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace modIniHandler;

namespace
{

// A byte array of a literal, null bytes included.
template <std::size_t N> QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

// Unmounts the small file system however the test ends.
struct TmpfsMount {
    explicit TmpfsMount(const QString &path)
        : point(path.toLocal8Bit())
    {
        mounted = geteuid() == 0 && mount("tmpfs", point.constData(), "tmpfs", 0, "size=256k") == 0;
    }
    ~TmpfsMount()
    {
        if (mounted)
            umount(point.constData());
    }
    QByteArray point;
    bool mounted = false;
};

class IniRobustnessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("Tessaro.ini");
    }

    QString read(const QString &key, const QString &section = "Options")
    {
        return ReadIniValue(path, section, key, "<default>");
    }

    QTemporaryDir dir;
    QString path;
};

TEST_F(IniRobustnessTest, ByteOrderMarkIsSkippedOnReadAndKeptOnWrite)
{
    writeBytes(path, "\xEF\xBB\xBF[Options]\r\nLanguage=Deutsch\r\n");
    EXPECT_EQ(read("Language"), "Deutsch");
    ASSERT_TRUE(WriteIniValue(path, "Options", "Save", "1"));
    EXPECT_EQ(readBytes(path), QByteArray("\xEF\xBB\xBF[Options]\r\nLanguage=Deutsch\r\nSave=1\r\n"));
}

// Only the mark at the start of the file is an encoding mark; inside a line U+FEFF is a
// character, and a name or value beginning with it must not be lost on the way back.
TEST_F(IniRobustnessTest, ByteOrderMarkCharacterInsideALineReadsBackAsWritten)
{
    const QString mark(QChar(0xFEFF));
    ASSERT_TRUE(WriteIniValue(path, "Options", "From", mark + "/home/user"));
    ASSERT_TRUE(WriteIniValue(path, "Options", mark + "Key", "1"));
    ASSERT_TRUE(WriteIniValue(path, mark + "Section", "Key", "2"));
    EXPECT_EQ(read("From"), mark + "/home/user");
    EXPECT_EQ(read(mark + "Key"), "1");
    EXPECT_EQ(read("Key", mark + "Section"), "2");

    // A second write finds the section and the key again instead of adding them once more.
    const qsizetype size = readBytes(path).size();
    ASSERT_TRUE(WriteIniValue(path, mark + "Section", "Key", "3"));
    EXPECT_EQ(readBytes(path).size(), size);
    EXPECT_EQ(read("Key", mark + "Section"), "3");
}

TEST_F(IniRobustnessTest, OtherLineEndsAreReadAndKeptOnWrite)
{
    writeBytes(path, "; mac\r[Options]\rFrom=/a\rTo=/b\r");
    EXPECT_EQ(read("From"), "/a");
    EXPECT_EQ(read("To"), "/b");
    ASSERT_TRUE(WriteIniValue(path, "Options", "From", "/c"));
    EXPECT_EQ(readBytes(path), QByteArray("; mac\r[Options]\rFrom=/c\r\nTo=/b\r"));

    writeBytes(path, "; unix\n[Options]\nFrom=/a\n\nTo=/b\n\n[Next]\nX=1\n");
    EXPECT_EQ(read("To"), "/b");
    ASSERT_TRUE(WriteIniValue(path, "Options", "Save", "0"));
    EXPECT_EQ(readBytes(path), QByteArray("; unix\n[Options]\nFrom=/a\n\nTo=/b\nSave=0\r\n\n[Next]\nX=1\n"));
}

TEST_F(IniRobustnessTest, RepeatedSectionsAndKeysAnswerWithTheFirstAndWriteTheFirst)
{
    const QByteArray original("[Options]\r\nFrom=first\r\nFrom=second\r\n[Other]\r\nTo=x\r\n"
                              "[OPTIONS]\r\nFrom=third\r\nTo=only-in-second\r\n");
    writeBytes(path, original);
    EXPECT_EQ(read("From"), "first");
    EXPECT_EQ(read("To"), "only-in-second");

    ASSERT_TRUE(WriteIniValue(path, "Options", "From", "new"));
    QByteArray expected = original;
    expected.replace("From=first", "From=new");
    EXPECT_EQ(readBytes(path), expected);

    ASSERT_TRUE(WriteIniValue(path, "Options", "To", "changed"));
    expected.replace("To=only-in-second", "To=changed");
    EXPECT_EQ(readBytes(path), expected);

    ASSERT_TRUE(WriteIniValue(path, "Options", "Save", "1"));
    expected.replace("From=second\r\n", "From=second\r\nSave=1\r\n");
    EXPECT_EQ(readBytes(path), expected);
}

TEST_F(IniRobustnessTest, GarbageBytesGiveValuesOrDefaultsAndSurviveWrites)
{
    QByteArray garbage;
    QRandomGenerator random(4711);
    for (int i = 0; i < 4096; ++i)
        garbage.append(static_cast<char>(random.bounded(256)));
    const QByteArray hugeLine = "Huge=" + QByteArray(1024 * 1024, 'h');
    const QByteArray original = garbage + raw("\r\n[Options]\r\nFrom=/in\0side\r\n\xFF\xFE\x00\x01\r\n")
        + raw("Bad=\xC3\x28\xA0\xA1\r\n") + hugeLine + raw("\r\nTail=\0\0\0\r\n") + garbage;
    writeBytes(path, original);

    EXPECT_EQ(read("From"), "/in");
    EXPECT_EQ(read("Huge").size(), 255);
    EXPECT_EQ(read("Tail"), "");
    EXPECT_FALSE(read("Bad").isEmpty());
    EXPECT_EQ(read("Missing"), "<default>");

    ASSERT_TRUE(WriteIniValue(path, "Options", "Bad", "fixed"));
    const QByteArray after = readBytes(path);
    const qsizetype badLine = original.indexOf("Bad=");
    const qsizetype badEnd = original.indexOf("\r\n", badLine) + 2;
    EXPECT_EQ(after, original.left(badLine) + "Bad=fixed\r\n" + original.mid(badEnd));
    EXPECT_EQ(read("Bad"), "fixed");
}

TEST_F(IniRobustnessTest, BinaryFilesAreReadWithoutHarm)
{
    for (quint32 seed = 1; seed <= 20; ++seed) {
        QRandomGenerator random(seed);
        QByteArray bytes;
        const int size = random.bounded(1, 5000);
        for (int i = 0; i < size; ++i) {
            // Brackets, equals signs and line ends often enough to form odd lines.
            static const char pool[] = "[]=;\r\n\"' \t\0ab";
            bytes.append(random.bounded(3) == 0 ? static_cast<char>(random.bounded(256))
                                                : pool[random.bounded(int(sizeof pool))]);
        }
        writeBytes(path, bytes);
        read("a");
        read("b", "a");
        ASSERT_TRUE(WriteIniValue(path, "a", "b", "value")) << seed;
        EXPECT_EQ(read("b", "a"), "value") << seed;
    }
}

// The child is killed by the kernel in the middle of its write: past the file-size limit
// it sets for itself, the write raises SIGXFSZ, whose default action ends the process.
TEST_F(IniRobustnessTest, AWriteKilledMidWayLeavesTheOldFile)
{
    WriteDefaultSettings(dir.path());
    ASSERT_TRUE(WriteIniValue(path, "Options", "From", "/srv/old"));
    const QByteArray before = readBytes(path);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit {16 * 1024, 16 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        WriteIniValue(path, "Options", "From", QString(256 * 1024, QLatin1Char('n')));
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child finished its write";
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(read("From"), "/srv/old");

    // The next write goes through as usual, whatever the killed one left behind.
    ASSERT_TRUE(WriteIniValue(path, "Options", "From", "/srv/new"));
    EXPECT_EQ(read("From"), "/srv/new");
}

// A write that does not fit on the disk leaves the file as it was.
TEST_F(IniRobustnessTest, AWriteToAFullDiskLeavesTheOldFile)
{
    const QString mountPoint = dir.filePath("small");
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    const TmpfsMount small(mountPoint);
    if (!small.mounted)
        GTEST_SKIP() << "needs root and a mountable tmpfs to fill a disk";
    const QString file = mountPoint + "/Tessaro.ini";
    WriteDefaultSettings(mountPoint);
    const QByteArray before = readBytes(file);
    ASSERT_EQ(before, expectedDefaultSettings());

    EXPECT_FALSE(WriteIniValue(file, "Options", "From", QString(300 * 1024, QLatin1Char('x'))));
    EXPECT_EQ(readBytes(file), before);
    QDirIterator leftovers(mountPoint, QDir::Files | QDir::Hidden);
    QStringList names;
    while (leftovers.hasNext())
        names << leftovers.next();
    EXPECT_EQ(names, QStringList {file});
}

} // namespace
