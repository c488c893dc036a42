#include "fs/TransferFolders.h"

#include "fs/FileAttributes.h"
#include "fs/FileCopy.h"
#include "fs/InUseProbe.h"
#include "fs/PosixSupport.h"
#include "fs/TemporaryRecord.h"
#include "fs/TestHooks.h"

#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

namespace modFSO
{

namespace
{

using detail::FileDescriptor;

// Stand for a source that changed while it was copied, one that changed after its copy took
// its name (a move then keeps both), and one that another program still writes. Each is told
// as EBUSY, with a description of its own.
constexpr int SourceChanged = -1;
constexpr int SourceChangedAfterCopy = -2;
constexpr int SourceInUse = -3;

int openFolder(const QString &path, int &error)
{
    const QByteArray native = detail::nativePath(path);
    const int fd = native.isEmpty() ? -1 : ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    error = fd >= 0 ? 0 : (native.isEmpty() ? ENOENT : errno);
    return fd;
}

// Only regular files can be copied; anything else that took a listed name is refused before
// a byte is read (a FIFO opened for reading would wait for a writer).
int copyableKind(const struct stat &st)
{
    if (S_ISREG(st.st_mode))
        return 0;
    return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
}

// A link is followed to see whether it ends at a regular file; so are file systems that do
// not tell the kind of an entry in the listing itself.
bool isPlainFileEntry(int folder, const struct dirent *entry)
{
    if (entry->d_name[0] == '.')
        return false;
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return false;
    struct stat st;
    return ::fstatat(folder, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

bool sameTimes(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool sameIdentity(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// SourceInUse while another program holds the regular file open for writing: a rename would
// take it from under its hands. The file is looked at without following a link.
int writtenByOthers(int folder, const QByteArray &name)
{
    const FileDescriptor fd(
        ::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        return 0;
    return detail::writerState(fd.get()) == detail::WriterState::Writing ? SourceInUse : 0;
}

class FolderReader
{
public:
    explicit FolderReader(int folder)
        : m_dir(openDuplicate(folder))
    {
    }
    ~FolderReader()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    FolderReader(const FolderReader &) = delete;
    FolderReader &operator=(const FolderReader &) = delete;

    DIR *get() const { return m_dir; }
    // The next entry; nullptr at the end (errno 0) or when reading fails (errno says why).
    const struct dirent *next() const
    {
        errno = 0;
        return ::readdir(m_dir);
    }

private:
    // A listing of its own, so that threads and earlier listings never share its position.
    static DIR *openDuplicate(int folder)
    {
        const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
        if (fd >= 0 && !dir)
            ::close(fd);
        return dir;
    }

    DIR *m_dir;
};

} // namespace

FsResult<NameList> detail::listPlainFiles(int folder)
{
    FsResult<NameList> result;
    const FolderReader reader(folder);
    if (!reader.get()) {
        result.error = FsError::fromErrno(FsError::Operation::ListFolder, errno);
        return result;
    }
    while (const struct dirent *entry = reader.next()) {
        if (isPlainFileEntry(folder, entry))
            result.value.append(entry->d_name);
    }
    // A listing that breaks off keeps what it read.
    if (errno != 0)
        result.error = FsError::fromErrno(FsError::Operation::ListFolder, errno);
    result.value.sortByName();
    return result;
}

PendingTransfer::PendingTransfer() = default;
PendingTransfer::PendingTransfer(PendingTransfer &&) noexcept = default;
PendingTransfer &PendingTransfer::operator=(PendingTransfer &&) noexcept = default;
PendingTransfer::~PendingTransfer() = default;

TransferFolders::TransferFolders(const QString &sourceFolder, const QString &destinationFolder)
    : m_sourcePath(sourceFolder)
    , m_destinationPath(destinationFolder)
    , m_caps(std::make_unique<detail::FolderCaps>())
{
    m_source = openFolder(sourceFolder, m_sourceOpenError);
    m_destination = openFolder(destinationFolder, m_destinationOpenError);
    if (m_destination >= 0)
        m_caps->learn(m_destination);
    struct stat a;
    struct stat b;
    m_sameFileSystem = m_source >= 0 && m_destination >= 0 && ::fstat(m_source, &a) == 0
        && ::fstat(m_destination, &b) == 0 && a.st_dev == b.st_dev;
}

TransferFolders::~TransferFolders()
{
    if (m_source >= 0)
        ::close(m_source);
    if (m_destination >= 0)
        ::close(m_destination);
}

FsResult<NameList> TransferFolders::listPlainFiles() const
{
    if (m_source < 0)
        return {{}, error(FsError::Operation::ListFolder, m_sourceOpenError, {}, {})};
    FsResult<NameList> result = detail::listPlainFiles(m_source);
    if (result.error)
        result.error = error(FsError::Operation::ListFolder, result.error->code, {}, {});
    return result;
}

bool TransferFolders::destinationHas(const QByteArray &name) const
{
    struct stat st;
    return m_destination >= 0 && ::fstatat(m_destination, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

namespace
{
quint64 nameHash(const char *name, size_t length)
{
    return std::hash<std::string_view> {}(std::string_view(name, length));
}
} // namespace

void TransferFolders::noteDestinationNames(qsizetype mostNames)
{
    m_destinationNoted = false;
    m_destinationNames.clear();
    if (m_destination < 0)
        return;
    const FolderReader reader(m_destination);
    if (!reader.get())
        return;
    while (const struct dirent *entry = reader.next()) {
        if (qsizetype(m_destinationNames.size()) >= mostNames + 2) { // "." and ".." count too
            m_destinationNames = {};
            return;
        }
        m_destinationNames.push_back(nameHash(entry->d_name, std::strlen(entry->d_name)));
    }
    if (errno != 0) {
        m_destinationNames = {};
        return;
    }
    std::sort(m_destinationNames.begin(), m_destinationNames.end());
    m_destinationNoted = true;
}

bool TransferFolders::destinationLacked(const QByteArray &name) const
{
    return m_destinationNoted
        && !std::binary_search(m_destinationNames.begin(), m_destinationNames.end(),
            nameHash(name.constData(), size_t(name.size())));
}

bool TransferFolders::sameFile(const QByteArray &sourceName, const QByteArray &destinationName) const
{
    struct stat a;
    struct stat b;
    return m_source >= 0 && m_destination >= 0 && ::fstatat(m_source, sourceName.constData(), &a, 0) == 0
        && ::fstatat(m_destination, destinationName.constData(), &b, 0) == 0 && sameIdentity(a, b);
}

bool TransferFolders::sameFileSystem() const
{
    return m_sameFileSystem;
}

FsResult<qint64> TransferFolders::sourceSize(const QByteArray &name) const
{
    struct stat st;
    if (m_source < 0)
        return {0, error(FsError::Operation::ReadSize, m_sourceOpenError, name, {})};
    if (::fstatat(m_source, name.constData(), &st, 0) != 0)
        return {0, error(FsError::Operation::ReadSize, errno, name, {})};
    return {st.st_size, std::nullopt};
}

PendingTransfer TransferFolders::prepareCopy(const QByteArray &sourceName, const QByteArray &destinationName,
    Placement placement, bool flush, std::stop_token stop) const
{
    PendingTransfer transfer;
    transfer.m_kind = PendingTransfer::Kind::Copy;
    transfer.m_sourceName = sourceName;
    transfer.m_destinationName = destinationName;
    transfer.m_placement = placement;
    if (m_source < 0)
        return failed(FsError::Operation::CopyFile, m_sourceOpenError, sourceName, destinationName);
    // O_NONBLOCK keeps a FIFO that took the name from blocking the copy; it is refused below.
    const FileDescriptor in(::openat(m_source, sourceName.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!in.valid() || ::fstat(in.get(), &transfer.m_sourceFile) != 0)
        return failed(FsError::Operation::CopyFile, errno, sourceName, destinationName);
    if (const int code = copyableKind(transfer.m_sourceFile))
        return failed(FsError::Operation::CopyFile, code, sourceName, destinationName);
    if (detail::writerState(in.get()) == detail::WriterState::Writing)
        return failed(FsError::Operation::CopyFile, SourceInUse, sourceName, destinationName);
    copyInto(transfer, in.get(), flush, stop);
    return transfer;
}

PendingTransfer TransferFolders::prepareMove(const QByteArray &sourceName, const QByteArray &destinationName,
    Placement placement, std::stop_token stop) const
{
    const FsError::Operation move = FsError::Operation::MoveFile;
    if (m_source < 0)
        return failed(move, m_sourceOpenError, sourceName, destinationName);
    if (m_destination < 0)
        return failed(move, m_destinationOpenError, sourceName, destinationName);
    PendingTransfer transfer;
    if (sameFileSystem()) {
        transfer.m_kind = PendingTransfer::Kind::Rename;
        transfer.m_operation = move;
        transfer.m_sourceName = sourceName;
        transfer.m_destinationName = destinationName;
        transfer.m_placement = placement;
        return transfer;
    }
    return prepareMoveByCopy(sourceName, destinationName, placement, stop);
}

// A move across file systems is a flushed copy first; the source goes only after the commit
// (a link moves as the content of its target, and then only the link goes). A source that
// cannot be removed is not copied at all: the move would only leave a copy behind.
PendingTransfer TransferFolders::prepareMoveByCopy(const QByteArray &sourceName,
    const QByteArray &destinationName, Placement placement, const std::stop_token &stop) const
{
    const FsError::Operation move = FsError::Operation::MoveFile;
    struct stat entry;
    if (::fstatat(m_source, sourceName.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return failed(move, errno, sourceName, destinationName);
    if (const int code = sourceRemovable(entry))
        return failed(move, code, sourceName, destinationName);
    PendingTransfer transfer = prepareCopy(sourceName, destinationName, placement, true, stop);
    transfer.m_operation = move;
    if (transfer.m_error) {
        transfer.m_error->operation = move;
        return transfer;
    }
    // The entry that goes must be the file that was opened, or a link to it.
    if (!S_ISLNK(entry.st_mode) && !sameIdentity(entry, transfer.m_sourceFile))
        return failed(move, SourceChanged, sourceName, destinationName);
    transfer.m_removeSource = true;
    transfer.m_sourceEntry = entry;
    return transfer;
}

// Whether the folder lets this process remove the entry: write access to the folder (a
// read-only mount says EROFS), and in a sticky folder such as /tmp ownership of the entry or
// the folder.
int TransferFolders::sourceRemovable(const struct stat &entry) const
{
    if (::faccessat(m_source, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return errno;
    struct stat folder;
    if (::fstat(m_source, &folder) != 0)
        return errno;
    const uid_t user = ::geteuid();
    if ((folder.st_mode & S_ISVTX) && user != 0 && user != entry.st_uid && user != folder.st_uid)
        return EPERM;
    return 0;
}

std::optional<FsError> TransferFolders::commit(PendingTransfer &transfer) const
{
    if (transfer.m_error)
        return transfer.m_error;
    if (transfer.m_kind == PendingTransfer::Kind::Rename)
        return commitRename(transfer);
    return commitCopy(transfer);
}

// Within one file system a move is one rename, made only when the entry is still a regular
// file; a link moves as the content of its target, and a rename that the kernel refuses
// between two mounts of one file system becomes a copy.
std::optional<FsError> TransferFolders::commitRename(PendingTransfer &transfer) const
{
    const QByteArray &from = transfer.m_sourceName;
    const QByteArray &to = transfer.m_destinationName;
    const FsError::Operation move = FsError::Operation::MoveFile;
    struct stat entry;
    if (::fstatat(m_source, from.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return error(move, errno, from, to);
    int code = S_ISLNK(entry.st_mode) ? EXDEV : copyableKind(entry);
    if (code == 0)
        code = writtenByOthers(m_source, from);
    if (code == 0) {
        code = transfer.m_placement == Placement::Replace
            ? (::renameat(m_source, from.constData(), m_destination, to.constData()) == 0 ? 0 : errno)
            : detail::renameNoReplace(m_source, from, m_destination, to, *m_caps);
    }
    if (code != EXDEV)
        return code == 0 ? std::nullopt : std::optional<FsError>(error(move, code, from, to));
    PendingTransfer copy = prepareMoveByCopy(from, to, transfer.m_placement, {});
    return commit(copy);
}

// The copy takes its name only when its source is still what was copied: a copy of a file that
// another program changed meanwhile may be neither the old content nor the new one.
std::optional<FsError> TransferFolders::commitCopy(PendingTransfer &transfer) const
{
    const QByteArray &to = transfer.m_destinationName;
    detail::notifyBeforePlacement(to);
    if (const int code = sourceChangedSinceOpened(transfer))
        return error(transfer.m_operation, code, transfer.m_sourceName, to);
    // A move that cannot remove its source takes the copy back: it must know it.
    struct stat copy {
    };
    if (transfer.m_removeSource)
        ::fstat(transfer.m_temporary->fd(), &copy);
    if (const int code = transfer.m_temporary->place(to, transfer.m_placement))
        return error(transfer.m_operation, code, transfer.m_sourceName, to);
    if (!transfer.m_removeSource)
        return std::nullopt;
    // The new name is on disk before the source goes.
    ::fsync(m_destination);
    const int code = removeSourceIfUnchanged(transfer);
    if (code == 0)
        return std::nullopt;
    // A move is whole or not at all: the copy goes again, unless it already took the place of
    // a file of the destination (then the two stay, and the line says why).
    if (code != SourceChanged && transfer.m_placement == Placement::NoReplace)
        dropPlacedCopy(transfer, copy);
    return error(transfer.m_operation, code == SourceChanged ? SourceChangedAfterCopy : code,
        transfer.m_sourceName, to);
}

// 0, or SourceChanged when the name no longer leads to the file that was opened for the copy
// (directly or through a link), or the file's size or times are not what they were then. A
// move also needs the very entry it is to remove.
int TransferFolders::sourceChangedSinceOpened(const PendingTransfer &transfer) const
{
    const char *name = transfer.m_sourceName.constData();
    struct stat entry;
    if (::fstatat(m_source, name, &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? SourceChanged : errno;
    struct stat file = entry;
    if (S_ISLNK(entry.st_mode) && ::fstatat(m_source, name, &file, 0) != 0)
        return SourceChanged;
    if (transfer.m_removeSource && !sameIdentity(entry, transfer.m_sourceEntry))
        return SourceChanged;
    const struct stat &before = transfer.m_sourceFile;
    const bool unchanged = sameIdentity(file, before) && file.st_size == before.st_size
        && sameTimes(file.st_mtim, before.st_mtim) && sameTimes(file.st_ctim, before.st_ctim);
    return unchanged ? 0 : SourceChanged;
}

void TransferFolders::dropPlacedCopy(const PendingTransfer &transfer, const struct stat &copy) const
{
    detail::removeIfSame(m_destination, transfer.m_destinationName, copy, *m_caps);
}

// The source goes only when it is provably what was copied: the same entry, and for a regular
// file the size and the times it had when it was opened. A file that was still being written
// stays, beside its copy.
int TransferFolders::removeSourceIfUnchanged(const PendingTransfer &transfer) const
{
    const char *name = transfer.m_sourceName.constData();
    struct stat now;
    if (::fstatat(m_source, name, &now, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    const struct stat &before = S_ISLNK(now.st_mode) ? transfer.m_sourceEntry : transfer.m_sourceFile;
    const bool unchanged = sameIdentity(now, transfer.m_sourceEntry) && now.st_size == before.st_size
        && sameTimes(now.st_mtim, before.st_mtim) && sameTimes(now.st_ctim, before.st_ctim);
    if (!unchanged)
        return SourceChanged;
    return ::unlinkat(m_source, name, 0) == 0 ? 0 : errno;
}

void TransferFolders::removeLeftoverTemporaries() const
{
    if (m_destination >= 0 && !detail::removeLeftoverTemporaries(m_destination))
        m_recordUnusable.store(true);
}

bool TransferFolders::temporaryRecordUnusable() const
{
    return m_recordUnusable.load() || m_caps->recordUnusable();
}

void TransferFolders::copyInto(
    PendingTransfer &transfer, int in, bool flush, const std::stop_token &stop) const
{
    const QByteArray &to = transfer.m_destinationName;
    const FsError::Operation copy = FsError::Operation::CopyFile;
    if (m_destination < 0) {
        transfer.m_error = error(copy, m_destinationOpenError, transfer.m_sourceName, to);
        return;
    }
    auto temporary = std::make_unique<detail::TemporaryFile>(m_destination, *m_caps);
    const struct stat &source = transfer.m_sourceFile;
    int code = temporary->create((source.st_mode & 0777) | S_IWUSR);
    if (code == 0)
        code = detail::copyContents(in, temporary->fd(), source, flush, to, *m_caps, stop);
    // A source that was cut short while it was copied would leave a copy of the wrong size.
    if (code == detail::SourceCutShort)
        code = SourceChanged;
    if (code == 0)
        code = detail::keepAttributes(in, temporary->fd(), source, *m_caps);
    if (code == 0 && flush && ::fsync(temporary->fd()) != 0)
        code = errno;
    if (code != 0) {
        // A folder that was removed refuses new files with EPERM; what happened is that the
        // folder is gone.
        struct stat folder;
        if (code != SourceChanged && ::fstat(m_destination, &folder) == 0 && folder.st_nlink == 0)
            code = ENOENT;
        transfer.m_error = error(copy, code, transfer.m_sourceName, to);
        return;
    }
    transfer.m_temporary = std::move(temporary);
}

PendingTransfer TransferFolders::failed(FsError::Operation operation, int code, const QByteArray &sourceName,
    const QByteArray &destinationName) const
{
    PendingTransfer transfer;
    transfer.m_operation = operation;
    transfer.m_sourceName = sourceName;
    transfer.m_destinationName = destinationName;
    transfer.m_error = error(operation, code, sourceName, destinationName);
    return transfer;
}

FsError TransferFolders::error(FsError::Operation operation, int code, const QByteArray &sourceName,
    const QByteArray &destinationName) const
{
    const auto pathIn = [](const QString &folder, const QByteArray &name) {
        return name.isEmpty() ? folder : folder + QLatin1Char('/') + detail::decodedPath(name);
    };
    const bool ours = code == SourceChanged || code == SourceChangedAfterCopy || code == SourceInUse;
    FsError result = FsError::fromErrno(operation, ours ? EBUSY : code, pathIn(m_sourcePath, sourceName),
        pathIn(m_destinationPath, destinationName));
    const bool move = operation == FsError::Operation::MoveFile;
    if (code == SourceChanged) {
        result.kind = FsError::Kind::SourceChanged;
        result.description = move
            ? QStringLiteral("The file changed while it was moved; it was left in place")
            : QStringLiteral("The file changed while it was copied; the copy was dropped");
    } else if (code == SourceChangedAfterCopy) {
        result.description
            = QStringLiteral("The file changed while it was moved; it was kept in both folders");
    } else if (code == SourceInUse) {
        result.kind = FsError::Kind::SourceInUse;
        result.description = QStringLiteral("The file is in use by another program");
    }
    return result;
}

} // namespace modFSO
