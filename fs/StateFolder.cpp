#include "fs/StateFolder.h"

#include "fs/PosixSupport.h"

#include <QDir>
#include <QList>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace modFSO::StateFolder
{

namespace
{

QString stateHome()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (QDir::isAbsolutePath(state))
        return state;
    const QString home = qEnvironmentVariable("HOME");
    return QDir::isAbsolutePath(home) ? home + QLatin1String("/.local/state") : QString();
}

// The next folder below an open one. One that exists is the user's to arrange and is followed
// where it is a link; one that is made here is opened without following a link, so that
// nothing put in its place meanwhile is used.
FileDescriptor openBelow(int at, const QByteArray &name, bool create, int flags)
{
    FileDescriptor next(::openat(at, name.constData(), flags | O_DIRECTORY | O_CLOEXEC));
    if (next.valid() || errno != ENOENT || !create)
        return next;
    if (::mkdirat(at, name.constData(), 0700) != 0 && errno != EEXIST)
        return next;
    // Once, when the folder is first made: what is written into it must not lose its way there.
    // (at may be an O_PATH descriptor, which cannot be flushed.)
    if (const FileDescriptor parent(::openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)); parent.valid())
        ::fsync(parent.get());
    return FileDescriptor(::openat(at, name.constData(), flags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

} // namespace

QString path()
{
    const QString home = stateHome();
    return home.isEmpty() ? QString() : QDir::cleanPath(home + QLatin1String("/TessaroLite"));
}

FileDescriptor open(bool create)
{
    return open(path(), create);
}

FileDescriptor open(const QString &folder, bool create)
{
    if (!QDir::isAbsolutePath(folder)) {
        errno = create ? EACCES : ENOENT;
        return FileDescriptor();
    }
    QList<QByteArray> parts = detail::nativePath(QDir::cleanPath(folder)).split('/');
    parts.removeAll(QByteArray());
    const QByteArray own = parts.isEmpty() ? QByteArray(".") : parts.takeLast();
    FileDescriptor at(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (const QByteArray &part : parts) {
        at = openBelow(at.get(), part, create, O_PATH);
        if (!at.valid())
            return at;
    }
    // The program's own folder is taken only as a real folder of the user's.
    FileDescriptor opened = openBelow(at.get(), own, create, O_RDONLY | O_NOFOLLOW);
    struct stat info {
    };
    if (opened.valid() && (::fstat(opened.get(), &info) != 0 || info.st_uid != ::geteuid())) {
        errno = EACCES;
        return FileDescriptor();
    }
    return opened;
}

FileDescriptor openFile(int folder, const char *name, int flags, mode_t mode)
{
    FileDescriptor fd(::openat(folder, name, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
    if (!fd.valid())
        return fd;
    struct stat info {
    };
    if (::fstat(fd.get(), &info) != 0)
        return FileDescriptor();
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return FileDescriptor();
    }
    if (info.st_uid != ::geteuid() || info.st_nlink != 1) {
        errno = EACCES;
        return FileDescriptor();
    }
    return fd;
}

FileDescriptor lock(int folder, const char *name, bool create)
{
    FileDescriptor held = openFile(folder, name, O_RDWR | (create ? O_CREAT : 0));
    while (held.valid() && ::flock(held.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return FileDescriptor();
    }
    return held;
}

std::optional<QByteArray> readAll(int fd, qint64 maxBytes)
{
    struct stat info {
    };
    if (::fstat(fd, &info) != 0 || info.st_size > maxBytes)
        return std::nullopt;
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, off_t(bytes.size()));
        if (got == 0)
            return bytes;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || bytes.size() + got > maxBytes)
            return std::nullopt;
        bytes.append(buffer, got);
    }
}

int replaceFile(int folder, const char *name, const QByteArray &content, bool flush)
{
    const QByteArray next = QByteArray(name) + ".new";
    // A leftover of a killed replacement, or anything else under that name, goes first.
    ::unlinkat(folder, next.constData(), 0);
    FileDescriptor out = openFile(folder, next.constData(), O_WRONLY | O_CREAT | O_EXCL);
    if (!out.valid())
        return errno;
    int code = writeAll(out.get(), content);
    if (code == 0 && flush && ::fsync(out.get()) != 0)
        code = errno;
    if (code == 0)
        code = out.close();
    if (code == 0 && ::renameat(folder, next.constData(), folder, name) != 0)
        code = errno;
    if (code != 0) {
        ::unlinkat(folder, next.constData(), 0);
        return code;
    }
    return flush && ::fsync(folder) != 0 ? errno : 0;
}

} // namespace modFSO::StateFolder
