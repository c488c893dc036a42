#include "engine/TransferPipeline.h"

#include "fs/TransferFolders.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

using FileDecision::Result;
using modFSO::Placement;

namespace
{

// How many files the window's thread lets the workers finish before it wakes up to log them,
// and how many handed-out files wake a resting worker.
constexpr int LogBatch = 32;
constexpr int NobodyWaits = std::numeric_limits<int>::max();
// How long a worker waits for its turn before it sleeps.
constexpr auto TurnSpin = std::chrono::microseconds(20);

void cpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

} // namespace

TransferPipeline::TransferPipeline(
    const modFSO::TransferFolders &folders, Plan plan, const modFSO::NameList &names, int first, int workers)
    : m_folders(folders)
    , m_plan(plan)
    , m_names(names)
    , m_slots(std::make_unique<Slot[]>(names.size()))
    , m_count(int(names.size()))
    , m_released(first)
    , m_nextToTake(first)
    , m_turn(first)
    , m_wakeAt(NobodyWaits)
{
    m_workers = std::vector<Worker>(std::max(1, workers));
    m_busyWorkers = int(m_workers.size());
    for (Worker &worker : m_workers)
        worker.thread = std::thread([this, &worker] { work(worker); });
}

TransferPipeline::~TransferPipeline()
{
    stop();
    for (Worker &worker : m_workers)
        worker.thread.join();
}

void TransferPipeline::release(int end)
{
    end = std::min(end, m_count);
    const std::lock_guard lock(m_mutex);
    if (end <= m_released.load(std::memory_order_relaxed))
        return;
    m_released.store(end, std::memory_order_relaxed);
    // A resting worker is woken for a batch of files, or for the last ones; the window's wait
    // for a file wakes it too.
    if (m_waitingWorkers > 0 && (end - m_nextToTake >= LogBatch || end == m_count))
        m_workerWake.notify_all();
}

void TransferPipeline::setFits(int index, bool fits)
{
    const std::lock_guard lock(m_mutex);
    m_slots[index].fits = fits;
}

bool TransferPipeline::waitFor(int index, int timeoutMs)
{
    if (isReady(index))
        return true;
    {
        const std::lock_guard lock(m_mutex);
        if (m_waitingWorkers > 0 && index >= m_nextToTake)
            m_workerWake.notify_all();
    }
    // Sleeping until a few more files are there spares a wake-up for every one of them.
    const int target = std::max(index, std::min(index + LogBatch, released() - 1));
    std::unique_lock lock(m_sleepMutex);
    m_wakeAt.store(target);
    m_windowWake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return isReady(target); });
    m_wakeAt.store(NobodyWaits);
    return isReady(index);
}

FileOutcome TransferPipeline::outcome(int index) const
{
    if (!isReady(index))
        return {};
    const Slot &slot = m_slots[index];
    FileOutcome outcome {slot.result, std::nullopt};
    if (slot.result == Result::Failed) {
        const std::lock_guard lock(m_mutex);
        if (const auto error = m_errors.find(index); error != m_errors.end())
            outcome.error = error->second;
    }
    return outcome;
}

void TransferPipeline::holdNames(int shownInProgress)
{
    const std::lock_guard lock(m_mutex);
    if (!m_stopped)
        m_limit = std::max(turn() + (m_naming ? 1 : 0), shownInProgress + 1);
}

void TransferPipeline::resumeNames()
{
    const std::lock_guard lock(m_mutex);
    if (m_stopped || m_limit == NoLimit)
        return;
    m_limit = NoLimit;
    if (m_waitingWorkers > 0)
        m_workerWake.notify_all();
}

int TransferPipeline::stop()
{
    const std::lock_guard lock(m_mutex);
    if (!m_stopped) {
        m_limit = cutNow();
        m_stopped = true;
        for (Worker &worker : m_workers) {
            if (worker.current >= m_limit)
                worker.stop.request_stop();
        }
        m_workerWake.notify_all();
    }
    return m_limit;
}

// Where names stop now: at the held limit, or after the file that takes its name this moment.
int TransferPipeline::cutNow() const
{
    return m_limit != NoLimit ? m_limit : turn() + (m_naming ? 1 : 0);
}

bool TransferPipeline::waitIdle(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_idleWake.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [&] { return m_busyWorkers == 0; });
}

// Each file costs the worker two turns of the lock: one to wait for its turn to take its name,
// one to pass the turn on and take the next file.
void TransferPipeline::work(Worker &worker)
{
    std::stop_token stop;
    std::optional<bool> fits;
    std::unique_lock lock(m_mutex);
    for (int index = take(lock, worker, stop, fits); index >= 0; index = take(lock, worker, stop, fits)) {
        lock.unlock();
        const bool named = handle(index, fits, stop);
        lock.lock();
        if (named)
            passTurn(index);
    }
    if (--m_busyWorkers == 0)
        m_idleWake.notify_all();
}

// The next file that was handed out, and what the window's check said of it; -1 when the run
// stopped or no file is left.
int TransferPipeline::take(
    std::unique_lock<std::mutex> &lock, Worker &worker, std::stop_token &stop, std::optional<bool> &fits)
{
    for (;;) {
        if (m_nextToTake >= m_count || (m_stopped && m_nextToTake >= m_limit)) {
            worker.current = -1;
            return -1;
        }
        if (m_nextToTake < m_released.load(std::memory_order_relaxed))
            break;
        ++m_waitingWorkers;
        m_workerWake.wait(lock);
        --m_waitingWorkers;
    }
    worker.current = m_nextToTake++;
    stop = worker.stop.get_token();
    fits = m_slots[worker.current].fits;
    return worker.current;
}

void TransferPipeline::publish(int index, FileOutcome outcome)
{
    Slot &slot = m_slots[index];
    slot.result = outcome.result;
    if (outcome.error) {
        const std::lock_guard lock(m_mutex);
        m_errors.emplace(index, std::move(*outcome.error));
    }
    slot.ready.store(true, std::memory_order_release);
    if (index >= m_wakeAt.load()) {
        const std::lock_guard lock(m_sleepMutex);
        m_windowWake.notify_one();
    }
}

// Decides, prepares and names the file, and publishes what became of it; false when the stop
// came before its turn.
bool TransferPipeline::handle(int index, std::optional<bool> fits, const std::stop_token &stop)
{
    const QByteArray name = m_names.at(index);
    FileDecision::Facts facts;
    facts.fits = fits;
    if (FileDecision::needsLook(m_plan, facts.fits.has_value())) {
        facts.exists = m_folders.destinationHas(name);
        facts.sameFile = *facts.exists && m_plan.overwrite && m_folders.sameFile(name, name);
    }
    const FileDecision::Verdict verdict = FileDecision::decide(m_plan, facts);

    modFSO::PendingTransfer pending;
    if (verdict.transfer)
        pending = m_plan.move ? m_folders.prepareMove(name, name, verdict.placement, stop)
                              : m_folders.prepareCopy(name, name, verdict.placement, false, stop);
    if (!awaitTurn(index)) {
        publish(index, {});
        return false;
    }
    const std::optional<modFSO::FsError> error = verdict.transfer ? m_folders.commit(pending) : std::nullopt;
    const Result result = FileDecision::resultOf(facts, verdict, error);
    publish(index, {result, result == Result::Failed ? error : std::nullopt});
    return true;
}

// Waits until the file may take its name; false when the stop came first. The other worker's
// turn usually passes within microseconds: it is waited for a moment before the worker
// sleeps, since a sleep and a wake-up cost both threads more than that.
bool TransferPipeline::awaitTurn(int index)
{
    waitBrieflyForTurn(index);
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (index >= m_limit && m_stopped)
            return false;
        if (turn() == index && index < m_limit)
            break;
        ++m_waitingWorkers;
        m_workerWake.wait(lock);
        --m_waitingWorkers;
    }
    m_naming = true;
    return true;
}

void TransferPipeline::waitBrieflyForTurn(int index) const
{
    const auto until = std::chrono::steady_clock::now() + TurnSpin;
    for (int spin = 1; turn() < index; ++spin) {
        cpuRelax();
        if (spin % 32 == 0 && std::chrono::steady_clock::now() >= until)
            return;
    }
}

// Under the lock.
void TransferPipeline::passTurn(int index)
{
    m_turn.store(index + 1, std::memory_order_relaxed);
    m_naming = false;
    // Only a second worker waits for this turn.
    if (m_waitingWorkers > 0 && m_workers.size() > 1)
        m_workerWake.notify_all();
}
