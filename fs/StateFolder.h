#pragma once

#include "fs/FileDescriptor.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The program's own folder for what it keeps between runs (records, the log file), under the
// user's state folder. Everything in it is opened without following links and only as a regular
// file, so that a link or a FIFO put there cannot make the program write through it, hang or
// read without end.
namespace modFSO::StateFolder
{

// $XDG_STATE_HOME/TessaroLite, or ~/.local/state/TessaroLite; empty when neither is known (no
// absolute XDG_STATE_HOME and no HOME): then nothing is kept.
QString path();

// The folder, made (with the folders on its way) when create is set and it is missing. Invalid
// with errno set when it cannot be opened: ENOENT when it is missing, anything else when it may
// not be used (a link, another user's folder).
FileDescriptor open(bool create);
// The same for another folder of the program's (one the user chose, or a test's).
FileDescriptor open(const QString &folder, bool create);

// A regular file of the user's with no other name, in the folder; flags as for open(2)
// (O_NOFOLLOW, O_NONBLOCK and O_CLOEXEC are added). Invalid, with errno set, for anything else
// (ELOOP for a link, EINVAL for a FIFO, device or folder, EACCES for another user's file or one
// with a second name elsewhere).
FileDescriptor openFile(int folder, const char *name, int flags, mode_t mode = 0600);

// The lock file name in the folder (made when create is set), held until it is closed: every
// reader and writer of a record holds it. Invalid, with errno set, when it cannot be had.
FileDescriptor lock(int folder, const char *name, bool create);

// The whole content of an open regular file, when it holds at most maxBytes.
std::optional<QByteArray> readAll(int fd, qint64 maxBytes);

// Replaces the file name in the folder by content, in one rename; with flush, the content and
// the new name are on disk when it returns. 0 or an errno.
int replaceFile(int folder, const char *name, const QByteArray &content, bool flush = true);

} // namespace modFSO::StateFolder
