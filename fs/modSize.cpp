#include "fs/modSize.h"

#include "fs/PosixSupport.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <sys/statvfs.h>

namespace modSize
{

modFSO::FsResult<qint64> FreeSpace(const QString &folder)
{
    struct statvfs info;
    if (::statvfs(modFSO::detail::nativePath(folder).constData(), &info) != 0)
        return {-1, modFSO::FsError::fromErrno(modFSO::FsError::Operation::FreeSpace, errno, folder)};
    quint64 bytes = 0;
    if (__builtin_mul_overflow(quint64(info.f_bavail), quint64(info.f_frsize), &bytes)
        || bytes > quint64(std::numeric_limits<qint64>::max()))
        return {std::numeric_limits<qint64>::max(), std::nullopt};
    return {qint64(bytes), std::nullopt};
}

qint64 DiskFree(const QString &folder)
{
    return FreeSpace(folder).value;
}

qint64 roomNeeded(const struct stat &source, bool destinationKeepsHoles)
{
    const qint64 length = std::max<qint64>(source.st_size, 0);
    const qint64 blocks = qint64(source.st_blocks) * 512;
    return destinationKeepsHoles && blocks > 0 && blocks < length ? blocks : length;
}

} // namespace modSize
