#include "fs/TransferFolders.h"

#include "fs/FileAttributes.h"
#include "fs/FileCopy.h"
#include "fs/InUseProbe.h"
#include "fs/PosixSupport.h"
#include "fs/TemporaryRecord.h"
#include "fs/TestHooks.h"
#include "fs/modSize.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <string_view>
#include <unistd.h>

namespace modFSO
{

namespace
{

int openFolder(const QString &path, int &error)
{
    const QByteArray native = detail::nativePath(path);
    const int fd = native.isEmpty() ? -1 : ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    error = fd >= 0 ? 0 : (native.isEmpty() ? ENOENT : errno);
    return fd;
}

// The folder as the kernel names it, links resolved: the same folder under every spelling.
QString kernelPathOf(int folder, const QString &fallback)
{
    const QByteArray path = detail::kernelPath(folder);
    return path.isEmpty() ? fallback : detail::decodedPath(path);
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

bool sameIdentity(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

qint64 wallClockNs()
{
    struct timespec now {
    };
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Whether two open files hold the same bytes.
bool sameBytes(int a, int b, qint64 size)
{
    constexpr qint64 Piece = qint64(256) * 1024;
    const std::unique_ptr<char[]> first(new char[Piece]);
    const std::unique_ptr<char[]> second(new char[Piece]);
    for (qint64 offset = 0; offset < size;) {
        const size_t want = size_t(std::min(Piece, size - offset));
        const ssize_t gotA = ::pread(a, first.get(), want, offset);
        const ssize_t gotB = ::pread(b, second.get(), want, offset);
        if (gotA <= 0 || gotA != gotB || std::memcmp(first.get(), second.get(), size_t(gotA)) != 0)
            return false;
        offset += gotA;
    }
    return true;
}

quint64 nameHash(const char *name, size_t length)
{
    return std::hash<std::string_view> {}(std::string_view(name, length));
}

} // namespace

FsResult<NameList> detail::listPlainFiles(int folder)
{
    FsResult<NameList> result;
    const detail::FolderReader reader(folder);
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

TransferFolders::TransferFolders(
    const QString &sourceFolder, const QString &destinationFolder, ReadinessRules rules)
    : m_sourcePath(sourceFolder)
    , m_destinationPath(destinationFolder)
    , m_readiness(rules)
    , m_caps(std::make_unique<detail::FolderCaps>())
{
    m_source = openFolder(sourceFolder, m_sourceOpenError);
    m_destination = openFolder(destinationFolder, m_destinationOpenError);
    if (m_source >= 0)
        m_sourceKind = fileSystemKind(m_source);
    if (m_destination >= 0) {
        m_caps->learn(m_destination);
        m_destinationKind = fileSystemKind(m_destination);
    }
    struct stat a;
    struct stat b;
    m_sameFileSystem = m_source >= 0 && m_destination >= 0 && ::fstat(m_source, &a) == 0
        && ::fstat(m_destination, &b) == 0 && a.st_dev == b.st_dev;
    if (m_source >= 0 && m_destination >= 0 && !m_sameFileSystem)
        m_moves = std::make_unique<detail::MoveRecord>(
            kernelPathOf(m_source, sourceFolder), kernelPathOf(m_destination, destinationFolder));
}

TransferFolders::~TransferFolders()
{
    if (m_source >= 0)
        ::close(m_source);
    if (m_destination >= 0)
        ::close(m_destination);
}

// ---- listing and looking -----------------------------------------------------------------------

FsResult<NameList> TransferFolders::listPlainFiles()
{
    if (m_source < 0)
        return {{}, error(FsError::Operation::ListFolder, Failure::system(m_sourceOpenError), {}, {})};
    FsResult<NameList> result = detail::listPlainFiles(m_source);
    if (result.error)
        result.error = error(FsError::Operation::ListFolder, Failure::system(result.error->code), {}, {});
    FileLooks *looks = m_readiness.looks;
    if (!looks)
        return result;
    looks->keepOnly(m_sourcePath, result.value);
    // On a share the settle time of every file runs from this first look on, so that a run
    // waits for them all at once, not one after the other.
    if (m_sourceKind == FileSystemKind::Shared && m_readiness.settleSeconds > 0) {
        for (qsizetype i = 0; i < result.value.size(); ++i) {
            const QByteArray name = result.value.at(i);
            struct stat st;
            if (::fstatat(m_source, name.constData(), &st, 0) != 0)
                continue;
            const FileLook look = lookOf(st);
            m_newestChangeNs = std::max(m_newestChangeNs, look.lastChangeNs());
            looks->note(m_sourcePath, name, look);
        }
    }
    return result;
}

bool TransferFolders::destinationHas(const QByteArray &name) const
{
    struct stat st;
    return m_destination >= 0 && ::fstatat(m_destination, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

void TransferFolders::noteDestinationNames(qsizetype mostNames)
{
    m_destinationNoted = false;
    m_destinationNames.clear();
    if (m_destination < 0)
        return;
    // Where "report.txt" names "Report.txt" too, no noted name can tell that a name is free.
    m_caps->probe();
    if (m_caps->caseInsensitive.load())
        return;
    const detail::FolderReader reader(m_destination);
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

FsResult<qint64> TransferFolders::roomNeeded(const QByteArray &name) const
{
    struct stat st;
    if (m_source < 0)
        return {0, error(FsError::Operation::ReadSize, Failure::system(m_sourceOpenError), name, {})};
    if (::fstatat(m_source, name.constData(), &st, 0) != 0)
        return {0, error(FsError::Operation::ReadSize, Failure::system(errno), name, {})};
    // Only a file with holes makes the destination show whether it keeps them.
    const bool sparse = qint64(st.st_blocks) * 512 < st.st_size;
    return {modSize::roomNeeded(st, sparse && m_caps->keepsHoles()), std::nullopt};
}

// ---- moves that an earlier run left half done ----------------------------------------------------

std::optional<FsError> TransferFolders::readUnfinishedMoves()
{
    if (!m_moves)
        return std::nullopt;
    FsResult<std::vector<detail::MoveInFlight>> recorded = m_moves->unfinished();
    m_unfinishedRecorded = std::move(recorded.value);
    for (const detail::MoveInFlight &move : m_unfinishedRecorded)
        m_unfinishedMoves.insert(move.name);
    return recorded.error;
}

bool TransferFolders::moveUnfinished(const QByteArray &name) const
{
    return !m_unfinishedMoves.isEmpty() && m_unfinishedMoves.contains(name);
}

void TransferFolders::forgetFinishedMoves() const
{
    std::vector<detail::MoveInFlight> finished;
    for (const detail::MoveInFlight &move : m_unfinishedRecorded) {
        struct stat st;
        if (::fstatat(m_source, move.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
            finished.push_back(move);
    }
    if (m_moves)
        m_moves->forget(finished);
}

// ---- preparing -----------------------------------------------------------------------------------

PendingTransfer TransferFolders::prepareCopy(const QByteArray &name, const QByteArray &destinationName,
    Placement placement, const std::stop_token &stop) const
{
    PendingTransfer transfer;
    transfer.m_kind = PendingTransfer::Kind::Copy;
    transfer.m_sourceName = name;
    transfer.m_destinationName = destinationName;
    transfer.m_placement = placement;
    const FsError::Operation copy = FsError::Operation::CopyFile;
    const auto failed = [&](Failure failure) { return this->failed(copy, failure, name, destinationName); };
    if (m_source < 0)
        return failed(Failure::system(m_sourceOpenError));
    FileDescriptor in;
    if (const Failure notReady = openReadySource(name, 0, transfer, in)) {
        fail(transfer, notReady);
        return transfer;
    }
    if (const Failure failure = copyInto(transfer, in.get(), stop))
        return failed(failure);
    return transfer;
}

// Opens a source to transfer it and tells whether it is ready: a regular file that nobody writes
// any more. O_NONBLOCK keeps a FIFO that took the name from blocking the run (it is refused), and
// a file under another program's write lease from holding it for the lease's break time: that
// program is still writing it.
Failure TransferFolders::openReadySource(
    const QByteArray &name, int flags, PendingTransfer &transfer, FileDescriptor &in) const
{
    in.reset(::openat(m_source, name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags));
    if (!in.valid())
        return errno == EWOULDBLOCK ? Failure::own(FsError::Kind::SourceInUse) : Failure::system(errno);
    if (::fstat(in.get(), &transfer.m_sourceFile) != 0)
        return Failure::system(errno);
    if (const int code = copyableKind(transfer.m_sourceFile))
        return Failure::system(code);
    return checkReadiness(in.get(), name, transfer);
}

// Ready when nobody writes the file any more: the lease answers where it sees every writer;
// elsewhere the file must also have been unchanged for the settle time. A fresh look past a
// share's attribute cache is also what the change check compares with later.
Failure TransferFolders::checkReadiness(int in, const QByteArray &name, PendingTransfer &transfer) const
{
    const bool shared = m_sourceKind == FileSystemKind::Shared;
    transfer.m_sourceLook = lookOf(transfer.m_sourceFile);
    if (shared) {
        if (const int code = freshLook(in, transfer.m_sourceLook))
            return Failure::system(code);
    }
    Readiness::Facts facts;
    facts.writer = detail::writerState(in);
    facts.leaseSeesEveryWriter = !shared;
    facts.settleSeconds = m_readiness.settleSeconds;
    facts.look = transfer.m_sourceLook;
    if (!Readiness::leaseDecides(facts) && facts.settleSeconds > 0) {
        facts.unchangedForMs
            = m_readiness.looks ? m_readiness.looks->note(m_sourcePath, name, facts.look) : qint64(0);
        facts.nowNs = wallClockNs();
        facts.timesFromThisClock = !shared;
        facts.newestChangeNs = m_newestChangeNs;
    }
    const Readiness::Verdict verdict = Readiness::decide(facts);
    switch (verdict.state) {
    case Readiness::State::Ready:
        return {};
    case Readiness::State::InUse:
        return Failure::own(FsError::Kind::SourceInUse);
    case Readiness::State::Settling:
        transfer.m_settleWaitMs = verdict.waitMs;
        return Failure::own(FsError::Kind::SourceSettling);
    }
    return {};
}

PendingTransfer TransferFolders::prepareMove(const QByteArray &name, const QByteArray &destinationName,
    Placement placement, const std::stop_token &stop) const
{
    const FsError::Operation move = FsError::Operation::MoveFile;
    const auto failed = [&](Failure failure) { return this->failed(move, failure, name, destinationName); };
    if (m_source < 0)
        return failed(Failure::system(m_sourceOpenError));
    if (m_destination < 0)
        return failed(Failure::system(m_destinationOpenError));
    if (!sameFileSystem())
        return prepareMoveByCopy(name, destinationName, placement, stop);
    // Within one file system a move is one rename, made only when nobody writes the file and
    // the entry is a regular file; a link moves as the content of its target, by a copy.
    PendingTransfer transfer;
    transfer.m_kind = PendingTransfer::Kind::Rename;
    transfer.m_operation = move;
    transfer.m_sourceName = name;
    transfer.m_destinationName = destinationName;
    transfer.m_placement = placement;
    transfer.m_removeSource = true;
    // The entry itself, never through a link: one that is a link fails to open (ELOOP).
    FileDescriptor in;
    const Failure notReady = openReadySource(name, O_NOFOLLOW, transfer, in);
    if (notReady.code == ELOOP)
        return prepareMoveByCopy(name, destinationName, placement, stop);
    transfer.m_sourceEntry = transfer.m_sourceFile;
    if (notReady)
        fail(transfer, notReady);
    return transfer;
}

// A move across file systems is a copy first; the source goes only after the copy took its
// name and that name is on disk (a link moves as the content of its target, and then only the
// link goes). A source that cannot be removed is not copied at all: the move would only leave a
// copy behind.
PendingTransfer TransferFolders::prepareMoveByCopy(const QByteArray &name, const QByteArray &destinationName,
    Placement placement, const std::stop_token &stop) const
{
    const FsError::Operation move = FsError::Operation::MoveFile;
    struct stat entry;
    if (::fstatat(m_source, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return failed(move, Failure::system(errno), name, destinationName);
    if (const Failure failure = sourceRemovable(entry))
        return failed(move, failure, name, destinationName);
    PendingTransfer transfer = prepareCopy(name, destinationName, placement, stop);
    transfer.m_operation = move;
    if (transfer.m_error) {
        transfer.m_error->operation = move;
        return transfer;
    }
    // The entry that goes must be the file that was opened, or a link to it.
    if (!S_ISLNK(entry.st_mode) && !sameIdentity(entry, transfer.m_sourceFile))
        return failed(move, Failure::own(FsError::Kind::SourceChanged), name, destinationName);
    transfer.m_removeSource = true;
    transfer.m_sourceEntry = entry;
    return transfer;
}

PendingTransfer TransferFolders::prepareFinishMove(const QByteArray &name) const
{
    const FsError::Operation move = FsError::Operation::MoveFile;
    PendingTransfer transfer;
    transfer.m_kind = PendingTransfer::Kind::FinishMove;
    transfer.m_operation = move;
    transfer.m_sourceName = name;
    transfer.m_destinationName = name;
    transfer.m_removeSource = true;
    const auto recorded = std::find_if(m_unfinishedRecorded.begin(), m_unfinishedRecorded.end(),
        [&](const detail::MoveInFlight &entry) { return entry.name == name; });
    if (recorded == m_unfinishedRecorded.end())
        return failed(move, Failure::system(EEXIST), name, name);
    if (::fstatat(m_source, name.constData(), &transfer.m_sourceEntry, AT_SYMLINK_NOFOLLOW) != 0)
        return failed(move, Failure::system(errno), name, name);
    const FileDescriptor in(::openat(m_source, name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const FileDescriptor copy(
        ::openat(m_destination, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat copied {
    };
    if (!in.valid() || ::fstat(in.get(), &transfer.m_sourceFile) != 0)
        return failed(move, Failure::system(errno), name, name);
    transfer.m_sourceLook = lookOf(transfer.m_sourceFile);
    // The source must still be what that move copied, and the destination must hold its copy:
    // a file of that name that came from elsewhere stays, and so does the source.
    const bool sourceAsRecorded = transfer.m_sourceLook.size == recorded->size
        && transfer.m_sourceLook.modifiedNs == recorded->modifiedNs;
    const bool copyOfIt = copy.valid() && ::fstat(copy.get(), &copied) == 0 && S_ISREG(copied.st_mode)
        && copied.st_size == recorded->size && lookOf(copied).modifiedNs == recorded->modifiedNs
        && sameBytes(in.get(), copy.get(), recorded->size);
    if (!sourceAsRecorded || !copyOfIt)
        return failed(move, Failure::system(EEXIST), name, name);
    return transfer;
}

// Whether the folder lets this process remove the entry: write access to the folder (a
// read-only mount says EROFS), and in a sticky folder such as /tmp ownership of the entry or
// the folder.
Failure TransferFolders::sourceRemovable(const struct stat &entry) const
{
    if (::faccessat(m_source, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return Failure::system(errno);
    struct stat folder;
    if (::fstat(m_source, &folder) != 0)
        return Failure::system(errno);
    const uid_t user = ::geteuid();
    if ((folder.st_mode & S_ISVTX) && user != 0 && user != entry.st_uid && user != folder.st_uid)
        return Failure::system(EPERM);
    return {};
}

Failure TransferFolders::copyInto(PendingTransfer &transfer, int in, const std::stop_token &stop) const
{
    if (m_destination < 0)
        return Failure::system(m_destinationOpenError);
    auto temporary = std::make_unique<detail::TemporaryFile>(m_destination, *m_caps);
    const struct stat &source = transfer.m_sourceFile;
    Failure failure = Failure::system(temporary->create((source.st_mode & 0777) | S_IWUSR));
    if (!failure) {
        const bool startWriting = m_destinationKind != FileSystemKind::Memory;
        failure = detail::copyContents(
            in, temporary->fd(), source, startWriting, transfer.m_destinationName, *m_caps, stop);
    }
    if (!failure)
        failure = Failure::system(detail::keepAttributes(in, temporary->fd(), source, *m_caps));
    if (failure) {
        // A folder that was removed refuses new files with EPERM; what happened is that the
        // folder is gone.
        struct stat folder;
        if (failure.kind == FsError::Kind::System && ::fstat(m_destination, &folder) == 0
            && folder.st_nlink == 0)
            failure = Failure::system(ENOENT);
        return failure;
    }
    transfer.m_temporary = std::move(temporary);
    return {};
}

// ---- naming --------------------------------------------------------------------------------------

void TransferFolders::commit(std::span<PendingTransfer *const> files) const
{
    prepareNames(files);
    for (PendingTransfer *transfer : files)
        name(*transfer);
    finishMoves(files);
}

void TransferFolders::fail(PendingTransfer &transfer, Failure failure) const
{
    transfer.m_error
        = error(transfer.m_operation, failure, transfer.m_sourceName, transfer.m_destinationName);
    transfer.m_temporary.reset();
}

void TransferFolders::prepareNames(std::span<PendingTransfer *const> files) const
{
    if (const Failure failure = flushData(files)) {
        for (PendingTransfer *transfer : files) {
            if (!transfer->m_error && transfer->m_temporary && !transfer->m_flushed)
                fail(*transfer, failure);
        }
    }
    if (const Failure failure = noteMoves(files)) {
        for (PendingTransfer *transfer : files) {
            if (!transfer->m_error && transfer->movesByCopy() && !transfer->m_noted)
                fail(*transfer, failure);
        }
    }
}

void TransferFolders::name(PendingTransfer &transfer) const
{
    if (transfer.m_error || transfer.m_named)
        return;
    if (const Failure failure = nameOne(transfer))
        fail(transfer, failure);
}

void TransferFolders::finishMoves(std::span<PendingTransfer *const> files) const
{
    const auto named = [](const PendingTransfer *transfer) {
        return !transfer->m_error && transfer->m_named && transfer->movesByCopy();
    };
    if (std::none_of(files.begin(), files.end(), named))
        return;
    // The sources go only once their copies' names are on disk as well.
    const Failure namesUnflushed = flushNames();
    std::vector<detail::MoveInFlight> settled;
    for (PendingTransfer *transfer : files) {
        if (!named(transfer))
            continue;
        const Failure failure = namesUnflushed ? namesUnflushed : removeSourceIfUnchanged(*transfer);
        if (failure)
            fail(*transfer, failure);
        // A source that is gone, or that changed after its copy took its name, needs no more
        // finishing; one that could not be removed stays recorded for the next run.
        if (!failure || failure.kind == FsError::Kind::SourceChangedAfterNaming)
            settled.push_back(moveOf(*transfer));
    }
    if (m_moves)
        m_moves->forget(settled);
}

void TransferFolders::abandon(std::span<PendingTransfer *const> files) const
{
    std::vector<detail::MoveInFlight> unnamed;
    for (const PendingTransfer *transfer : files) {
        if (transfer->m_noted && !transfer->m_named)
            unnamed.push_back(moveOf(*transfer));
    }
    if (m_moves)
        m_moves->forget(unnamed);
}

// Every copy's data on disk before any of them takes its name: one flush of the whole file
// system where this kernel writes it, and a flush of each file on a share, where that reaches
// the server. Files in memory need none.
Failure TransferFolders::flushData(std::span<PendingTransfer *const> files) const
{
    if (m_destinationKind == FileSystemKind::Memory)
        return {};
    std::vector<PendingTransfer *> unflushed;
    for (PendingTransfer *transfer : files) {
        if (transfer->m_temporary && !transfer->m_error && !transfer->m_flushed)
            unflushed.push_back(transfer);
    }
    if (unflushed.empty())
        return {};
    if (m_destinationKind == FileSystemKind::Local && ::syncfs(m_destination) != 0)
        return Failure::system(errno);
    for (PendingTransfer *transfer : unflushed) {
        if (m_destinationKind == FileSystemKind::Shared && ::fsync(transfer->m_temporary->fd()) != 0)
            return Failure::system(errno);
        transfer->m_flushed = true;
    }
    return {};
}

// The moves by copy are recorded before their copies take their names, so that a run cut off
// between a name and the removal of its source is finished by the next one.
Failure TransferFolders::noteMoves(std::span<PendingTransfer *const> files) const
{
    std::vector<PendingTransfer *> unnoted;
    std::vector<detail::MoveInFlight> moves;
    for (PendingTransfer *transfer : files) {
        if (!transfer->m_error && transfer->movesByCopy() && transfer->m_kind == PendingTransfer::Kind::Copy
            && !transfer->m_noted) {
            unnoted.push_back(transfer);
            moves.push_back(moveOf(*transfer));
        }
    }
    if (moves.empty() || !m_moves)
        return {};
    if (const int code = m_moves->note(moves, m_destinationKind != FileSystemKind::Memory))
        return Failure::system(code);
    for (PendingTransfer *transfer : unnoted)
        transfer->m_noted = true;
    return {};
}

detail::MoveInFlight TransferFolders::moveOf(const PendingTransfer &transfer) const
{
    return {transfer.m_sourceName, transfer.m_sourceLook.size, transfer.m_sourceLook.modifiedNs};
}

Failure TransferFolders::nameOne(PendingTransfer &transfer) const
{
    switch (transfer.m_kind) {
    case PendingTransfer::Kind::Failed:
        return Failure::system(EINVAL);
    case PendingTransfer::Kind::Rename:
        return rename(transfer);
    case PendingTransfer::Kind::FinishMove:
        transfer.m_named = true;
        return {};
    case PendingTransfer::Kind::Copy:
        break;
    }
    detail::notifyBeforePlacement(transfer.m_destinationName);
    // The copy takes its name only when its source is still what was copied: a copy of a file
    // that another program changed meanwhile may be neither the old content nor the new one.
    if (const Failure failure = sourceChangedSinceOpened(transfer))
        return failure;
    if (const int code
        = transfer.m_temporary->place(transfer.m_destinationName, transfer.m_placement, &transfer.m_replaced))
        return Failure::system(code);
    transfer.m_named = true;
    return {};
}

// A rename that the kernel refuses between two mounts of one file system becomes a copy.
Failure TransferFolders::rename(PendingTransfer &transfer) const
{
    const QByteArray &name = transfer.m_sourceName;
    const QByteArray &to = transfer.m_destinationName;
    struct stat entry;
    if (::fstatat(m_source, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return Failure::system(errno);
    if (!sameIdentity(entry, transfer.m_sourceEntry))
        return Failure::own(FsError::Kind::SourceChanged);
    // Overwrite replaces only where the name is taken, so that a file system that ignores case
    // tells which file gave way.
    int code = detail::renameNoReplace(m_source, name, m_destination, to, *m_caps);
    if (code == EEXIST && transfer.m_placement == Placement::Replace) {
        code = ::renameat(m_source, name.constData(), m_destination, to.constData()) == 0 ? 0 : errno;
        transfer.m_replaced = code == 0;
    }
    if (code == 0) {
        transfer.m_named = true;
        return {};
    }
    if (code != EXDEV)
        return Failure::system(code);
    PendingTransfer copy = prepareMoveByCopy(name, to, transfer.m_placement, {});
    if (!copy.m_error) {
        PendingTransfer *const one[] = {&copy};
        commit(one);
    }
    if (copy.m_error)
        return copy.m_error->kind == FsError::Kind::System ? Failure::system(copy.m_error->code)
                                                           : Failure::own(copy.m_error->kind);
    transfer.m_named = true;
    return {};
}

// Whether the name still leads to the file that was opened for the copy (directly or through a
// link), with the size and times it had then; a move also needs the very entry it is to remove.
Failure TransferFolders::sourceChangedSinceOpened(const PendingTransfer &transfer) const
{
    const char *name = transfer.m_sourceName.constData();
    const Failure changed = Failure::own(FsError::Kind::SourceChanged);
    struct stat entry;
    if (::fstatat(m_source, name, &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? changed : Failure::system(errno);
    struct stat file = entry;
    if (S_ISLNK(entry.st_mode) && ::fstatat(m_source, name, &file, 0) != 0)
        return changed;
    if (transfer.m_removeSource && !sameIdentity(entry, transfer.m_sourceEntry))
        return changed;
    if (!sameIdentity(file, transfer.m_sourceFile))
        return changed;
    FileLook now = lookOf(file);
    // A share's attribute cache may still answer with the look from before the last write.
    if (m_sourceKind == FileSystemKind::Shared) {
        const FileDescriptor fd(::openat(m_source, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd.valid() || freshLook(fd.get(), now) != 0)
            return changed;
    }
    return now == transfer.m_sourceLook ? Failure() : changed;
}

Failure TransferFolders::flushNames() const
{
    if (m_destinationKind == FileSystemKind::Memory)
        return {};
    return ::fsync(m_destination) == 0 ? Failure() : Failure::system(errno);
}

// The source goes only when it is provably what was copied: the same entry, and for a regular
// file the size and the times it had when it was opened. A file that changed stays, beside its
// copy.
Failure TransferFolders::removeSourceIfUnchanged(const PendingTransfer &transfer) const
{
    const char *name = transfer.m_sourceName.constData();
    struct stat now;
    if (::fstatat(m_source, name, &now, AT_SYMLINK_NOFOLLOW) != 0)
        return Failure::system(errno);
    FileLook look = lookOf(now);
    if (!S_ISLNK(now.st_mode) && m_sourceKind == FileSystemKind::Shared) {
        const FileDescriptor fd(::openat(m_source, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!fd.valid() || freshLook(fd.get(), look) != 0)
            return Failure::own(FsError::Kind::SourceChangedAfterNaming);
    }
    const bool unchanged = sameIdentity(now, transfer.m_sourceEntry)
        && (S_ISLNK(now.st_mode) ? look == lookOf(transfer.m_sourceEntry) : look == transfer.m_sourceLook);
    if (!unchanged)
        return Failure::own(FsError::Kind::SourceChangedAfterNaming);
    return ::unlinkat(m_source, name, 0) == 0 ? Failure() : Failure::system(errno);
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

// ---- errors --------------------------------------------------------------------------------------

PendingTransfer TransferFolders::failed(FsError::Operation operation, Failure failure,
    const QByteArray &sourceName, const QByteArray &destinationName) const
{
    PendingTransfer transfer;
    transfer.m_operation = operation;
    transfer.m_sourceName = sourceName;
    transfer.m_destinationName = destinationName;
    transfer.m_error = error(operation, failure, sourceName, destinationName);
    return transfer;
}

FsError TransferFolders::error(FsError::Operation operation, Failure failure, const QByteArray &sourceName,
    const QByteArray &destinationName) const
{
    const auto pathIn = [](const QString &folder, const QByteArray &name) {
        return name.isEmpty() ? folder : folder + QLatin1Char('/') + detail::decodedPath(name);
    };
    FsError result = FsError::fromErrno(operation, failure.code, pathIn(m_sourcePath, sourceName),
        pathIn(m_destinationPath, destinationName));
    result.kind = failure.kind;
    const bool move = operation == FsError::Operation::MoveFile;
    switch (failure.kind) {
    case FsError::Kind::System:
        break;
    case FsError::Kind::SourceInUse:
        result.description = QStringLiteral("The file is in use by another program");
        break;
    case FsError::Kind::SourceSettling:
        result.description = QStringLiteral("The file is still being written");
        break;
    case FsError::Kind::SourceChanged:
        result.description = move
            ? QStringLiteral("The file changed while it was moved; it was left in place")
            : QStringLiteral("The file changed while it was copied; the copy was dropped");
        break;
    case FsError::Kind::SourceChangedAfterNaming:
        result.description
            = QStringLiteral("The file changed while it was moved; it was kept in both folders");
        break;
    }
    return result;
}

} // namespace modFSO
