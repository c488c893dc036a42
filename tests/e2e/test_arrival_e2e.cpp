// The built TessaroLite on a virtual X display, started with "/s", an interval of nine hours
// and "Also run when files arrive": a file dropped into the source folder is copied within
// seconds, the log file says so, and the countdown goes on to the timed run.
#include "XDisplay.h"
#include "common/StopProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace
{

constexpr int WaitMs = 15000;

bool waitUntil(const std::function<bool()> &condition)
{
    QDeadlineTimer deadline(WaitMs);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QThread::msleep(100);
    }
    return condition();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString program()
{
    return QStringLiteral(TESSARO_PROGRAM_DIR "/TessaroLite");
}

} // namespace

TEST(ArrivalEndToEnd, AFileDroppedIntoTheSourceIsCopiedAndLoggedWithoutWaitingForTheInterval)
{
    if (!QFileInfo(program()).isExecutable())
        GTEST_SKIP() << "TessaroLite is not built at " << program().toStdString();
    for (const char *tool : {"Xvfb", "openbox", "xdotool"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed (scripts/test installs xvfb, openbox and xdotool)";
    }
    const auto display = std::make_unique<XDisplay>();
    if (!display->failure().isEmpty())
        GTEST_SKIP() << "no virtual display: " << display->failure().toStdString();

    QTemporaryDir home;
    const QString source = home.filePath("Scans");
    const QString destination = home.filePath("Archive");
    ASSERT_TRUE(QDir().mkpath(home.filePath("config/Tessaro/Lite")));
    ASSERT_TRUE(QDir().mkpath(source));
    ASSERT_TRUE(QDir().mkpath(destination));
    QFile settings(home.filePath("config/Tessaro/Lite/Tessaro.ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[Options]\r\nSave=0\r\nQuestion=0\r\nLanguage=English\r\nShowLog=1\r\nInterval=540\r\n"
                   "Action=Copy\r\nDoActionOnStart=0\r\nRunOnArrival=1\r\nShowDateAndTime=1\r\n");
    settings.write(("From=" + source + "\r\nTo=" + destination + "\r\n").toUtf8());
    settings.close();

    QProcess app;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display->name());
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("XDG_STATE_HOME", home.filePath("state"));
    environment.remove("DBUS_SESSION_BUS_ADDRESS");
    app.setProcessEnvironment(environment);
    app.start(program(), {"/s"});
    ASSERT_TRUE(app.waitForStarted());
    const QString window = display->waitForWindow("^Tessaro Lite - ", WaitMs);
    ASSERT_FALSE(window.isEmpty()) << "the main window did not appear";
    const QString logFile = home.filePath("state/TessaroLite/TessaroLite.log");
    ASSERT_TRUE(waitUntil([&] { return readAll(logFile).contains(" Schedule started\n"); }))
        << "the schedule did not start: " << readAll(logFile).toStdString();

    QFile scan(source + "/scan 0001.pdf");
    ASSERT_TRUE(scan.open(QIODevice::WriteOnly));
    scan.write(QByteArray(64 * 1024, 's'));
    scan.close();

    EXPECT_TRUE(waitUntil([&] { return readAll(destination + "/scan 0001.pdf").size() == 64 * 1024; }))
        << "the file was not copied";
    EXPECT_TRUE(waitUntil([&] { return readAll(logFile).contains(" Copied: scan 0001.pdf\n"); }))
        << readAll(logFile).toStdString();
    EXPECT_FALSE(readAll(logFile).contains("Copying")) << "an in-progress line reached the file";
    EXPECT_TRUE(waitUntil([&] {
        return display->runTool("xdotool", {"getwindowname", window}).contains("(run in 540 minutes)");
    })) << display->runTool("xdotool", {"getwindowname", window}).toStdString();

    TestProcesses::stop(app);
}
