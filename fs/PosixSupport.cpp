#include "fs/PosixSupport.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace modFSO::detail
{

namespace
{

bool renameFlagUnsupported(int code)
{
    return code == EINVAL || code == ENOSYS || code == EOPNOTSUPP;
}

// For file systems without hard links the last resort is a look before the rename; the
// window between the two is the best such a file system allows.
int renameAfterLook(const QByteArray &from, const QByteArray &to)
{
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

int linkThenUnlink(const QByteArray &from, const QByteArray &to)
{
    if (::link(from.constData(), to.constData()) != 0) {
        const int code = errno;
        if (code == EPERM || code == EOPNOTSUPP)
            return renameAfterLook(from, to);
        return code;
    }
    if (::unlink(from.constData()) != 0) {
        const int code = errno;
        ::unlink(to.constData());
        return code;
    }
    return 0;
}

} // namespace

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

QString decodedPath(const QByteArray &path)
{
    return QFile::decodeName(path);
}

QString describeError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString errorHead(const QString &operation, int code)
{
    return operation + QStringLiteral(" Error(") + QString::number(code) + QStringLiteral("): ")
        + describeError(code);
}

int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    const int code = errno;
    if (renameFlagUnsupported(code))
        return linkThenUnlink(from, to);
    return code;
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray nameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

} // namespace modFSO::detail
