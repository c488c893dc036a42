#pragma once

#include <QByteArray>
#include <QString>
#include <dirent.h>

// Paths, names and folders as the file operations share them.
namespace modFSO::detail
{

// A path as the system takes it, and a name from the system as text. Bytes of a name that are
// not UTF-8 travel as the lone surrogates U+DC80 to U+DCFF, so that nativePath(decodedPath(b))
// gives back b for any name b.
QByteArray nativePath(const QString &path);
QString decodedPath(const QByteArray &path);

// The folder part of a path ("." when there is none); the name part follows its last "/".
QByteArray folderOf(const QByteArray &path);
QByteArray nameOf(const QByteArray &path);

// The path of an open file or folder as the kernel names it, links resolved; empty when it
// cannot be told.
QByteArray kernelPath(int fd);

// A field of /proc/self/mountinfo, whose blanks and backslashes come as octal escapes.
QByteArray unescapeOctal(const QByteArray &field);

// The entries of an open folder, in a listing of its own, so that threads and earlier listings
// never share its position.
class FolderReader
{
public:
    explicit FolderReader(int folder);
    ~FolderReader();
    FolderReader(const FolderReader &) = delete;
    FolderReader &operator=(const FolderReader &) = delete;

    DIR *get() const { return m_dir; }
    // The next entry; nullptr at the end (errno 0) or when reading fails (errno says why).
    const struct dirent *next() const;

private:
    DIR *m_dir;
};

} // namespace modFSO::detail
