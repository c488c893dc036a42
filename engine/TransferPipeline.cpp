#include "engine/TransferPipeline.h"

#include "fs/TransferFolders.h"

#include <cerrno>
#include <chrono>
#include <limits>

using modFSO::Placement;

namespace
{

// How many files the window's thread lets the workers finish before it wakes up to log them.
constexpr int LogBatch = 16;
constexpr int NobodyWaits = std::numeric_limits<int>::max();

} // namespace

TransferPipeline::TransferPipeline(
    const modFSO::TransferFolders &folders, Plan plan, const QList<QByteArray> &names)
    : m_folders(folders)
    , m_plan(plan)
    , m_slots(std::make_unique<Slot[]>(names.size()))
    , m_count(int(names.size()))
{
    m_wakeAt.store(NobodyWaits);
    for (int i = 0; i < m_count; ++i)
        m_slots[i].name = names.at(i);
    // A rename has nothing to prepare: a second worker would only wait for the first one's turn.
    const int workers = plan.move && plan.renames ? 1 : WorkerCount;
    m_workers.reserve(workers);
    for (int n = 0; n < workers; ++n)
        m_workers.emplace_back([this] { work(); });
}

TransferPipeline::~TransferPipeline()
{
    stop();
}

void TransferPipeline::release(int end)
{
    end = std::min(end, m_count);
    int released = m_released.load();
    while (end > released) {
        if (m_released.compare_exchange_weak(released, end)) {
            m_released.notify_all();
            return;
        }
    }
}

void TransferPipeline::setFits(int index, bool fits)
{
    m_slots[index].fits = fits;
}

bool TransferPipeline::waitFor(int index, int timeoutMs)
{
    if (m_slots[index].ready.load())
        return true;
    // Sleeping until a few more files are there spares a wake-up for every one of them.
    const int target = std::max(index, std::min(index + LogBatch, m_released.load() - 1));
    std::unique_lock lock(m_sleepMutex);
    m_wakeAt.store(target);
    m_wakeUp.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [&] { return m_slots[target].ready.load(); });
    m_wakeAt.store(NobodyWaits);
    return m_slots[index].ready.load();
}

FileOutcome TransferPipeline::outcome(int index) const
{
    if (!m_slots[index].ready.load())
        return {};
    return m_slots[index].outcome;
}

void TransferPipeline::stop()
{
    m_turn.store(Stopped);
    m_turn.notify_all();
    // Wakes the workers that wait for more files; they see the stop and end.
    m_released.fetch_add(1);
    m_released.notify_all();
    for (std::thread &worker : m_workers) {
        if (worker.joinable())
            worker.join();
    }
}

void TransferPipeline::work()
{
    for (int index = take(); index >= 0; index = take())
        publish(index, handle(index));
}

// The next file that was handed out, or -1 when the run stopped or no file is left.
int TransferPipeline::take()
{
    for (;;) {
        if (m_turn.load() == Stopped)
            return -1;
        int next = m_nextToTake.load();
        if (next >= m_count)
            return -1;
        const int released = m_released.load();
        if (next < released) {
            if (m_nextToTake.compare_exchange_weak(next, next + 1))
                return next;
            continue;
        }
        m_released.wait(released);
    }
}

void TransferPipeline::publish(int index, FileOutcome outcome)
{
    m_slots[index].outcome = std::move(outcome);
    m_slots[index].ready.store(true);
    if (index >= m_wakeAt.load()) {
        const std::lock_guard lock(m_sleepMutex);
        m_wakeUp.notify_one();
    }
}
// The decisions of one file, as the run has always made them: a name the destination has
// stays unless Overwrite is ticked (and never gives way to itself); a new file is copied,
// or moved without replacing anything that took the name meanwhile.
FileOutcome TransferPipeline::handle(int index)
{
    const QByteArray &name = m_slots[index].name;
    FileOutcome::Result result = FileOutcome::Result::Done;
    Placement placement = Placement::NoReplace;
    bool transfer = true;
    // A rename that must not replace finds out by itself, in the same step, whether the name
    // is taken: a look before it would only cost time.
    const bool renameDecides = m_plan.move && m_plan.renames && !m_plan.overwrite && !m_slots[index].fits;
    if (!renameDecides && m_folders.destinationHas(name)) {
        transfer = m_plan.overwrite && !m_folders.sameFile(name, name);
        result = transfer ? FileOutcome::Result::Replaced : FileOutcome::Result::KeptExisting;
        placement = Placement::Replace;
    } else if (m_slots[index].fits == false) {
        transfer = false;
        result = FileOutcome::Result::NoSpace;
    } else if (!m_plan.move && m_plan.overwrite) {
        placement = Placement::Replace;
    }

    modFSO::PendingTransfer pending;
    if (transfer)
        pending = m_plan.move ? m_folders.prepareMove(name, name, placement)
                              : m_folders.prepareCopy(name, name, placement);
    if (!awaitTurn(index))
        return {};
    const std::optional<modFSO::FsError> error = transfer ? m_folders.commit(pending) : std::nullopt;
    endTurn(index);
    if (error && renameDecides && error->code == EEXIST)
        return {FileOutcome::Result::KeptExisting, std::nullopt};
    if (error)
        return {FileOutcome::Result::Failed, error};
    return {result, std::nullopt};
}

bool TransferPipeline::awaitTurn(int index)
{
    for (;;) {
        const int turn = m_turn.load();
        if (turn == index || turn == Stopped)
            return turn == index;
        m_turn.wait(turn);
    }
}

void TransferPipeline::endTurn(int index)
{
    // A stop in the meantime stays.
    int expected = index;
    if (m_turn.compare_exchange_strong(expected, index + 1))
        m_turn.notify_all();
}
