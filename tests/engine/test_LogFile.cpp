#include "common/TestFiles.h"
#include "engine/LogFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace
{

QStringList linesOf(const QString &path)
{
    return QString::fromUtf8(TestFiles::read(path)).split('\n', Qt::SkipEmptyParts);
}

class EnvironmentGuard
{
public:
    explicit EnvironmentGuard(const char *name)
        : m_name(name)
        , m_set(qEnvironmentVariableIsSet(name))
        , m_value(qgetenv(name))
    {
    }
    ~EnvironmentGuard()
    {
        if (m_set)
            qputenv(m_name, m_value);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_set;
    QByteArray m_value;
};

} // namespace

TEST(LogFileTest, TheMomentIsIso8601WithItsOffsetAndTheFolderFollowsXdg)
{
    const QDate day(2026, 12, 11);
    EXPECT_EQ(
        LogFile::Stamp(QDateTime(day, QTime(10, 58, 31), QTimeZone(3600))), "2026-12-11T10:58:31+01:00");
    EXPECT_EQ(LogFile::Stamp(QDateTime(day, QTime(0, 0, 5), QTimeZone(-(5 * 3600 + 1800)))),
        "2026-12-11T00:00:05-05:30");
    EXPECT_EQ(
        LogFile::Stamp(QDateTime(day, QTime(23, 59, 59), QTimeZone::utc())), "2026-12-11T23:59:59+00:00");

    const EnvironmentGuard state("XDG_STATE_HOME");
    const EnvironmentGuard home("HOME");
    qputenv("XDG_STATE_HOME", "/somewhere/state/");
    EXPECT_EQ(LogFile::DefaultFolder(), "/somewhere/state/TessaroLite");
    qputenv("XDG_STATE_HOME", "relative/state");
    qputenv("HOME", "/home/user");
    EXPECT_EQ(LogFile::DefaultFolder(), "/home/user/.local/state/TessaroLite");
    // Without a home nothing may land in "/.local".
    qunsetenv("XDG_STATE_HOME");
    qunsetenv("HOME");
    EXPECT_EQ(LogFile::DefaultFolder(), QString());
    LogFile nowhere(LogFile::DefaultFolder());
    int reports = 0;
    nowhere.setFailureReport([&](const QString &) { ++reports; });
    nowhere.append("line");
    EXPECT_FALSE(nowhere.flush());
    EXPECT_EQ(reports, 1);
}

// Two programs write at once, each many batches: every line arrives whole, the files are
// rotated at 1 MiB into .1 to .4, and what is older is dropped.
TEST(LogFileTest, TwoWritersKeepTheirLinesWholeThroughTheRotation)
{
    QTemporaryDir root;
    const QString folder = root.filePath("state/TessaroLite");
    constexpr int LinesEach = 40000;
    // Plain threads: Qt's own wait for a thread is not seen by ThreadSanitizer.
    auto writer = [&folder](char name) {
        LogFile file(folder);
        // A moment without the local time zone: the C library's is not for threads.
        file.setClock([] { return QDateTime(QDate(2026, 12, 11), QTime(12, 0), QTimeZone(3600)); });
        for (int n = 0; n < LinesEach; ++n)
            file.append(QString("%1 %2 %3").arg(name).arg(n, 6, 10, QChar('0')).arg(QString(40, 'x')));
    };
    std::thread first(writer, 'a');
    std::thread second(writer, 'b');
    first.join();
    second.join();

    const QRegularExpression whole(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d ([ab]) (\d{6}) x{40}$)");
    QMap<QString, int> last {{"a", -1}, {"b", -1}};
    int kept = 0;
    for (const QString name : {"TessaroLite.log.4", "TessaroLite.log.3", "TessaroLite.log.2",
             "TessaroLite.log.1", "TessaroLite.log"}) {
        const QString path = folder + "/" + name;
        ASSERT_TRUE(QFileInfo::exists(path)) << name.toStdString();
        EXPECT_LE(QFileInfo(path).size(), LogFile::RotateBytes) << name.toStdString();
        for (const QString &line : linesOf(path)) {
            const QRegularExpressionMatch match = whole.match(line);
            ASSERT_TRUE(match.hasMatch()) << name.toStdString() << ": " << line.toStdString();
            // Each writer's lines in order, from the oldest file to the newest.
            const int number = match.captured(2).toInt();
            EXPECT_GT(number, last[match.captured(1)]);
            last[match.captured(1)] = number;
            ++kept;
        }
    }
    EXPECT_FALSE(QFileInfo::exists(folder + "/TessaroLite.log.5"));
    EXPECT_LT(kept, 2 * LinesEach);
    EXPECT_EQ(last["a"], LinesEach - 1);
    EXPECT_EQ(last["b"], LinesEach - 1);
}

// Never through a link, never into anything but a regular file; a failure costs the writer
// nothing and is told once, until writing works again.
TEST(LogFileTest, AFileThatCannotBeWrittenIsToldOnceAndWritingResumes)
{
    QTemporaryDir root;
    const QString folder = root.filePath("TessaroLite");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + "/TessaroLite.log";
    const QString elsewhere = root.filePath("elsewhere.txt");
    ASSERT_TRUE(TestFiles::write(elsewhere, "untouched\n"));
    ASSERT_TRUE(QFile::link(elsewhere, path));

    LogFile file(folder);
    file.setClock([] { return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone(7200)); });
    QStringList reports;
    file.setFailureReport([&](const QString &reason) { reports.append(reason); });
    file.append("one");
    EXPECT_FALSE(file.flush());
    file.append("two");
    EXPECT_FALSE(file.flush());
    EXPECT_EQ(reports.size(), 1);
    EXPECT_EQ(TestFiles::read(elsewhere), "untouched\n");

    ASSERT_TRUE(QFile::remove(path));
    file.append("three");
    EXPECT_TRUE(file.flush());
    EXPECT_EQ(TestFiles::read(path), "2026-01-02T03:04:05+02:00 three\n");

    // A line that a killed writer left unfinished stays on a line of its own.
    QFile cut(path);
    ASSERT_TRUE(cut.open(QIODevice::Append));
    cut.write("2026-01-02T03:04:05+02:00 half");
    cut.close();
    file.append("four");
    file.setEnabled(false);
    file.append("not kept");
    file.flush();
    EXPECT_EQ(linesOf(path).mid(1),
        QStringList({"2026-01-02T03:04:05+02:00 half", "2026-01-02T03:04:05+02:00 four"}));

    file.setEnabled(true);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkdir(path));
    file.append("five");
    EXPECT_FALSE(file.flush());
    ASSERT_EQ(reports.size(), 2);
    EXPECT_FALSE(reports[1].isEmpty());
}
