#pragma once

#include "common/Mounts.h"
#include "common/PrintTo.h"
#include "common/TestFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace fstest
{

inline void writeFile(const QString &path, const QByteArray &data)
{
    ASSERT_TRUE(TestFiles::write(path, data)) << path.toStdString();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

using TestFiles::patternBytes;
// Every entry of a folder, hidden ones included: what a leftover check must see.
inline QStringList allEntries(const QString &folder)
{
    return TestFiles::entries(folder);
}

// A name of more than 255 bytes, which no Linux file system accepts.
inline QString overlongName()
{
    return QString(300, QLatin1Char('n'));
}

// A small tmpfs on a fresh folder of its own. Only root may mount; mounted() tells whether it
// worked.
class TmpfsMount
{
public:
    explicit TmpfsMount(const QString &size = "4m")
        : m_mount(m_dir.path(), size)
    {
    }

    bool mounted() const { return m_mount.mounted(); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    TestMounts::TmpfsMount m_mount;
};

} // namespace fstest

#define FSTEST_REQUIRE_TMPFS(mount)                                                                          \
    if (!(mount).mounted())                                                                                  \
    GTEST_SKIP() << "needs a tmpfs of its own: run as root with permission to mount"
