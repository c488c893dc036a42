#pragma once

#include "common/StopProcess.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

// Mounts that a test sets up for itself: a small tmpfs to fill a disk, bind mounts to make a
// folder read-only, and the file systems of sticks and shares through FUSE (FAT, exFAT, bindfs,
// sshfs to a server of the test's own, rclone). mounted() tells whether it worked, so that a
// test without it can skip, and whyNot() says what was missing. Each mount is taken away by its
// destructor, however the test ends.
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

// Runs a program to its end without letting it talk into the test's output; true when it
// succeeded.
inline bool quietly(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool done = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (output)
        *output = process.readAll();
    return done;
}

// Whether something else than the folder's own file system is mounted on it.
inline bool isMountPoint(const QString &folder)
{
    struct stat at;
    struct stat above;
    return ::stat(QFile::encodeName(folder).constData(), &at) == 0
        && ::stat(QFile::encodeName(folder + "/..").constData(), &above) == 0 && at.st_dev != above.st_dev;
}

inline bool waitForMountPoint(const QString &folder, bool mountedWanted, int timeoutMs = 20000)
{
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (isMountPoint(folder) == mountedWanted)
            return true;
        QThread::msleep(20);
    }
    return false;
}

// A file system in user space (FUSE) on a fresh folder of its own: the stick or the share of a
// test. The subclasses say how it is mounted; remount() takes it away and mounts it again, as
// a stick that is pulled and plugged in (its device and inode numbers change).
class FuseMount
{
public:
    enum class Kind { Fat, Exfat, Bindfs, Sshfs, Rclone };

    virtual ~FuseMount() = default;
    FuseMount(const FuseMount &) = delete;
    FuseMount &operator=(const FuseMount &) = delete;

    bool mounted() const { return m_mounted; }
    // What was missing when mounted() is false.
    QString whyNot() const { return m_whyNot; }
    // The folder to copy into: the root of the file system.
    QString path() const { return m_folder.path(); }
    virtual Kind kind() const = 0;
    // FAT and exFAT take "report.txt" for "Report.txt".
    bool caseInsensitive() const { return kind() == Kind::Fat || kind() == Kind::Exfat; }

    bool remount()
    {
        unmount();
        m_mounted = mountNow() && waitForMountPoint(path(), true);
        return m_mounted;
    }

    static QString name(Kind kind)
    {
        static const char *const names[] = {"fusefat", "exfat-fuse", "bindfs", "sshfs", "rclone"};
        return QString::fromLatin1(names[int(kind)]);
    }

protected:
    FuseMount() = default;

    // Called by the subclass's constructor once everything it needs is there.
    void start(const QStringList &programs)
    {
        if (!QFile::exists("/dev/fuse")) {
            m_whyNot = "needs /dev/fuse (FUSE)";
            return;
        }
        for (const QString &program : programs) {
            if (QStandardPaths::findExecutable(program).isEmpty()
                && QStandardPaths::findExecutable(program, {"/usr/sbin", "/sbin"}).isEmpty()) {
                m_whyNot = "needs " + program + " (scripts/setup.sh installs it)";
                return;
            }
        }
        if (!m_folder.isValid() || !m_work.isValid()) {
            m_whyNot = "cannot make a temporary folder";
            return;
        }
        m_mounted = mountNow() && waitForMountPoint(path(), true);
        if (!m_mounted && m_whyNot.isEmpty())
            m_whyNot = "could not mount " + name(kind()) + ": " + QString::fromLocal8Bit(m_said);
    }

    // Ends the mount; every subclass's destructor calls it, before its own members go.
    void unmount()
    {
        if (isMountPoint(path())) {
            if (!quietly("fusermount3", {"-u", "-z", path()}) && !quietly("fusermount", {"-u", "-z", path()}))
                quietly("umount", {"-l", path()});
            waitForMountPoint(path(), false, 5000);
        }
        afterUnmount();
        m_mounted = false;
    }

    virtual bool mountNow() = 0;
    virtual void afterUnmount() { }

    // Runs a program to its end, keeping what it said for whyNot().
    bool run(const QString &program, const QStringList &arguments)
    {
        return quietly(program, arguments, &m_said);
    }
    QString work(const QString &name) const { return m_work.filePath(name); }

    QTemporaryDir m_folder;
    QTemporaryDir m_work;
    bool m_mounted = false;
    QString m_whyNot;
    QByteArray m_said;
};

// A FAT image through fusefat (dosfstools makes it): no unnamed files, no links, no rename
// that refuses to replace, no owners, modes or extended attributes.
class FatMount : public FuseMount
{
public:
    explicit FatMount(const QString &size = "64M")
    {
        if (run("truncate", {"-s", size, work("fat.img")}))
            run("mkfs.vfat", {work("fat.img")});
        start({"mkfs.vfat", "fusefat"});
    }
    ~FatMount() override { unmount(); }
    Kind kind() const override { return Kind::Fat; }

private:
    bool mountNow() override { return run("fusefat", {"-o", "rw+", work("fat.img"), path()}); }
};

// An exFAT image (exfatprogs) through exfat-fuse. As root, exfat-fuse wants a block device,
// so the image goes through a loop device.
class ExfatMount : public FuseMount
{
public:
    explicit ExfatMount(const QString &size = "64M")
    {
        if (run("truncate", {"-s", size, work("exfat.img")}))
            run("mkfs.exfat", {work("exfat.img")});
        start({"mkfs.exfat", "mount.exfat-fuse"});
    }
    ~ExfatMount() override { unmount(); }
    Kind kind() const override { return Kind::Exfat; }

private:
    bool mountNow() override
    {
        QString device = work("exfat.img");
        if (::geteuid() == 0) {
            QByteArray loop;
            if (!quietly("losetup", {"-f", "--show", work("exfat.img")}, &loop)) {
                m_whyNot = "needs a loop device for exfat-fuse as root";
                return false;
            }
            m_loop = device = QString::fromLocal8Bit(loop.trimmed());
        }
        return run("mount.exfat-fuse", {device, path()});
    }
    void afterUnmount() override
    {
        if (!m_loop.isEmpty())
            quietly("losetup", {"-d", m_loop});
        m_loop.clear();
    }

    QString m_loop;
};

// A folder of the test's own shown again through bindfs: links, modes, owners and extended
// attributes pass through, but no rename that refuses to replace.
class BindfsMount : public FuseMount
{
public:
    BindfsMount()
    {
        QDir().mkpath(work("under"));
        start({"bindfs"});
    }
    ~BindfsMount() override { unmount(); }
    Kind kind() const override { return Kind::Bindfs; }
    QString under() const { return work("under"); }

private:
    bool mountNow() override { return run("bindfs", {work("under"), path()}); }
};

// A process of the test's own that serves a mount and is ended with it.
class ServedMount : public FuseMount
{
protected:
    void afterUnmount() override { TestProcesses::stop(m_server); }

    // A free TCP port on the loopback interface.
    static int freePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int port = 0;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        if (fd >= 0)
            ::close(fd);
        return port;
    }

    QProcess m_server;
};

// sshfs to an sshd that the test starts on a free port of the loopback interface, with a host
// key and a key of the client made for it; the share is a folder of the test's own. Needs
// root (sshd only lets another user in as root) or sshd that accepts the test's own user.
class SshfsMount : public ServedMount
{
public:
    SshfsMount()
    {
        QDir().mkpath(work("under"));
        start({"sshd", "ssh-keygen", "sshfs"});
    }
    ~SshfsMount() override { unmount(); }
    Kind kind() const override { return Kind::Sshfs; }
    QString under() const { return work("under"); }

private:
    bool mountNow() override
    {
        if (!QFile::exists(work("host")) && !makeKeys())
            return false;
        const int port = freePort();
        const QString sshd = QStandardPaths::findExecutable("sshd", {"/usr/sbin", "/sbin"});
        QDir().mkpath("/run/sshd");
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start(sshd, {"-D", "-e", "-f", work("sshd_config"), "-p", QString::number(port)});
        if (!m_server.waitForStarted() || !waitForPort(port)) {
            m_said = m_server.readAll();
            return false;
        }
        const passwd *user = ::getpwuid(::geteuid());
        const QString options = "IdentityFile=" + work("client")
            + ",StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,BatchMode=yes";
        return run("sshfs",
            {"-p", QString::number(port), "-o", options,
                QString::fromLocal8Bit(user ? user->pw_name : "root") + "@127.0.0.1:" + under(), path()});
    }

    bool makeKeys()
    {
        if (!run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", work("host")})
            || !run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", work("client")})
            || !QFile::copy(work("client.pub"), work("authorized_keys")))
            return false;
        QFile config(work("sshd_config"));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(("HostKey " + work("host") + "\nAuthorizedKeysFile " + work("authorized_keys")
            + "\nListenAddress 127.0.0.1\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
              "PermitRootLogin prohibit-password\nStrictModes no\nUsePAM no\nPidFile none\n"
              "Subsystem sftp internal-sftp\n")
                         .toLocal8Bit());
        return true;
    }

    // Whether the server listens, looked at until it does or has ended.
    bool waitForPort(int port)
    {
        for (int waited = 0; waited < 10000 && m_server.state() == QProcess::Running; waited += 20) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(quint16(port));
            const bool listening = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
            ::close(fd);
            if (listening)
                return true;
            QThread::msleep(20);
        }
        return false;
    }
};

// rclone mount of a local folder of the test's own, as a desktop user mounts a cloud share:
// cacheMode is rclone's --vfs-cache-mode ("off", its default, or "writes"...). No links, no
// extended attributes, no unnamed files; with "off" a file being written cannot be opened
// again until it is closed.
class RcloneMount : public ServedMount
{
public:
    explicit RcloneMount(const QString &cacheMode = "off")
        : m_cacheMode(cacheMode)
    {
        QDir().mkpath(work("under"));
        QDir().mkpath(work("cache"));
        start({"rclone"});
    }
    ~RcloneMount() override { unmount(); }
    Kind kind() const override { return Kind::Rclone; }
    QString under() const { return work("under"); }

private:
    bool mountNow() override
    {
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start("rclone",
            {"mount", "--config", "/dev/null", "--cache-dir", work("cache"), "--vfs-cache-mode", m_cacheMode,
                ":local:" + under(), path()});
        if (m_server.waitForStarted() && waitForMountPoint(path(), true))
            return true;
        m_said = m_server.readAll();
        return false;
    }

    QString m_cacheMode;
};

// A mount of the kind, for tests that go over all of them.
inline std::unique_ptr<FuseMount> mountOf(FuseMount::Kind kind)
{
    switch (kind) {
    case FuseMount::Kind::Fat:
        return std::make_unique<FatMount>();
    case FuseMount::Kind::Exfat:
        return std::make_unique<ExfatMount>();
    case FuseMount::Kind::Bindfs:
        return std::make_unique<BindfsMount>();
    case FuseMount::Kind::Sshfs:
        return std::make_unique<SshfsMount>();
    case FuseMount::Kind::Rclone:
        return std::make_unique<RcloneMount>();
    }
    return nullptr;
}

inline const FuseMount::Kind AllFuseKinds[] = {FuseMount::Kind::Fat, FuseMount::Kind::Exfat,
    FuseMount::Kind::Bindfs, FuseMount::Kind::Sshfs, FuseMount::Kind::Rclone};

} // namespace TestMounts

#define TESTMOUNTS_REQUIRE(mount)                                                                            \
    if (!(mount).mounted())                                                                                  \
    GTEST_SKIP() << "needs root to mount a file system of its own (the suite does so when it runs as root)"

#define TESTMOUNTS_REQUIRE_FUSE(mount)                                                                       \
    if (!(mount).mounted())                                                                                  \
    GTEST_SKIP() << TestMounts::FuseMount::name((mount).kind()).toStdString() << ": "                        \
                 << (mount).whyNot().toStdString()
