// A process of its own for the reliability tests, so that they can kill a real run and let
// two real processes write one settings file at once.
//
//   reliability_child run SOURCE DESTINATION SETTINGS [--move] [--overwrite] [--pause]
//                         [--pause-before-rename] [--as-user UID] [--click-during-listing]
//     Runs the transfer once and prints every log line. --pause stops the copying thread for
//     good in the middle of the first copy that goes beyond one chunk, after printing
//     "copying" on stderr; --pause-before-rename stops it once a complete copy has a hidden
//     name, right before the rename that gives it its own, after printing "renaming".
//     --as-user runs as that user (and group), as a second user of the machine would.
//     --click-during-listing clicks the Start/Stop button in the first round of events, while
//     the folder is still listed, prints "button: " and the button's text then, and runs a
//     second time after the first.
//   reliability_child write-settings SETTINGS TAG ROUNDS KEY...
//     Writes TAG-<round> into each KEY and into "Shared", round after round, and checks after
//     every write that none of its own keys lost its newest value. Prints "lost <n>".

#include "engine/TestHost.h"
#include "engine/TransferRun.h"
#include "fs/TestHooks.h"
#include "fs/TransferFolders.h"

#include <QCoreApplication>
#include <cstdio>
#include <grp.h>
#include <unistd.h>

namespace
{

int usage()
{
    std::fprintf(stderr, "usage: reliability_child run|write-settings ...\n");
    return 2;
}

// Says where it is and stops the thread that copies for good, so that the test can kill the
// process there.
[[noreturn]] void stopHere(const char *where)
{
    std::fprintf(stderr, "%s\n", where);
    std::fflush(stderr);
    for (;;)
        ::pause();
}

// Once the first chunk of a large file is written (the file is half written), or once a
// complete copy has a hidden name.
void pauseInTheCopy(bool beforeRename)
{
    static modFSO::testing::CopyObserver observer;
    if (beforeRename)
        observer.beforeRename = [](const QByteArray &) { stopHere("renaming"); };
    else
        observer.afterChunk = [](const QByteArray &) { stopHere("copying"); };
    modFSO::testing::setCopyObserver(&observer);
}

bool becomeUser(const QStringList &args)
{
    const qsizetype at = args.indexOf("--as-user");
    if (at < 0)
        return true;
    const uid_t user = args.value(at + 1).toUInt();
    return ::setgroups(0, nullptr) == 0 && ::setgid(user) == 0 && ::setuid(user) == 0;
}

void printLines(const ActivityLog &log)
{
    for (const QString &line : log.lines())
        std::printf("%s\n", line.toUtf8().constData());
}

int runTransfer(const QStringList &args)
{
    if (args.size() < 3 || !becomeUser(args))
        return usage();
    modGlobal::SettingsFilePath = args.at(2);
    TestHost host;
    host.source = args.at(0);
    host.destination = args.at(1);
    host.move = args.contains("--move");
    host.overwrite = args.contains("--overwrite");
    if (args.contains("--pause") || args.contains("--pause-before-rename"))
        pauseInTheCopy(args.contains("--pause-before-rename"));

    TestScheduler scheduler(host);
    scheduler.transferRun().setEventInterval(0);
    if (args.contains("--click-during-listing")) {
        bool clicked = false;
        host.onEvents = [&] {
            if (!clicked) {
                std::printf("button: %s\n", host.stopStartCaption.toUtf8().constData());
                scheduler.toggleSchedule();
            }
            clicked = true;
        };
        scheduler.RunTransfer();
        host.onEvents = nullptr;
    }
    scheduler.RunTransfer();
    printLines(host.log);
    return 0;
}

int writeSettings(const QStringList &args)
{
    if (args.size() < 4)
        return usage();
    const QString path = args.at(0);
    const QString tag = args.at(1);
    const int rounds = args.at(2).toInt();
    const QStringList keys = args.mid(3);
    int lost = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString value = tag + QLatin1Char('-') + QString::number(round);
        for (const QString &key : keys) {
            modIniHandler::WriteIniValue(path, "Options", key, value);
            modIniHandler::WriteIniValue(path, "Options", "Shared", value);
        }
        for (const QString &key : keys) {
            if (modIniHandler::ReadIniValue(path, "Options", key, QString()) != value)
                ++lost;
        }
    }
    std::printf("lost %d\n", lost);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString mode = args.takeFirst();
    if (mode == "run")
        return runTransfer(args);
    if (mode == "write-settings")
        return writeSettings(args);
    return usage();
}
