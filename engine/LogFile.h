#pragma once

#include "fs/FileDescriptor.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTimer>
#include <functional>

// The log on disk: every final line of the activity log, after the moment it was written
// (ISO 8601 with the offset from UTC), in TessaroLite.log, rotated at RotateBytes into
// TessaroLite.log.1 to .RotatedFiles.
//
// Lines wait here for at most FlushDelayMs (or until BatchBytes of them wait, or flush() is
// called), then go to the file in one append of whole lines: a line costs a copy into memory,
// not a system call, and a crash or two programs writing at once never leave half a line or
// two lines in one. A file that cannot be written costs the run nothing: its lines are
// dropped, and the failure is reported once, until a write succeeds again.
class LogFile
{
public:
    // The moment a line is stamped with; tests replace it.
    using Clock = std::function<QDateTime()>;
    // Told the system's description of the first failure after writes worked (or of the first).
    using FailureReport = std::function<void(const QString &reason)>;

    static constexpr qint64 RotateBytes = qint64(1) << 20;
    static constexpr int RotatedFiles = 4;
    static constexpr qsizetype BatchBytes = qsizetype(64) * 1024;
    static constexpr int FlushDelayMs = 500;

    // folder: where the log and its rotated files lie; empty for none (every write fails).
    explicit LogFile(const QString &folder);
    // Writes what still waits.
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    // $XDG_STATE_HOME/TessaroLite, else $HOME/.local/state/TessaroLite; empty without either.
    static QString DefaultFolder();
    // The log itself; empty without a folder.
    QString path() const;

    // Off, lines are not kept; what waits is written first.
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }
    void append(const QString &text);
    // Writes what waits now; false when it could not be written.
    bool flush();
    // The same, and while lines are kept the file is made when it is not there yet, so that a
    // viewer finds it.
    bool flushForReading();

    void setClock(Clock clock) { m_clock = std::move(clock); }
    void setFailureReport(FailureReport report) { m_report = std::move(report); }

    // "2026-12-11T10:58:31+01:00": the moment in its own offset from UTC.
    static QByteArray Stamp(const QDateTime &moment);

private:
    QByteArray stamp();
    int write(const QByteArray &lines);
    int openFolder();
    int openFile(qsizetype incoming, bool mayRotate);
    void rotate();
    QByteArray name(int generation) const;

    QString m_folder;
    bool m_enabled = true;
    QByteArray m_waiting;
    QTimer m_flushTimer;
    Clock m_clock;
    FailureReport m_report;
    bool m_failing = false;
    modFSO::FileDescriptor m_folderFd;
    modFSO::FileDescriptor m_fileFd;
    // The stamp of the current second, made once per second.
    qint64 m_stampSecond = -1;
    QByteArray m_stamp;
};
