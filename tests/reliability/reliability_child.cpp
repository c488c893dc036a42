// A process of its own for the reliability tests, so that they can kill a real run and let
// two real processes write one settings file at once.
//
//   reliability_child run SOURCE DESTINATION SETTINGS [--move] [--overwrite] [--pause]
//                     [--pause-before-rename]
//     Runs the transfer once and prints every log line. --pause stops the copying thread for
//     good in the middle of the first copy that goes beyond one chunk, after printing
//     "copying" on stderr; --pause-before-rename stops it once a complete copy has a hidden
//     name, right before the rename that gives it its own, after printing "renaming".
//   reliability_child write-settings SETTINGS TAG ROUNDS KEY...
//     Writes TAG-<round> into each KEY and into "Shared", round after round, and checks after
//     every write that none of its own keys lost its newest value. Prints "lost <n>".

#include "engine/TestHost.h"
#include "engine/TransferRun.h"
#include "fs/TestHooks.h"
#include "fs/TransferFolders.h"

#include <QCoreApplication>
#include <cstdio>
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

int runTransfer(const QStringList &args)
{
    if (args.size() < 3)
        return usage();
    modGlobal::SettingsFilePath = args.at(2);
    TestHost host;
    host.source = args.at(0);
    host.destination = args.at(1);
    host.move = args.contains("--move");
    host.overwrite = args.contains("--overwrite");
    if (args.contains("--pause") || args.contains("--pause-before-rename"))
        pauseInTheCopy(args.contains("--pause-before-rename"));

    TestRun run(host);
    run.setEventInterval(0);
    run.RunTransfer();
    for (const QString &line : host.log.lines())
        std::printf("%s\n", line.toUtf8().constData());
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
