// The built TessaroUpdate on a virtual display: a prepared per-user store, a stand-in
// xdg-open on PATH that records the address it is given, and Yes answered from the keyboard.
#include "XDisplay.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

constexpr int WindowTimeoutMs = 20000;
constexpr int EndTimeoutMs = 5000;

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
        && file.write(content) == content.size();
}

// What TessaroLite leaves in the store at its start.
bool prepareStore(const QDir &configHome)
{
    return writeFile(configHome.filePath("Ulvenor/Tessaro.conf"), "[Lite]\nLanguage=de\nVersion=3.01.00\n");
}

// Qt's desktop services hand web addresses to xdg-open when no desktop environment runs.
bool prepareOpener(const QDir &binFolder, const QString &recordPath)
{
    const QString path = binFolder.filePath("xdg-open");
    const QByteArray script = "#!/bin/sh\nprintf '%s\\n' \"$*\" > '" + recordPath.toLocal8Bit() + "'\n";
    return writeFile(path, script)
        && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QProcessEnvironment launcherEnvironment(const XDisplay &display, const QDir &root)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"BROWSER", "DEFAULT_BROWSER", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP",
             "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
        environment.remove(QString::fromLatin1(name));
    environment.insert("DISPLAY", display.name());
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("XDG_CONFIG_HOME", root.filePath("config"));
    environment.insert("XDG_RUNTIME_DIR", root.filePath("runtime"));
    environment.insert("PATH", root.filePath("bin") + ':' + environment.value("PATH"));
    return environment;
}

QString readRecord(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()).trimmed() : QString();
}

} // namespace

TEST(UpdateLauncherOnDisplay, YesOpensTheUpdatePageAndTheProgramEnds)
{
    if (QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "xdotool is not installed (Debian package xdotool)";
    XDisplay display;
    if (!display.failure().isEmpty())
        GTEST_SKIP() << "no virtual display: " << display.failure().toStdString();

    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QDir root(temp.path());
    const QString recordPath = root.filePath("opened.txt");
    ASSERT_TRUE(prepareStore(QDir(root.filePath("config"))));
    ASSERT_TRUE(prepareOpener(QDir(root.filePath("bin")), recordPath));
    ASSERT_TRUE(root.mkpath("runtime")
        && QFile::setPermissions(
            root.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QProcess launcher;
    launcher.setProcessEnvironment(launcherEnvironment(display, root));
    // Two arguments: the launcher takes them whole, joined by a blank.
    launcher.start(QStringLiteral(TESSARO_PROGRAM_DIR "/TessaroUpdate"), {"Pt", "br"});
    ASSERT_TRUE(launcher.waitForStarted()) << launcher.errorString().toStdString();

    const QString box = display.waitForWindow("^Tessaro Lite Update$", WindowTimeoutMs);
    ASSERT_FALSE(box.isEmpty()) << "no question box appeared; launcher said: "
                                << launcher.readAllStandardError().toStdString();
    display.runTool("xdotool", {"windowfocus", "--sync", box});
    display.runTool("xdotool", {"key", "y"});

    const bool ended = launcher.waitForFinished(EndTimeoutMs);
    if (!ended) {
        launcher.kill();
        launcher.waitForFinished();
    }
    EXPECT_TRUE(ended) << "the launcher was still running 5 seconds after the answer";
    EXPECT_EQ(launcher.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(launcher.exitCode(), 0);
    EXPECT_EQ(readRecord(recordPath), "https://www.ulvenor.example/lite/pt%20br/update/QZL_de.htm");
}
