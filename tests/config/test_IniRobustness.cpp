#include "common/Mounts.h"
#include "config/ConfigTestSupport.h"
#include "config/modIniHandler.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
    TestFiles::write(path, "\xEF\xBB\xBF[Options]\r\nLanguage=Deutsch\r\n");
    EXPECT_EQ(read("Language"), "Deutsch");
    ASSERT_TRUE(WriteIniValue(path, "Options", "Save", "1"));
    EXPECT_EQ(TestFiles::read(path), QByteArray("\xEF\xBB\xBF[Options]\r\nLanguage=Deutsch\r\nSave=1\r\n"));
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
    const qsizetype size = TestFiles::read(path).size();
    ASSERT_TRUE(WriteIniValue(path, mark + "Section", "Key", "3"));
    EXPECT_EQ(TestFiles::read(path).size(), size);
    EXPECT_EQ(read("Key", mark + "Section"), "3");
}

// Files from other editors: a line that is added or rewritten ends as the file's lines do.
TEST_F(IniRobustnessTest, LfOnlyAndCrOnlyFilesKeepTheirLineEnds)
{
    TestFiles::write(path, "; mac\r[Options]\rFrom=/a\rTo=/b\r");
    EXPECT_EQ(read("From"), "/a");
    EXPECT_EQ(read("To"), "/b");
    ASSERT_TRUE(WriteIniValue(path, "Options", "From", "/c"));
    EXPECT_EQ(TestFiles::read(path), QByteArray("; mac\r[Options]\rFrom=/c\rTo=/b\r"));

    const QByteArray unix("; unix\n[Options]\nFrom=/a\n\nTo=/b\n\n[Next]\nX=1\n");
    TestFiles::write(path, unix);
    EXPECT_EQ(read("To"), "/b");
    ASSERT_TRUE(WriteIniValue(path, "Options", "Save", "0"));
    ASSERT_TRUE(WriteIniValue(path, "Options", "From", "/in"));
    ASSERT_TRUE(WriteIniValue(path, "Window", "Left", "1"));
    EXPECT_EQ(TestFiles::read(path),
        QByteArray("; unix\n[Options]\nFrom=/in\n\nTo=/b\nSave=0\n\n[Next]\nX=1\n[Window]\nLeft=1\n"));
    EXPECT_EQ(read("From"), "/in");
    EXPECT_EQ(read("Left", "Window"), "1");
}

// A Latin-1 file typed in an old editor is read as Windows-1252 and written back in it: every
// byte that the write does not change stays. A character that the code page cannot hold is
// refused rather than written in another encoding.
TEST_F(IniRobustnessTest, ALatin1FileIsReadAndWrittenAsWindows1252)
{
    const QByteArray latin1("; Gr\xfc\xdf"
                            "e\r\n[Options]\r\nFrom=/data/M\xfcller\r\nTo=/out\r\n");
    TestFiles::write(path, latin1);
    EXPECT_EQ(read("From"), QString::fromUtf8("/data/Müller"));

    ASSERT_TRUE(WriteIniValue(path, "Options", "To", QString::fromUtf8("/data/Zoë – €")));
    ASSERT_TRUE(WriteIniValue(path, "Options", "Save", "1"));
    QByteArray expected = latin1;
    expected.replace("To=/out", "To=/data/Zo\xeb \x96 \x80");
    expected += "Save=1\r\n";
    EXPECT_EQ(TestFiles::read(path), expected);
    EXPECT_EQ(read("To"), QString::fromUtf8("/data/Zoë – €"));

    EXPECT_FALSE(WriteIniValue(path, "Options", "To", QString::fromUtf8("/data/日本")));
    EXPECT_EQ(TestFiles::read(path), expected);
}

// A file with a UTF-16 byte-order mark, in either byte order, is read as UTF-16 and stays
// UTF-16, with its line ends.
TEST_F(IniRobustnessTest, AUtf16FileIsReadAndWrittenAsUtf16)
{
    for (const auto encoding : {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        const auto utf16 = [encoding](const QString &text) {
            QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
            return QByteArray(encoder.encode(text));
        };
        TestFiles::write(path, utf16(QString::fromUtf8("[Options]\nFrom=/data/Müller\nLanguage=Deutsch\n")));
        EXPECT_EQ(read("From"), QString::fromUtf8("/data/Müller"));
        EXPECT_EQ(read("Language"), "Deutsch");

        ASSERT_TRUE(WriteIniValue(path, "Options", "Language", "English"));
        ASSERT_TRUE(WriteIniValue(path, "Options", "To", QString::fromUtf8("/data/日本")));
        EXPECT_EQ(TestFiles::read(path),
            utf16(QString::fromUtf8("[Options]\nFrom=/data/Müller\nLanguage=English\nTo=/data/日本\n")));
        EXPECT_EQ(read("To"), QString::fromUtf8("/data/日本"));
    }
}

TEST_F(IniRobustnessTest, RepeatedSectionsAndKeysAnswerWithTheFirstAndWriteTheFirst)
{
    const QByteArray original("[Options]\r\nFrom=first\r\nFrom=second\r\n[Other]\r\nTo=x\r\n"
                              "[OPTIONS]\r\nFrom=third\r\nTo=only-in-second\r\n");
    TestFiles::write(path, original);
    EXPECT_EQ(read("From"), "first");
    EXPECT_EQ(read("To"), "only-in-second");

    ASSERT_TRUE(WriteIniValue(path, "Options", "From", "new"));
    QByteArray expected = original;
    expected.replace("From=first", "From=new");
    EXPECT_EQ(TestFiles::read(path), expected);

    ASSERT_TRUE(WriteIniValue(path, "Options", "To", "changed"));
    expected.replace("To=only-in-second", "To=changed");
    EXPECT_EQ(TestFiles::read(path), expected);

    ASSERT_TRUE(WriteIniValue(path, "Options", "Save", "1"));
    expected.replace("From=second\r\n", "From=second\r\nSave=1\r\n");
    EXPECT_EQ(TestFiles::read(path), expected);
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
    TestFiles::write(path, original);

    EXPECT_EQ(read("From"), "/in");
    EXPECT_EQ(read("Huge").size(), 255);
    EXPECT_EQ(read("Tail"), "");
    EXPECT_FALSE(read("Bad").isEmpty());
    EXPECT_EQ(read("Missing"), "<default>");

    ASSERT_TRUE(WriteIniValue(path, "Options", "Bad", "fixed"));
    const QByteArray after = TestFiles::read(path);
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
        TestFiles::write(path, bytes);
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
    const QByteArray before = TestFiles::read(path);

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
    EXPECT_EQ(TestFiles::read(path), before);
    EXPECT_EQ(read("From"), "/srv/old");

    // The next write goes through as usual, whatever the killed one left behind.
    ASSERT_TRUE(WriteIniValue(path, "Options", "From", "/srv/new"));
    EXPECT_EQ(read("From"), "/srv/new");
}

QStringList filesIn(const QString &folder)
{
    QDirIterator entries(folder, QDir::Files | QDir::Hidden | QDir::System);
    QStringList names;
    while (entries.hasNext())
        names << entries.next();
    return names;
}

// Fills the file system of the folder up to its last byte.
void fillDisk(const QString &folder)
{
    QFile filler(folder + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size())
        continue;
    while (filler.write("f", 1) == 1)
        continue;
}

// A write that does not fit on the disk leaves the file as it was, whether the disk is full
// at once or only when the last small block is written out.
TEST_F(IniRobustnessTest, AWriteToAFullDiskLeavesTheOldFile)
{
    const TestMounts::TmpfsMount small(dir.filePath("small"), "256k");
    TESTMOUNTS_REQUIRE(small);
    const QString file = small.path() + "/Tessaro.ini";
    WriteDefaultSettings(small.path());
    const QByteArray before = TestFiles::read(file);
    ASSERT_EQ(before, expectedDefaultSettings());

    EXPECT_FALSE(WriteIniValue(file, "Options", "From", QString(300 * 1024, QLatin1Char('x'))));
    EXPECT_EQ(TestFiles::read(file), before);
    EXPECT_EQ(filesIn(small.path()), QStringList {file});

    fillDisk(small.path());
    EXPECT_FALSE(WriteIniValue(file, "Options", "Save", "0"));
    EXPECT_EQ(TestFiles::read(file), before);
    QStringList left = filesIn(small.path());
    left.sort();
    EXPECT_EQ(left, QStringList({file, small.path() + "/filler"}));
}

// The folder is read-only, the file in it is not (a file mounted over the folder's own, as an
// administrator might share one): the file is written in place.
TEST_F(IniRobustnessTest, AWritableFileInAReadOnlyFolderIsWrittenInPlace)
{
    const QString folder = dir.filePath("locked");
    const QString file = folder + "/Tessaro.ini";
    const QString own = dir.filePath("own.ini");
    TestFiles::write(file, "");
    TestFiles::write(own, expectedDefaultSettings());
    const TestMounts::BindMount lockedFolder(folder, folder, true);
    TESTMOUNTS_REQUIRE(lockedFolder);
    const TestMounts::BindMount writableFile(own, file, false);
    TESTMOUNTS_REQUIRE(writableFile);
    ASSERT_FALSE(QFile(folder + "/probe").open(QIODevice::WriteOnly)) << "the folder is not read-only";

    ASSERT_TRUE(WriteIniValue(file, "Options", "From", "/srv/a-longer-folder-than-before"));
    ASSERT_TRUE(WriteIniValue(file, "Options", "From", "/srv"));
    QByteArray expected = expectedDefaultSettings();
    expected.replace("From=\r\n", "From=/srv\r\n");
    EXPECT_EQ(TestFiles::read(own), expected);
    EXPECT_EQ(ReadIniValue(file, "Options", "From", "<default>"), "/srv");
}

// A settings or language file that is a FIFO or a link to a device is no file to read: it
// gives the defaults at once (a FIFO blocked the reader, /dev/zero never ended) and is never
// written through.
TEST_F(IniRobustnessTest, AFileThatIsNoRegularFileReadsAsMissingAndIsNotWritten)
{
    const QString fifo = dir.filePath("fifo.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString device = dir.filePath("zero.ini");
    ASSERT_TRUE(QFile::link("/dev/zero", device));
    const QString big = dir.filePath("big.ini");
    const QByteArray bigBytes = "[Options]\r\nFrom=/in\r\n" + QByteArray(8 * 1024 * 1024, ';');
    TestFiles::write(big, bigBytes);

    ::alarm(30); // a read that waits for a writer ends the test instead of hanging it
    for (const QString &file : {fifo, device, big}) {
        EXPECT_EQ(ReadIniValue(file, "Options", "From", "<default>"), "<default>") << file.toStdString();
        EXPECT_FALSE(WriteIniValue(file, "Options", "From", "/out")) << file.toStdString();
    }
    ::alarm(0);
    struct stat info {
    };
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(QFileInfo(device).symLinkTarget(), "/dev/zero");
    EXPECT_TRUE(TestFiles::read(big) == bigBytes);
}

} // namespace
