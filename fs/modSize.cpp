#include "fs/modSize.h"

#include "fs/PosixSupport.h"

#include <limits>
#include <sys/statvfs.h>

namespace modSize
{

qint64 DiskFree(const QString &folder)
{
    struct statvfs info;
    if (::statvfs(modFSO::detail::nativePath(folder).constData(), &info) != 0)
        return -1;
    quint64 bytes = 0;
    if (__builtin_mul_overflow(quint64(info.f_bavail), quint64(info.f_frsize), &bytes)
        || bytes > quint64(std::numeric_limits<qint64>::max()))
        return std::numeric_limits<qint64>::max();
    return qint64(bytes);
}

} // namespace modSize
