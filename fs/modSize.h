#pragma once

#include <QString>

namespace modSize
{

// Bytes available to the user on the file system that holds the folder; -1 when it cannot
// be asked (the folder does not exist).
qint64 DiskFree(const QString &folder);

} // namespace modSize
