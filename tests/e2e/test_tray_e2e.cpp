// The built TessaroLite on a virtual X display with openbox and a notification area (trayer):
// minimising puts it into the tray and out of the task bar, the icon brings it back, its menu
// ends the program; with "SysTray" "0" it minimises to the task bar like any window.
#include "XDisplay.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace
{

constexpr int WaitMs = 10000;

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = WaitMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QThread::msleep(100);
    }
    return condition();
}

QString hexId(const QString &decimalId)
{
    return QStringLiteral("0x%1").arg(decimalId.toULongLong(), 0, 16);
}

class TrayEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(program()).isExecutable())
            GTEST_SKIP() << "TessaroLite is not built at " << program().toStdString();
        for (const char *tool : {"Xvfb", "openbox", "trayer", "xdotool", "xprop", "xwininfo"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/test installs xvfb, openbox, trayer, "
                             << "xdotool and x11-utils)";
        }
        display = std::make_unique<XDisplay>();
        if (!display->failure().isEmpty())
            GTEST_SKIP() << "no virtual display: " << display->failure().toStdString();
        startTray();
        ASSERT_TRUE(waitUntil([this] {
            return !tool("xdotool", {"search", "--onlyvisible", "--class", "trayer"}).isEmpty();
        })) << "trayer did not show its panel";
        ASSERT_TRUE(QDir(config.path()).mkpath("Tessaro/Lite"));
        ASSERT_TRUE(QDir(config.path()).mkpath("From"));
        ASSERT_TRUE(QDir(config.path()).mkpath("To"));
    }

    void TearDown() override
    {
        stop(app);
        stop(tray);
        display.reset();
    }

    static QString program() { return QStringLiteral(TESSARO_PROGRAM_DIR "/TessaroLite"); }

    QString tool(const char *name, const QStringList &arguments) const
    {
        return display->runTool(QLatin1String(name), arguments).trimmed();
    }

    QProcessEnvironment environmentFor(const QString &configHome) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display->name());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("XDG_CONFIG_HOME", configHome);
        // Without a session bus Qt puts its icon into the X notification area (XEmbed).
        environment.remove("DBUS_SESSION_BUS_ADDRESS");
        return environment;
    }

    void startTray()
    {
        tray.setProcessEnvironment(environmentFor(config.path()));
        tray.start("trayer",
            {"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "120", "--heighttype",
                "pixel", "--height", "24", "--SetDockType", "true", "--transparent", "false"});
        tray.waitForStarted();
    }

    void writeSettings(const char *sysTray)
    {
        QFile file(config.filePath("Tessaro/Lite/Tessaro.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Options]\r\nSave=0\r\nQuestion=0\r\nLanguage=English\r\nShowLog=1\r\nInterval=5\r\n");
        file.write(("From=" + config.filePath("From") + "\r\nTo=" + config.filePath("To") + "\r\n").toUtf8());
        file.write(QByteArray("SysTray=") + sysTray + "\r\n");
    }

    // Starts the program and gives its main window's id.
    QString startProgram()
    {
        app.setProcessEnvironment(environmentFor(config.path()));
        app.start(program(), {});
        if (!app.waitForStarted())
            return QString();
        return display->waitForWindow("^Tessaro Lite - ", WaitMs);
    }

    bool inTaskBar(const QString &window) const
    {
        return tool("xprop", {"-root", "_NET_CLIENT_LIST"}).contains(hexId(window));
    }

    bool viewable(const QString &window) const
    {
        return tool("xwininfo", {"-id", window}).contains("IsViewable");
    }

    QStringList visibleWindows() const
    {
        return tool("xdotool", {"search", "--onlyvisible", "--class", "TessaroLite"})
            .split('\n', Qt::SkipEmptyParts);
    }

    // The icon that the program put into the notification area: its small viewable window.
    QString trayIcon() const
    {
        for (const QString &id : visibleWindows()) {
            const QString info = tool("xwininfo", {"-id", id});
            const QRegularExpression width("Width: (\\d+)");
            const auto match = width.match(info);
            if (match.hasMatch() && match.captured(1).toInt() <= 64)
                return id;
        }
        return QString();
    }

    static void stop(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
        }
    }

    QTemporaryDir config;
    std::unique_ptr<XDisplay> display;
    QProcess tray;
    QProcess app;
};

} // namespace

TEST_F(TrayEndToEnd, MinimisingWithSysTrayGoesIntoTheTrayAndTheIconBringsTheWindowBack)
{
    writeSettings("1");
    const QString window = startProgram();
    ASSERT_FALSE(window.isEmpty()) << "the main window did not appear";
    ASSERT_TRUE(waitUntil([&] { return inTaskBar(window); }));

    tool("xdotool", {"windowminimize", window});
    QString icon;
    ASSERT_TRUE(waitUntil([&] { return !(icon = trayIcon()).isEmpty(); }))
        << "no icon in the notification area";
    EXPECT_TRUE(waitUntil([&] { return !inTaskBar(window) && !viewable(window); }))
        << "the window is still in the task bar";

    tool("xdotool", {"mousemove", "--window", icon, "8", "8", "click", "1"});
    EXPECT_TRUE(waitUntil([&] { return viewable(window) && inTaskBar(window); }))
        << "the icon did not restore";
    EXPECT_TRUE(waitUntil([&] { return trayIcon().isEmpty(); })) << "the icon stayed after the restore";

    // The menu of the icon: "Exit" ends the program.
    tool("xdotool", {"windowminimize", window});
    ASSERT_TRUE(waitUntil([&] { return !(icon = trayIcon()).isEmpty(); }));
    tool("xdotool", {"mousemove", "--window", icon, "8", "8", "click", "3"});
    ASSERT_TRUE(waitUntil([&] { return visibleWindows().size() >= 2; })) << "the icon's menu did not open";
    tool("xdotool", {"key", "x"});
    EXPECT_TRUE(app.waitForFinished(5000)) << "the program did not end after Exit";
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
}

TEST_F(TrayEndToEnd, MinimisingWithoutSysTrayStaysInTheTaskBarWithoutAnIcon)
{
    writeSettings("0");
    const QString window = startProgram();
    ASSERT_FALSE(window.isEmpty()) << "the main window did not appear";

    tool("xdotool", {"windowminimize", window});
    EXPECT_TRUE(waitUntil([&] {
        return tool("xprop", {"-id", window, "_NET_WM_STATE"}).contains("HIDDEN");
    }));
    QThread::msleep(500);
    EXPECT_TRUE(inTaskBar(window));
    EXPECT_TRUE(trayIcon().isEmpty());
}
