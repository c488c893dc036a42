#pragma once

#include <QByteArray>
#include <QString>

// Path encoding shared by the file operations.
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

} // namespace modFSO::detail
