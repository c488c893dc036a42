#include "engine/FreshSetting.h"

#include "config/modGlobal.h"

#include <QDateTime>
#include <QFile>
#include <sys/stat.h>

namespace
{

// How long a look at the file stands for when no events ran meanwhile.
constexpr qint64 LookIntervalMs = 16;
// Longer than any file system's timestamp granularity and any lag of its clock.
constexpr qint64 RacyNs = Q_INT64_C(2000000000);

qint64 nanoseconds(const timespec &time)
{
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

FreshSetting::FreshSetting(const Settings::Reading &reading)
    : m_reading(reading)
{
}

QString FreshSetting::value()
{
    if (m_hasValue && m_lookedAt.isValid() && m_lookedAt.elapsed() < LookIntervalMs)
        return m_value;
    m_lookedAt.start();
    const FileState state = stateOf(modGlobal::SettingsFilePath);
    if (m_hasValue && state == m_readState && !mayHaveChangedUnseen(state))
        return m_value;
    m_readAtNs = QDateTime::currentMSecsSinceEpoch() * 1000000;
    m_value = Settings::read(m_reading);
    m_readState = state;
    m_hasValue = true;
    return m_value;
}

FreshSetting::FileState FreshSetting::stateOf(const QString &path)
{
    FileState state;
    state.path = path;
    struct stat info {
    };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return state;
    state.exists = true;
    state.device = info.st_dev;
    state.inode = info.st_ino;
    state.size = info.st_size;
    state.modifiedNs = nanoseconds(info.st_mtim);
    state.changedNs = nanoseconds(info.st_ctim);
    return state;
}

bool FreshSetting::mayHaveChangedUnseen(const FileState &state) const
{
    // A write sets the modification time to the (coarse) current time; a file written more
    // than a tick before the read cannot take a later write without a newer time.
    return state.exists && m_readAtNs - state.modifiedNs < RacyNs;
}
