#pragma once

#include "engine/FileDecision.h"
#include "fs/FsError.h"
#include "fs/NameList.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace modFSO
{
class TransferFolders;
class PendingTransfer;
} // namespace modFSO

// What became of one file of a run.
struct FileOutcome {
    FileDecision::Result result = FileDecision::Result::Stopped;
    std::optional<modFSO::FsError> error;
    // The file was checked for free space while the setting holds no number: its line says so.
    bool settingUnreadable = false;
};

// The files of one run, handled off the window's thread so that the window stays free for the
// log and the user. One worker takes the files in list order: it decides each one
// (FileDecision), waits for it to be ready where the settle time asks for that, and copies it
// into a file that has no name yet. The prepared files take their names strictly in list order,
// in batches whose data is flushed to disk once before any of them is named (files in memory
// and renames are named one by one, as they come), and only while the window lets names be
// taken: never during one of its event rounds, except for the file whose in-progress line it
// shows. A stop therefore cuts the list where the user saw it: every file before the cut was
// handled, the copies after it are abandoned within a MiB of data, and nothing of them appears.
//
// A second worker takes files only while they are large or slow to prepare (1 MiB or more, or
// half a millisecond or more: large files, slow media, shares), where two copies side by side
// take half the time. It never joins a rename, whose single step has nothing to overlap, nor a
// run with the free-space check, whose answer for a file depends on what the files before it
// took.
class TransferPipeline
{
public:
    using FreeSpaceProbe = std::function<modFSO::FsResult<qint64>(const QString &folder)>;

    struct Options {
        // The free space of the destination folder.
        FreeSpaceProbe freeSpace;
        // The free-space check, and the description of its setting when that holds no number
        // (each new file's line then says so).
        bool checkFreeSpace = false;
        QString checkUnreadable;
        // How long, in all, the run may still wait for files that have not yet been unchanged
        // for the settle time (ms); a file that needs longer is left for the next run. Shared
        // by the run's pipelines, which take from it what they wait.
        std::atomic<qint64> *settleBudgetMs = nullptr;
        // 0: by the rule above; 1 or 2: that many from the first file on.
        int workers = 0;
        // Whether the workers take files only as the window hands them out (release()).
        bool handedOut = false;
    };

    // names: the run's list, which must outlive the pipeline; first: the file to begin with.
    TransferPipeline(const modFSO::TransferFolders &folders, FileDecision::Plan plan,
        const modFSO::NameList &names, int first, Options options);
    // Stops, and waits until no worker touches a file any more.
    ~TransferPipeline();
    TransferPipeline(const TransferPipeline &) = delete;
    TransferPipeline &operator=(const TransferPipeline &) = delete;

    // With Options::handedOut: the files before end may be taken.
    void release(int end);

    bool isReady(int index) const { return m_slots[index].ready.load(std::memory_order_acquire); }
    // Waits at most timeoutMs for the outcome of a file; true when it is there.
    bool waitFor(int index, int timeoutMs);
    // The outcome of a file whose wait said it is there, or of any file after the workers rested.
    FileOutcome outcome(int index) const;

    // Around the window's event rounds: while names are held, no file after lastShown takes
    // its name (-1: none may), unless it is taking it already.
    void holdNames(int lastShown);
    void resumeNames();
    // No file from the cut on takes its name, and the copies in flight after it are abandoned.
    // Made while names are held, the cut is where they were held. Returns the cut.
    int stop();
    // Waits at most timeoutMs until no worker touches a file; true when they all rest.
    bool waitIdle(int timeoutMs);

private:
    struct Slot {
        std::atomic<bool> ready {false};
        FileDecision::Result result = FileDecision::Result::Stopped;
        bool settingUnreadable = false;
    };

    struct Worker {
        std::thread thread;
        bool helper = false;
        int current = -1;
        std::stop_source stop;
    };

    // A file decided and prepared, waiting for its turn to take its name.
    struct Prepared;

    void work(Worker &worker);
    int take(std::unique_lock<std::mutex> &lock, Worker &worker);
    bool mayTake(const Worker &worker) const;
    Prepared prepare(std::unique_lock<std::mutex> &lock, int index, const std::stop_token &stop);
    FileDecision::Facts factsOf(int index, std::optional<FileOutcome> &settingError) const;
    bool waitToSettle(std::unique_lock<std::mutex> &lock, qint64 waitMs, const std::stop_token &stop);
    void deposit(std::unique_lock<std::mutex> &lock, Prepared &&file,
        std::chrono::steady_clock::time_point now, std::chrono::steady_clock::duration took);
    void nameDue(std::unique_lock<std::mutex> &lock, bool evenIfFew);
    int nameBatch(std::unique_lock<std::mutex> &lock);
    int dueEnd(bool evenIfFew) const;
    void countInTurn(bool fromTurn);
    int name(std::unique_lock<std::mutex> &lock, std::vector<Prepared> &batch);
    FileOutcome outcomeOf(const Prepared &file) const;
    void dropAfterCut(std::unique_lock<std::mutex> &lock);
    void publish(int index, FileOutcome outcome);
    int cutNow() const;

    static constexpr int NoLimit = std::numeric_limits<int>::max();

    const modFSO::TransferFolders &m_folders;
    const FileDecision::Plan m_plan;
    const modFSO::NameList &m_names;
    const Options m_options;
    std::unique_ptr<Slot[]> m_slots;
    const int m_count;
    // Names are given in batches where their data must be flushed first, or where moves must be
    // recorded before their copies are named.
    const bool m_batches;

    // Under m_mutex: the next file to take, whose turn it is to take its name, the files
    // prepared and waiting for it, which files may take names, and the stop.
    mutable std::mutex m_mutex;
    // Workers wait here for files to take, for room or for names; the helper also for large or
    // slow files, only those wake it.
    std::condition_variable m_workerWake;
    std::condition_variable m_helperWake;
    std::condition_variable m_idleWake;
    int m_waitingForNames = 0;
    int m_nextToTake = 0;
    int m_released = 0;
    int m_turn = 0;
    int m_namingEnd = -1;
    int m_limit = NoLimit;
    bool m_stopped = false;
    bool m_wide = false;
    bool m_flushing = false;
    std::map<int, Prepared> m_waiting;
    // The batch being named, and its files: kept from batch to batch, so that naming a file
    // costs no allocation. Only the thread that names touches them.
    std::vector<Prepared> m_batch;
    std::vector<modFSO::PendingTransfer *> m_batchFiles;
    std::vector<modFSO::PendingTransfer *> m_batchMoves;
    qint64 m_waitingBytes = 0;
    // The unbroken row of waiting files from the one whose turn it is: its end and its bytes.
    int m_inTurnEnd = 0;
    qint64 m_inTurnBytes = 0;
    std::chrono::steady_clock::time_point m_oldestWaiting;
    int m_busyWorkers = 0;
    // The errors of failed files, by index: few, so they are not kept in every slot.
    std::map<int, modFSO::FsError> m_errors;

    // The window's thread sleeps here when it has caught up with the workers; it is woken
    // once the file it waits for, or a later one, is there.
    std::mutex m_sleepMutex;
    std::condition_variable m_windowWake;
    std::atomic<int> m_wakeAt;

    std::vector<Worker> m_workers;
};
