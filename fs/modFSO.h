#pragma once

#include "fs/FsError.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Checked file and folder operations. Nothing here shows a message or writes a log line:
// tests answer false on any failure, changing operations return an error text that is
// empty (or absent) on success.
namespace modFSO
{

// Called between the chunks of a long copy, so that the caller can keep its window alive.
using ProgressCallback = std::function<void()>;

bool FileExists(const QString &path);
bool FolderExists(const QString &folderName);

// Creates every missing folder of the path (blanks around it are trimmed first).
QString CreateFolder(const QString &newPath);

// The extension (without the dot) of an existing file's name, or empty text.
QString GetExtensionName(const QString &flname);

// The label of the file system that holds the path; empty when it has none.
// Throws FsError ("A system call returned an error code of " + code) when it cannot be asked.
QString GetVolumeLabel(QString &path);

QString DeleteAFile(const QString &fileName);

// Copies through a temporary file in the destination folder that takes the final name only
// when every byte is written; keeps modification time and permission bits. With overwrite
// false an existing target is never replaced. Absent on success, the error text otherwise.
// syncToDisk flushes the copy to disk before it takes its final name.
std::optional<QString> CopyAFile(const QString &source, const QString &destination, bool overwrite,
    const ProgressCallback &progress = {}, bool syncToDisk = false);

// One rename within a file system; across file systems a complete, flushed copy and only
// then the source is deleted. With overwrite false an existing target is never replaced;
// with overwrite true it gives way only to the complete file, so a move that fails keeps it.
// Empty on success.
QString MoveAFile(const QString &source, const QString &destination, const ProgressCallback &progress = {},
    bool overwrite = false);

QString AddBackslash(const QString &path);
QString StripLeadingBackslash(const QString &path);
QString JoinPath(const QString &first, const QString &second);

// The names of the plain files of a folder: regular files (a link to one counts), no hidden
// names (leading "."), no folders, in the order the file system lists them.
// Throws FsError when the folder cannot be listed.
QStringList ListPlainFiles(const QString &folder);

// The size of a file in bytes; throws FsError when it cannot be read.
qint64 FileSize(const QString &path);

// True when both paths name the very same existing file (same device and inode).
bool IsSameFile(const QString &a, const QString &b);

// True when both existing paths lie on the same file system (same device id).
bool IsSameFileSystem(const QString &a, const QString &b);

} // namespace modFSO
