#pragma once

#include "engine/TestFiles.h"
#include "engine/TestHost.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <cstring>
#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace Reliability
{

// Bytes that differ from file to file and from position to position, so that a copy that is
// cut, shifted or mixed up with another file shows in its checksum.
inline QByteArray patternBytes(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i)
        bytes[i] = static_cast<char>(random.bounded(256));
    return bytes;
}

inline QByteArray sha256Of(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

inline QByteArray sha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex();
}

// Name -> checksum of every entry of a folder, hidden ones included.
inline QMap<QString, QByteArray> checksums(const QString &folder)
{
    QMap<QString, QByteArray> sums;
    for (const QString &name : TestFiles::entries(folder))
        sums.insert(name, sha256(folder + "/" + name));
    return sums;
}

// Writes a file of patterned bytes and answers its checksum.
inline QByteArray writePattern(const QString &path, qint64 size, quint32 seed)
{
    const QByteArray bytes = patternBytes(size, seed);
    return TestFiles::write(path, bytes) ? sha256Of(bytes) : QByteArray();
}

inline QString errorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace Reliability

#define RELIABILITY_REQUIRE_MOUNT(mount)                                                                     \
    if (!(mount).mounted())                                                                                  \
    GTEST_SKIP() << "needs root to mount a small tmpfs (the suite mounts one when it runs as root)"
