#include "fs/MoveRecord.h"

#include "fs/PosixSupport.h"
#include "fs/StateFolder.h"

#include <QList>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace modFSO::detail
{

namespace
{

const char RecordName[] = "moves";
const char LockName[] = "moves.lock";
// A few batches of moves at most are ever in flight; anything larger is no record of ours.
constexpr qint64 MostRecordBytes = qint64(4) << 20;

// The folder and the lock that every reader and writer of the record holds.
struct Locked {
    FileDescriptor folder;
    FileDescriptor lock;

    bool valid() const { return lock.valid(); }
};

Locked lockRecord(bool create)
{
    Locked locked {StateFolder::open(create), FileDescriptor()};
    if (!locked.folder.valid())
        return locked;
    locked.lock = StateFolder::lock(locked.folder.get(), LockName, create);
    return locked;
}

// The record's lines; an error when the record is there but is none.
FsResult<QList<QByteArray>> readLines(int folder)
{
    const FileDescriptor fd = StateFolder::openFile(folder, RecordName, O_RDONLY);
    if (!fd.valid()) {
        if (errno == ENOENT)
            return {};
        return {{}, FsError::fromErrno(FsError::Operation::ReadRecord, errno, StateFolder::path())};
    }
    const std::optional<QByteArray> content = StateFolder::readAll(fd.get(), MostRecordBytes);
    if (!content)
        return {{}, FsError::fromErrno(FsError::Operation::ReadRecord, EFBIG, StateFolder::path())};
    QList<QByteArray> lines = content->split('\n');
    lines.removeAll(QByteArray());
    return {lines, std::nullopt};
}

} // namespace

MoveRecord::MoveRecord(const QString &sourceFolder, const QString &destinationFolder)
    : m_pair(nativePath(destinationFolder).toHex() + ' ' + nativePath(sourceFolder).toHex() + ' ')
{
}

QByteArray MoveRecord::lineOf(const MoveInFlight &move) const
{
    return m_pair + move.name.toHex() + ' ' + QByteArray::number(move.size) + ' '
        + QByteArray::number(move.modifiedNs);
}

FsResult<std::vector<MoveInFlight>> MoveRecord::unfinished() const
{
    const Locked locked = lockRecord(false);
    if (!locked.valid())
        return {};
    const FsResult<QList<QByteArray>> lines = readLines(locked.folder.get());
    FsResult<std::vector<MoveInFlight>> moves {{}, lines.error};
    for (const QByteArray &line : lines.value) {
        if (!line.startsWith(m_pair))
            continue;
        const QList<QByteArray> fields = line.mid(m_pair.size()).split(' ');
        bool sized = false;
        bool timed = false;
        if (fields.size() != 3)
            continue;
        MoveInFlight move {
            QByteArray::fromHex(fields[0]), fields[1].toLongLong(&sized), fields[2].toLongLong(&timed)};
        if (sized && timed && !move.name.isEmpty())
            moves.value.push_back(std::move(move));
    }
    return moves;
}

int MoveRecord::note(const std::vector<MoveInFlight> &moves, bool flush) const
{
    const Locked locked = lockRecord(true);
    if (!locked.valid())
        return errno ? errno : EACCES;
    const int folder = locked.folder.get();
    FileDescriptor out = StateFolder::openFile(folder, RecordName, O_WRONLY | O_APPEND);
    // The record goes when it is empty, so most batches make it anew: its name must be on
    // disk too, or a power cut loses the record along with the moves it holds.
    const bool made = !out.valid() && errno == ENOENT;
    if (made)
        out = StateFolder::openFile(folder, RecordName, O_WRONLY | O_APPEND | O_CREAT);
    if (!out.valid())
        return errno;
    QByteArray lines;
    for (const MoveInFlight &move : moves)
        lines += lineOf(move) + '\n';
    if (const int code = writeAll(out.get(), lines))
        return code;
    if (flush && (::fsync(out.get()) != 0 || (made && ::fsync(folder) != 0)))
        return errno;
    return 0;
}

void MoveRecord::forget(const std::vector<MoveInFlight> &moves) const
{
    if (moves.empty())
        return;
    const Locked locked = lockRecord(false);
    if (!locked.valid())
        return;
    const FsResult<QList<QByteArray>> lines = readLines(locked.folder.get());
    if (lines.error)
        return;
    QSet<QByteArray> gone;
    for (const MoveInFlight &move : moves)
        gone.insert(lineOf(move));
    QByteArray kept;
    for (const QByteArray &line : lines.value) {
        if (!gone.contains(line))
            kept += line + '\n';
    }
    if (kept.isEmpty())
        ::unlinkat(locked.folder.get(), RecordName, 0);
    else
        StateFolder::replaceFile(locked.folder.get(), RecordName, kept);
}

} // namespace modFSO::detail
