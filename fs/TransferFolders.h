#pragma once

#include "fs/FileDescriptor.h"
#include "fs/FileSystemKind.h"
#include "fs/FsError.h"
#include "fs/MoveRecord.h"
#include "fs/NameList.h"
#include "fs/Readiness.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <atomic>
#include <memory>
#include <span>
#include <stop_token>
#include <sys/stat.h>
#include <vector>

namespace modFSO
{

namespace detail
{
struct FolderCaps;
class TemporaryFile;

// The plain files of an open folder, as TransferFolders::listPlainFiles() lists them.
FsResult<NameList> listPlainFiles(int folder);
} // namespace detail

enum class Placement {
    NoReplace, // an existing name makes the placement fail with EEXIST
    Replace, // the complete file takes the place of an existing one in one step
};

// How the run wants a source checked before it is transferred: how long a file that no lease
// can vouch for must have stayed unchanged, and what the program's own looks saw of it before
// (none: this run's looks alone).
struct ReadinessRules {
    int settleSeconds = 0;
    FileLooks *looks = nullptr;
};

// One file on its way into the destination folder: its data is copied (into a file that has
// no name yet), but nothing has its name. TransferFolders::commit() names it; a pending
// transfer that is dropped leaves no trace.
class PendingTransfer
{
public:
    PendingTransfer();
    PendingTransfer(PendingTransfer &&) noexcept;
    PendingTransfer &operator=(PendingTransfer &&) noexcept;
    ~PendingTransfer();

    // Set when the preparation or the commit failed.
    const std::optional<FsError> &error() const { return m_error; }
    // Not ready yet: the source must stay unchanged this much longer (ms) before it may go.
    qint64 settleWaitMs() const { return m_settleWaitMs; }
    // The bytes of the copy that wait, without a name, in the destination.
    qint64 unnamedBytes() const { return m_temporary ? m_sourceLook.size : 0; }
    // After the commit: a file of that name gave way to this one.
    bool replaced() const { return m_replaced; }
    // A move whose source goes only in TransferFolders::finishMoves().
    bool movesByCopy() const { return m_removeSource && m_kind != Kind::Rename; }

private:
    friend class TransferFolders;
    enum class Kind { Failed, Rename, Copy, FinishMove };

    Kind m_kind = Kind::Failed;
    QByteArray m_sourceName;
    QByteArray m_destinationName;
    Placement m_placement = Placement::NoReplace;
    FsError::Operation m_operation = FsError::Operation::CopyFile;
    // A copy takes its name, and a move removes its source, only while the source is still
    // what was copied: the entry as it was, and the file with the size and times it had when
    // it was opened.
    bool m_removeSource = false;
    struct stat m_sourceEntry {
    };
    struct stat m_sourceFile {
    };
    FileLook m_sourceLook;
    std::unique_ptr<detail::TemporaryFile> m_temporary;
    std::optional<FsError> m_error;
    qint64 m_settleWaitMs = 0;
    bool m_replaced = false;
    bool m_flushed = false;
    bool m_noted = false;
    bool m_named = false;
};

// The source and the destination folder of a run, opened once. Every operation works
// relative to them with a file's name as the listing gave it, so that no path is resolved
// again, and a folder that is renamed or removed during the run is never confused with
// another. Safe to use from several threads at once, but for commit(), which one thread calls
// at a time, in list order.
class TransferFolders
{
public:
    TransferFolders(const QString &sourceFolder, const QString &destinationFolder, ReadinessRules rules = {});
    ~TransferFolders();
    TransferFolders(const TransferFolders &) = delete;
    TransferFolders &operator=(const TransferFolders &) = delete;

    // The names of the plain files of the source folder: regular files and links to them, no
    // hidden names (leading "."), sorted by name without regard to case. A listing that breaks
    // off keeps the names read before, beside the error. On a shared file system each file is
    // looked at too, so that the settle time runs from the listing on.
    FsResult<NameList> listPlainFiles();

    // Whether anything has the name in the destination (a dangling link counts).
    bool destinationHas(const QByteArray &name) const;
    // Notes which names the destination has now (anything, hidden or not), so that a run
    // need not look for each of its names there; a destination with more than mostNames
    // entries is not noted. Not thread-safe: before the run's threads.
    void noteDestinationNames(qsizetype mostNames);
    // Whether the destination surely lacked the name when its names were noted: false when it
    // had it, when the names were not noted, or when the listing failed.
    bool destinationLacked(const QByteArray &name) const;
    // Whether the source entry and the destination entry are one and the same file.
    bool sameFile(const QByteArray &sourceName, const QByteArray &destinationName) const;
    bool sameFileSystem() const { return m_sameFileSystem; }
    FileSystemKind destinationKind() const { return m_destinationKind; }
    // The bytes a copy of the file takes in the destination.
    FsResult<qint64> roomNeeded(const QByteArray &name) const;

    // Reads which moves into the destination an earlier run left half done (its copy named,
    // its source still there). Not thread-safe: before the run's threads. An error when the
    // record cannot be read.
    std::optional<FsError> readUnfinishedMoves();
    bool moveUnfinished(const QByteArray &name) const;
    // Drops the recorded moves that need no finishing any more: their source is gone (moved
    // by this run, or removed). Call after the run.
    void forgetFinishedMoves() const;

    // Prepares a copy: the data goes into a new file of the destination that has no name yet.
    // A source that another program holds open for writing is not copied
    // (FsError::Kind::SourceInUse); one that no lease vouches for and that has not been
    // unchanged for the settle time either (settleWaitMs() says how long it still needs). A
    // stop abandons the copy within a MiB of data (ECANCELED), leaving nothing.
    PendingTransfer prepareCopy(
        const QByteArray &name, Placement placement, const std::stop_token &stop = {}) const
    {
        return prepareCopy(name, name, placement, stop);
    }
    PendingTransfer prepareCopy(const QByteArray &sourceName, const QByteArray &destinationName,
        Placement placement, const std::stop_token &stop = {}) const;
    // Prepares a move: within one file system the commit renames; otherwise the data is copied
    // now, and the commit names the copy and then removes the source. A source that cannot be
    // removed is refused before anything is copied.
    PendingTransfer prepareMove(
        const QByteArray &name, Placement placement, const std::stop_token &stop = {}) const
    {
        return prepareMove(name, name, placement, stop);
    }
    PendingTransfer prepareMove(const QByteArray &sourceName, const QByteArray &destinationName,
        Placement placement, const std::stop_token &stop = {}) const;
    // Prepares the end of a move that an earlier run left half done: the destination must hold
    // the very copy of the source (same size, time and bytes), else it is another file of that
    // name (EEXIST).
    PendingTransfer prepareFinishMove(const QByteArray &name) const;

    // Before prepared files take their names: their data on disk (one flush of the destination
    // for all of them where the file system is this machine's, one per file on a share), and
    // the moves among them recorded, so that the next run finishes a move cut off between the
    // name and the removal of its source. A file that fails here gets its error.
    void prepareNames(std::span<PendingTransfer *const> files) const;
    // Names one file after prepareNames(): a copy only when its source is still what was copied
    // (else it is dropped, FsError::Kind::SourceChanged); a rename. A move by copy keeps its
    // source until finishMoves().
    void name(PendingTransfer &file) const;
    // The moves by copy among the named files: their names are put on disk, then their sources
    // removed where they are unchanged.
    void finishMoves(std::span<PendingTransfer *const> files) const;
    // Files that were prepared for their names and will not take them: their moves leave the
    // record.
    void abandon(std::span<PendingTransfer *const> files) const;
    // All of the above for files that nobody holds back: prepareNames, name each, finishMoves.
    void commit(std::span<PendingTransfer *const> files) const;
    // Whether commit() flushes anything: an unnamed copy waits for the others of its batch
    // only where it does.
    bool flushesData() const { return m_destinationKind != FileSystemKind::Memory; }

    // Removes the hidden temporaries that an earlier copy into the destination left behind
    // (killed before it could remove them) and that no running copy still holds. Only those
    // this program recorded are ever touched.
    void removeLeftoverTemporaries() const;
    // Whether the record of temporaries could not be used in this run (a link, a FIFO, a
    // file of another user or no home folder): hidden temporaries of a killed run then stay.
    bool temporaryRecordUnusable() const;

    QString sourceFolder() const { return m_sourcePath; }
    QString destinationFolder() const { return m_destinationPath; }

private:
    PendingTransfer failed(FsError::Operation operation, Failure failure, const QByteArray &sourceName,
        const QByteArray &destinationName) const;
    FsError error(FsError::Operation operation, Failure failure, const QByteArray &sourceName,
        const QByteArray &destinationName) const;
    PendingTransfer prepareMoveByCopy(const QByteArray &sourceName, const QByteArray &destinationName,
        Placement placement, const std::stop_token &stop) const;
    Failure openReadySource(
        const QByteArray &name, int flags, PendingTransfer &transfer, FileDescriptor &in) const;
    Failure checkReadiness(int in, const QByteArray &name, PendingTransfer &transfer) const;
    Failure copyInto(PendingTransfer &transfer, int in, const std::stop_token &stop) const;
    Failure sourceChangedSinceOpened(const PendingTransfer &transfer) const;
    Failure sourceRemovable(const struct stat &entry) const;
    Failure flushData(std::span<PendingTransfer *const> files) const;
    Failure noteMoves(std::span<PendingTransfer *const> files) const;
    Failure nameOne(PendingTransfer &transfer) const;
    void fail(PendingTransfer &transfer, Failure failure) const;
    Failure rename(PendingTransfer &transfer) const;
    Failure flushNames() const;
    Failure removeSourceIfUnchanged(const PendingTransfer &transfer) const;
    detail::MoveInFlight moveOf(const PendingTransfer &transfer) const;

    QString m_sourcePath;
    QString m_destinationPath;
    int m_source = -1;
    int m_destination = -1;
    int m_sourceOpenError = 0;
    int m_destinationOpenError = 0;
    bool m_sameFileSystem = false;
    FileSystemKind m_sourceKind = FileSystemKind::Local;
    FileSystemKind m_destinationKind = FileSystemKind::Local;
    ReadinessRules m_readiness;
    // The latest change among the source's files at the listing, for the settle time on a file
    // system whose clock is another machine's.
    qint64 m_newestChangeNs = 0;
    std::unique_ptr<detail::FolderCaps> m_caps;
    std::unique_ptr<detail::MoveRecord> m_moves;
    QSet<QByteArray> m_unfinishedMoves;
    std::vector<detail::MoveInFlight> m_unfinishedRecorded;
    // The hashes of the destination's names, sorted: eight bytes a name, where a million names
    // would take some 70 each as text. A hash that two names share only costs a look.
    std::vector<quint64> m_destinationNames;
    bool m_destinationNoted = false;
    mutable std::atomic<bool> m_recordUnusable {false};
};

} // namespace modFSO
