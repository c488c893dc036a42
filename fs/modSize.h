#pragma once

#include "fs/FsError.h"

#include <QString>

namespace modSize
{

// Bytes available to the user on the file system that holds the folder, or why they cannot
// be asked (the folder does not exist).
modFSO::FsResult<qint64> FreeSpace(const QString &folder);

// The same as a number: -1 when it cannot be asked.
qint64 DiskFree(const QString &folder);

} // namespace modSize
