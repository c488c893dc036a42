#pragma once

#include "engine/FileDecision.h"
#include "engine/WorkerTrial.h"
#include "fs/FsError.h"
#include "fs/NameList.h"

#include <QByteArray>
#include <QList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <time.h>
#include <vector>

namespace modFSO
{
class TransferFolders;
}

// What became of one file of a run.
struct FileOutcome {
    FileDecision::Result result = FileDecision::Result::Stopped;
    std::optional<modFSO::FsError> error;
};

// The files of one run, handled by worker threads so that the window's thread stays free for
// the log and the user. Each file is decided and prepared (its data copied into a file that
// has no name yet) as soon as a worker takes it, but it takes its name, and a move's source
// goes, strictly in list order, and only while the window lets names be taken: never during
// one of its event rounds, except for the file whose in-progress line it shows. A stop
// therefore cuts the list where the user saw it: every file before the cut was handled, the
// copies after it are abandoned within a MiB of data, and nothing of them appears.
//
// A worker whose small file is ready before the files ahead of it have their names does not
// wait for its turn: it leaves the file behind and goes on with the next one, and the worker
// that names the file ahead names the files left behind it, in order. The threads sleep when
// they have nothing to do, and wake each other only when there is enough for a round: a
// wake-up for every small file would cost more than copying it.
class TransferPipeline
{
public:
    using Plan = FileDecision::Plan;

    // names: the run's list, which must outlive the pipeline; first: the file to begin with;
    // workers: how many threads at most. With onDemand, all but the first take files only while
    // more than one pays (see moreWorkersPay and WorkerTrial).
    TransferPipeline(const modFSO::TransferFolders &folders, Plan plan, const modFSO::NameList &names,
        int first, int workers, bool onDemand = false);
    // Stops, and waits until no worker touches a file any more.
    ~TransferPipeline();
    TransferPipeline(const TransferPipeline &) = delete;
    TransferPipeline &operator=(const TransferPipeline &) = delete;

    // Hands the files before index end to the workers. A new file the destination does not
    // have is copied or moved only if fits says so; without fits there is no check.
    void release(int end);
    void setFits(int index, bool fits);
    int released() const { return m_released.load(std::memory_order_relaxed); }

    bool isReady(int index) const { return m_slots[index].ready.load(std::memory_order_acquire); }
    // Waits at most timeoutMs for the outcome of a handed-out file; true when it is there.
    bool waitFor(int index, int timeoutMs);
    // The outcome of a file whose wait said it is there, or of any file after the workers rested.
    FileOutcome outcome(int index) const;

    // Around the window's event rounds: while names are held, no file takes its name but the
    // one shown in progress (-1 for none), which the user saw being handled.
    void holdNames(int shownInProgress);
    void resumeNames();
    // No file from the cut on takes its name, and the copies in flight after it are abandoned.
    // Made while names are held, the cut is where they were held. Returns the cut.
    int stop();
    // Waits at most timeoutMs until no worker touches a file; true when they all rest.
    bool waitIdle(int timeoutMs);

    // Whether more than one worker pays after a file of `bytes` that took `took` to prepare: for
    // large files, whose copies overlap, and on slow media, whose waits do. For quick small
    // files it depends on the machine, and the trial decides.
    static bool moreWorkersPay(qint64 bytes, std::chrono::microseconds took);

private:
    struct Slot {
        std::atomic<bool> ready {false};
        std::optional<bool> fits;
        FileDecision::Result result = FileDecision::Result::Stopped;
    };

    struct Worker {
        std::thread thread;
        int current = -1;
        std::stop_source stop;
        // Takes files only while more than one worker pays.
        bool onDemand = false;
        // The clock of the thread's CPU time, for the trial of a second worker.
        clockid_t cpuClock {};
        bool cpuClockKnown = false;
    };

    // A file decided and prepared, waiting for its turn to take its name.
    struct Prepared {
        int index = -1;
        FileDecision::Facts facts;
        FileDecision::Verdict verdict;
        modFSO::PendingTransfer pending;
    };

    void work(Worker &worker);
    int take(
        std::unique_lock<std::mutex> &lock, Worker &worker, std::stop_token &stop, std::optional<bool> &fits);
    Prepared prepare(int index, std::optional<bool> fits, const std::stop_token &stop) const;
    void place(std::unique_lock<std::mutex> &lock, Prepared file);
    bool mayLeaveBehind(const Prepared &file) const;
    bool awaitTurn(std::unique_lock<std::mutex> &lock, int index);
    void name(std::unique_lock<std::mutex> &lock, Prepared file);
    void nameLeftBehind(std::unique_lock<std::mutex> &lock);
    void dropLeftBehindAfterCut(std::unique_lock<std::mutex> &lock);
    void drop(std::unique_lock<std::mutex> &lock, Prepared file);
    void passTurn(int index);
    void noteHowLong(const Prepared &file, std::chrono::steady_clock::duration took);
    void updateWide();
    void countForTrial();
    void knowCpuClock(Worker &worker);
    void forgetCpuClock(Worker &worker);
    static std::chrono::nanoseconds cpuSpent(const Worker &worker);
    std::chrono::nanoseconds workersCpu() const;
    void publish(int index, FileOutcome outcome);
    int cutNow() const;
    int turn() const { return m_turn; }

    static constexpr int NoLimit = std::numeric_limits<int>::max();

    const modFSO::TransferFolders &m_folders;
    const Plan m_plan;
    const modFSO::NameList &m_names;
    std::unique_ptr<Slot[]> m_slots;
    const int m_count;

    // Under m_mutex: which files are handed out and taken, whose turn it is to take its name
    // (and whether it is taking it now), which files may take names, and the stop.
    mutable std::mutex m_mutex;
    std::condition_variable m_workerWake;
    std::condition_variable m_idleWake;
    std::atomic<int> m_released {0};
    int m_nextToTake = 0;
    int m_turn = 0;
    bool m_naming = false;
    int m_limit = NoLimit;
    bool m_stopped = false;
    int m_waitingWorkers = 0;
    // Whether some workers take files only on demand, whether they take them now, and where
    // they wait while they do not.
    bool m_onDemand = false;
    bool m_wide = false;
    bool m_wideBySize = false;
    std::condition_variable m_onDemandWake;
    // Whether a second worker pays for quick files, tried on windows of named files.
    WorkerTrial m_trial;
    int m_windowFiles = 0;
    std::chrono::steady_clock::time_point m_windowStarted;
    std::chrono::nanoseconds m_windowCpuStarted {};
    std::chrono::nanoseconds m_cpuOfFinished {};
    int m_busyWorkers = 0;
    // Files left behind by the worker that prepared them, by index. While the file whose turn
    // it is waits here, the worker that named the one before it stays to name it.
    std::map<int, Prepared> m_leftBehind;
    qint64 m_leftBehindBytes = 0;
    // The errors of failed files, by index: few, so they are not kept in every slot (a changed
    // file's line needs none).
    std::map<int, modFSO::FsError> m_errors;

    // The window's thread sleeps here when it has caught up with the workers; it is woken
    // once the file it waits for, or a later one, is there.
    std::mutex m_sleepMutex;
    std::condition_variable m_windowWake;
    std::atomic<int> m_wakeAt;

    std::vector<Worker> m_workers;
};
