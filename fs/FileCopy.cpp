#include "fs/FileCopy.h"

#include "fs/PosixSupport.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace modFSO::detail
{

namespace
{

constexpr int KernelCopyUnsupported = -1;
constexpr size_t BufferBytes = 1024 * 1024;
constexpr int HiddenNameAttempts = 16;

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

    // Closes now, so that a late write error (network file systems report them here) is seen.
    int close()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0 ? 0 : errno;
    }

    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// Calls the caller back each time another chunk has gone through, but never after the last
// byte: a file of one chunk or less makes no call at all.
class ProgressPacer
{
public:
    ProgressPacer(qint64 expected, const ProgressCallback *progress)
        : m_expected(expected)
        , m_progress(progress && *progress ? progress : nullptr)
    {
    }

    void advance(qint64 bytes)
    {
        m_done += bytes;
        if (!m_progress || m_done < m_nextCall || m_done >= m_expected)
            return;
        while (m_nextCall <= m_done)
            m_nextCall += CopyChunkBytes;
        (*m_progress)();
    }

private:
    qint64 m_expected;
    const ProgressCallback *m_progress;
    qint64 m_done = 0;
    qint64 m_nextCall = CopyChunkBytes;
};

bool kernelCopyUnsupported(int code)
{
    return code == EXDEV || code == EINVAL || code == ENOSYS || code == EOPNOTSUPP;
}

// copy_file_range lets the kernel move the data (and clone it where the file system can).
// The copy ends at the size the file had when it was opened, which saves a last call that
// would only report the end.
int copyInKernel(int in, int out, qint64 size, ProgressPacer &pacer)
{
    qint64 remaining = size;
    while (remaining > 0) {
        const ssize_t moved
            = ::copy_file_range(in, nullptr, out, nullptr, std::min(remaining, CopyChunkBytes), 0);
        if (moved > 0) {
            remaining -= moved;
            pacer.advance(moved);
            continue;
        }
        if (moved == 0)
            return 0;
        if (errno == EINTR)
            continue;
        return kernelCopyUnsupported(errno) ? KernelCopyUnsupported : errno;
    }
    return 0;
}

int writeAll(int out, const char *data, ssize_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(out, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        data += written;
        size -= written;
    }
    return 0;
}

int copyThroughBuffer(int in, int out, ProgressPacer &pacer)
{
    const std::unique_ptr<char[]> buffer(new char[BufferBytes]);
    for (;;) {
        const ssize_t got = ::read(in, buffer.get(), BufferBytes);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0 ? 0 : errno;
        if (const int code = writeAll(out, buffer.get(), got))
            return code;
        pacer.advance(got);
    }
}

// Files that report no size (such as those of /proc) are read until their end instead.
int copyData(int in, int out, qint64 size, const ProgressCallback *progress)
{
    ProgressPacer pacer(size, progress);
    if (size > 0) {
        const int code = copyInKernel(in, out, size, pacer);
        if (code != KernelCopyUnsupported)
            return code;
    }
    return copyThroughBuffer(in, out, pacer);
}

// Mode and times are kept where the target file system can hold them; a copy onto a file
// system without Unix modes (FAT) is still a good copy.
void keepMetadata(int out, const struct stat &source)
{
    ::fchmod(out, source.st_mode & 0777);
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ::futimens(out, times);
}

void syncFolder(const QByteArray &folder)
{
    FileDescriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}

int unlinkIfPresent(const QByteArray &path)
{
    if (::unlink(path.constData()) == 0 || errno == ENOENT)
        return 0;
    return errno;
}

QByteArray hiddenNameIn(const QByteArray &folder)
{
    const quint64 token = QRandomGenerator::global()->generate64();
    return folder + "/.tessaro-" + QByteArray::number(token, 16) + ".part";
}

bool unnamedFileUnsupported(int code)
{
    return code == EOPNOTSUPP || code == EISDIR || code == EINVAL;
}

// The new file while it is being written. With O_TMPFILE it has no name at all, so a crash
// leaves nothing behind; otherwise it has a hidden name, which the listing of plain files
// skips and which the destructor removes unless the file was placed.
class PendingFile
{
public:
    explicit PendingFile(QByteArray folder)
        : m_folder(std::move(folder))
    {
    }
    ~PendingFile()
    {
        m_fd.reset();
        if (!m_hiddenPath.isEmpty())
            ::unlink(m_hiddenPath.constData());
    }

    int fd() const { return m_fd.get(); }

    int create(bool unnamed)
    {
        if (!unnamed)
            return createHidden();
        m_fd.reset(::open(m_folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        if (m_fd.valid())
            return 0;
        return unnamedFileUnsupported(errno) ? createHidden() : errno;
    }

    int place(const QByteArray &target, Placement placement, int &deleteError)
    {
        if (placement == Placement::Replace)
            deleteError = unlinkIfPresent(target);
        if (m_hiddenPath.isEmpty())
            return placeUnnamed(target, placement);
        return placeHidden(target, placement);
    }

private:
    int createHidden()
    {
        for (int attempt = 0; attempt < HiddenNameAttempts; ++attempt) {
            const QByteArray path = hiddenNameIn(m_folder);
            m_fd.reset(::open(path.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
            if (m_fd.valid()) {
                m_hiddenPath = path;
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }

    // linkat through /proc needs no privilege; AT_EMPTY_PATH serves where /proc is missing.
    int linkUnnamed(const QByteArray &target) const
    {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd.get());
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno != ENOENT)
            return errno;
        if (::linkat(m_fd.get(), "", AT_FDCWD, target.constData(), AT_EMPTY_PATH) == 0)
            return 0;
        return errno;
    }

    int placeUnnamed(const QByteArray &target, Placement placement)
    {
        const int code = linkUnnamed(target);
        if (code != EEXIST || placement == Placement::NoReplace)
            return code;
        return replaceThroughHiddenName(target);
    }

    // The old target came back (or could not be deleted): link under a hidden name first,
    // then one rename swaps the complete copy in.
    int replaceThroughHiddenName(const QByteArray &target)
    {
        for (int attempt = 0; attempt < HiddenNameAttempts; ++attempt) {
            const QByteArray path = hiddenNameIn(m_folder);
            const int code = linkUnnamed(path);
            if (code == EEXIST)
                continue;
            if (code != 0)
                return code;
            m_hiddenPath = path;
            return placeHidden(target, Placement::Replace);
        }
        return EEXIST;
    }

    int placeHidden(const QByteArray &target, Placement placement)
    {
        if (const int code = m_fd.close())
            return code;
        const int code = placement == Placement::Replace
            ? (::rename(m_hiddenPath.constData(), target.constData()) == 0 ? 0 : errno)
            : renameNoReplace(m_hiddenPath, target);
        if (code == 0)
            m_hiddenPath.clear();
        return code;
    }

    QByteArray m_folder;
    QByteArray m_hiddenPath;
    FileDescriptor m_fd;
};

int checkCopyableSource(const struct stat &st)
{
    if (S_ISREG(st.st_mode))
        return 0;
    return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
}

int openSource(const QByteArray &path, FileDescriptor &fd, struct stat &st)
{
    // O_NONBLOCK keeps a FIFO given by mistake from blocking the program; it is refused below.
    fd.reset(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0)
        return errno;
    return checkCopyableSource(st);
}

int writeCopy(const CopyRequest &request, int in, const struct stat &st, PendingFile &out)
{
    if (const int code = out.create(request.unnamedTemporary))
        return code;
    if (const int code = copyData(in, out.fd(), st.st_size, request.progress))
        return code;
    keepMetadata(out.fd(), st);
    if (request.syncToDisk && ::fsync(out.fd()) != 0)
        return errno;
    return 0;
}

} // namespace

CopyResult copyFile(const CopyRequest &request)
{
    CopyResult result;
    if (nameOf(request.destination).isEmpty()) {
        result.copyError = request.destination.isEmpty() ? ENOENT : EISDIR;
        return result;
    }
    FileDescriptor in;
    struct stat st;
    if ((result.copyError = openSource(request.source, in, st)))
        return result;
    const QByteArray folder = folderOf(request.destination);
    PendingFile out(folder);
    if ((result.copyError = writeCopy(request, in.get(), st, out)))
        return result;
    result.copyError = out.place(request.destination, request.placement, result.deleteError);
    if (result.copyError == 0 && request.syncToDisk)
        syncFolder(folder);
    return result;
}

} // namespace modFSO::detail
