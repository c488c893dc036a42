#pragma once

#include "fs/InUseProbe.h"
#include "fs/NameList.h"
#include "fs/SuspendClock.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <map>
#include <mutex>
#include <sys/stat.h>

// Whether a file is ready to be transferred: nobody writes it any more. Where a read lease can
// answer (the user's own file on a file system this kernel drives), its answer decides at once.
// Elsewhere (another user's file; a share or FUSE file system, whose writers may be on another
// machine or underneath) the file must also have stayed unchanged for the settle time, by the
// program's own looks at its size and times, or by its times themselves where they can be
// trusted to be that old.
namespace modFSO
{

// What changes when anyone writes a file.
struct FileLook {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    bool operator==(const FileLook &) const = default;
    // A writer that sets the modification time back still moves the change time; a share that
    // only knows one of them gives it for both.
    qint64 lastChangeNs() const { return std::max(modifiedNs, changedNs); }
};

FileLook lookOf(const struct stat &st);
// A look at an open file that asks the file system itself, past a share's attribute cache.
// 0 or an errno.
int freshLook(int fd, FileLook &look);

namespace Readiness
{

enum class State {
    Ready,
    InUse, // some process on this machine has it open for writing
    Settling, // not yet unchanged for the settle time
};

struct Facts {
    detail::WriterState writer = detail::WriterState::Unknown;
    // The lease sees every writer: a file system this kernel drives.
    bool leaseSeesEveryWriter = false;
    int settleSeconds = 0;
    FileLook look;
    // How long the program's own looks have seen this very look, in ms (0 for a first look).
    qint64 unchangedForMs = 0;
    // This machine's clock, and whether the file system's times come from it.
    qint64 nowNs = 0;
    bool timesFromThisClock = false;
    // The latest change seen among the folder's files: the file system's own clock had at least
    // reached it, whatever this machine's clock says.
    qint64 newestChangeNs = 0;
};

struct Verdict {
    State state = State::Ready;
    // For Settling: how much longer the file must stay unchanged.
    qint64 waitMs = 0;
};

// Whether the lease alone answers: a writer on this machine, or none where it sees every one.
// Then no look at the file's times is needed.
bool leaseDecides(const Facts &facts);
Verdict decide(const Facts &facts);

} // namespace Readiness

// What the program's own looks saw of files, across runs, so that a file can be known to have
// stayed unchanged for a while. Safe to use from several threads at once.
class FileLooks
{
public:
    using Clock = SuspendClock::Clock;

    FileLooks();
    void setClock(Clock clock);

    // Notes a look at a file of a folder; answers for how many ms the same look has been seen.
    qint64 note(const QString &folder, const QByteArray &name, const FileLook &look);
    // Forgets the files of the folder that are not among names, which a listing just gave.
    void keepOnly(const QString &folder, const NameList &names);

private:
    struct Seen {
        FileLook look;
        qint64 sinceMs = 0;
    };
    using Folder = std::map<QByteArray, Seen>;

    std::mutex m_mutex;
    QHash<QString, Folder> m_folders;
    Clock m_clock;
};

} // namespace modFSO
