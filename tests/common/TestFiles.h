#pragma once

#include "common/Mounts.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

// Small helpers for real files in temporary folders.
namespace TestFiles
{

// Writes the whole file, making its folder when it is missing.
inline bool write(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
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

// A tmpfs of the given size on the folder; only root can mount it.
using SmallTmpfs = TestMounts::TmpfsMount;

} // namespace TestFiles
