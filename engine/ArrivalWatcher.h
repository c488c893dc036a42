#pragma once

#include "fs/FileDescriptor.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

class QSocketNotifier;

// Tells when files arrived in a folder and have gone quiet, so that a run can take them.
//
// On a local file system the kernel tells (inotify): a file written and closed, moved in, or
// linked in whole. Nothing runs while nothing happens. Where the writers may be elsewhere or
// underneath (network shares, FUSE) no such news comes, so the folder is looked at every
// lookMs instead, and files count as arrived once a look finds the folder as the one before.
// Files that only went away (a run moved them) are no arrival.
//
// A run may leave files because they are still being written; the watcher then looks again
// once they may have settled, and gives up when that second run still finds them unready
// while nothing arrived: the writer's close, or a later look, tells when they are done.
class ArrivalWatcher : public QObject
{
    Q_OBJECT

public:
    enum class Mode { Off, Notified, Polled };

    struct Timing {
        // The quiet after the last arrival before files count as arrived, and the longest that
        // a stream of arrivals defers it.
        int quietMs = 1000;
        int longestWaitMs = 30000;
        // Between two looks at a folder that sends no notifications.
        int lookMs = 30000;
    };

    // The plain files of a folder, each as a hash of its name, size and modification time.
    using Snapshot = std::vector<quint64>;

    explicit ArrivalWatcher(QObject *parent = nullptr);
    ~ArrivalWatcher() override;

    // Watches the folder in the mode its file system allows, or looks at it in any case.
    void watch(const QString &folder);
    void watchByLooking(const QString &folder);
    void stop();
    Mode mode() const { return m_mode; }
    void setTiming(const Timing &timing) { m_timing = timing; }

    // A run begins: it takes what arrived before it.
    void runStarted();
    // A run ended, leaving pendingFiles that were still being written.
    void runEnded(int pendingFiles, int settleSeconds);

    // How a folder on a file system of this type (statfs's f_type) is watched.
    static Mode ModeFor(qint64 fileSystemType);
    // Sorted; empty for a folder that cannot be read.
    static Snapshot Look(const QString &folder);
    // Whether now holds a file that before did not hold as it is now: a new or a changed one.
    static bool Arrived(const Snapshot &before, const Snapshot &now);

signals:
    // Files arrived and have gone quiet: a run may take them.
    void arrived();

private:
    bool startNotifications(const QString &folder);
    void readNotifications();
    bool counts(quint32 mask, const char *name) const;
    void noteArrival();
    void startLooking();
    void lookInBackground();
    void looked(int generation, Snapshot snapshot);
    void lookAgainForPending();

    Mode m_mode = Mode::Off;
    QString m_folder;
    Timing m_timing;
    modFSO::FileDescriptor m_notifications;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_quiet;
    QElapsedTimer m_firstArrival;
    QTimer m_looks;
    QTimer m_pendingLook;
    // The looks: one at a time, each on a thread of its own that nobody waits for (a share may
    // take seconds to list, or hang); the generation tells a look of an earlier watch from the
    // current one.
    struct LookerLink;
    std::shared_ptr<LookerLink> m_link;
    bool m_looking = false;
    int m_generation = 0;
    bool m_haveSnapshot = false;
    Snapshot m_snapshot;
    // The next look only notes the folder: it is what a run found there, or close to it.
    bool m_rebase = false;
    // The looks found the folder changing, since this moment.
    bool m_changing = false;
    QElapsedTimer m_changingSince;
    // The run that ends next was begun by a look for files still being written; something
    // arrived since that look was set.
    bool m_runForPending = false;
    bool m_arrivedSinceLook = false;
};
