#pragma once

#include "fs/modFSO.h"

#include <QByteArray>

// The copy behind CopyAFile and the cross-file-system MoveAFile: the data goes into a new
// file in the destination folder that nobody lists (unnamed, or hidden) and takes its final
// name only once it is complete.
namespace modFSO::detail
{

enum class Placement {
    NoReplace, // an existing target makes the copy fail with EEXIST
    Replace, // the old target is deleted just before the complete copy takes its name
};

struct CopyRequest {
    QByteArray source;
    QByteArray destination;
    Placement placement = Placement::NoReplace;
    bool syncToDisk = false;
    const ProgressCallback *progress = nullptr;
    // False takes the hidden-name temporary at once, as on file systems without O_TMPFILE.
    bool unnamedTemporary = true;
};

struct CopyResult {
    int copyError = 0; // errno of the copy, 0 when the copy took its name
    int deleteError = 0; // errno of deleting the old target (Replace only)
};

CopyResult copyFile(const CopyRequest &request);

// The distance between two progress calls, and the largest piece one system call moves.
inline constexpr qint64 CopyChunkBytes = 8 * 1024 * 1024;

} // namespace modFSO::detail
