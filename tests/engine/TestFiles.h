#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <unistd.h>

// Small helpers for real files in temporary folders.
namespace TestFiles
{

inline bool write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

inline QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Mounts a tmpfs of the given size on the folder; only root can. Unmounted by the destructor.
class SmallTmpfs
{
public:
    SmallTmpfs(const QString &folder, const QString &size)
        : m_folder(folder)
    {
        QDir().mkpath(folder);
        if (geteuid() != 0)
            return;
        m_mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", folder}) == 0;
    }
    ~SmallTmpfs()
    {
        if (m_mounted)
            QProcess::execute("umount", {m_folder});
    }
    SmallTmpfs(const SmallTmpfs &) = delete;
    SmallTmpfs &operator=(const SmallTmpfs &) = delete;

    bool mounted() const { return m_mounted; }

private:
    QString m_folder;
    bool m_mounted = false;
};

} // namespace TestFiles
