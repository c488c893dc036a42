#include "engine/TransferPipeline.h"

#include "fs/TransferFolders.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <pthread.h>

using FileDecision::Result;
using modFSO::Placement;

namespace
{

// How many files the window's thread lets the workers finish before it wakes up to log them,
// and how many handed-out files wake a resting worker.
constexpr int LogBatch = 32;
constexpr int NobodyWaits = std::numeric_limits<int>::max();
// What may wait for its name while its worker goes on: a few files of little data, so that the
// unnamed copies never hold much of the destination's room.
constexpr std::size_t MostLeftBehind = 16;
constexpr qint64 MostBytesLeftBehind = 16 * 1024 * 1024;
constexpr qint64 LargestLeftBehind = 1024 * 1024;
// From what size, or what time to prepare it, a file makes a second worker pay.
constexpr qint64 LargeFileBytes = 1024 * 1024;
constexpr auto SlowFile = std::chrono::microseconds(500);

} // namespace

TransferPipeline::TransferPipeline(const modFSO::TransferFolders &folders, Plan plan,
    const modFSO::NameList &names, int first, int workers, bool onDemand)
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
    m_onDemand = onDemand && m_workers.size() > 1;
    m_windowStarted = std::chrono::steady_clock::now();
    for (std::size_t i = 1; i < m_workers.size(); ++i)
        m_workers[i].onDemand = m_onDemand;
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
        m_onDemandWake.notify_all();
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

// Each file costs the worker two turns of the lock: one to take the file, one to name it or
// leave it behind.
void TransferPipeline::work(Worker &worker)
{
    std::stop_token stop;
    std::optional<bool> fits;
    std::unique_lock lock(m_mutex);
    knowCpuClock(worker);
    for (int index = take(lock, worker, stop, fits); index >= 0; index = take(lock, worker, stop, fits)) {
        lock.unlock();
        const auto started = std::chrono::steady_clock::now();
        Prepared file = prepare(index, fits, stop);
        const auto took = std::chrono::steady_clock::now() - started;
        lock.lock();
        if (m_onDemand)
            noteHowLong(file, took);
        place(lock, std::move(file));
    }
    dropLeftBehindAfterCut(lock);
    forgetCpuClock(worker);
    if (--m_busyWorkers == 0)
        m_idleWake.notify_all();
}

// The next file that was handed out, and what the window's check said of it; -1 when the run
// stopped or no file is left.
int TransferPipeline::take(
    std::unique_lock<std::mutex> &lock, Worker &worker, std::stop_token &stop, std::optional<bool> &fits)
{
    worker.current = -1;
    for (;;) {
        dropLeftBehindAfterCut(lock);
        if (m_nextToTake >= m_count || (m_stopped && m_nextToTake >= m_limit))
            return -1;
        if (worker.onDemand && !m_wide) {
            m_onDemandWake.wait(lock);
            continue;
        }
        if (m_nextToTake < m_released.load(std::memory_order_relaxed))
            break;
        ++m_waitingWorkers;
        m_workerWake.wait(lock);
        --m_waitingWorkers;
    }
    worker.current = m_nextToTake++;
    // A worker on demand that waits learns that no file is left for it.
    if (m_nextToTake == m_count)
        m_onDemandWake.notify_all();
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

// Decides the file and prepares its transfer; nothing takes a name yet.
TransferPipeline::Prepared TransferPipeline::prepare(
    int index, std::optional<bool> fits, const std::stop_token &stop) const
{
    const QByteArray name = m_names.at(index);
    Prepared file;
    file.index = index;
    file.facts.fits = fits;
    const bool checked = file.facts.fits.has_value();
    if (FileDecision::needsLook(m_plan, checked)) {
        if (FileDecision::listingAnswers(m_plan, checked, m_folders.destinationLacked(name))) {
            file.facts.exists = false;
        } else {
            file.facts.exists = m_folders.destinationHas(name);
            file.facts.sameFile = *file.facts.exists && m_plan.overwrite && m_folders.sameFile(name, name);
        }
    }
    file.verdict = FileDecision::decide(m_plan, file.facts);
    if (file.verdict.transfer)
        file.pending = m_plan.move ? m_folders.prepareMove(name, name, file.verdict.placement, stop)
                                   : m_folders.prepareCopy(name, name, file.verdict.placement, false, stop);
    return file;
}

// Under the lock: names a prepared file in its turn, together with the files left behind it,
// or leaves it behind when the files ahead are still on their way.
void TransferPipeline::place(std::unique_lock<std::mutex> &lock, Prepared file)
{
    if (mayLeaveBehind(file)) {
        m_leftBehindBytes += file.pending.unnamedBytes();
        const int index = file.index;
        m_leftBehind.emplace(index, std::move(file));
        return;
    }
    if (!awaitTurn(lock, file.index)) {
        drop(lock, std::move(file));
        return;
    }
    name(lock, std::move(file));
    nameLeftBehind(lock);
}

// Only behind a file that is not yet named: its worker, or the one that names the file before
// it, stays to name what waits behind it.
bool TransferPipeline::mayLeaveBehind(const Prepared &file) const
{
    const qint64 bytes = file.pending.unnamedBytes();
    return file.index > turn() && !(m_stopped && file.index >= m_limit)
        && m_leftBehind.size() < MostLeftBehind && bytes <= LargestLeftBehind
        && m_leftBehindBytes + bytes <= MostBytesLeftBehind;
}

// Under the lock: waits until the file may take its name; false when the stop came first.
bool TransferPipeline::awaitTurn(std::unique_lock<std::mutex> &lock, int index)
{
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

// Gives the file whose turn it is its name outside the lock, publishes what became of it and
// passes the turn on.
void TransferPipeline::name(std::unique_lock<std::mutex> &lock, Prepared file)
{
    const int index = file.index;
    m_naming = true;
    lock.unlock();
    const std::optional<modFSO::FsError> error
        = file.verdict.transfer ? m_folders.commit(file.pending) : std::nullopt;
    const Result result = FileDecision::resultOf(file.facts, file.verdict, error);
    publish(index, {result, result == Result::Failed ? error : std::nullopt});
    file = {};
    lock.lock();
    passTurn(index);
}

// Under the lock: names the files left behind while it is their turn, waiting out the
// window's event rounds, until the stop.
void TransferPipeline::nameLeftBehind(std::unique_lock<std::mutex> &lock)
{
    while (m_leftBehind.contains(turn()) && awaitTurn(lock, turn())) {
        const auto next = m_leftBehind.find(turn());
        Prepared file = std::move(next->second);
        m_leftBehind.erase(next);
        m_leftBehindBytes -= file.pending.unnamedBytes();
        name(lock, std::move(file));
    }
}

// Under the lock: the files left behind after the stop's cut go without a name.
void TransferPipeline::dropLeftBehindAfterCut(std::unique_lock<std::mutex> &lock)
{
    while (m_stopped && !m_leftBehind.empty() && std::prev(m_leftBehind.end())->first >= m_limit) {
        auto last = std::prev(m_leftBehind.end());
        Prepared file = std::move(last->second);
        m_leftBehind.erase(last);
        m_leftBehindBytes -= file.pending.unnamedBytes();
        drop(lock, std::move(file));
    }
}

// A file that never takes its name: its copy goes (outside the lock, since closing a large
// copy takes a while) and it is published as stopped.
void TransferPipeline::drop(std::unique_lock<std::mutex> &lock, Prepared file)
{
    lock.unlock();
    const int index = file.index;
    file = {};
    publish(index, {});
    lock.lock();
}

// Under the lock.
void TransferPipeline::passTurn(int index)
{
    m_turn = index + 1;
    m_naming = false;
    if (m_onDemand)
        countForTrial();
    // Only a second worker waits for this turn.
    if (m_waitingWorkers > 0 && m_workers.size() > 1)
        m_workerWake.notify_all();
}

bool TransferPipeline::moreWorkersPay(qint64 bytes, std::chrono::microseconds took)
{
    return bytes >= LargeFileBytes || took >= SlowFile;
}

// Under the lock: the file just prepared tells whether the workers on demand take the next.
void TransferPipeline::noteHowLong(const Prepared &file, std::chrono::steady_clock::duration took)
{
    m_wideBySize = moreWorkersPay(
        file.pending.unnamedBytes(), std::chrono::duration_cast<std::chrono::microseconds>(took));
    updateWide();
}

// Under the lock: the workers on demand take files while the files are large or slow, or
// while the trial says that two pay.
void TransferPipeline::updateWide()
{
    const bool wide = m_wideBySize || m_trial.paired();
    if (wide && !m_wide)
        m_onDemandWake.notify_all();
    m_wide = wide;
}

// Under the lock: one more file named in the trial's window; at its end the trial learns what
// the window cost.
void TransferPipeline::countForTrial()
{
    if (++m_windowFiles < WorkerTrial::WindowFiles)
        return;
    const auto now = std::chrono::steady_clock::now();
    const std::chrono::nanoseconds cpu = workersCpu();
    m_trial.windowEnded({now - m_windowStarted, cpu - m_windowCpuStarted});
    m_windowFiles = 0;
    m_windowStarted = now;
    m_windowCpuStarted = cpu;
    updateWide();
}

// Under the lock, in the worker's thread. A thread's clock can be read from any thread, but
// only while the thread lives: a worker that ends leaves what it spent behind.
void TransferPipeline::knowCpuClock(Worker &worker)
{
    worker.cpuClockKnown = m_onDemand && ::pthread_getcpuclockid(::pthread_self(), &worker.cpuClock) == 0;
}

void TransferPipeline::forgetCpuClock(Worker &worker)
{
    m_cpuOfFinished += cpuSpent(worker);
    worker.cpuClockKnown = false;
}

// Under the lock: the CPU time the worker's thread spent so far, 0 when it cannot be read.
std::chrono::nanoseconds TransferPipeline::cpuSpent(const Worker &worker)
{
    struct timespec spent {
    };
    if (!worker.cpuClockKnown || ::clock_gettime(worker.cpuClock, &spent) != 0)
        return {};
    return std::chrono::seconds(spent.tv_sec) + std::chrono::nanoseconds(spent.tv_nsec);
}

// Under the lock: the CPU time all workers spent so far.
std::chrono::nanoseconds TransferPipeline::workersCpu() const
{
    std::chrono::nanoseconds total = m_cpuOfFinished;
    for (const Worker &worker : m_workers)
        total += cpuSpent(worker);
    return total;
}
