// Deleting, copying and moving one file by path: the folder-relative operations of
// TransferFolders on the two folders of the paths. Nothing here throws.
#include "fs/PosixSupport.h"
#include "fs/TransferFolders.h"
#include "fs/modFSO.h"

#include <cerrno>
#include <unistd.h>

namespace modFSO
{

namespace
{

// The folder and the name of a path, as text; a path without a folder lies in the current one.
struct PathParts {
    QString folder;
    QByteArray name;
};

PathParts partsOf(const QString &path)
{
    const QByteArray native = detail::nativePath(path);
    return {detail::decodedPath(detail::folderOf(native)), detail::nameOf(native)};
}

// The error as the caller named the files.
std::optional<FsError> named(std::optional<FsError> error, const QString &source, const QString &destination)
{
    if (error) {
        error->path = source;
        error->destination = destination;
    }
    return error;
}

// A destination path that names no file cannot take one.
std::optional<FsError> checkDestinationName(
    FsError::Operation operation, const QString &source, const QString &destination, const PathParts &to)
{
    if (!to.name.isEmpty())
        return std::nullopt;
    return FsError::fromErrno(operation, destination.isEmpty() ? ENOENT : EISDIR, source, destination);
}

} // namespace

std::optional<FsError> DeleteAFile(const QString &fileName)
{
    if (::unlink(detail::nativePath(fileName).constData()) == 0)
        return std::nullopt;
    return FsError::fromErrno(FsError::Operation::DeleteFile, errno, fileName);
}

// One file from path to path: the two folders are opened, and the file goes the way a run
// sends it, prepared and then committed.
static std::optional<FsError> transferByPath(
    const QString &source, const QString &destination, bool overwrite, FsError::Operation operation)
{
    const PathParts from = partsOf(source);
    const PathParts to = partsOf(destination);
    if (auto error = checkDestinationName(operation, source, destination, to))
        return error;
    const TransferFolders folders(from.folder, to.folder);
    const Placement placement = overwrite ? Placement::Replace : Placement::NoReplace;
    PendingTransfer pending = operation == FsError::Operation::MoveFile
        ? folders.prepareMove(from.name, to.name, placement)
        : folders.prepareCopy(from.name, to.name, placement);
    return named(folders.commit(pending), source, destination);
}

std::optional<FsError> CopyAFile(const QString &source, const QString &destination, bool overwrite)
{
    return transferByPath(source, destination, overwrite, FsError::Operation::CopyFile);
}

std::optional<FsError> MoveAFile(const QString &source, const QString &destination, bool overwrite)
{
    return transferByPath(source, destination, overwrite, FsError::Operation::MoveFile);
}

} // namespace modFSO
