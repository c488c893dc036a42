#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <sys/mount.h>
#include <unistd.h>

// Mounts that a test sets up for itself: a small tmpfs to fill a disk, and bind mounts to
// make a folder read-only. Only root may mount; mounted() tells whether it worked, so that a
// test without it can skip. Each mount is taken away by its destructor, however the test ends.
namespace TestMounts
{

class Mount
{
public:
    Mount(const Mount &) = delete;
    Mount &operator=(const Mount &) = delete;
    ~Mount()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    }

    bool mounted() const { return m_mounted; }
    QString path() const { return m_path; }

protected:
    explicit Mount(const QString &path)
        : m_path(path)
    {
    }

    QString m_path;
    bool m_mounted = false;
};

// A tmpfs of the given size ("256k", "4m") on the folder, which is made when it is missing.
class TmpfsMount : public Mount
{
public:
    TmpfsMount(const QString &folder, const QString &size)
        : Mount(folder)
    {
        QDir().mkpath(folder);
        if (::geteuid() != 0)
            return;
        const QByteArray options = "size=" + size.toLatin1();
        m_mounted
            = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) == 0;
    }
};

// What is at source (a folder or a file) shown at target as well, which must be of the same
// kind; read-only on request.
class BindMount : public Mount
{
public:
    BindMount(const QString &source, const QString &target, bool readOnly)
        : Mount(target)
    {
        if (::geteuid() != 0)
            return;
        const QByteArray at = QFile::encodeName(target);
        m_mounted
            = ::mount(QFile::encodeName(source).constData(), at.constData(), nullptr, MS_BIND, nullptr) == 0;
        // A bind mount takes its read-only flag only from a second, remounting call.
        if (m_mounted && readOnly
            && ::mount(nullptr, at.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
            ::umount2(at.constData(), MNT_DETACH);
            m_mounted = false;
        }
    }
};

} // namespace TestMounts

#define TESTMOUNTS_REQUIRE(mount)                                                                            \
    if (!(mount).mounted())                                                                                  \
    GTEST_SKIP() << "needs root to mount a file system of its own (the suite does so when it runs as root)"
