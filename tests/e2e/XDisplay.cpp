#include "XDisplay.h"

#include "common/StopProcess.h"

#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QThread>
#include <csignal>

namespace
{

constexpr int StartTimeoutMs = 10000;
constexpr int PollMs = 100;

} // namespace

XDisplay::XDisplay()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        failureText = QStringLiteral("Xvfb is not installed (Debian package xvfb)");
        return;
    }
    startServer();
    if (failureText.isEmpty())
        startWindowManager();
}

XDisplay::~XDisplay()
{
    TestProcesses::stop(windowManager, StartTimeoutMs);
    TestProcesses::stop(server, StartTimeoutMs);
}

void XDisplay::startServer()
{
    // -displayfd 1: the server picks a free display number and writes it to its stdout.
    server.start(
        QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    QDeadlineTimer deadline(StartTimeoutMs);
    QByteArray output;
    while (!output.contains('\n') && !deadline.hasExpired() && server.state() != QProcess::NotRunning) {
        server.waitForReadyRead(PollMs);
        output += server.readAllStandardOutput();
    }
    bool isNumber = false;
    const int number = output.trimmed().toInt(&isNumber);
    if (!isNumber) {
        failureText = QStringLiteral("Xvfb did not report a display: ")
            + QString::fromLocal8Bit(server.readAllStandardError());
        TestProcesses::stop(server, StartTimeoutMs);
        return;
    }
    displayName = QStringLiteral(":") + QString::number(number);
}

void XDisplay::startWindowManager()
{
    if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty())
        return;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), displayName);
    windowManager.setProcessEnvironment(environment);
    windowManager.start(QStringLiteral("openbox"), {});
    if (!windowManager.waitForStarted(StartTimeoutMs))
        return;
    // The window manager announces itself on the root window once it manages windows.
    QDeadlineTimer deadline(StartTimeoutMs);
    while (!deadline.hasExpired() && windowManager.state() == QProcess::Running) {
        if (runTool(QStringLiteral("xprop"), {"-root", "_NET_SUPPORTING_WM_CHECK"})
                .contains(QLatin1String("window id")))
            return;
        QThread::msleep(PollMs);
    }
    // A window manager half way through its start can swallow the first map request;
    // the launcher's box shows as well without one.
    TestProcesses::stop(windowManager, StartTimeoutMs);
}

QString XDisplay::runTool(const QString &program, const QStringList &arguments, int timeoutMs) const
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), displayName);
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished();
        return QString();
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

bool XDisplay::pauseWindowManager(bool paused)
{
    if (windowManager.state() != QProcess::Running)
        return false;
    return ::kill(static_cast<pid_t>(windowManager.processId()), paused ? SIGSTOP : SIGCONT) == 0;
}

QString XDisplay::waitForWindow(const QString &titlePattern, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QString found
            = runTool(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", titlePattern});
        if (!found.trimmed().isEmpty())
            return found.split(QLatin1Char('\n')).first().trimmed();
        QThread::msleep(PollMs);
    }
    return QString();
}
