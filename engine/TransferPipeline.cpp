#include "engine/TransferPipeline.h"

#include "fs/TransferFolders.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <span>
#include <sys/resource.h>

using FileDecision::Result;
using modFSO::PendingTransfer;
using modFSO::Placement;
using std::chrono::steady_clock;

namespace
{

// How many files the window's thread lets the workers finish before it wakes up to log them.
constexpr int LogBatch = 32;
constexpr int NobodyWaits = std::numeric_limits<int>::max();
// A batch is named once its data is flushed: when it holds this many bytes, when its oldest file
// has waited this long, or when no further file follows. The files of a batch wait open and
// without a name, so how many may wait is bounded by the descriptors the process may open.
constexpr qint64 BatchBytes = qint64(256) << 20;
constexpr auto BatchAge = std::chrono::milliseconds(1000);
constexpr int MostWaitingFiles = 4096;
// Room the checks keep free on the destination, in bytes.
constexpr qint64 FreeSpaceMargin = 1024;
// From what size, or what time to prepare it, a file makes a second worker pay.
constexpr qint64 LargeFileBytes = qint64(1) << 20;
constexpr auto SlowFile = std::chrono::microseconds(500);

// A waiting file holds one descriptor, or two for a hidden temporary and its lock. Many
// desktops start programs with 1024 at most, though they allow far more.
int waitingFilesAllowed()
{
    static const int allowed = [] {
        struct rlimit limit {
        };
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
            return 64;
        const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, 16384);
        if (limit.rlim_cur < wanted) {
            limit.rlim_cur = wanted;
            ::setrlimit(RLIMIT_NOFILE, &limit);
            ::getrlimit(RLIMIT_NOFILE, &limit);
        }
        return int(std::clamp<rlim_t>((limit.rlim_cur - 256) / 2, 16, MostWaitingFiles));
    }();
    return allowed;
}

} // namespace

struct TransferPipeline::Prepared {
    int index = -1;
    FileDecision::Facts facts;
    FileDecision::Verdict verdict;
    PendingTransfer pending;
    // An outcome known before any transfer (the free space could not be asked).
    std::optional<FileOutcome> known;
    bool checkedWithUnreadableSetting = false;
};

TransferPipeline::TransferPipeline(const modFSO::TransferFolders &folders, FileDecision::Plan plan,
    const modFSO::NameList &names, int first, Options options)
    : m_folders(folders)
    , m_plan(plan)
    , m_names(names)
    , m_options(std::move(options))
    , m_slots(std::make_unique<Slot[]>(names.size()))
    , m_count(int(names.size()))
    , m_batches(plan.move ? !plan.renames : folders.flushesData())
    , m_nextToTake(first)
    , m_released(m_options.handedOut ? first : m_count)
    , m_turn(first)
    , m_wakeAt(NobodyWaits)
{
    const bool helperPays = !(plan.move && plan.renames) && !m_options.checkFreeSpace;
    const int workers = m_options.workers > 0 ? m_options.workers : (helperPays ? 2 : 1);
    m_wide = m_options.workers > 1;
    m_workers = std::vector<Worker>(std::size_t(std::clamp(workers, 1, 2)));
    m_workers.back().helper = m_workers.size() > 1 && m_options.workers == 0;
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

// ---- the window's side ---------------------------------------------------------------------------

void TransferPipeline::release(int end)
{
    const std::lock_guard lock(m_mutex);
    if (end > m_released) {
        m_released = std::min(end, m_count);
        m_workerWake.notify_all();
        m_helperWake.notify_all();
    }
}

bool TransferPipeline::waitFor(int index, int timeoutMs)
{
    if (isReady(index))
        return true;
    // Sleeping until a few more files are there spares a wake-up for every one of them.
    const int target = std::min(index + LogBatch, m_count - 1);
    std::unique_lock lock(m_sleepMutex);
    m_wakeAt.store(target);
    m_windowWake.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [&] { return isReady(target) || isReady(index); });
    m_wakeAt.store(NobodyWaits);
    return isReady(index);
}

FileOutcome TransferPipeline::outcome(int index) const
{
    if (!isReady(index))
        return {};
    const Slot &slot = m_slots[index];
    FileOutcome outcome {slot.result, std::nullopt, slot.settingUnreadable};
    if (slot.result == Result::Failed) {
        const std::lock_guard lock(m_mutex);
        if (const auto error = m_errors.find(index); error != m_errors.end())
            outcome.error = error->second;
    }
    return outcome;
}

void TransferPipeline::holdNames(int lastShown)
{
    const std::lock_guard lock(m_mutex);
    if (!m_stopped)
        m_limit = std::max(m_namingEnd >= 0 ? m_namingEnd : m_turn, lastShown + 1);
}

void TransferPipeline::resumeNames()
{
    const std::lock_guard lock(m_mutex);
    if (m_stopped || m_limit == NoLimit)
        return;
    m_limit = NoLimit;
    m_workerWake.notify_all();
    m_helperWake.notify_all();
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
        m_helperWake.notify_all();
    }
    return m_limit;
}

// Where names stop now: at the held limit, or after the files that take their names this moment.
int TransferPipeline::cutNow() const
{
    if (m_limit != NoLimit)
        return m_limit;
    return m_namingEnd >= 0 ? m_namingEnd : m_turn;
}

bool TransferPipeline::waitIdle(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_idleWake.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [&] { return m_busyWorkers == 0; });
}

// ---- the workers ---------------------------------------------------------------------------------

void TransferPipeline::work(Worker &worker)
{
    std::unique_lock lock(m_mutex);
    for (int index = take(lock, worker); index >= 0; index = take(lock, worker)) {
        const std::stop_token stop = worker.stop.get_token();
        lock.unlock();
        const auto started = steady_clock::now();
        Prepared file = prepare(lock, index, stop);
        const auto now = steady_clock::now();
        lock.lock();
        worker.current = -1;
        deposit(lock, std::move(file), now, now - started);
    }
    if (--m_busyWorkers == 0)
        m_idleWake.notify_all();
}

// The next file to prepare; -1 once every file is prepared and named, or dropped after the cut.
// A worker with nothing to do names what waits, and looks again every little while.
int TransferPipeline::take(std::unique_lock<std::mutex> &lock, Worker &worker)
{
    for (;;) {
        dropAfterCut(lock);
        const bool more = m_nextToTake < m_count && !(m_stopped && m_nextToTake >= m_limit);
        const bool handedOut = m_nextToTake < m_released;
        const bool room = int(m_waiting.size()) < waitingFilesAllowed() && m_waitingBytes < 2 * BatchBytes;
        if (more && handedOut && room && mayTake(worker))
            break;
        nameDue(lock, !more);
        if (!more && m_waiting.empty() && m_namingEnd < 0)
            return -1;
        // A resting helper waits to be called; the others wait for names that free room or end
        // the run, and name aged batches themselves every little while.
        if (more && handedOut && room) {
            m_helperWake.wait(lock);
            continue;
        }
        ++m_waitingForNames;
        m_workerWake.wait_for(lock, BatchAge);
        --m_waitingForNames;
    }
    worker.current = m_nextToTake++;
    // A resting helper learns that nothing is left for it.
    if (m_nextToTake == m_count)
        m_helperWake.notify_all();
    return worker.current;
}

bool TransferPipeline::mayTake(const Worker &worker) const
{
    return !worker.helper || m_wide || m_flushing;
}

// Decides the file and prepares its transfer; nothing takes a name yet. A file that is not yet
// ready is waited for, within the run's settle deadline, once the files before it are named.
TransferPipeline::Prepared TransferPipeline::prepare(
    std::unique_lock<std::mutex> &lock, int index, const std::stop_token &stop)
{
    const QByteArray name = m_names.at(index);
    Prepared file;
    file.index = index;
    file.facts = factsOf(index, file.known);
    file.checkedWithUnreadableSetting = file.facts.fits.has_value() && !m_options.checkUnreadable.isEmpty();
    if (file.known)
        return file;
    file.verdict = FileDecision::decide(m_plan, file.facts);
    while (file.verdict.transfer) {
        const Placement placement = file.verdict.placement;
        file.pending = file.verdict.finishesMove ? m_folders.prepareFinishMove(name)
            : m_plan.move                        ? m_folders.prepareMove(name, placement, stop)
                                                 : m_folders.prepareCopy(name, placement, stop);
        const qint64 waitMs = file.pending.settleWaitMs();
        if (waitMs <= 0 || !waitToSettle(lock, waitMs, stop))
            break;
    }
    return file;
}

// What is known of the file before its transfer: whether the destination has the name, and
// whether the file fits there when the check is wanted.
FileDecision::Facts TransferPipeline::factsOf(int index, std::optional<FileOutcome> &known) const
{
    const QByteArray name = m_names.at(index);
    const bool checked = m_options.checkFreeSpace;
    FileDecision::Facts facts;
    if (FileDecision::needsLook(m_plan, checked)) {
        if (FileDecision::listingAnswers(m_plan, checked, m_folders.destinationLacked(name))) {
            facts.exists = false;
        } else {
            facts.exists = m_folders.destinationHas(name);
            facts.sameFile = *facts.exists && m_plan.overwrite && m_folders.sameFile(name, name);
            facts.moveUnfinished = *facts.exists && m_plan.move && m_folders.moveUnfinished(name);
        }
    }
    if (!checked || facts.exists.value_or(false))
        return facts;
    // A rename needs no room for the data; a copy needs its size and the margin.
    const bool rename = m_plan.move && m_plan.renames;
    qint64 room = 0;
    if (!rename) {
        const modFSO::FsResult<qint64> size = m_folders.roomNeeded(name);
        if (size.error) {
            known = FileOutcome {Result::Failed, size.error, false};
            return facts;
        }
        room = size.value;
    }
    const modFSO::FsResult<qint64> free = m_options.freeSpace(m_folders.destinationFolder());
    if (free.error) {
        known = FileOutcome {Result::Failed, free.error, false};
        return facts;
    }
    facts.fits = rename ? free.value > FreeSpaceMargin : room < free.value - FreeSpaceMargin;
    return facts;
}

// Under the lock while it waits: the files before this one take their names first, so that the
// log goes on. False when the run's budget of waiting has not that much left, or the run stopped.
bool TransferPipeline::waitToSettle(
    std::unique_lock<std::mutex> &lock, qint64 waitMs, const std::stop_token &stop)
{
    std::atomic<qint64> &budget = *m_options.settleBudgetMs;
    qint64 left = budget.load();
    do {
        if (waitMs > left)
            return false;
    } while (!budget.compare_exchange_weak(left, left - waitMs));
    const auto until = steady_clock::now() + std::chrono::milliseconds(waitMs);
    lock.lock();
    nameDue(lock, true);
    // A stop ends the wait within a moment.
    while (!m_stopped && !stop.stop_requested() && steady_clock::now() < until)
        m_workerWake.wait_until(lock, std::min(until, steady_clock::now() + BatchAge));
    const bool goOn = !m_stopped && !stop.stop_requested();
    lock.unlock();
    return goOn;
}

// Under the lock: the prepared file waits for its turn; it tells whether a second worker pays.
void TransferPipeline::deposit(std::unique_lock<std::mutex> &lock, Prepared &&file,
    steady_clock::time_point now, steady_clock::duration took)
{
    if (m_workers.back().helper) {
        const bool wide = file.pending.unnamedBytes() >= LargeFileBytes || took >= SlowFile;
        if (wide && !m_wide)
            m_helperWake.notify_all();
        m_wide = wide;
    }
    // Named one by one, a file in its turn goes straight to its name.
    if (!m_batches && m_namingEnd < 0 && file.index == m_turn && file.index < m_limit) {
        m_batch.push_back(std::move(file));
        nameBatch(lock);
    } else {
        if (m_waiting.empty())
            m_oldestWaiting = now;
        m_waitingBytes += file.pending.unnamedBytes();
        m_waiting.emplace(file.index, std::move(file));
        countInTurn(false);
    }
    nameDue(lock, false);
}

// Under the lock: names, in list order, the files that wait for it and whose batch is due. One
// thread names at a time; the others go on preparing meanwhile.
void TransferPipeline::nameDue(std::unique_lock<std::mutex> &lock, bool evenIfFew)
{
    while (m_namingEnd < 0) {
        dropAfterCut(lock);
        const int end = dueEnd(evenIfFew);
        if (end <= m_turn)
            return;
        for (int index = m_turn; index < end; ++index) {
            auto next = m_waiting.find(index);
            m_waitingBytes -= next->second.pending.unnamedBytes();
            m_batch.push_back(std::move(next->second));
            m_waiting.erase(next);
        }
        m_oldestWaiting = steady_clock::now();
        if (nameBatch(lock) == 0)
            return;
    }
}

// Under the lock: names the files of m_batch, which begins with the file whose turn it is. What a
// hold or a cut kept from its name waits again, its data already on disk. Answers how many took
// their names.
int TransferPipeline::nameBatch(std::unique_lock<std::mutex> &lock)
{
    m_namingEnd = m_turn;
    // A flush waits for the disk: meanwhile the helper copies the next files.
    m_flushing = m_batches && m_folders.flushesData() && m_workers.back().helper;
    if (m_flushing)
        m_helperWake.notify_all();
    const int named = name(lock, m_batch);
    m_flushing = false;
    m_turn += named;
    m_namingEnd = -1;
    for (auto file = m_batch.begin() + named; file != m_batch.end(); ++file) {
        m_waitingBytes += file->pending.unnamedBytes();
        m_waiting.emplace(file->index, std::move(*file));
    }
    m_batch.clear();
    countInTurn(true);
    if (m_waitingForNames > 0)
        m_workerWake.notify_all();
    return named;
}

// Under the lock: the end of the batch that may take its names now, m_turn for none.
int TransferPipeline::dueEnd(bool evenIfFew) const
{
    const int end = std::min(m_inTurnEnd, m_limit);
    if (end <= m_turn || !m_batches || evenIfFew)
        return std::max(end, m_turn);
    const bool full = end - m_turn >= waitingFilesAllowed() || m_inTurnBytes >= BatchBytes;
    const bool old = steady_clock::now() - m_oldestWaiting >= BatchAge;
    const bool nothingFollows = end >= m_released || (m_stopped && end >= m_limit);
    return full || old || nothingFollows ? end : m_turn;
}

// Under the lock: the files that wait in an unbroken row from the one whose turn it is, counted
// on from where the count stands (anew from the turn when fromTurn is set).
void TransferPipeline::countInTurn(bool fromTurn)
{
    if (fromTurn || m_inTurnEnd < m_turn) {
        m_inTurnEnd = m_turn;
        m_inTurnBytes = 0;
    }
    for (auto next = m_waiting.find(m_inTurnEnd); next != m_waiting.end() && next->first == m_inTurnEnd;
         ++next) {
        m_inTurnBytes += next->second.pending.unnamedBytes();
        ++m_inTurnEnd;
    }
}

// Under the lock, which it lets go while it works: gives the batch its names, one by one in list
// order and each only while the window lets it (and removes the moves' sources), and publishes
// what became of each file. Answers how many of the batch took their turn.
int TransferPipeline::name(std::unique_lock<std::mutex> &lock, std::vector<Prepared> &batch)
{
    std::vector<PendingTransfer *> &all = m_batchFiles;
    std::vector<PendingTransfer *> &moves = m_batchMoves;
    all.clear();
    moves.clear();
    for (Prepared &file : batch)
        all.push_back(&file.pending);
    lock.unlock();
    m_folders.prepareNames(all);
    lock.lock();
    std::size_t named = 0;
    for (; named < batch.size() && batch[named].index < m_limit; ++named) {
        Prepared &file = batch[named];
        m_namingEnd = file.index + 1;
        lock.unlock();
        if (!file.known && file.verdict.transfer)
            m_folders.name(file.pending);
        if (file.pending.movesByCopy())
            moves.push_back(&file.pending);
        else
            publish(file.index, outcomeOf(file));
        lock.lock();
    }
    if (!moves.empty()) {
        lock.unlock();
        m_folders.finishMoves(moves);
        for (std::size_t i = 0; i < named; ++i) {
            if (batch[i].pending.movesByCopy())
                publish(batch[i].index, outcomeOf(batch[i]));
        }
        lock.lock();
    }
    return int(named);
}

FileOutcome TransferPipeline::outcomeOf(const Prepared &file) const
{
    FileOutcome outcome;
    if (file.known) {
        outcome = *file.known;
    } else if (!file.verdict.transfer) {
        outcome.result = file.verdict.result;
    } else {
        const std::optional<modFSO::FsError> &error = file.pending.error();
        outcome.result = FileDecision::resultOf(file.facts, file.verdict, error, file.pending.replaced());
        if (outcome.result == Result::Failed)
            outcome.error = error;
    }
    outcome.settingUnreadable = file.checkedWithUnreadableSetting;
    return outcome;
}

// Under the lock: after the stop, the files past the cut go without a name; their copies close
// outside the lock, since closing a large one takes a while.
void TransferPipeline::dropAfterCut(std::unique_lock<std::mutex> &lock)
{
    if (!m_stopped || m_waiting.empty() || std::prev(m_waiting.end())->first < m_limit)
        return;
    std::vector<Prepared> dropped;
    for (auto next = m_waiting.lower_bound(m_limit); next != m_waiting.end();) {
        m_waitingBytes -= next->second.pending.unnamedBytes();
        dropped.push_back(std::move(next->second));
        next = m_waiting.erase(next);
    }
    lock.unlock();
    std::vector<PendingTransfer *> unnamed;
    unnamed.reserve(dropped.size());
    for (Prepared &file : dropped)
        unnamed.push_back(&file.pending);
    m_folders.abandon(unnamed);
    for (Prepared &file : dropped) {
        const int index = file.index;
        file = {};
        publish(index, {});
    }
    lock.lock();
    countInTurn(true);
}

void TransferPipeline::publish(int index, FileOutcome outcome)
{
    Slot &slot = m_slots[index];
    slot.result = outcome.result;
    slot.settingUnreadable = outcome.settingUnreadable;
    if (outcome.error) {
        const std::lock_guard lock(m_mutex);
        m_errors.emplace(index, std::move(*outcome.error));
    }
    slot.ready.store(true, std::memory_order_release);
    if (index >= m_wakeAt.load() || index == m_count - 1) {
        const std::lock_guard lock(m_sleepMutex);
        m_windowWake.notify_one();
    }
}
