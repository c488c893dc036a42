// Deleting, copying and moving one file. Every failure of the system comes back as the
// operation's error text; nothing here throws.
#include "fs/FileCopy.h"
#include "fs/PosixSupport.h"
#include "fs/modFSO.h"

#include <cerrno>
#include <unistd.h>

namespace modFSO
{

namespace
{

using detail::nativePath;

QString deleteStepText(int code, const QString &destination)
{
    return detail::errorHead(QStringLiteral("CopyAFile DeleteFile"), code)
        + QStringLiteral(" Destination Path: ") + destination;
}

QString copyStepText(int code, const QString &source, const QString &destination)
{
    return detail::errorHead(QStringLiteral("CopyAFile CopyFile"), code) + QStringLiteral(" Source Path: ")
        + source + QStringLiteral(" Destination Path: ") + destination;
}

QString moveText(int code, const QString &source, const QString &destination)
{
    return detail::errorHead(QStringLiteral("MoveAFile"), code) + QStringLiteral(" Source Path: ") + source
        + QStringLiteral(" Destination Path: ") + destination;
}

// One step: the old target stays until the source takes its name.
int renameReplacing(const QByteArray &from, const QByteArray &to)
{
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// The source goes only after its copy is complete, flushed and under its final name.
int moveAcrossFileSystems(const QByteArray &source, const QByteArray &destination,
    const ProgressCallback &progress, detail::Placement placement)
{
    detail::CopyRequest request {source, destination, placement, true, &progress};
    if (const int code = detail::copyFile(request).copyError)
        return code;
    return ::unlink(source.constData()) == 0 ? 0 : errno;
}

} // namespace

QString DeleteAFile(const QString &fileName)
{
    if (::unlink(nativePath(fileName).constData()) == 0)
        return {};
    return detail::errorHead(QStringLiteral("DeleteAFile"), errno) + QStringLiteral(" FileName: ") + fileName;
}

std::optional<QString> CopyAFile(const QString &source, const QString &destination, bool overwrite,
    const ProgressCallback &progress, bool syncToDisk)
{
    const detail::Placement placement = overwrite ? detail::Placement::Replace : detail::Placement::NoReplace;
    const detail::CopyRequest request {
        nativePath(source), nativePath(destination), placement, syncToDisk, &progress};
    const detail::CopyResult result = detail::copyFile(request);
    if (result.copyError)
        return copyStepText(result.copyError, source, destination);
    if (result.deleteError)
        return deleteStepText(result.deleteError, destination);
    return std::nullopt;
}

QString MoveAFile(
    const QString &source, const QString &destination, const ProgressCallback &progress, bool overwrite)
{
    const QByteArray from = nativePath(source);
    const QByteArray to = nativePath(destination);
    const detail::Placement placement = overwrite ? detail::Placement::Replace : detail::Placement::NoReplace;
    int code = overwrite ? renameReplacing(from, to) : detail::renameNoReplace(from, to);
    if (code == EXDEV)
        code = moveAcrossFileSystems(from, to, progress, placement);
    return code ? moveText(code, source, destination) : QString();
}

} // namespace modFSO
