#include "fs/FsError.h"

#include <cerrno>
#include <cstring>

namespace modFSO
{

namespace
{

QString operationName(FsError::Operation operation)
{
    switch (operation) {
    case FsError::Operation::CreateFolder:
        return QStringLiteral("CreateFolder");
    case FsError::Operation::DeleteFile:
        return QStringLiteral("DeleteAFile");
    case FsError::Operation::CopyFile:
        return QStringLiteral("CopyAFile CopyFile");
    case FsError::Operation::MoveFile:
        return QStringLiteral("MoveAFile");
    case FsError::Operation::ListFolder:
        return QStringLiteral("ListPlainFiles");
    case FsError::Operation::ReadSize:
        return QStringLiteral("FileSize");
    case FsError::Operation::ReadVolume:
        return QStringLiteral("GetVolumeLabel");
    case FsError::Operation::FreeSpace:
        return QStringLiteral("DiskFree");
    case FsError::Operation::ReadRecord:
        return QStringLiteral("ReadRecord");
    }
    return {};
}

// The label before the path that each operation has always named.
QString pathLabel(FsError::Operation operation)
{
    switch (operation) {
    case FsError::Operation::CreateFolder:
        return QStringLiteral(" NewPath: ");
    case FsError::Operation::DeleteFile:
        return QStringLiteral(" FileName: ");
    case FsError::Operation::CopyFile:
    case FsError::Operation::MoveFile:
        return QStringLiteral(" Source Path: ");
    default:
        return QStringLiteral(" Path: ");
    }
}

} // namespace

Failure Failure::own(FsError::Kind kind)
{
    return {EBUSY, kind};
}

FsError FsError::fromErrno(Operation operation, int code, QString path, QString destination)
{
    return {operation, Kind::System, code, describeError(code), std::move(path), std::move(destination)};
}

namespace
{
// strerror() may share one buffer between threads; strerror_r() comes in a GNU form, which
// returns the text, and a POSIX one, which fills the buffer.
[[maybe_unused]] const char *errorText(char *returned, const char *)
{
    return returned;
}
[[maybe_unused]] const char *errorText(int, const char *buffer)
{
    return buffer;
}
} // namespace

QString describeError(int code)
{
    char buffer[256] = {};
    return QString::fromLocal8Bit(errorText(::strerror_r(code, buffer, sizeof buffer), buffer));
}

QString ErrorText(const FsError &error)
{
    QString text = operationName(error.operation) + QStringLiteral(" Error(") + QString::number(error.code)
        + QStringLiteral("): ") + error.description + pathLabel(error.operation) + error.path;
    if (error.operation == FsError::Operation::CopyFile || error.operation == FsError::Operation::MoveFile)
        text += QStringLiteral(" Destination Path: ") + error.destination;
    return text;
}

} // namespace modFSO
