#include "FsTestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

namespace fstest
{

void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(data), data.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

QStringList allEntries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray patternBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + i / 251) & 0xFF);
    return bytes;
}

QString overlongName()
{
    return QString(300, QLatin1Char('n'));
}

TmpfsMount::TmpfsMount(const QByteArray &size)
{
    if (::geteuid() != 0 || !m_dir.isValid())
        return;
    const QByteArray options = "size=" + size;
    m_mounted
        = ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) == 0;
}

TmpfsMount::~TmpfsMount()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

} // namespace fstest
