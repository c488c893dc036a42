#pragma once

#include "fs/FsError.h"

#include <QByteArray>
#include <QList>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace modFSO
{
class TransferFolders;
}

// What became of one file of a run.
struct FileOutcome {
    enum class Result {
        Done, // copied or moved under a new name
        Replaced, // the existing file of that name gave way to it
        KeptExisting, // a file of that name exists and stays
        NoSpace, // the free-space check turned it away
        Failed, // error says why
        Stopped, // the run was stopped before its turn: nothing happened to it
    };

    Result result = Result::Stopped;
    std::optional<modFSO::FsError> error;
};

// The files of one run, handled by worker threads so that the window's thread stays free for
// the log and the user. Each file is decided and prepared (its data copied into a file that
// has no name yet) as soon as a worker takes it, but it takes its name, and a move's source
// goes, strictly in list order. A stop therefore cuts the list cleanly: every file before the
// cut was handled, and nothing of any file after it appears.
//
// The threads meet through atomics and sleep only when there is nothing to do: a round trip
// through the kernel for every small file would cost more than copying it.
class TransferPipeline
{
public:
    struct Plan {
        bool move = false;
        bool overwrite = false;
        // Source and destination lie on one file system: a move is a rename.
        bool renames = false;
    };

    TransferPipeline(const modFSO::TransferFolders &folders, Plan plan, const QList<QByteArray> &names);
    // Stops, and waits until no worker touches a file any more.
    ~TransferPipeline();
    TransferPipeline(const TransferPipeline &) = delete;
    TransferPipeline &operator=(const TransferPipeline &) = delete;

    // Hands the files before index end to the workers. A new file the destination does not
    // have is copied or moved only if fits says so; without fits there is no check.
    void release(int end);
    void setFits(int index, bool fits);
    int released() const { return m_released.load(); }

    // Waits at most timeoutMs for the outcome of a handed-out file; true when it is there.
    bool waitFor(int index, int timeoutMs);
    // The outcome of a file whose wait said it is there, or of any file after stop().
    FileOutcome outcome(int index) const;

    // No file that has not taken its name yet takes it now; waits until the workers rest.
    void stop();

    static constexpr int WorkerCount = 2;

private:
    struct Slot {
        QByteArray name;
        std::optional<bool> fits;
        FileOutcome outcome;
        std::atomic<bool> ready {false};
    };

    void work();
    int take();
    FileOutcome handle(int index);
    bool awaitTurn(int index);
    void endTurn(int index);
    void publish(int index, FileOutcome outcome);

    static constexpr int Stopped = -1;

    const modFSO::TransferFolders &m_folders;
    const Plan m_plan;
    std::unique_ptr<Slot[]> m_slots;
    const int m_count;

    std::atomic<int> m_released {0};
    std::atomic<int> m_nextToTake {0};
    // The file whose turn it is to take its name; Stopped once the run stops.
    std::atomic<int> m_turn {0};

    // The window's thread sleeps here when it has caught up with the workers; it is woken
    // once the file it waits for, or a later one, is there.
    std::mutex m_sleepMutex;
    std::condition_variable m_wakeUp;
    std::atomic<int> m_wakeAt {-1};

    std::vector<std::thread> m_workers;
};
