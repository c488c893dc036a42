#pragma once

#include "common/PrintTo.h"
#include "common/TestFiles.h"
#include "engine/RunFixture.h"
#include "engine/TestHost.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <sys/wait.h>
#include <unistd.h>

namespace Reliability
{

using TestFiles::patternBytes;

inline QByteArray sha256Of(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

inline QByteArray sha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex();
}

// Name -> checksum of every entry of a folder, hidden ones included.
inline QMap<QString, QByteArray> checksums(const QString &folder)
{
    QMap<QString, QByteArray> sums;
    for (const QString &name : TestFiles::entries(folder))
        sums.insert(name, sha256(folder + "/" + name));
    return sums;
}

// Writes a file of patterned bytes and answers its checksum.
inline QByteArray writePattern(const QString &path, qint64 size, quint32 seed)
{
    const QByteArray bytes = patternBytes(size, seed);
    return TestFiles::write(path, bytes) ? sha256Of(bytes) : QByteArray();
}

inline QString errorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Whether strace can run a program here (it needs to trace: some containers forbid it).
inline bool straceWorks()
{
    return QProcess::execute("strace", {"-o", "/dev/null", "true"}) == 0;
}

// Source and destination folders and a settings file for runs of the child process
// (reliability_child), which the tests start, kill, or run under strace with a fault injected.
class ChildRunFixture : public FolderFixture
{
protected:
    void SetUp() override
    {
        FolderFixture::SetUp();
        if (HasFatalFailure())
            return;
        settingsFile = root.filePath("Tessaro.ini");
        ASSERT_TRUE(
            TestFiles::write(settingsFile, "[Options]\r\nShowDateAndTime=0\r\nCheckDestination=1\r\n"));
    }

    QStringList childArguments(const QString &destination, const QStringList &switches) const
    {
        return QStringList {"run", src, destination, settingsFile} + switches;
    }

    // Runs the child to its end and answers its log lines. With an injection ("renameat",
    // "getdents64:when=2") the child runs under strace, and those calls fail with EIO.
    QStringList runToTheEnd(
        const QString &destination, const QStringList &switches, const QString &injection = QString())
    {
        QProcess child;
        QStringList arguments = childArguments(destination, switches);
        if (injection.isEmpty()) {
            child.start(RELIABILITY_CHILD, arguments);
        } else {
            const QString call = injection.section(':', 0, 0);
            arguments.prepend(RELIABILITY_CHILD);
            // The leak checker of a sanitizer build cannot work in a traced process.
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
            child.setProcessEnvironment(environment);
            child.start("strace",
                QStringList {"-f", "-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                    "inject=" + call + ":error=EIO" + injection.mid(call.size())}
                    + arguments);
        }
        EXPECT_TRUE(child.waitForFinished(120000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
        return QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

    QString settingsFile;
};

// A process of the test's own, ended with this object or by end().
class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess() { end(); }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    void end()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }

protected:
    pid_t m_pid = -1;
};

// A process of its own that holds a file open for writing (appending) until it is ended.
class FileHolder : public ChildProcess
{
public:
    explicit FileHolder(const QString &path)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        const QByteArray file = QFile::encodeName(path);
        m_pid = ::fork();
        if (m_pid == 0) {
            const int fd = ::open(file.constData(), O_WRONLY | O_APPEND);
            const ssize_t told = ::write(ready[1], fd >= 0 ? "y" : "n", 1);
            ::_exit(told == 1 ? (::pause(), 0) : 1);
        }
        ::close(ready[1]);
        char answer = 0;
        m_holds = m_pid > 0 && ::read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
    }
    bool holds() const { return m_holds; }

private:
    bool m_holds = false;
};

} // namespace Reliability

#define RELIABILITY_REQUIRE_MOUNT(mount)                                                                     \
    if (!(mount).mounted())                                                                                  \
    GTEST_SKIP() << "needs root to mount a small tmpfs (the suite mounts one when it runs as root)"
