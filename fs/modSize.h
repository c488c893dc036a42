#pragma once

#include "fs/FsError.h"

#include <QString>
#include <sys/stat.h>

namespace modSize
{

// Bytes available to the user on the file system that holds the folder, or why they cannot
// be asked (the folder does not exist).
modFSO::FsResult<qint64> FreeSpace(const QString &folder);

// The same as a number: -1 when it cannot be asked.
qint64 DiskFree(const QString &folder);

// The room that a copy of the file takes in the destination. A copy keeps the holes of its
// source (a file with fewer blocks than its length has them) where the destination can hold
// holes, and then takes only the blocks that hold data; FAT and exFAT write the zeros, so there
// it takes the whole length. A file without any block counted is taken at its length: some
// file systems count none.
qint64 roomNeeded(const struct stat &source, bool destinationKeepsHoles);

} // namespace modSize
