#include "fs/FileCopy.h"

#include "fs/TemporaryRecord.h"
#include "fs/TestHooks.h"

#include <QFile>
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
constexpr qint64 ChunkBytes = qint64(1) << 20;
constexpr size_t BufferBytes = size_t(1) << 20;
constexpr int HiddenNameAttempts = 16;
// A file written with one byte at its end: a file system that keeps holes gives it less room.
constexpr off_t HoleProbeBytes = off_t(256) * 1024;

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

// Answers of linkat that mean that this file cannot be linked here (EPERM also where the
// kernel protects links to other users' files); the rename then goes another way.
bool linkRefused(int code)
{
    return code == EPERM || code == EOPNOTSUPP || code == ENOSYS || code == EMLINK;
}

int lockExclusive(int fd)
{
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

QByteArray procPath(int fd)
{
    return "/proc/self/fd/" + QByteArray::number(fd);
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

FolderCaps::FolderCaps() = default;
FolderCaps::~FolderCaps() = default;

void FolderCaps::learn(int folder)
{
    m_folder = folder;
    creationMask = processCreationMask();
    defaultAcl = ::fgetxattr(folder, "system.posix_acl_default", nullptr, 0) > 0;
    struct stat st;
    newOwner = ::geteuid();
    newGroup = ::fstat(folder, &st) == 0 && (st.st_mode & S_ISGID) ? st.st_gid : ::getegid();
    m_temporaries = std::make_unique<RunTemporaries>(folder);
}

bool FolderCaps::recordUnusable() const
{
    return m_temporaries && m_temporaries->recordUnusable();
}

void FolderCaps::probe()
{
    std::call_once(m_probed, [this] { probeOnce(); });
}

// Every Linux file system with unnamed files also has links and a rename that refuses to
// replace: there the probe needs no name, and so no line in the record. Elsewhere (FAT, exFAT,
// FUSE, shares) the probe is a hidden file of the run's. A folder that takes no new file
// (read-only, full, not the user's) teaches nothing: every ability stays "try it", and the
// copies fail there as they would anyway.
void FolderCaps::probeOnce()
{
    if (m_folder < 0 || !m_temporaries)
        return;
    FileDescriptor fd(::openat(m_folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (fd.valid()) {
        probeAttributes(fd.get());
        return;
    }
    if (unnamedFileUnsupported(errno))
        unnamedFiles.store(false);
    probeNamed();
}

void FolderCaps::probeNamed()
{
    QByteArray name = m_temporaries->nextName();
    FileDescriptor fd(::openat(m_folder, name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        m_temporaries->nameGone();
        return;
    }
    probeLinksAndRenames(name);
    probeAttributes(fd.get());
    struct stat st;
    caseInsensitive.store(::fstatat(m_folder, name.toUpper().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0);
    // rclone makes an empty file only once the kernel lets it go, which may be after the
    // removal below: the probe would stay. A file with data is made when it is closed.
    [[maybe_unused]] const bool withData = ::pwrite(fd.get(), "", 1, 0) == 1;
    fd.reset();
    if (::unlinkat(m_folder, name.constData(), 0) == 0)
        m_temporaries->nameGone();
}

// Leaves name naming the probe's file, which a rename may have moved.
void FolderCaps::probeLinksAndRenames(QByteArray &name)
{
    const QByteArray linked = m_temporaries->nextName();
    const bool link = ::linkat(m_folder, name.constData(), m_folder, linked.constData(), 0) == 0;
    hardLinks.store(link);
    if (!link || ::unlinkat(m_folder, linked.constData(), 0) == 0)
        m_temporaries->nameGone();
    const QByteArray renamed = m_temporaries->nextName();
    const bool rename
        = ::renameat2(m_folder, name.constData(), m_folder, renamed.constData(), RENAME_NOREPLACE) == 0;
    noReplaceRename.store(rename);
    m_temporaries->nameGone();
    if (rename)
        name = renamed;
}

void FolderCaps::probeAttributes(int fd)
{
    modes.store(::fchmod(fd, 0640) == 0);
    // Only root gives a file to another user; others may at most change its group.
    owners.store(::geteuid() != 0 || ::fchown(fd, newOwner + 1, gid_t(-1)) == 0);
    userAttributes.store(::fsetxattr(fd, "user.tessaro", "", 0, 0) == 0);
    acls.store(::fgetxattr(fd, "system.posix_acl_access", nullptr, 0) >= 0 || errno == ENODATA);
}

bool FolderCaps::keepsHoles()
{
    std::call_once(m_holesLearned, [this] { m_keepsHoles.store(probeHoles()); });
    return m_keepsHoles.load();
}

bool FolderCaps::probeHoles()
{
    if (m_folder < 0 || !m_temporaries)
        return false;
    const QByteArray name = m_temporaries->nextName();
    FileDescriptor fd(::openat(m_folder, name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
    struct stat st {
    };
    const bool holes = fd.valid() && ::pwrite(fd.get(), "", 1, HoleProbeBytes - 1) == 1
        && ::fstat(fd.get(), &st) == 0 && st.st_blocks > 0 && st.st_blocks * 512 < HoleProbeBytes;
    fd.reset();
    if (::unlinkat(m_folder, name.constData(), 0) == 0 || errno == ENOENT)
        m_temporaries->nameGone();
    return holes;
}

FolderLock::FolderLock(FolderCaps &caps)
    : m_threads(caps.m_placing)
    , m_folder(caps.folder())
{
    // Where the folder cannot be locked (NFS takes flock for a lock on the whole file, which a
    // folder cannot have), the look and the rename are still made, as before there was a lock.
    m_locked = m_folder >= 0 && lockExclusive(m_folder) == 0;
}

FolderLock::~FolderLock()
{
    if (m_locked)
        ::flock(m_folder, LOCK_UN);
}

TemporaryFile::TemporaryFile(int folder, FolderCaps &caps)
    : m_folder(folder)
    , m_caps(&caps)
{
}

TemporaryFile::~TemporaryFile()
{
    m_fd.reset();
    if (!m_hiddenName.isEmpty()
        && (::unlinkat(m_folder, m_hiddenName.constData(), 0) == 0 || errno == ENOENT))
        hiddenNameGone();
}

TemporaryFile::TemporaryFile(TemporaryFile &&other) noexcept
    : m_folder(other.m_folder)
    , m_caps(other.m_caps)
    , m_fd(std::move(other.m_fd))
    , m_hiddenName(std::exchange(other.m_hiddenName, QByteArray()))
{
}

int TemporaryFile::create(mode_t mode)
{
    m_caps->probe();
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

// The name carries the run's token, which the record holds before the first such name is made:
// a run killed at any moment leaves nothing that the next run into the folder cannot find.
int TemporaryFile::createHidden(mode_t mode)
{
    for (int attempt = 0; attempt < HiddenNameAttempts; ++attempt) {
        const QByteArray name = m_caps->temporaries().nextName();
        FileDescriptor fd(
            ::openat(m_folder, name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode));
        if (!fd.valid()) {
            const int code = errno;
            m_caps->temporaries().nameGone();
            if (code == EEXIST)
                continue;
            return code;
        }
        m_fd = std::move(fd);
        m_hiddenName = name;
        return 0;
    }
    return EEXIST;
}

int TemporaryFile::place(const QByteArray &name, Placement placement, bool *replaced)
{
    if (replaced)
        *replaced = false;
    if (!m_hiddenName.isEmpty()) {
        // Closed first, so that a late write error (network file systems report them here)
        // keeps the name from a copy that is not whole.
        if (const int code = m_fd.close())
            return code;
        return renameHidden(name, placement, false, replaced);
    }
    const int code = linkUnnamed(name);
    if (code != EEXIST || placement == Placement::NoReplace)
        return code;
    // Overwrite: the complete copy gets a hidden name first, and one rename then swaps it in
    // for the old file, so that the name never stands for nothing or for half a file.
    if (const int code = linkUnderHiddenName())
        return code;
    return renameHidden(name, placement, true, replaced);
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
    if (::linkat(AT_FDCWD, procPath(m_fd.get()).constData(), m_folder, name.constData(), AT_SYMLINK_FOLLOW)
        != 0)
        return errno;
    m_caps->emptyPathLinks.store(false, std::memory_order_relaxed);
    return 0;
}

// The hidden name is one of the run's, so the record covers it before it exists: a kill
// between this link and the rename leaves a complete copy that the next run removes.
int TemporaryFile::linkUnderHiddenName()
{
    for (int attempt = 0; attempt < HiddenNameAttempts; ++attempt) {
        const QByteArray hidden = m_caps->temporaries().nextName();
        const int code = linkUnnamed(hidden);
        if (code == 0) {
            m_hiddenName = hidden;
            return 0;
        }
        m_caps->temporaries().nameGone();
        if (code != EEXIST)
            return code;
    }
    return EEXIST;
}

// nameTaken: the name is known to be taken, so Replace renames over it at once.
int TemporaryFile::renameHidden(const QByteArray &name, Placement placement, bool nameTaken, bool *replaced)
{
    notifyBeforeRename(m_hiddenName);
    int code = nameTaken ? EEXIST : renameNoReplace(m_folder, m_hiddenName, m_folder, name, *m_caps);
    if (code == EEXIST && placement == Placement::Replace) {
        code = ::renameat(m_folder, m_hiddenName.constData(), m_folder, name.constData()) == 0 ? 0 : errno;
        if (code == 0 && replaced)
            *replaced = true;
    }
    if (code == 0)
        hiddenNameGone();
    return code;
}

void TemporaryFile::hiddenNameGone()
{
    m_hiddenName.clear();
    m_caps->temporaries().nameGone();
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

namespace
{

// A link under the new name and the removal of the old one; ENOTSUP when this file cannot be
// linked here, so that the caller takes another way.
int renameByLink(int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to, FolderCaps &caps)
{
    if (::linkat(fromFolder, from.constData(), toFolder, to.constData(), 0) != 0) {
        const int code = errno;
        if (!linkRefused(code))
            return code;
        if (code != EPERM)
            caps.hardLinks.store(false);
        return ENOTSUP;
    }
    if (::unlinkat(fromFolder, from.constData(), 0) == 0)
        return 0;
    const int code = errno;
    ::unlinkat(toFolder, to.constData(), 0);
    return code;
}

// For file systems with neither links nor a rename that refuses to replace (FAT, exFAT,
// rclone): a look, then the rename, with no other instance of the program between the two.
int renameAfterLook(
    int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to, FolderCaps &caps)
{
    const FolderLock lock(caps);
    struct stat st;
    if (::fstatat(toFolder, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    if (errno != ENOENT)
        return errno;
    return ::renameat(fromFolder, from.constData(), toFolder, to.constData()) == 0 ? 0 : errno;
}

} // namespace

int renameNoReplace(
    int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to, FolderCaps &caps)
{
    caps.probe();
    if (caps.noReplaceRename.load(std::memory_order_relaxed)) {
        if (::renameat2(fromFolder, from.constData(), toFolder, to.constData(), RENAME_NOREPLACE) == 0)
            return 0;
        if (!renameFlagUnsupported(errno))
            return errno;
        caps.noReplaceRename.store(false, std::memory_order_relaxed);
    }
    if (caps.hardLinks.load(std::memory_order_relaxed)) {
        const int code = renameByLink(fromFolder, from, toFolder, to, caps);
        if (code != ENOTSUP)
            return code;
    }
    return renameAfterLook(fromFolder, from, toFolder, to, caps);
}

int removeIfSame(int folder, const QByteArray &name, const struct stat &identity, FolderCaps &caps)
{
    const FolderLock lock(caps);
    struct stat st;
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (st.st_dev != identity.st_dev || st.st_ino != identity.st_ino)
        return ESTALE;
    return ::unlinkat(folder, name.constData(), 0) == 0 ? 0 : errno;
}

bool isTemporaryName(const QByteArray &name)
{
    return !temporaryToken(name).isEmpty();
}

} // namespace modFSO::detail
