#pragma once

#include "common/Mounts.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

// Small helpers for real files in temporary folders.
namespace TestFiles
{

// Writes the whole file, making its folder when it is missing. (The folder is looked at only
// then: the heap checks of the reliability tests see what a look leaves in Qt's caches.)
inline bool write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
    }
    return file.write(content) == content.size();
}

// The whole file; empty when it cannot be read.
inline QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every entry of a folder, hidden ones included, sorted by name.
inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Bytes that differ from file to file and from position to position, so that a copy that is
// cut, shifted or mixed up with another file shows.
inline QByteArray patternBytes(qint64 size, quint32 seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i)
        bytes[i] = static_cast<char>(random.bounded(256));
    return bytes;
}

// A tmpfs of the given size on the folder; only root can mount it.
using SmallTmpfs = TestMounts::TmpfsMount;

} // namespace TestFiles
