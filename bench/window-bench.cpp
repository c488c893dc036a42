// Runs the real main window offscreen with the log shown and drives it like a user:
//
//   window-bench copy SOURCE DESTINATION [--move]
//       Start with DoActionOnStart "1": copies (or moves) every file of SOURCE into DESTINATION
//       through the window, and prints the number of files, of log lines, the wall time, how
//       much the window's peak memory grew per file, what the log keeps per line, the time each
//       tenth of the lines took, and how late a 10 ms timer came while the run worked.
//   window-bench latency SOURCE DESTINATION [--move]
//       The same run; the timer's lateness comes last (the window's answer time), worst and
//       99th percentile.

#include "config/modGlobal.h"
#include "engine/ActivityLog.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <vector>

namespace
{

constexpr int TickMs = 10;

bool writeSettings(const QString &path, const QString &source, const QString &destination, bool move)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write("[Options]\r\nSave=0\r\nQuestion=0\r\nDoActionOnStart=1\r\nCheckDestination=1\r\n"
               "Interval=5\r\nShowLog=1\r\nOverwrite=0\r\nLanguage=English\r\nShowDateAndTime=1\r\n");
    file.write(move ? "Action=Move\r\n" : "Action=Copy\r\n");
    file.write(("From=" + source + "\r\nTo=" + destination + "\r\n").toUtf8());
    return true;
}

// Gaps between the ticks of a 10 ms timer beyond its period, taken from the click on Start
// until the run is over: the listing before the first file counts as much as the file loop.
class TickWatch : public QObject
{
public:
    TickWatch()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.start(TickMs);
        m_clock.start();
    }

    void begin()
    {
        m_watching = true;
        m_last = m_clock.nsecsElapsed();
    }

    // The time from the last tick to the end of the run is a gap too.
    void end()
    {
        tick();
        m_watching = false;
    }

    std::vector<qint64> &lateness() { return m_lateness; }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        if (m_watching)
            m_lateness.push_back(std::max<qint64>(0, now - m_last - qint64(TickMs) * 1000000));
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    bool m_watching = false;
    qint64 m_last = 0;
    std::vector<qint64> m_lateness;
};

// The time between every tenth of the run's log lines: flat when a line costs the same at the
// end of a long log as at its start.
class LineWatch : public QObject
{
public:
    LineWatch(ActivityLog &log, int expected)
        : m_step(std::max(1, expected / 10))
    {
        connect(&log, &QAbstractItemModel::rowsInserted, this, [this, &log] {
            if (log.lineCount() >= m_next) {
                m_marks.push_back(m_clock.nsecsElapsed());
                m_next += m_step;
            }
        });
        m_clock.start();
    }

    void print() const
    {
        std::printf("ms per %d lines:", m_step);
        for (std::size_t i = 1; i < m_marks.size(); ++i)
            std::printf(" %.0f", (m_marks[i] - m_marks[i - 1]) / 1e6);
        std::printf("\n");
    }

private:
    int m_step;
    int m_next = 0;
    QElapsedTimer m_clock;
    std::vector<qint64> m_marks;
};

// Heap in use, to tell what the log's lines take.
size_t heapInUse()
{
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM"), -1 when missing.
qint64 statusKiB(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Counts without keeping the names: a listing kept or freed here would stay in the heap, and
// the run would reuse it unseen.
qsizetype countFiles(const QString &folder)
{
    qsizetype count = 0;
    for (QDirIterator it(folder, QDir::Files); it.hasNext(); it.next())
        ++count;
    return count;
}

// Sets the peak resident size back to the current one, so that the peak after the run is the
// run's own.
bool resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

void printLateness(std::vector<qint64> &lateness)
{
    if (lateness.empty()) {
        std::printf("no ticks while the run worked\n");
        return;
    }
    std::sort(lateness.begin(), lateness.end());
    const qint64 worst = lateness.back();
    const qint64 p99 = lateness[std::min(lateness.size() - 1, lateness.size() * 99 / 100)];
    std::printf("ticks during the run: %zu, lateness worst %.1f ms, 99th percentile %.1f ms\n",
        lateness.size(), worst / 1e6, p99 / 1e6);
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toUtf8());
    // The log file goes there too, on the disk of the temporary folder, as a user's would.
    qputenv("XDG_STATE_HOME", configHome.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments();
    const bool move = args.removeAll(QStringLiteral("--move")) > 0;
    if (args.size() != 4 || (args[1] != "copy" && args[1] != "latency")) {
        std::fprintf(stderr, "usage: window-bench copy|latency SOURCE DESTINATION [--move]\n");
        return 2;
    }
    const QString source = QDir(args[2]).absolutePath();
    const QString destination = QDir(args[3]).absolutePath();

    modGlobal::SetProgramFolder(QStringLiteral(TESSARO_PROGRAM_DIR));
    modGlobal::SettingsFolder = configHome.path();
    modGlobal::SettingsFilePath = QDir(configHome.path()).filePath("Tessaro.ini");
    modGlobal::CurrentLanguage = "English";
    modGlobal::LanguageFilePath = modGlobal::LanguageFileFor("English");
    if (!writeSettings(modGlobal::SettingsFilePath, source, destination, move))
        return 1;

    frmMain window({});
    window.show();
    QApplication::processEvents();
    auto *start = window.findChild<QPushButton *>("cmdStopStart");
    if (!start || !start->isEnabled()) {
        std::fprintf(stderr, "Start is not possible: do both folders exist?\n");
        return 1;
    }

    TickWatch watch;
    const qsizetype files = countFiles(source);
    const LineWatch lines(window.activityLog(), int(files));
    const size_t heapBefore = heapInUse();
    // Heap that earlier work freed would hide what the run takes anew.
    ::malloc_trim(0);
    const bool peakReset = resetPeak();
    const qint64 residentBefore = statusKiB("VmRSS");

    QElapsedTimer clock;
    clock.start();
    watch.begin();
    start->click();
    // Should the run go on in the event loop after the click, wait for its end.
    while (window.scheduler().transferRun().isActive())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    watch.end();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const qint64 peakAfter = statusKiB("VmHWM");
    const size_t heapAfter = heapInUse();

    ActivityLog &log = window.activityLog();
    const int lineCount = log.lineCount();
    std::printf("files in destination: %lld, log lines: %d, wall time: %.3f s\n",
        static_cast<long long>(countFiles(destination)), lineCount, seconds);
    std::printf("peak memory of the window: %.1f MiB before the run, %.1f MiB more during it%s,"
                " %.0f bytes per file\n",
        residentBefore / 1024.0, (peakAfter - residentBefore) / 1024.0,
        peakReset ? "" : " (peak not reset: since start)",
        (peakAfter - residentBefore) * 1024.0 / std::max<qsizetype>(1, files));
    std::printf("heap after the run: %.0f bytes more per log line\n",
        double(qint64(heapAfter) - qint64(heapBefore)) / std::max(1, lineCount));
    // What clearing the log gives back is what its lines took.
    log.clear();
    std::printf("the log kept %.1f bytes per line\n",
        double(qint64(heapAfter) - qint64(heapInUse())) / std::max(1, lineCount));
    lines.print();
    printLateness(watch.lateness());
    return 0;
}
