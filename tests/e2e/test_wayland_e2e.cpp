// The built TessaroLite as a native Wayland client of a headless sway, with a StatusNotifier
// watcher on a private session bus: the window carries the desktop entry's name as its app id,
// the icon is in the notification area from the start (a Wayland window never hears that it
// was minimised), its menu comes over D-Bus in the program's language, "open" brings back a
// window that the desktop put away, and "exit" ends the program.
#include "common/DesktopBus.h"
#include "common/StopProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace
{

constexpr int WaitMs = 15000;
// sway refuses to run as root, so it runs as this user; the program and the tests stay root.
const QString CompositorUser = QStringLiteral("tessaro-wayland");

// The standard output of a short tool; nothing when it failed.
std::optional<QString> runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        tool.kill();
        tool.waitForFinished();
        return std::nullopt;
    }
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

// A tool of the system, also where root's path lacks the sbin folders (runuser, useradd).
QString systemTool(const char *name)
{
    const QString onPath = QStandardPaths::findExecutable(QLatin1String(name));
    return onPath.isEmpty() ? QStandardPaths::findExecutable(QLatin1String(name), {"/usr/sbin", "/sbin"})
                            : onPath;
}

// The name of the installed desktop entry: the one file in packaging/ that the menu shows.
QString installedDesktopEntry()
{
    const QStringList entries = QDir(QStringLiteral(TESSARO_SOURCE_DIR "/packaging"))
                                    .entryList({QStringLiteral("*.desktop")}, QDir::Files)
                                    .filter(QRegularExpression(QStringLiteral("^(?!.*autostart)")));
    return entries.size() == 1 ? QFileInfo(entries.first()).completeBaseName() : QString();
}

class WaylandEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(program()).isExecutable())
            GTEST_SKIP() << "TessaroLite is not built at " << program().toStdString();
        for (const char *tool : {"sway", "swaymsg", "runuser"}) {
            if (systemTool(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/test installs sway)";
        }
        if (!QFile::exists(
                QStringLiteral("/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so"))
            && !QFile::exists(
                QStringLiteral("/usr/lib/aarch64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so")))
            GTEST_SKIP() << "Qt's Wayland plugin is not installed (qt6-wayland)";
        if (!ensureCompositorUser())
            GTEST_SKIP() << "no ordinary user to run sway as (needs root for useradd)";
        bus = std::make_unique<DesktopBus>();
        if (!bus->failure().isEmpty())
            GTEST_SKIP() << bus->failure().toStdString();
        if (!startCompositor())
            GTEST_SKIP() << "sway did not start headless: "
                         << compositor.readAllStandardError().toStdString();
        ASSERT_TRUE(QDir(config.path()).mkpath("Tessaro/Lite"));
        ASSERT_TRUE(QDir(config.path()).mkpath("From"));
        ASSERT_TRUE(QDir(config.path()).mkpath("To"));
    }

    void TearDown() override
    {
        TestProcesses::stop(app);
        TestProcesses::stop(compositor);
        bus.reset();
    }

    static QString program() { return QStringLiteral(TESSARO_PROGRAM_DIR "/TessaroLite"); }

    static bool ensureCompositorUser()
    {
        if (runTool(QStringLiteral("id"), {"-u", CompositorUser}))
            return true;
        if (geteuid() != 0)
            return false;
        runTool(systemTool("useradd"),
            {"--system", "--no-create-home", "--shell", "/usr/sbin/nologin", CompositorUser});
        return runTool(QStringLiteral("id"), {"-u", CompositorUser}).has_value();
    }

    bool startCompositor()
    {
        if (!runtime.isValid() || !runTool(QStringLiteral("chown"), {CompositorUser, runtime.path()}))
            return false;
        QFile settings(runtime.filePath("sway.conf"));
        if (!settings.open(QIODevice::WriteOnly))
            return false;
        settings.write("output HEADLESS-1 resolution 1024x768\nxwayland disable\n");
        settings.close();
        settings.setPermissions(settings.permissions() | QFileDevice::ReadOther);
        compositor.start(systemTool("runuser"),
            {"-u", CompositorUser, "--", "env", "-i", "PATH=/usr/bin:/bin",
                "XDG_RUNTIME_DIR=" + runtime.path(), "DBUS_SESSION_BUS_ADDRESS=" + bus->address(),
                "WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "sway", "-c",
                settings.fileName()});
        return compositor.waitForStarted()
            && DesktopBus::waitFor([this] { return !ipcSocket().isEmpty(); }, WaitMs)
            && QFile::exists(runtime.filePath("wayland-1"));
    }

    QString ipcSocket() const
    {
        const QStringList sockets
            = QDir(runtime.path()).entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
        return sockets.isEmpty() ? QString() : runtime.filePath(sockets.first());
    }

    void writeSettings()
    {
        QFile file(config.filePath("Tessaro/Lite/Tessaro.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Options]\r\nSave=0\r\nQuestion=0\r\nLanguage=English\r\nShowLog=1\r\nInterval="
                   "5\r\nSysTray=1\r\n");
        file.write(("From=" + config.filePath("From") + "\r\nTo=" + config.filePath("To") + "\r\n").toUtf8());
    }

    void startProgram()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "wayland");
        environment.insert("WAYLAND_DISPLAY", runtime.filePath("wayland-1"));
        environment.insert("XDG_RUNTIME_DIR", ownRuntime.path());
        environment.insert("XDG_CONFIG_HOME", config.path());
        environment.insert("DBUS_SESSION_BUS_ADDRESS", bus->address());
        // In the sanitizer build: Qt's Wayland plugin leaves its protocol objects, partly in
        // modules already unloaded at exit, where no suppression can name them.
        if (environment.contains("ASAN_OPTIONS"))
            environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
        environment.remove("DISPLAY");
        app.setProcessEnvironment(environment);
        app.start(program(), {});
    }

    // The program's window in sway's tree, or an empty object.
    QJsonObject window() const
    {
        const QJsonDocument tree = QJsonDocument::fromJson(
            runTool(QStringLiteral("swaymsg"), {"-s", ipcSocket(), "-t", "get_tree", "-r"})
                .value_or(QString())
                .toUtf8());
        QJsonObject found;
        const std::function<void(const QJsonObject &)> walk = [&](const QJsonObject &node) {
            if (!node.value("app_id").toString().isEmpty()
                && node.value("pid").toInteger() == app.processId())
                found = node;
            for (const char *children : {"nodes", "floating_nodes"})
                for (const QJsonValue &child : node.value(QLatin1String(children)).toArray())
                    walk(child.toObject());
        };
        walk(tree.object());
        return found;
    }

    bool sway(const QString &command) const
    {
        return runTool(QStringLiteral("swaymsg"), {"-s", ipcSocket(), command}).has_value();
    }

    QTemporaryDir config;
    QTemporaryDir runtime;
    QTemporaryDir ownRuntime;
    std::unique_ptr<DesktopBus> bus;
    QProcess compositor;
    QProcess app;
};

} // namespace

TEST_F(WaylandEndToEnd, TheIconIsThereFromTheStartItsMenuBringsThePutAwayWindowBackAndEnds)
{
    writeSettings();
    startProgram();
    QJsonObject shown;
    ASSERT_TRUE(DesktopBus::waitFor([&] { return !(shown = window()).isEmpty(); }, WaitMs))
        << "the window did not appear: " << app.readAllStandardError().toStdString();
    EXPECT_EQ(shown.value("app_id").toString(), installedDesktopEntry());
    EXPECT_EQ(shown.value("name").toString(), "Tessaro Lite - Stopped");
    EXPECT_TRUE(shown.value("visible").toBool());

    // Nothing was minimised: the icon is there because the tray option is on.
    const QJsonObject registered = bus->next("registered", WaitMs);
    ASSERT_FALSE(registered.isEmpty()) << "no icon in the notification area";
    bus->send("menu");
    const QJsonObject menu = bus->next("menu", WaitMs);
    ASSERT_FALSE(menu.isEmpty());
    EXPECT_NE(menu.value("path").toString(), "/NO_DBUSMENU");
    QStringList labels;
    for (const QJsonValue &label : menu.value("labels").toArray())
        labels.append(label.toString().remove('_').remove('&'));
    ASSERT_EQ(labels, QStringList({"Open", "Open log file", "Exit"}));
    const QJsonArray ids = menu.value("ids").toArray();

    // Put away by the desktop (as a minimise would), the window comes back from the menu.
    ASSERT_TRUE(sway(QStringLiteral("[pid=%1] move scratchpad").arg(app.processId())));
    ASSERT_TRUE(DesktopBus::waitFor([&] { return !window().value("visible").toBool(); }, WaitMs));
    bus->send("click " + QByteArray::number(ids.at(0).toInt()));
    EXPECT_TRUE(DesktopBus::waitFor([&] { return window().value("visible").toBool(); }, WaitMs))
        << "\"Open\" did not bring the window back";

    bus->send("click " + QByteArray::number(ids.at(2).toInt()));
    EXPECT_TRUE(app.waitForFinished(WaitMs))
        << "\"Exit\" did not end the program: " << app.readAllStandardError().toStdString();
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0) << app.readAllStandardError().right(3000).toStdString();
}
