#include "fs/FileCopy.h"

#include "fs/TemporaryRecord.h"
#include "fs/TestHooks.h"

#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace modFSO::detail
{

namespace
{

// The largest piece one system call moves, and so the distance between two looks for a stop
// (and of a test).
constexpr qint64 ChunkBytes = 1024 * 1024;
constexpr size_t BufferBytes = 1024 * 1024;
constexpr int HiddenNameAttempts = 16;
const QByteArray HiddenPrefix(".tessaro-");
const QByteArray HiddenSuffix(".part");

bool unnamedFileUnsupported(int code)
{
    return code == EOPNOTSUPP || code == EISDIR || code == EINVAL;
}

bool kernelCopyUnsupported(int code)
{
    return code == EXDEV || code == EINVAL || code == ENOSYS || code == EOPNOTSUPP;
}

bool renameFlagUnsupported(int code)
{
    return code == EINVAL || code == ENOSYS || code == EOPNOTSUPP;
}

QByteArray hiddenName()
{
    return HiddenPrefix + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + HiddenSuffix;
}

int lockExclusive(int fd)
{
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

// Whether the name in the folder still stands for the open file.
bool stillNamed(int folder, const QByteArray &name, int fd)
{
    struct stat byName;
    struct stat byFd;
    return ::fstatat(folder, name.constData(), &byName, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &byFd) == 0
        && byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
}

// The creation mask of the process, read without changing it (umask() would, for a moment,
// for every thread).
mode_t processCreationMask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// The answer of a copy whose source ended before the size it had when it was opened.
constexpr int CutShort = -1;

class RangeCopier
{
public:
    RangeCopier(int in, int out, bool flush, const QByteArray &name, qint64 size, FolderCaps &caps,
        const std::stop_token &stop)
        : m_in(in)
        , m_out(out)
        , m_flush(flush)
        , m_name(name)
        , m_size(size)
        , m_caps(caps)
        , m_stop(stop)
    {
    }

    // copy_file_range lets the kernel move the data, and share the blocks where the file
    // system can. The copy ends at the size the file had when it was opened.
    int copy(off_t offset, qint64 length)
    {
        off_t in = offset;
        off_t out = offset;
        while (length > 0 && m_caps.kernelCopy.load(std::memory_order_relaxed)) {
            const ssize_t moved = ::copy_file_range(m_in, &in, m_out, &out, std::min(length, ChunkBytes), 0);
            if (moved == 0)
                return CutShort;
            if (moved < 0 && errno == EINTR)
                continue;
            if (moved < 0 && !kernelCopyUnsupported(errno))
                return errno;
            if (moved < 0) {
                m_caps.kernelCopy.store(false, std::memory_order_relaxed);
                break;
            }
            length -= moved;
            if (!chunkDone(in - moved, moved))
                return ECANCELED;
        }
        return length > 0 ? copyThroughBuffer(in, length) : 0;
    }

    // Files that report no size (such as those of /proc) are read to their end.
    int copyToEnd() { return copyThroughBuffer(0, -1); }

private:
    // For kernels and file systems that cannot copy the range themselves. A length below 0
    // reads to the end.
    int copyThroughBuffer(off_t offset, qint64 length)
    {
        // One buffer for each thread that copies, for all its files: an empty file is read too.
        thread_local const std::unique_ptr<char[]> buffer(new char[BufferBytes]);
        qint64 sinceChunk = 0;
        while (length != 0) {
            const size_t want = length < 0 ? BufferBytes : size_t(std::min<qint64>(length, BufferBytes));
            const ssize_t got = ::pread(m_in, buffer.get(), want, offset);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return errno;
            if (got == 0)
                return length < 0 ? 0 : CutShort;
            if (const int code = writeAll(m_out, QByteArrayView(buffer.get(), got), offset))
                return code;
            offset += got;
            sinceChunk += got;
            if (length > 0)
                length -= got;
            if (sinceChunk >= ChunkBytes) {
                if (!chunkDone(offset - sinceChunk, sinceChunk))
                    return ECANCELED;
                sinceChunk = 0;
            }
        }
        return 0;
    }

    // False when the copy is to stop: nobody wants it any more.
    bool chunkDone(off_t start, qint64 bytes)
    {
        // Small files are left to the flush of their batch, which writes them together.
        if (m_flush && bytes >= ChunkBytes)
            ::sync_file_range(m_out, start, bytes, SYNC_FILE_RANGE_WRITE);
        if (start + bytes < m_size)
            notifyAfterChunk(m_name);
        return !m_stop.stop_requested();
    }

    int m_in;
    int m_out;
    bool m_flush;
    const QByteArray &m_name;
    qint64 m_size;
    FolderCaps &m_caps;
    const std::stop_token &m_stop;
};

// Only the extents that hold data are copied; the end is set by the size, so holes stay holes.
int copySparse(RangeCopier &copier, int in, int out, qint64 size)
{
    off_t offset = 0;
    while (offset < size) {
        const off_t data = ::lseek(in, offset, SEEK_DATA);
        if (data < 0)
            return errno == ENXIO ? (::ftruncate(out, size) == 0 ? 0 : errno)
                                  : copier.copy(offset, size - offset);
        const off_t hole = ::lseek(in, data, SEEK_HOLE);
        const off_t end = hole < 0 ? size : std::min<off_t>(hole, size);
        if (const int code = copier.copy(data, end - data))
            return code;
        offset = end;
    }
    return ::ftruncate(out, size) == 0 ? 0 : errno;
}

} // namespace

void FolderCaps::learn(int folder)
{
    creationMask = processCreationMask();
    defaultAcl = ::fgetxattr(folder, "system.posix_acl_default", nullptr, 0) > 0;
}

TemporaryFile::TemporaryFile(int folder, FolderCaps &caps)
    : m_folder(folder)
    , m_caps(&caps)
{
}

TemporaryFile::~TemporaryFile()
{
    m_fd.reset();
    if (!m_hiddenName.isEmpty())
        ::unlinkat(m_folder, m_hiddenName.constData(), 0);
    m_lock.reset();
}

TemporaryFile::TemporaryFile(TemporaryFile &&other) noexcept
    : m_folder(other.m_folder)
    , m_caps(other.m_caps)
    , m_fd(std::move(other.m_fd))
    , m_lock(std::move(other.m_lock))
    , m_hiddenName(std::exchange(other.m_hiddenName, QByteArray()))
{
}

int TemporaryFile::create(mode_t mode)
{
    if (m_caps->unnamedFiles.load(std::memory_order_relaxed) && !unnamedFilesRefused()) {
        const int code = createUnnamed(mode);
        if (code == 0 || !unnamedFileUnsupported(code))
            return code;
        m_caps->unnamedFiles.store(false, std::memory_order_relaxed);
    }
    return createHidden(mode);
}

int TemporaryFile::createUnnamed(mode_t mode)
{
    m_fd.reset(::openat(m_folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    return m_fd.valid() ? 0 : errno;
}

// The hidden file is locked, through a second descriptor of its own, for as long as it is in
// use. A run that cleans up temporaries removes only those it can lock, so it never takes one
// from a copy that is still working.
int TemporaryFile::createHidden(mode_t mode)
{
    for (int attempt = 0; attempt < HiddenNameAttempts; ++attempt) {
        const QByteArray name = hiddenName();
        FileDescriptor fd(
            ::openat(m_folder, name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode));
        if (!fd.valid() && errno == EEXIST)
            continue;
        if (!fd.valid())
            return errno;
        FileDescriptor lock(::openat(m_folder, name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (lock.valid())
            lockExclusive(lock.get());
        // A clean-up may have taken the file between its creation and the lock.
        if (!stillNamed(m_folder, name, fd.get()))
            continue;
        record(name, fd.get());
        m_fd = std::move(fd);
        m_lock = std::move(lock);
        m_hiddenName = name;
        return 0;
    }
    return EEXIST;
}

int TemporaryFile::place(const QByteArray &name, Placement placement)
{
    if (!m_hiddenName.isEmpty()) {
        // Closed first, so that a late write error (network file systems report them here)
        // keeps the name from a copy that is not whole; the lock stays until the rename.
        if (const int code = m_fd.close())
            return code;
        return renameHidden(name, placement);
    }
    if (placement == Placement::NoReplace)
        return linkUnnamed(name);
    // Overwrite: the complete copy gets a hidden name first, and one rename then swaps it in
    // for the old file, so that the name never stands for nothing or for half a file.
    if (const int code = linkUnderHiddenName())
        return code;
    return renameHidden(name, placement);
}

int TemporaryFile::linkUnnamed(const QByteArray &name) const
{
    if (m_caps->emptyPathLinks.load(std::memory_order_relaxed) && !emptyPathLinksRefused()) {
        if (::linkat(m_fd.get(), "", m_folder, name.constData(), AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT)
            return errno;
    }
    // Without the privilege for AT_EMPTY_PATH, the kernel's link to the open file in /proc
    // serves; it is not asked again once it worked.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd.get());
    if (::linkat(AT_FDCWD, self.constData(), m_folder, name.constData(), AT_SYMLINK_FOLLOW) != 0)
        return errno;
    m_caps->emptyPathLinks.store(false, std::memory_order_relaxed);
    return 0;
}

int TemporaryFile::linkUnderHiddenName()
{
    lockExclusive(m_fd.get());
    for (int attempt = 0; attempt < HiddenNameAttempts; ++attempt) {
        // Not recorded: the hidden name stands only for the moment between this link and the
        // rename that follows, and a record line for every replaced file would make the
        // record grow with the run.
        const QByteArray hidden = hiddenName();
        const int code = linkUnnamed(hidden);
        if (code == EEXIST)
            continue;
        if (code == 0)
            m_hiddenName = hidden;
        return code;
    }
    return EEXIST;
}

// Only a recorded temporary is ever removed by a later run; one that cannot be recorded is
// left where a kill would leave it.
void TemporaryFile::record(const QByteArray &name, int fd) const
{
    struct stat st;
    if (::fstat(fd, &st) == 0)
        recordTemporary(m_folder, name, st);
}

int TemporaryFile::renameHidden(const QByteArray &name, Placement placement)
{
    const int code = placement == Placement::Replace
        ? (::renameat(m_folder, m_hiddenName.constData(), m_folder, name.constData()) == 0 ? 0 : errno)
        : renameNoReplace(m_folder, m_hiddenName, m_folder, name);
    if (code == 0)
        m_hiddenName.clear();
    return code;
}

Failure copyContents(int in, int out, const struct stat &source, bool startWriting, const QByteArray &name,
    FolderCaps &caps, const std::stop_token &stop)
{
    const qint64 size = source.st_size;
    RangeCopier copier(in, out, startWriting, name, size, caps, stop);
    int code = 0;
    if (size <= 0)
        code = copier.copyToEnd();
    // Fewer blocks than the size needs: the file may have holes.
    else if (qint64(source.st_blocks) * 512 < size)
        code = copySparse(copier, in, out, size);
    else
        code = copier.copy(0, size);
    return code == CutShort ? Failure::own(FsError::Kind::SourceChanged) : Failure::system(code);
}

void keepModeAndTimes(int out, const struct stat &source, const FolderCaps &caps)
{
    const mode_t bits = source.st_mode & 0777;
    if ((bits & caps.creationMask) != 0 || caps.defaultAcl || (bits & S_IWUSR) == 0)
        ::fchmod(out, bits);
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ::futimens(out, times);
}

// For file systems without hard links the last resort is a look before the rename; the window
// between the two is the best such a file system allows.
int renameNoReplace(int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to)
{
    if (::renameat2(fromFolder, from.constData(), toFolder, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (!renameFlagUnsupported(errno))
        return errno;
    if (::linkat(fromFolder, from.constData(), toFolder, to.constData(), 0) == 0) {
        if (::unlinkat(fromFolder, from.constData(), 0) == 0)
            return 0;
        const int code = errno;
        ::unlinkat(toFolder, to.constData(), 0);
        return code;
    }
    if (errno != EPERM && errno != EOPNOTSUPP)
        return errno;
    struct stat st;
    if (::fstatat(toFolder, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromFolder, from.constData(), toFolder, to.constData()) == 0 ? 0 : errno;
}

bool isTemporaryName(const QByteArray &name)
{
    if (!name.startsWith(HiddenPrefix) || !name.endsWith(HiddenSuffix))
        return false;
    const QByteArray token
        = name.mid(HiddenPrefix.size(), name.size() - HiddenPrefix.size() - HiddenSuffix.size());
    return !token.isEmpty() && token.size() <= 16 && std::all_of(token.begin(), token.end(), [](char c) {
        return std::isxdigit(uchar(c)) && !std::isupper(uchar(c));
    });
}

} // namespace modFSO::detail
