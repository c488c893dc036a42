// Runs the real transfer run headless over two folders, with the real log model and the date
// prefix, and prints how many files and log lines it produced, how long it took and the CPU time
// it spent (user and system time of all the process's threads from the run's start to its end:
// not the program's start, nor the bench's own count and check of the files afterwards).
//
//   transfer-bench SOURCE DESTINATION [--move] [--overwrite] [--check-free] [--no-date] [--log]
//                  [--workers N] [--settle SECONDS]
//
// --workers sets how many threads copy; without it the run uses one, and a second while the
// files are large or slow to copy. --settle sets how long a file that no lease vouches for must
// have stayed unchanged (the program's default without it); like the window's first run, the
// run has no earlier looks at the files.
// --log prints every final line of the log instead, one per line, as the window shows them
// (with the date prefix unless --no-date), for checks from outside the program.

#include "config/modGlobal.h"
#include "engine/TestHost.h"
#include "engine/TransferRun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace
{

int usage()
{
    std::fprintf(stderr,
        "usage: transfer-bench SOURCE DESTINATION [--move] [--overwrite] [--check-free]"
        " [--no-date] [--log] [--workers N] [--settle SECONDS]\n");
    return 2;
}

// A settings file of its own, so that the bench never reads or changes the user's settings.
bool prepareSettings(const QTemporaryDir &dir, bool checkFree, bool date, const QString &settle)
{
    modGlobal::SettingsFilePath = dir.filePath(QStringLiteral("Tessaro.ini"));
    QFile file(modGlobal::SettingsFilePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(date ? "[Options]\r\nShowDateAndTime=1\r\n" : "[Options]\r\nShowDateAndTime=0\r\n");
    file.write(checkFree ? "CheckDestination=0\r\n" : "CheckDestination=1\r\n");
    if (!settle.isEmpty())
        file.write("SettleSeconds=" + settle.toUtf8() + "\r\n");
    file.close();
    // As in daily use, the settings were saved a while ago, not the moment before the run
    // (a file changed within the last seconds is parsed anew for every file).
    return file.open(QIODevice::ReadWrite)
        && file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
}

double processCpuSeconds()
{
    struct rusage usage;
    if (::getrusage(RUSAGE_SELF, &usage) != 0)
        return 0;
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The plain files of a folder (regular files and links to them, no hidden names), counted
// without sorting or decoding their names, so that the count adds little to the process's CPU
// time; -1 when the folder cannot be listed.
qsizetype countFiles(const QString &folder)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return -1;
    qsizetype count = 0;
    while (const struct dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat st;
        const bool regular = entry->d_type == DT_REG
            || ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
                && ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode));
        count += regular ? 1 : 0;
    }
    ::closedir(dir);
    return count;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool move = args.removeAll(QStringLiteral("--move")) > 0;
    const bool overwrite = args.removeAll(QStringLiteral("--overwrite")) > 0;
    const bool checkFree = args.removeAll(QStringLiteral("--check-free")) > 0;
    const bool date = args.removeAll(QStringLiteral("--no-date")) == 0;
    const bool printLog = args.removeAll(QStringLiteral("--log")) > 0;
    const auto valueOf = [&args](const QString &option) {
        const qsizetype at = args.indexOf(option);
        if (at < 0 || at + 1 >= args.size())
            return QString();
        const QString value = args.at(at + 1);
        args.remove(at, 2);
        return value;
    };
    const int workers = valueOf(QStringLiteral("--workers")).toInt();
    const QString settle = valueOf(QStringLiteral("--settle"));
    if (args.size() != 2 || args.first().startsWith(QLatin1String("--"))
        || args.last().startsWith(QLatin1String("--")))
        return usage();

    QTemporaryDir settingsDir;
    if (!settingsDir.isValid() || !prepareSettings(settingsDir, checkFree, date, settle)) {
        std::fprintf(stderr, "transfer-bench: cannot write a settings file\n");
        return 1;
    }

    TestHost host;
    host.source = args.at(0);
    host.destination = args.at(1);
    host.move = move;
    host.overwrite = overwrite;
    host.onEvents = [] { QCoreApplication::processEvents(); };
    TestRun run(host);
    run.setWorkers(workers);

    const qsizetype listed = printLog ? 0 : countFiles(host.source);
    QElapsedTimer clock;
    const double cpuBefore = processCpuSeconds();
    clock.start();
    run.RunTransfer();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double cpuSeconds = processCpuSeconds() - cpuBefore;

    const QStringList lines = host.log.lines();
    int errors = 0;
    for (const QString &line : lines)
        errors += line.contains(host.text(35) + QLatin1String(": ")) ? 1 : 0;
    if (printLog) {
        for (const QString &line : lines)
            std::printf("%s\n", line.toUtf8().constData());
        return errors == 0 ? 0 : 1;
    }
    const qsizetype arrived = countFiles(host.destination);
    std::printf("files in source: %lld\nfiles in destination: %lld\nlog lines: %lld\nerror lines: %d\n"
                "event rounds: %d\nseconds: %.3f\ncpu seconds: %.3f\n",
        static_cast<long long>(listed), static_cast<long long>(arrived), static_cast<long long>(lines.size()),
        errors, host.eventRounds, seconds, cpuSeconds);
    return errors == 0 ? 0 : 1;
}
