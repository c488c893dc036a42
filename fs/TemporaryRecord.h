#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <mutex>

// The hidden temporaries this program makes where a file system has no unnamed files (FAT,
// exFAT, FUSE, shares), so that a later run removes what a killed run left, and only that: a
// file that merely looks like one (the user's, or another program's) must never go.
//
// Every hidden name of one run in one folder carries a random token of that run. The record, a
// small file of the user's under the XDG state folder, holds one line per run and folder: the
// token, the process that runs it, and the folder by its path within its file system, which a
// stick or a share keeps when it is mounted again (its device and inode numbers do not). The
// line is written before the first hidden name is made and goes when the run ends with none of
// its names left; a later run into the folder removes the files of runs that no longer run.
//
// The record is opened without following links, only as a regular file of the user's with one
// name and a bounded size; anything else counts as no record, and nothing is written through
// it. Every reader and writer holds the lock file beside it.
namespace modFSO::detail
{

// The record's file: $XDG_STATE_HOME/TessaroLite/temporaries, ~/.local/state/... without it;
// empty when neither variable gives an absolute folder.
QString temporaryRecordPath();

// The token of a hidden name of this program (".tessaro-<16 hex digits>-<hex number>.part");
// empty for any other name.
QByteArray temporaryToken(const QByteArray &name);

// The hidden names one run makes in one folder, and the record's line for them.
class RunTemporaries
{
public:
    explicit RunTemporaries(int folder);
    // Forgets the run's line when none of its names is left.
    ~RunTemporaries();
    RunTemporaries(const RunTemporaries &) = delete;
    RunTemporaries &operator=(const RunTemporaries &) = delete;

    // A new hidden name, never given before. The first one is recorded before it is given;
    // one that cannot be recorded is given all the same (a kill then leaves it for good).
    QByteArray nextName();
    // A name of nextName() that no longer stands for a temporary: renamed, removed or never
    // made.
    void nameGone();
    // Whether the record could not be used for this run's names.
    bool recordUnusable() const { return m_unusable.load(); }
    const QByteArray &token() const { return m_token; }

private:
    void record();

    int m_folder;
    QByteArray m_token;
    std::once_flag m_recorded;
    std::atomic<bool> m_unusable {false};
    std::atomic<bool> m_hasLine {false};
    std::atomic<quint64> m_nextNumber {0};
    std::atomic<qint64> m_namesLeft {0};
};

// Removes from the folder every file that a run of this program recorded for it left there,
// when that run no longer runs, and forgets the lines that can match nothing any more. False
// when there is a record that cannot be used (a link, a FIFO, a device, someone else's file).
bool removeLeftoverTemporaries(int folder);

} // namespace modFSO::detail
