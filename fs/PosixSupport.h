#pragma once

#include <QByteArray>
#include <QString>

// Small helpers shared by the file operations: path encoding, error descriptions and the
// rename that never replaces an existing name.
namespace modFSO::detail
{

// A path as the system takes it, and a name from the system as text. Bytes of a name that are
// not UTF-8 travel as the lone surrogates U+DC80 to U+DCFF, so that nativePath(decodedPath(b))
// gives back b for any name b.
QByteArray nativePath(const QString &path);
QString decodedPath(const QByteArray &path);

// The readable text of an errno value.
QString describeError(int code);

// "<operation> Error(<code>): <description>", the common head of every error text.
QString errorHead(const QString &operation, int code);

// Renames within one file system but fails with EEXIST instead of replacing a target.
// Returns 0 or the errno of the failure (EXDEV when the two lie on different file systems).
int renameNoReplace(const QByteArray &from, const QByteArray &to);

// The folder part of a path ("." when there is none); the name part follows its last "/".
QByteArray folderOf(const QByteArray &path);
QByteArray nameOf(const QByteArray &path);

} // namespace modFSO::detail
