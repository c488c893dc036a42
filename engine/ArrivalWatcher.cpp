#include "engine/ArrivalWatcher.h"

#include "fs/FileSystemKind.h"
#include "fs/TransferFolders.h"

#include <QFile>
#include <QHash>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <thread>
#include <unistd.h>

namespace
{

// A file written and closed, moved in, or given a name (linked in whole, or a link to one).
constexpr quint32 ArrivalEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE;
// The folder itself went away: the notifications end with it.
constexpr quint32 FolderGone = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

} // namespace

// What a look's thread shares with the watcher: whom to tell, nobody once the watcher went.
struct ArrivalWatcher::LookerLink {
    std::mutex mutex;
    ArrivalWatcher *watcher = nullptr;
};

ArrivalWatcher::ArrivalWatcher(QObject *parent)
    : QObject(parent)
    , m_link(std::make_shared<LookerLink>())
{
    m_link->watcher = this;
    m_quiet.setSingleShot(true);
    m_pendingLook.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &ArrivalWatcher::arrived);
    connect(&m_looks, &QTimer::timeout, this, &ArrivalWatcher::lookInBackground);
    connect(&m_pendingLook, &QTimer::timeout, this, &ArrivalWatcher::lookAgainForPending);
}

ArrivalWatcher::~ArrivalWatcher()
{
    stop();
    const std::lock_guard lock(m_link->mutex);
    m_link->watcher = nullptr;
}

// Where the writers may be elsewhere or underneath, the kernel has no news of them.
ArrivalWatcher::Mode ArrivalWatcher::ModeFor(qint64 fileSystemType)
{
    const bool shared = modFSO::fileSystemKindOfType(fileSystemType) == modFSO::FileSystemKind::Shared;
    return shared ? Mode::Polled : Mode::Notified;
}

void ArrivalWatcher::watch(const QString &folder)
{
    stop();
    struct statfs fileSystem {
    };
    const bool known = ::statfs(QFile::encodeName(folder).constData(), &fileSystem) == 0;
    // A folder that cannot be asked may come back later: looks find it then.
    if (known && ModeFor(fileSystem.f_type) == Mode::Notified && startNotifications(folder))
        return;
    watchByLooking(folder);
}

void ArrivalWatcher::watchByLooking(const QString &folder)
{
    stop();
    m_folder = folder;
    startLooking();
}

void ArrivalWatcher::stop()
{
    // Also from its own signal: it goes once the signal is done.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    m_notifications.reset();
    m_quiet.stop();
    m_looks.stop();
    m_pendingLook.stop();
    // A look under way is never waited for (a share that stopped answering would hold the
    // window): its answer comes for an earlier generation and is dropped.
    m_looking = false;
    ++m_generation;
    m_haveSnapshot = false;
    m_snapshot = {};
    m_rebase = false;
    m_changing = false;
    m_runForPending = false;
    m_arrivedSinceLook = false;
    m_mode = Mode::Off;
}

// Without a watch to spare (the user's limit reached), the folder is looked at instead.
bool ArrivalWatcher::startNotifications(const QString &folder)
{
    modFSO::FileDescriptor notifications(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!notifications.valid()
        || ::inotify_add_watch(notifications.get(), QFile::encodeName(folder).constData(),
               ArrivalEvents | IN_ONLYDIR | IN_DELETE_SELF | IN_MOVE_SELF)
            < 0)
        return false;
    m_folder = folder;
    m_notifications = std::move(notifications);
    m_notifier = new QSocketNotifier(m_notifications.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ArrivalWatcher::readNotifications);
    m_mode = Mode::Notified;
    return true;
}

void ArrivalWatcher::readNotifications()
{
    alignas(struct inotify_event) char buffer[16384];
    bool arrival = false;
    bool gone = false;
    for (;;) {
        const ssize_t got = ::read(m_notifications.get(), buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const struct inotify_event *>(buffer + at);
            at += ssize_t(sizeof(struct inotify_event)) + event->len;
            if (event->mask & FolderGone)
                gone = true;
            // Events that overflowed the queue may have been arrivals.
            else if ((event->mask & IN_Q_OVERFLOW) || (event->len > 0 && counts(event->mask, event->name)))
                arrival = true;
        }
    }
    if (arrival)
        noteArrival();
    if (gone) {
        // The folder may come back (a stick plugged in again): looks find it then.
        const QString folder = m_folder;
        watchByLooking(folder);
    }
}

// Only what a run takes: plain files that are not hidden. A name made by a create is an
// arrival only when it comes whole (a link); a file created empty tells its close later.
bool ArrivalWatcher::counts(quint32 mask, const char *name) const
{
    if ((mask & IN_ISDIR) || name[0] == '.')
        return false;
    if (mask & IN_CLOSE_WRITE)
        return true;
    struct stat file {
    };
    const QByteArray path = QFile::encodeName(m_folder) + '/' + name;
    if (::stat(path.constData(), &file) != 0 || !S_ISREG(file.st_mode))
        return false;
    return (mask & IN_MOVED_TO) || file.st_size > 0;
}

void ArrivalWatcher::noteArrival()
{
    m_arrivedSinceLook = true;
    if (!m_quiet.isActive())
        m_firstArrival.start();
    const qint64 left = m_timing.longestWaitMs - m_firstArrival.elapsed();
    m_quiet.start(int(std::clamp<qint64>(left, 0, m_timing.quietMs)));
}

void ArrivalWatcher::startLooking()
{
    m_mode = Mode::Polled;
    m_looks.start(m_timing.lookMs);
    // The first look is what later ones compare with: what is there already did not arrive.
    lookInBackground();
}

void ArrivalWatcher::lookInBackground()
{
    if (m_looking)
        return;
    m_looking = true;
    std::thread([link = m_link, folder = m_folder, generation = m_generation] {
        Snapshot snapshot = Look(folder);
        const std::lock_guard lock(link->mutex);
        if (ArrivalWatcher *watcher = link->watcher) {
            QMetaObject::invokeMethod(
                watcher,
                [watcher, generation, snapshot = std::move(snapshot)]() mutable {
                    watcher->looked(generation, std::move(snapshot));
                },
                Qt::QueuedConnection);
        }
    }).detach();
}

// Files count as arrived once a look finds the folder as the one before found it, or once it
// has been changing for longestWaitMs (a file that grows for hours must not hold back others).
void ArrivalWatcher::looked(int generation, Snapshot snapshot)
{
    if (generation != m_generation)
        return;
    m_looking = false;
    const bool arrival = m_haveSnapshot && !m_rebase && Arrived(m_snapshot, snapshot);
    m_snapshot = std::move(snapshot);
    m_haveSnapshot = true;
    m_rebase = false;
    if (arrival) {
        m_arrivedSinceLook = true;
        if (!m_changing)
            m_changingSince.start();
        m_changing = true;
        if (m_changingSince.elapsed() < qMax(m_timing.longestWaitMs, 4 * m_timing.lookMs))
            return;
    }
    if (m_changing) {
        m_changing = false;
        emit arrived();
    }
}

void ArrivalWatcher::runStarted()
{
    m_quiet.stop();
    m_pendingLook.stop();
    m_changing = false;
    // What the run takes (and a move takes away) must not count as arriving afterwards.
    if (m_mode == Mode::Polled) {
        m_rebase = true;
        lookInBackground();
    }
}

void ArrivalWatcher::runEnded(int pendingFiles, int settleSeconds)
{
    const bool ranForPending = m_runForPending;
    m_runForPending = false;
    if (m_mode == Mode::Off || pendingFiles <= 0)
        return;
    // Still unready after a look for them, and nothing came since: the writer holds them open
    // without writing. Its close tells (or a later look finds them changed).
    if (ranForPending && !m_arrivedSinceLook)
        return;
    m_arrivedSinceLook = false;
    m_pendingLook.start(settleSeconds * 1000 + m_timing.quietMs);
}

void ArrivalWatcher::lookAgainForPending()
{
    // While the looks find the folder changing, they tell when it is quiet.
    if (m_changing)
        return;
    m_runForPending = true;
    emit arrived();
}

// The names the run would take, as its listing finds them, each with its size and time.
ArrivalWatcher::Snapshot ArrivalWatcher::Look(const QString &folder)
{
    Snapshot snapshot;
    const modFSO::FileDescriptor fd(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return snapshot;
    const modFSO::NameList names = modFSO::detail::listPlainFiles(fd.get()).value;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QByteArray name = names.at(i);
        struct stat file {
        };
        if (::fstatat(fd.get(), name.constData(), &file, 0) != 0 || !S_ISREG(file.st_mode))
            continue;
        snapshot.push_back(qHashMulti(0, QByteArrayView(name), qint64(file.st_size),
            qint64(file.st_mtim.tv_sec), qint64(file.st_mtim.tv_nsec)));
    }
    std::sort(snapshot.begin(), snapshot.end());
    return snapshot;
}

bool ArrivalWatcher::Arrived(const Snapshot &before, const Snapshot &now)
{
    return !std::includes(before.begin(), before.end(), now.begin(), now.end());
}
