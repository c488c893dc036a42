#include "fs/modFSO.h"

#include "fs/FileCopy.h"
#include "fs/PosixSupport.h"
#include "fs/TransferFolders.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace modFSO
{

namespace
{

using detail::nativePath;

const QChar Separator = QLatin1Char('/');

bool statPath(const QString &path, struct stat &st)
{
    return ::stat(nativePath(path).constData(), &st) == 0;
}

int makeOneLevel(const QByteArray &path)
{
    if (::mkdir(path.constData(), 0777) == 0)
        return 0;
    const int code = errno;
    struct stat st;
    if (code != EEXIST)
        return code;
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// Creates each missing level from the top down; returns the errno of the first level that
// could not be made.
int makePath(const QByteArray &path)
{
    if (path.isEmpty())
        return ENOENT;
    for (qsizetype end = 1; end <= path.size(); ++end) {
        const bool levelEnds = end == path.size() || path.at(end) == '/';
        if (!levelEnds || path.at(end - 1) == '/')
            continue;
        if (const int code = makeOneLevel(path.left(end)))
            return code;
    }
    return 0;
}

QString fileTitle(const QString &path)
{
    return path.mid(path.lastIndexOf(Separator) + 1);
}

} // namespace

// A dangling link still occupies its name, so it counts as existing.
bool FileExists(const QString &path)
{
    struct stat st;
    return ::lstat(nativePath(path).constData(), &st) == 0;
}

bool FolderExists(const QString &folderName)
{
    struct stat st;
    return statPath(folderName, st) && S_ISDIR(st.st_mode);
}

std::optional<FsError> CreateFolder(const QString &newPath)
{
    const int code = makePath(nativePath(newPath.trimmed()));
    if (code == 0)
        return std::nullopt;
    return FsError::fromErrno(FsError::Operation::CreateFolder, code, newPath);
}

QString GetExtensionName(const QString &flname)
{
    if (!FileExists(flname))
        return {};
    const QString title = fileTitle(flname);
    for (qsizetype i = title.size() - 1; i >= 0; --i) {
        const QChar c = title.at(i);
        if (c == QLatin1Char('.'))
            return title.mid(i + 1);
        if (c == QLatin1Char(':') || c == QLatin1Char('\\'))
            return {};
    }
    return {};
}

QString AddTrailingSlash(const QString &path)
{
    return path.endsWith(Separator) ? path : path + Separator;
}

QString StripLeadingSlash(const QString &path)
{
    return path.startsWith(Separator) ? path.mid(1) : path;
}

QString JoinPath(const QString &first, const QString &second)
{
    return AddTrailingSlash(first) + StripLeadingSlash(second);
}

FsResult<QStringList> ListPlainFiles(const QString &folder)
{
    FsResult<QStringList> result;
    const detail::FileDescriptor fd(
        ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) {
        result.error = FsError::fromErrno(FsError::Operation::ListFolder, errno, folder);
        return result;
    }
    const FsResult<NameList> names = detail::listPlainFiles(fd.get());
    result.value.reserve(names.value.size());
    for (qsizetype i = 0; i < names.value.size(); ++i)
        result.value.append(detail::decodedPath(names.value.at(i)));
    if (names.error)
        result.error = FsError::fromErrno(FsError::Operation::ListFolder, names.error->code, folder);
    return result;
}

FsResult<qint64> FileSize(const QString &path)
{
    struct stat st;
    if (!statPath(path, st))
        return {0, FsError::fromErrno(FsError::Operation::ReadSize, errno, path)};
    return {st.st_size, std::nullopt};
}

// ---- deleting, copying and moving one file by path -------------------------------------------
// The folder-relative operations of TransferFolders on the two folders of the paths. Nothing
// here throws.

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
    PendingTransfer *const one[] = {&pending};
    if (!pending.error())
        folders.commit(one);
    return named(pending.error(), source, destination);
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
