// The built TessaroLite as a screen reader finds it over AT-SPI, on a virtual X display with a
// private session bus and the accessibility bus that at-spi2-core's launcher starts on it: the
// main window is a frame, the log is a list whose items are the log's lines with the newest
// one selected, and the interval list is labelled by its heading; in English and in German.
#include "XDisplay.h"
#include "common/StopProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace
{

constexpr int WaitMs = 20000;
const QString BusLauncher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
// Debian's pyatspi is a module of Debian's own Python, which need not be the first on the path.
const QString Python = QStringLiteral("/usr/bin/python3");

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = WaitMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QThread::msleep(200);
    }
    return condition();
}

// Text tN of section [frmMain] of one of the built language files.
QString languageText(const QString &language, int id)
{
    QFile file(QStringLiteral(TESSARO_PROGRAM_DIR "/lang/") + language + QStringLiteral(".dat"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString key = QStringLiteral("t%1=").arg(id);
    bool inSection = false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString entry = line.trimmed();
        if (entry.startsWith(QLatin1Char('[')))
            inSection = entry == QLatin1String("[frmMain]");
        else if (inSection && entry.startsWith(key))
            return entry.mid(key.size());
    }
    return QString();
}

// The log as a reader found it: its first line, the others in name order (the run takes the
// files in the folder's order), the selected rows and the roles of the items.
QStringList logAsRead(const QJsonArray &items)
{
    QStringList names;
    QStringList selected;
    QStringList roles;
    for (int row = 0; row < items.size(); ++row) {
        names << items[row]["name"].toString();
        if (items[row]["selected"].toBool())
            selected << QString::number(row);
        if (!roles.contains(items[row]["role"].toString()))
            roles << items[row]["role"].toString();
    }
    if (!names.isEmpty())
        std::sort(names.begin() + 1, names.end());
    return names + QStringList {"selected: " + selected.join(','), "roles: " + roles.join(',')};
}

class AccessibilityEndToEnd : public ::testing::TestWithParam<const char *>
{
protected:
    void SetUp() override
    {
        if (!QFileInfo(program()).isExecutable())
            GTEST_SKIP() << "TessaroLite is not built at " << program().toStdString();
        for (const char *tool : {"Xvfb", "dbus-daemon", "dbus-send"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                GTEST_SKIP() << tool
                             << " is not installed (scripts/test installs xvfb, dbus-daemon and dbus-bin)";
        }
        if (!QFileInfo(BusLauncher).isExecutable())
            GTEST_SKIP() << "no " << BusLauncher.toStdString() << " (Debian package at-spi2-core)";
        if (!QFileInfo(Python).isExecutable() || QProcess::execute(Python, {"-c", "import pyatspi"}) != 0)
            GTEST_SKIP() << Python.toStdString() << " cannot import pyatspi (Debian package python3-pyatspi)";
        display = std::make_unique<XDisplay>();
        if (!display->failure().isEmpty())
            GTEST_SKIP() << "no virtual display: " << display->failure().toStdString();
        ASSERT_TRUE(startSessionBus())
            << "dbus-daemon gave no address: " << bus.readAllStandardError().toStdString();
        ASSERT_TRUE(startAccessibilityBus()) << "at-spi-bus-launcher did not offer the accessibility bus: "
                                             << launcher.readAllStandardError().toStdString();
    }

    void TearDown() override
    {
        TestProcesses::stop(app);
        // The launcher leads its own process group: the accessibility bus and the registry
        // that it started go with it.
        if (launcher.state() != QProcess::NotRunning)
            ::kill(-static_cast<pid_t>(launcher.processId()), SIGTERM);
        TestProcesses::stop(launcher);
        TestProcesses::stop(bus);
        display.reset();
    }

    static QString program() { return QStringLiteral(TESSARO_PROGRAM_DIR "/TessaroLite"); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display->name());
        if (busAddress.isEmpty())
            environment.remove("DBUS_SESSION_BUS_ADDRESS");
        else
            environment.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        environment.insert("XDG_CONFIG_HOME", config.path());
        // The launcher puts the accessibility bus's socket there: each test has its own.
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        environment.remove("AT_SPI_BUS_ADDRESS");
        return environment;
    }

    // A service the bus starts on demand gets the bus's environment: the private one, so that an
    // accessibility bus launched that way does not share its socket with another test's.
    bool startSessionBus()
    {
        bus.setProcessEnvironment(environment());
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QDeadlineTimer deadline(10000);
        while (!bus.canReadLine() && !deadline.hasExpired() && bus.state() != QProcess::NotRunning)
            bus.waitForReadyRead(200);
        busAddress = QString::fromLocal8Bit(bus.readLine()).trimmed();
        return !busAddress.isEmpty();
    }

    bool startAccessibilityBus()
    {
        launcher.setProcessEnvironment(environment());
        launcher.setChildProcessModifier([] { ::setsid(); });
        launcher.start(BusLauncher, {"--launch-immediately"});
        if (!launcher.waitForStarted())
            return false;
        return waitUntil([this] {
            QProcess ask;
            ask.setProcessEnvironment(environment());
            // Asked without starting it on demand.
            ask.start("dbus-send",
                {"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                    "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"});
            return ask.waitForFinished(5000) && ask.exitCode() == 0
                && ask.readAllStandardOutput().contains("boolean true");
        });
    }

    void writeSettings(const QString &language)
    {
        ASSERT_TRUE(QDir(config.path()).mkpath("Tessaro/Lite"));
        ASSERT_TRUE(QDir(config.path()).mkpath("To"));
        ASSERT_TRUE(QDir(config.path()).mkpath("From"));
        for (const char *name : {"a.txt", "b.txt", "c.txt"}) {
            QFile file(QDir(config.filePath("From")).filePath(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("data");
        }
        QFile file(config.filePath("Tessaro/Lite/Tessaro.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Options]\r\nSave=0\r\nQuestion=0\r\nShowLog=1\r\nInterval=5\r\nDoActionOnStart=1\r\n"
                   "ShowDateAndTime=0\r\nAction=Copy\r\nOverwrite=0\r\nCheckDestination=1\r\n");
        file.write(("Language=" + language + "\r\nFrom=" + config.filePath("From")
            + "\r\nTo=" + config.filePath("To") + "\r\n")
                       .toUtf8());
    }

    // What the reader script found of the program; empty while it finds nothing.
    QJsonObject readTree(QString *errors)
    {
        QProcess reader;
        reader.setProcessEnvironment(environment());
        reader.start(Python, {QStringLiteral(TESSARO_SOURCE_DIR "/tests/e2e/atspi-tree.py"), "TessaroLite"});
        if (!reader.waitForFinished(30000)) {
            reader.kill();
            reader.waitForFinished();
            return {};
        }
        *errors = QString::fromLocal8Bit(reader.readAllStandardError());
        return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    }

    static QJsonObject listNamed(const QJsonObject &tree, const QString &name)
    {
        for (const QJsonValue &list : tree["lists"].toArray()) {
            if (list["name"].toString() == name)
                return list.toObject();
        }
        return {};
    }

    QTemporaryDir config;
    QTemporaryDir runtime;
    std::unique_ptr<XDisplay> display;
    QProcess bus;
    QString busAddress;
    QProcess launcher;
    QProcess app;
};

} // namespace

TEST_P(AccessibilityEndToEnd, ScreenReaderReadsTheLogLinesTheFrameAndTheIntervalLabel)
{
    const QString language = QLatin1String(GetParam());
    const QString logHeading = languageText(language, 3);
    const QString copied = languageText(language, 25);
    ASSERT_FALSE(logHeading.isEmpty() || copied.isEmpty()) << "no texts in the language file " << GetParam();
    writeSettings(language);
    QProcessEnvironment environment = this->environment();
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    app.setProcessEnvironment(environment);
    app.start(program(), {"/s"});
    ASSERT_TRUE(app.waitForStarted());
    const QString window = display->waitForWindow("Tessaro", WaitMs);
    ASSERT_FALSE(window.isEmpty()) << "the main window did not appear";

    // The schedule's line and one line per file, once the run is through and the view has
    // selected the newest line; the reader may look in between.
    const QStringList expected = {languageText(language, 33), copied + ": a.txt", copied + ": b.txt",
        copied + ": c.txt", "selected: 3", "roles: list item"};
    QJsonObject tree;
    QString errors;
    // The title counts the minutes down: the frame has the title of before or after the read.
    const auto title = [&] { return display->runTool("xdotool", {"getwindowname", window}).trimmed(); };
    QStringList titles;
    const bool read = waitUntil([&] {
        titles = QStringList {title()};
        tree = readTree(&errors);
        titles << title();
        return logAsRead(listNamed(tree, logHeading)["items"].toArray()) == expected;
    });
    EXPECT_TRUE(read) << "expected " << expected.join(" | ").toStdString()
                      << "\nfound: " << QJsonDocument(tree).toJson().toStdString() << errors.toStdString();

    const QJsonArray frames = tree["frames"].toArray();
    EXPECT_TRUE(frames.contains(titles.first()) || frames.contains(titles.last()))
        << "no frame named " << titles.join(" or ").toStdString() << ": "
        << QJsonDocument(frames).toJson().toStdString();

    bool labelled = false;
    for (const QJsonValue &combo : tree["combos"].toArray())
        labelled = labelled || combo["labelledBy"].toArray().contains(languageText(language, 2));
    EXPECT_TRUE(labelled) << "the interval list is not labelled by its heading: "
                          << QJsonDocument(tree["combos"].toArray()).toJson().toStdString();
}

INSTANTIATE_TEST_SUITE_P(InBothLanguages, AccessibilityEndToEnd, ::testing::Values("English", "Deutsch"));
