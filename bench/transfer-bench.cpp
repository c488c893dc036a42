// Runs the real transfer run headless over two folders, with the real log model and the date
// prefix, and prints how many files and log lines it produced and how long it took.
//
//   transfer-bench SOURCE DESTINATION [--move] [--overwrite] [--check-free]

#include "config/modGlobal.h"
#include "config/modIniHandler.h"
#include "engine/ActivityLog.h"
#include "engine/MainWindowHost.h"
#include "engine/TransferRun.h"
#include "fs/modFSO.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace
{

class BenchHost : public MainWindowHost
{
public:
    BenchHost()
    {
        for (int n = 0; n <= 38; ++n)
            m_state.Texts.append(QStringLiteral("t%1").arg(n));
    }

    MainWindowState &state() override { return m_state; }
    ActivityLog &activityLog() override { return m_log; }
    QString sourceFolderText() const override { return source; }
    QString destinationFolderText() const override { return destination; }
    bool moveSelected() const override { return move; }
    bool overwriteChecked() const override { return overwrite; }
    QString intervalText() const override { return QString(); }
    void setWindowCaption(const QString &) override { }
    void setRunInputsEnabled(bool) override { }
    void setStopStartCaption(const QString &) override { }
    void setStopStartPicture(const QString &) override { }
    void setStopStartEnabled(bool) override { }
    void setFolderTextColor(FolderField, TextColor) override { }
    void SetScheduleControls(bool) override { }
    void setIntervalEntries(const QStringList &) override { }
    void setIntervalText(const QString &) override { }
    void setIntervalTextRed(bool) override { }
    void setTimer1Enabled(bool) override { }
    void setTimer2Enabled(bool) override { }
    void setBusyPointer(bool) override { }
    void processEvents() override
    {
        ++eventRounds;
        QCoreApplication::processEvents();
    }

    QString source;
    QString destination;
    bool move = false;
    bool overwrite = false;
    long eventRounds = 0;

private:
    MainWindowState m_state;
    ActivityLog m_log;
};

int usage()
{
    std::fprintf(stderr, "usage: transfer-bench SOURCE DESTINATION [--move] [--overwrite] [--check-free]\n");
    return 2;
}

// A settings file of its own, so that the bench never reads or changes the user's settings.
bool prepareSettings(const QTemporaryDir &dir, bool checkFree)
{
    modGlobal::SettingsFilePath = dir.filePath(QStringLiteral("Tessaro.ini"));
    QFile file(modGlobal::SettingsFilePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("[Options]\r\nShowDateAndTime=1\r\nCheckDestination=");
    file.write(checkFree ? "0\r\n" : "1\r\n");
    file.close();
    // As in daily use, the settings were saved a while ago, not the moment before the run
    // (a file changed within the last seconds is parsed anew for every file).
    return file.open(QIODevice::ReadWrite)
        && file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
}

// -1 when the folder cannot be listed.
qsizetype countFiles(const QString &folder)
{
    try {
        return modFSO::ListPlainFiles(folder).size();
    } catch (const modFSO::FsError &) {
        return -1;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool move = args.removeAll(QStringLiteral("--move")) > 0;
    const bool overwrite = args.removeAll(QStringLiteral("--overwrite")) > 0;
    const bool checkFree = args.removeAll(QStringLiteral("--check-free")) > 0;
    if (args.size() != 2 || args.first().startsWith(QLatin1String("--"))
        || args.last().startsWith(QLatin1String("--")))
        return usage();

    QTemporaryDir settingsDir;
    if (!settingsDir.isValid() || !prepareSettings(settingsDir, checkFree)) {
        std::fprintf(stderr, "transfer-bench: cannot write a settings file\n");
        return 1;
    }

    BenchHost host;
    host.source = args.at(0);
    host.destination = args.at(1);
    host.move = move;
    host.overwrite = overwrite;
    TransferRun run(host);

    const qsizetype listed = countFiles(host.source);
    QElapsedTimer clock;
    clock.start();
    run.RunTransfer();
    const double seconds = clock.nsecsElapsed() / 1e9;

    const QStringList lines = host.activityLog().lines();
    int errors = 0;
    for (const QString &line : lines)
        errors += line.contains(QLatin1String(" - t35: ")) ? 1 : 0;
    const qsizetype arrived = countFiles(host.destination);
    std::printf("files in source: %lld\nfiles in destination: %lld\nlog lines: %lld\nerror lines: %d\n"
                "event rounds: %ld\nseconds: %.3f\n",
        static_cast<long long>(listed), static_cast<long long>(arrived), static_cast<long long>(lines.size()),
        errors, host.eventRounds, seconds);
    return errors == 0 ? 0 : 1;
}
