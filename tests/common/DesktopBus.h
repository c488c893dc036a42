#pragma once

// A private session bus (dbus-daemon) with the desktop's side on it: the stand-in of
// tests/e2e/desktop-standin.py, a StatusNotifier watcher and a notification server that
// report what the program asked of them. Both end with the object.

#include "common/StopProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QThread>
#include <functional>
#include <vector>

class DesktopBus
{
public:
    DesktopBus()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            failureText = QStringLiteral("dbus-daemon is not installed (Debian package dbus)");
            return;
        }
        // A session bus that the compositor's user may join as well (tests/e2e runs a Wayland
        // compositor as an ordinary user; root's own bus would refuse it).
        daemon.start(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--config-file=" TESSARO_SOURCE_DIR "/tests/e2e/session-bus.conf"), "--nofork",
                "--print-address=1"});
        if (!daemon.waitForStarted(5000) || !waitFor([this] { return daemon.canReadLine(); }, 10000)) {
            failureText = QStringLiteral("dbus-daemon did not start: ")
                + QString::fromLocal8Bit(daemon.readAllStandardError());
            return;
        }
        busAddress = QString::fromLocal8Bit(daemon.readLine()).trimmed();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        standIn.setProcessEnvironment(environment);
        // Debian's own Python, which has python3-dbus and python3-gi, not one earlier on the path.
        standIn.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(TESSARO_SOURCE_DIR "/tests/e2e/desktop-standin.py")});
        if (!standIn.waitForStarted(5000) || next("ready", 10000).isEmpty())
            failureText = QStringLiteral("the stand-in did not start (python3-dbus, python3-gi): ")
                + QString::fromLocal8Bit(standIn.readAllStandardError());
    }

    ~DesktopBus()
    {
        TestProcesses::stop(standIn);
        TestProcesses::stop(daemon);
    }

    DesktopBus(const DesktopBus &) = delete;
    DesktopBus &operator=(const DesktopBus &) = delete;

    QString failure() const { return failureText; }
    QString address() const { return busAddress; }

    // Sends a command to the stand-in ("menu", "click ID", "invoke").
    void send(const QByteArray &command)
    {
        standIn.write(command + '\n');
        // A caller that then blocks on something else runs no events to flush it.
        standIn.waitForBytesWritten(5000);
    }

    // The next event of the given kind that the stand-in reported, waiting up to timeoutMs
    // (events of other kinds are kept); empty when none came.
    QJsonObject next(const QString &kind, int timeoutMs)
    {
        QJsonObject found;
        waitFor(
            [&] {
                readEvents();
                for (auto event = events.begin(); event != events.end(); ++event) {
                    if (event->value(QStringLiteral("event")).toString() == kind) {
                        found = *event;
                        events.erase(event);
                        return true;
                    }
                }
                return standIn.state() == QProcess::NotRunning;
            },
            timeoutMs);
        return found;
    }

    // Lets the caller's events run while waiting, so that a program in this process answers.
    static bool waitFor(const std::function<bool()> &condition, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (condition())
                return true;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(20);
        }
        return condition();
    }

private:
    void readEvents()
    {
        standIn.waitForReadyRead(0);
        while (standIn.canReadLine()) {
            const QJsonDocument line = QJsonDocument::fromJson(standIn.readLine());
            if (line.isObject())
                events.push_back(line.object());
        }
    }

    QProcess daemon;
    QProcess standIn;
    QString busAddress;
    QString failureText;
    std::vector<QJsonObject> events;
};
