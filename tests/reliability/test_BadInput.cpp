// Bad input: garbled settings and language files, folder texts that name no usable folder,
// and file names that are awkward for a program to carry.
#include "ReliabilitySupport.h"
#include "engine/RunFixture.h"
#include "engine/Scheduler.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using modIniHandler::ReadIniValue;
using modIniHandler::WriteIniValue;

namespace
{

// A byte array of a literal, null bytes included.
template <std::size_t N> QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

struct Garbled {
    const char *what;
    // %S stands for the section, %K for the key, %O for a second key.
    QByteArray pattern;
    // What the key reads; null for the caller's default.
    QString value;
};

QList<Garbled> garbledFiles()
{
    QRandomGenerator random(2024);
    QByteArray garbage(64 * 1024, Qt::Uninitialized);
    for (char &byte : garbage)
        byte = static_cast<char>(random.bounded(256));
    const QByteArray megabyte(1024 * 1024, 'y');
    return {
        {"binary garbage", garbage, QString()},
        {"a section between garbage", garbage + "\r\n[%S]\r\n%K=/a\r\n%O=1\r\n" + garbage, "/a"},
        {"a NUL byte in a value", raw("[%S]\r\n%K=/a\0b\r\n%O=1\r\n"), "/a"},
        {"a NUL byte in a section name", raw("[%S\0x]\r\n%K=/a\r\n"), QString()},
        {"a line of 1 MiB before the key", "[%S]\r\n%O=" + megabyte + "\r\n%K=/a\r\n", "/a"},
        {"a value of 1 MiB", "[%S]\r\n%K=" + megabyte + "\r\n%O=1\r\n", QString(255, 'y')},
        {"no sections", "%K=/a\r\n%O=1\r\n", QString()},
        {"an unclosed section", "[%S\r\n%K=/a\r\n", QString()},
        {"duplicate sections and keys", "[%S]\r\n%K=/first\r\n%K=/second\r\n[%S]\r\n%K=/third\r\n%O=1\r\n",
            "/first"},
        {"CR-only line ends", "[%S]\r%K=/a\r%O=1\r", "/a"},
        {"LF-only line ends", "[%S]\n%K=/a\n%O=1\n", "/a"},
        {"a byte-order mark", "\xEF\xBB\xBF[%S]\r\n%K=/a\r\n%O=1\r\n", "/a"},
        {"invalid UTF-8", "[%S]\r\n%K=/\xC3\x28\xFF\r\n%O=1\r\n", QString::fromLatin1("/\xC3\x28\xFF")},
        {"an empty file", "", QString()},
    };
}

QByteArray fill(QByteArray pattern, const QString &section, const QString &key, const QString &other)
{
    return pattern.replace("%S", section.toUtf8()).replace("%K", key.toUtf8()).replace("%O", other.toUtf8());
}

// The one piece that a write inserted, when everything else stayed byte for byte.
QByteArray insertedPiece(const QByteArray &before, const QByteArray &after)
{
    const qsizetype length = after.size() - before.size();
    qsizetype at = 0;
    while (at < before.size() && before.at(at) == after.at(at))
        ++at;
    if (length <= 0 || after.mid(at + length) != before.mid(at))
        return "<not a single insertion>";
    return after.mid(at, length);
}

void expectGarbledFileHandled(
    const QString &path, const QString &section, const QString &key, const QString &other)
{
    for (const Garbled &file : garbledFiles()) {
        SCOPED_TRACE(std::string(file.what) + " in section " + section.toStdString());
        const QByteArray before = fill(file.pattern, section, key, other);
        ASSERT_TRUE(TestFiles::write(path, before));
        EXPECT_EQ(
            ReadIniValue(path, section, key, "<default>"), file.value.isNull() ? "<default>" : file.value);

        // A new key is the only change a write makes.
        ASSERT_TRUE(WriteIniValue(path, section, "Added", "7"));
        QByteArray piece = insertedPiece(before, TestFiles::read(path));
        piece.replace("[" + section.toUtf8() + "]", "").replace("\r", "").replace("\n", "");
        EXPECT_EQ(piece, "Added=7");
        EXPECT_EQ(ReadIniValue(path, section, "Added", "<default>"), "7");

        // A key that is there changes in place; the key after it keeps its value.
        const QString otherBefore = ReadIniValue(path, section, other, "<default>");
        ASSERT_TRUE(WriteIniValue(path, section, key, "/z"));
        EXPECT_EQ(ReadIniValue(path, section, key, "<default>"), "/z");
        EXPECT_EQ(ReadIniValue(path, section, other, "<default>"), otherBefore);
    }
}

class BadInputTest : public RunFixture
{
protected:
    void TearDown() override { modGlobal::LanguageFilePath.clear(); }
};

TEST_F(BadInputTest, GarbledSettingsAndLanguageFilesGiveValuesOrDefaultsAndWritesKeepTheRest)
{
    expectGarbledFileHandled(root.filePath("Tessaro.ini"), "Options", "From", "To");
    expectGarbledFileHandled(root.filePath("English.dat"), "frmMain", "t5", "t6");
}

// The program keeps working with whatever such files give: texts that are empty or odd, and
// settings that fall back to their defaults.
TEST_F(BadInputTest, ScheduleAndRunKeepWorkingWithGarbledFiles)
{
    modGlobal::LanguageFilePath = root.filePath("English.dat");
    ASSERT_TRUE(TestFiles::write(src + "/f.txt", "content"));
    for (const Garbled &file : garbledFiles()) {
        SCOPED_TRACE(file.what);
        ASSERT_TRUE(
            TestFiles::write(modGlobal::SettingsFilePath, fill(file.pattern, "Options", "From", "To")));
        ASSERT_TRUE(TestFiles::write(modGlobal::LanguageFilePath, fill(file.pattern, "frmMain", "t5", "t6")));
        host.texts.load();
        host.log.clear();
        QFile::remove(dst + "/f.txt");

        TestScheduler scheduler(host);
        scheduler.FillIntervalList();
        scheduler.CheckFolders();
        ASSERT_EQ(host.stopStartEnabled, true);
        scheduler.toggleSchedule();
        ASSERT_TRUE(scheduler.isStarted()) << host.interval.left(40).toStdString();
        EXPECT_EQ(scheduler.intervalMinutes(), 5);
        for (int tick = 0; tick < 5; ++tick)
            scheduler.minutePasses();

        EXPECT_EQ(TestFiles::read(dst + "/f.txt"), "content");
        EXPECT_TRUE(host.log.newestLine().endsWith(": f.txt")) << host.log.newestLine().toStdString();
        EXPECT_TRUE(scheduler.isStarted());
        EXPECT_EQ(scheduler.elapsedMinutes(), 0);
    }
}

// Only absolute folders count: "..", "." or a bare name would mean another folder for each
// working folder the program is started from.
TEST_F(BadInputTest, FolderTextsRelativeToTheWorkingFolderAreRefused)
{
    TestScheduler scheduler(host);
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.path()));
    for (const char *relative : {"..", ".", "src", "./src", "~"}) {
        const QString text = relative;
        host.source = text;
        host.destination = text;
        scheduler.CheckFolders();
        EXPECT_EQ(host.stopStartEnabled, false) << text.toStdString();
        EXPECT_EQ(host.foldersExist, std::pair(false, false)) << text.toStdString();
    }
    QDir::setCurrent(previous);

    host.source = src;
    host.destination = root.path() + "/src/../dst";
    scheduler.CheckFolders();
    EXPECT_EQ(host.stopStartEnabled, true);
}

QStringList unusualNames()
{
    const QString longName = QString(127, QChar(0x00E4)) + "x"; // 255 bytes in UTF-8
    return {"with  blanks .txt", " leading blank", QString::fromUtf8("Grüße ñ 日本 😀.txt"),
        // U+10080: its second half lies where the bytes of names that are not UTF-8 travel.
        QString::fromUtf8("\xF0\x90\x82\x80 linear b"), "-leading-dash", "--", "line\nbreak", "tab\there",
        longName};
}

// Each name is carried through the move exactly, across file systems too (where the move is
// a copy into a temporary file that then takes the name).
TEST_F(BadInputTest, UnusualNamesAreMovedAndLoggedWhole)
{
    TestFiles::SmallTmpfs other(root.filePath("other"), "4m");
    QStringList destinations = {dst};
    if (other.mounted())
        destinations.append(root.filePath("other"));
    host.move = true;
    for (const QString &destination : destinations) {
        SCOPED_TRACE(destination.toStdString());
        host.destination = destination;
        host.log.clear();
        for (const QString &name : unusualNames())
            ASSERT_TRUE(TestFiles::write(src + "/" + name, name.toUtf8())) << name.toStdString();

        run.RunTransfer();

        for (const QString &name : unusualNames()) {
            EXPECT_EQ(TestFiles::read(destination + "/" + name), name.toUtf8()) << name.toStdString();
            // Line breaks and tabs show as escapes, so that each file keeps to one line.
            const QString logged = QString(name).replace("\n", "\\n").replace("\t", "\\t");
            EXPECT_TRUE(host.log.lines().contains("t26: " + logged)) << name.toStdString();
        }
        EXPECT_EQ(host.log.lineCount(), unusualNames().size());
        EXPECT_TRUE(TestFiles::entries(src).isEmpty());
    }
}

bool writeRaw(const QByteArray &path, const QByteArray &content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool written = fd >= 0 && ::write(fd, content.constData(), content.size()) == content.size();
    return ::close(fd) == 0 && written;
}

QByteArray readRaw(const QByteArray &path)
{
    QByteArray content(64, '\0');
    const int fd = ::open(path.constData(), O_RDONLY);
    const ssize_t got = fd >= 0 ? ::read(fd, content.data(), content.size()) : -1;
    if (fd >= 0)
        ::close(fd);
    return got < 0 ? QByteArray("<unreadable>") : content.left(got);
}

// Names from older systems are often Latin-1 or otherwise not UTF-8. They are files of the
// folder like any other: copied and moved under their very bytes, not reported as missing.
TEST_F(BadInputTest, NamesThatAreNotUtf8AreCopiedAndMovedUnderTheirOwnBytes)
{
    const QList<QByteArray> names
        = {"caf\xE9.txt", "\xFF\xFE", "half \xC3", "over\xC0\xAFlong", "mixed \xC3\xA4\xE4"};
    const QByteArray from = QFile::encodeName(src);
    const QByteArray to = QFile::encodeName(dst);
    for (const QByteArray &name : names)
        ASSERT_TRUE(writeRaw(from + "/" + name, name));

    run.RunTransfer();
    for (const QByteArray &name : names) {
        EXPECT_EQ(readRaw(to + "/" + name), name) << name.toHex().toStdString();
        EXPECT_EQ(readRaw(from + "/" + name), name) << name.toHex().toStdString();
    }
    EXPECT_EQ(host.log.lineCount(), names.size());
    for (const QString &line : host.log.lines())
        EXPECT_TRUE(line.startsWith("t25: ")) << line.toStdString();

    host.move = true;
    host.overwrite = true;
    run.RunTransfer();
    for (const QByteArray &name : names)
        EXPECT_EQ(readRaw(to + "/" + name), name) << name.toHex().toStdString();
    EXPECT_TRUE(TestFiles::entries(src).isEmpty());
    for (const QString &line : host.log.lines().mid(names.size()))
        EXPECT_TRUE(line.startsWith("t26 (t23): ")) << line.toStdString();

    // Qt's own folder removal cannot find these names, so the temporary folder would stay.
    for (const QByteArray &name : names)
        ::unlink((to + "/" + name).constData());
}

} // namespace
