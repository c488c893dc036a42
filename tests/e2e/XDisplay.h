#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <memory>

// A private virtual X display (Xvfb on a free display number) with openbox as window
// manager when it is installed. Both are ended when the object goes.
class XDisplay
{
public:
    XDisplay();
    ~XDisplay();

    // Why the display could not be started; empty when it runs.
    QString failure() const { return failureText; }
    QString name() const { return displayName; }

    // Runs a short X tool (xdotool, xprop) on this display and gives its standard output;
    // empty when the tool failed.
    QString runTool(const QString &program, const QStringList &arguments, int timeoutMs = 5000) const;

    // Stops or continues the window manager (SIGSTOP, SIGCONT), as a loaded desktop is slow
    // to take in new windows; false when there is none.
    bool pauseWindowManager(bool paused);

    // The id of a viewable window whose title matches the pattern (an extended regular
    // expression), waiting up to timeoutMs; empty when none appeared.
    QString waitForWindow(const QString &titlePattern, int timeoutMs) const;

private:
    void startServer();
    void startWindowManager();

    QProcess server;
    QProcess windowManager;
    QString displayName;
    QString failureText;
};
