#include "fs/Readiness.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <time.h>

namespace modFSO
{

namespace
{

qint64 nanoseconds(const struct timespec &time)
{
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

qint64 nanoseconds(const struct statx_timestamp &time)
{
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

FileLook lookOf(const struct stat &st)
{
    return {st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

int freshLook(int fd, FileLook &look)
{
    struct statx info {
    };
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, STATX_SIZE | STATX_MTIME | STATX_CTIME, &info)
        != 0)
        return errno;
    look = {qint64(info.stx_size), nanoseconds(info.stx_mtime), nanoseconds(info.stx_ctime)};
    return 0;
}

bool Readiness::leaseDecides(const Facts &facts)
{
    return facts.writer == detail::WriterState::Writing
        || (facts.writer == detail::WriterState::None && facts.leaseSeesEveryWriter);
}

Readiness::Verdict Readiness::decide(const Facts &facts)
{
    if (leaseDecides(facts))
        return {facts.writer == detail::WriterState::Writing ? State::InUse : State::Ready, 0};
    if (facts.settleSeconds <= 0)
        return {State::Ready, 0};
    // How long the file's own times say it has been unchanged. Another machine's clock may be
    // far ahead or behind ours: there the age is also measured against the latest change seen
    // on that file system, which that clock had reached, so that it is never overstated.
    const qint64 last = facts.look.lastChangeNs();
    qint64 ageNs = facts.nowNs - last;
    if (!facts.timesFromThisClock)
        ageNs = std::min(ageNs, std::max(facts.newestChangeNs, last) - last);
    const qint64 unchangedMs = std::max(facts.unchangedForMs, std::max<qint64>(ageNs, 0) / 1000000);
    const qint64 settleMs = qint64(facts.settleSeconds) * 1000;
    if (unchangedMs >= settleMs)
        return {State::Ready, 0};
    return {State::Settling, settleMs - unchangedMs};
}

FileLooks::FileLooks()
    : m_clock(SuspendClock::nowMs)
{
}

void FileLooks::setClock(Clock clock)
{
    const std::lock_guard lock(m_mutex);
    m_clock = clock ? std::move(clock) : Clock(SuspendClock::nowMs);
}

qint64 FileLooks::note(const QString &folder, const QByteArray &name, const FileLook &look)
{
    const std::lock_guard lock(m_mutex);
    const qint64 now = m_clock();
    Folder &files = m_folders[folder];
    const auto seen = files.find(name);
    if (seen == files.end()) {
        files.emplace(QByteArray(name.constData(), name.size()), Seen {look, now});
        return 0;
    }
    if (!(seen->second.look == look))
        seen->second = {look, now};
    return now - seen->second.sinceMs;
}

void FileLooks::keepOnly(const QString &folder, const NameList &names)
{
    const std::lock_guard lock(m_mutex);
    const auto seen = m_folders.find(folder);
    if (seen == m_folders.end())
        return;
    Folder kept;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const auto entry = seen->find(names.at(i));
        if (entry != seen->end())
            kept.emplace(entry->first, entry->second);
    }
    if (kept.empty())
        m_folders.erase(seen);
    else
        *seen = std::move(kept);
}

} // namespace modFSO
