#pragma once

#include "fs/FsError.h"

#include <QString>
#include <QStringList>
#include <optional>

// Checked file and folder operations by path. Nothing here shows a message or writes a log
// line: tests answer false on any failure, the others return what went wrong as a value.
// The transfer run works through TransferFolders instead, relative to its two folders.
namespace modFSO
{

bool FileExists(const QString &path);
bool FolderExists(const QString &folderName);

// Creates every missing folder of the path (blanks around it are trimmed first).
std::optional<FsError> CreateFolder(const QString &newPath);

// The extension (without the dot) of an existing file's name, or empty text.
QString GetExtensionName(const QString &flname);

// The label of the file system that holds the path; empty when it has none.
FsResult<QString> GetVolumeLabel(const QString &path);

std::optional<FsError> DeleteAFile(const QString &fileName);

// Copies through a new file in the destination folder that takes the final name only when
// every byte is written; keeps modification time and permission bits. With overwrite false
// an existing target is never replaced; with overwrite true it gives way to the complete copy
// in one step.
std::optional<FsError> CopyAFile(const QString &source, const QString &destination, bool overwrite);

// One rename within a file system; across file systems a complete, flushed copy, and only then
// the source is deleted, if it is still what was copied. With overwrite false an existing
// target is never replaced; with overwrite true it gives way only to the complete file.
std::optional<FsError> MoveAFile(const QString &source, const QString &destination, bool overwrite = false);

QString AddTrailingSlash(const QString &path);
QString StripLeadingSlash(const QString &path);
QString JoinPath(const QString &first, const QString &second);

// The names of the plain files of a folder: regular files (a link to one counts), no hidden
// names (leading "."), no folders, sorted by name without regard to case. A listing that
// breaks off keeps the names read before, beside the error.
FsResult<QStringList> ListPlainFiles(const QString &folder);

// The size of a file in bytes.
FsResult<qint64> FileSize(const QString &path);

} // namespace modFSO
