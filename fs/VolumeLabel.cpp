#include "fs/VolumeLabel.h"

#include "fs/PosixSupport.h"
#include "fs/modFSO.h"

#include <QFile>
#include <QList>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace modFSO::detail
{

namespace
{

// mountinfo writes blanks and a few other characters of a path as \ooo.
QList<dev_t> candidateDevices(dev_t device)
{
    QList<dev_t> devices {device};
    const QByteArray source = mountSourceOf(device);
    struct stat st;
    if (source.startsWith('/') && ::stat(source.constData(), &st) == 0 && S_ISBLK(st.st_mode))
        devices.append(st.st_rdev);
    return devices;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

// /proc files report no size, so they are read whole rather than line by line.
QByteArray mountSourceOf(dev_t device)
{
    QFile mountInfo(QStringLiteral("/proc/self/mountinfo"));
    if (!mountInfo.open(QIODevice::ReadOnly))
        return {};
    const QByteArray wanted = QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
    const QList<QByteArray> lines = mountInfo.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() > 2 && fields.at(2) == wanted && dash > 0 && dash + 2 < fields.size())
            return unescapeOctal(fields.at(dash + 2));
    }
    return {};
}

QString decodeLabelName(const QByteArray &name)
{
    QByteArray out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name.at(i) == '\\' && i + 3 < name.size() && name.at(i + 1) == 'x') {
            const int high = hexDigit(name.at(i + 2));
            const int low = hexDigit(name.at(i + 3));
            if (high >= 0 && low >= 0) {
                out.append(char(high * 16 + low));
                i += 3;
                continue;
            }
        }
        out.append(name.at(i));
    }
    return QString::fromUtf8(out);
}

QString labelOfDevice(dev_t device, const QByteArray &labelFolder)
{
    DIR *folder = ::opendir(labelFolder.constData());
    if (!folder)
        return {};
    const QList<dev_t> devices = candidateDevices(device);
    QString label;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): a listing of this thread's own, which no other thread reads
    while (const struct dirent *entry = ::readdir(folder)) {
        struct stat st;
        if (entry->d_name[0] == '.' || ::fstatat(::dirfd(folder), entry->d_name, &st, 0) != 0)
            continue;
        if (S_ISBLK(st.st_mode) && devices.contains(st.st_rdev)) {
            label = decodeLabelName(QByteArray(entry->d_name));
            break;
        }
    }
    ::closedir(folder);
    return label;
}

} // namespace modFSO::detail

namespace modFSO
{

FsResult<QString> GetVolumeLabel(const QString &path)
{
    struct stat st;
    if (::stat(detail::nativePath(path).constData(), &st) != 0) {
        FsError error = FsError::fromErrno(FsError::Operation::ReadVolume, errno, path);
        error.description
            = QStringLiteral("A system call returned an error code of ") + QString::number(error.code);
        return {QString(), error};
    }
    return {detail::labelOfDevice(st.st_dev), std::nullopt};
}

} // namespace modFSO
