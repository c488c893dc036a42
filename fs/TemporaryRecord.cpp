#include "fs/TemporaryRecord.h"

#include "fs/FileCopy.h"
#include "fs/PosixSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

namespace modFSO::detail
{

namespace
{

struct Entry {
    dev_t folderDevice = 0;
    ino_t folderInode = 0;
    dev_t fileDevice = 0;
    ino_t fileInode = 0;
    QByteArray name;

    QByteArray line() const
    {
        return QByteArray::number(quint64(folderDevice)) + ' ' + QByteArray::number(quint64(folderInode))
            + ' ' + QByteArray::number(quint64(fileDevice)) + ' ' + QByteArray::number(quint64(fileInode))
            + ' ' + name.toHex() + '\n';
    }

    static std::optional<Entry> parse(const QByteArray &line)
    {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.size() != 5)
            return std::nullopt;
        bool ok[4] = {};
        Entry entry;
        entry.folderDevice = dev_t(fields[0].toULongLong(&ok[0]));
        entry.folderInode = ino_t(fields[1].toULongLong(&ok[1]));
        entry.fileDevice = dev_t(fields[2].toULongLong(&ok[2]));
        entry.fileInode = ino_t(fields[3].toULongLong(&ok[3]));
        entry.name = QByteArray::fromHex(fields[4]);
        if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || !isTemporaryName(entry.name))
            return std::nullopt;
        return entry;
    }
};

QByteArray recordFile()
{
    return nativePath(temporaryRecordPath());
}

// Every reader and writer of the record holds this lock, a file beside it: the record itself
// is replaced as a whole when it is cleaned.
FileDescriptor lockRecord(bool create)
{
    const QString path = temporaryRecordPath();
    if (create && !QDir().mkpath(QFileInfo(path).absolutePath()))
        return FileDescriptor();
    const QByteArray lockPath = nativePath(path + QLatin1String(".lock"));
    FileDescriptor lock(::open(lockPath.constData(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600));
    while (lock.valid() && ::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return FileDescriptor();
    }
    return lock;
}

bool sameFolder(const Entry &entry, const struct stat &folder)
{
    return entry.folderDevice == folder.st_dev && entry.folderInode == folder.st_ino;
}

enum class Leftover { Gone, Held };

// Removes the entry's file when it is still the one recorded and nobody holds its lock.
Leftover removeIfUnheld(int folder, const Entry &entry)
{
    FileDescriptor fd(
        ::openat(folder, entry.name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != entry.fileDevice
        || st.st_ino != entry.fileInode)
        return Leftover::Gone;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return Leftover::Held;
    struct stat byName;
    if (::fstatat(folder, entry.name.constData(), &byName, AT_SYMLINK_NOFOLLOW) == 0
        && byName.st_dev == st.st_dev && byName.st_ino == st.st_ino)
        ::unlinkat(folder, entry.name.constData(), 0);
    return Leftover::Gone;
}

// The record without the forgotten lines, replaced in one rename.
void rewriteRecord(const QByteArray &content)
{
    const QByteArray path = recordFile();
    const QByteArray next = path + ".new";
    FileDescriptor out(::open(next.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!out.valid())
        return;
    if (writeAll(out.get(), content) == 0 && ::fsync(out.get()) == 0 && out.close() == 0)
        ::rename(next.constData(), path.constData());
    else
        ::unlink(next.constData());
}

} // namespace

QString temporaryRecordPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QLatin1String("/.local/state");
    return state + QLatin1String("/TessaroLite/temporaries");
}

bool recordTemporary(int folder, const QByteArray &name, const struct stat &file)
{
    struct stat folderStat;
    if (::fstat(folder, &folderStat) != 0)
        return false;
    const FileDescriptor lock = lockRecord(true);
    if (!lock.valid())
        return false;
    const QByteArray path = recordFile();
    FileDescriptor out(::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    const Entry entry {folderStat.st_dev, folderStat.st_ino, file.st_dev, file.st_ino, name};
    return out.valid() && writeAll(out.get(), entry.line()) == 0 && out.close() == 0;
}

void removeRecordedTemporaries(int folder)
{
    struct stat folderStat;
    if (::fstat(folder, &folderStat) != 0)
        return;
    const FileDescriptor lock = lockRecord(false);
    if (!lock.valid())
        return;
    QFile file(temporaryRecordPath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    QByteArray kept;
    bool changed = false;
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        const std::optional<Entry> entry = Entry::parse(line);
        if (entry && (!sameFolder(*entry, folderStat) || removeIfUnheld(folder, *entry) == Leftover::Held))
            kept += line + '\n';
        else
            changed = true;
    }
    if (changed)
        rewriteRecord(kept);
}

} // namespace modFSO::detail
