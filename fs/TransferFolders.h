#pragma once

#include "fs/FsError.h"
#include "fs/NameList.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <memory>
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

// One file on its way into the destination folder: its data is written (and, for a move, on
// disk), but nothing has its name yet. TransferFolders::commit() gives it its name; a pending
// transfer that is dropped leaves no trace.
class PendingTransfer
{
public:
    PendingTransfer();
    PendingTransfer(PendingTransfer &&) noexcept;
    PendingTransfer &operator=(PendingTransfer &&) noexcept;
    ~PendingTransfer();

    // Set when the preparation failed; commit() then changes nothing.
    const std::optional<FsError> &error() const { return m_error; }
    // The bytes of the copy that wait, without a name, in the destination.
    qint64 unnamedBytes() const { return m_temporary ? qint64(m_sourceFile.st_size) : 0; }

private:
    friend class TransferFolders;
    enum class Kind { Failed, Rename, Copy };

    Kind m_kind = Kind::Failed;
    QByteArray m_sourceName;
    QByteArray m_destinationName;
    Placement m_placement = Placement::NoReplace;
    FsError::Operation m_operation = FsError::Operation::CopyFile;
    // A copy takes its name, and a move that copies removes its source, only while the source
    // is still what was copied: the entry as it was, and the file with the size and times it
    // had when it was opened.
    bool m_removeSource = false;
    struct stat m_sourceEntry {
    };
    struct stat m_sourceFile {
    };
    std::unique_ptr<detail::TemporaryFile> m_temporary;
    std::optional<FsError> m_error;
};

// The source and the destination folder of a run, opened once. Every operation works
// relative to them with a file's name as the listing gave it, so that no path is resolved
// again, and a folder that is renamed or removed during the run is never confused with
// another. Safe to use from several threads at once.
class TransferFolders
{
public:
    TransferFolders(const QString &sourceFolder, const QString &destinationFolder);
    ~TransferFolders();
    TransferFolders(const TransferFolders &) = delete;
    TransferFolders &operator=(const TransferFolders &) = delete;

    // The names of the plain files of the source folder: regular files and links to them, no
    // hidden names (leading "."), sorted by name without regard to case. A listing that breaks
    // off keeps the names read before, beside the error.
    FsResult<NameList> listPlainFiles() const;

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
    bool sameFileSystem() const;
    FsResult<qint64> sourceSize(const QByteArray &name) const;

    // Prepares a copy: the data goes into a new file of the destination that has no name yet.
    // flush puts it on disk before it is named. A source that another program holds open for
    // writing is not copied (FsError::Kind::SourceInUse); a stop abandons the copy within a
    // MiB of data (ECANCELED), leaving nothing.
    PendingTransfer prepareCopy(const QByteArray &sourceName, const QByteArray &destinationName,
        Placement placement, bool flush = false, std::stop_token stop = {}) const;
    // Prepares a move: within one file system the commit renames; otherwise the data is copied
    // and flushed now, and the commit names the copy and then removes the source. A source
    // that cannot be removed is refused before anything is copied.
    PendingTransfer prepareMove(const QByteArray &sourceName, const QByteArray &destinationName,
        Placement placement, std::stop_token stop = {}) const;
    // Gives a prepared file its name (and, for a move, removes the source). A copy whose source
    // changed since it was opened is dropped instead (FsError::Kind::SourceChanged); a move is
    // whole or not at all: a copy whose source cannot be removed goes again.
    std::optional<FsError> commit(PendingTransfer &transfer) const;

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
    PendingTransfer failed(FsError::Operation operation, int code, const QByteArray &sourceName,
        const QByteArray &destinationName) const;
    FsError error(FsError::Operation operation, int code, const QByteArray &sourceName,
        const QByteArray &destinationName) const;
    PendingTransfer prepareMoveByCopy(const QByteArray &sourceName, const QByteArray &destinationName,
        Placement placement, const std::stop_token &stop) const;
    void copyInto(PendingTransfer &transfer, int in, bool flush, const std::stop_token &stop) const;
    int sourceChangedSinceOpened(const PendingTransfer &transfer) const;
    int sourceRemovable(const struct stat &entry) const;
    void dropPlacedCopy(const PendingTransfer &transfer, const struct stat &copy) const;
    std::optional<FsError> commitRename(PendingTransfer &transfer) const;
    std::optional<FsError> commitCopy(PendingTransfer &transfer) const;
    int removeSourceIfUnchanged(const PendingTransfer &transfer) const;

    QString m_sourcePath;
    QString m_destinationPath;
    int m_source = -1;
    int m_destination = -1;
    int m_sourceOpenError = 0;
    int m_destinationOpenError = 0;
    bool m_sameFileSystem = false;
    std::unique_ptr<detail::FolderCaps> m_caps;
    // The hashes of the destination's names, sorted: eight bytes a name, where a million names
    // would take some 70 each as text. A hash that two names share only costs a look.
    std::vector<quint64> m_destinationNames;
    bool m_destinationNoted = false;
    mutable std::atomic<bool> m_recordUnusable {false};
};

} // namespace modFSO
