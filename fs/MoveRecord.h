#pragma once

#include "fs/FsError.h"

#include <QByteArray>
#include <QString>
#include <vector>

// The moves by copy whose copy took its name while the source may still be there: a move cut off
// between the two (killed, the source's disk gone, a power cut) is finished by the next run,
// which removes the source once the destination holds the very copy that move made.
//
// The record is a small file in the program's state folder with one line per move in flight:
// the two folders, the name, and the size and modification time of the source that was copied.
// Lines are written (and, where the copy must survive a power cut, flushed) before the copies
// take their names, and dropped once the sources are gone.
namespace modFSO::detail
{

struct MoveInFlight {
    QByteArray name;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    bool operator==(const MoveInFlight &) const = default;
};

class MoveRecord
{
public:
    // The pair of folders, as the kernel names them (links resolved).
    MoveRecord(const QString &sourceFolder, const QString &destinationFolder);

    // The moves of this pair that an earlier run began and did not finish. An error when the
    // record exists but cannot be read as one (a link, a FIFO, too large).
    FsResult<std::vector<MoveInFlight>> unfinished() const;
    // Notes moves that are about to name their copies; with flush they are on disk when this
    // returns. 0 or an errno: a move that cannot be noted must not name its copy.
    int note(const std::vector<MoveInFlight> &moves, bool flush) const;
    // The moves are finished or given up.
    void forget(const std::vector<MoveInFlight> &moves) const;

private:
    QByteArray lineOf(const MoveInFlight &move) const;

    QByteArray m_pair;
};

} // namespace modFSO::detail
