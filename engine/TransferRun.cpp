#include "engine/TransferRun.h"

#include "config/FrmMainTexts.h"
#include "config/Settings.h"
#include "config/modGlobal.h"
#include "engine/ActivityLog.h"
#include "engine/ScheduleWindow.h"
#include "engine/TransferPipeline.h"
#include "fs/PosixSupport.h"
#include "fs/TransferFolders.h"
#include "fs/modSize.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

namespace
{

using namespace FrmMainTexts;

// Room the checks keep free on the destination, in bytes.
constexpr qint64 FreeSpaceMargin = 1024;
// The longest wait for a file's outcome before the window's events run again, in ms.
constexpr int LongestWaitMs = 16;

// Characters that would end the line, or turn the text of the line around, where a name
// stands: the C0 and C1 controls, the line and paragraph separators and the bidirectional
// controls.
bool breaksTheLine(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x200E || c == 0x200F
        || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QString escaped(char16_t c)
{
    switch (c) {
    case '\n':
        return QStringLiteral("\\n");
    case '\r':
        return QStringLiteral("\\r");
    case '\t':
        return QStringLiteral("\\t");
    default:
        return c < 0x100 ? QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'))
                         : QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0'));
    }
}

// The three forms of a file's result line: "word: name", "word (reason): name" and
// "word - reason: name". Each is built only for the line that is written.
QString plainResult(const QString &word, const QString &name)
{
    return word + QLatin1String(": ") + name;
}

QString reasonInBrackets(const QString &word, const QString &reason, const QString &name)
{
    return word + QLatin1String(" (") + reason + QLatin1String("): ") + name;
}

QString reasonAfterDash(const QString &word, const QString &reason, const QString &name)
{
    return word + QLatin1String(" - ") + reason + QLatin1String(": ") + name;
}

class ActiveFlag
{
public:
    explicit ActiveFlag(bool &flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~ActiveFlag() { m_flag = false; }
    ActiveFlag(const ActiveFlag &) = delete;
    ActiveFlag &operator=(const ActiveFlag &) = delete;

private:
    bool &m_flag;
};

} // namespace

struct TransferRun::Context {
    QString sourceFolder;
    QString destinationFolder;
    Action action = Action::Copy;
    // The box is locked while the run works, so its state holds for every file.
    bool overwrite = false;
    bool prefixWanted = false;
    bool sameFileSystem = false;
    std::unique_ptr<modFSO::TransferFolders> folders;
    modFSO::NameList names;
    // The stretch of the file loop that one pipeline handles, the file being handled, and
    // where the stretch ends: the end of the list, or the cut made by a stop or by the
    // free-space check coming on while the workers ran ahead without it.
    TransferPipeline *pipeline = nullptr;
    bool runningAhead = false;
    int current = -1;
    int end = 0;
    bool cut() const { return end < names.size(); }
    // Set when an error line was written for the file being handled: its result line is
    // then left out, so the error line stays in its place.
    bool failureMark = false;
    qint32 fileCounter = 0;
    QString verb;
    qint64 sourceSize = 0;
    // The file being handled: its name, and whether its in-progress line is in the log. The
    // line goes in only when events run before the file's result is there: unseen, it would
    // only be replaced at once.
    QString name;
    bool linePending = false;
    bool lineShown = false;
    // What the run ends with: the files that got an error line, the error lines, the first.
    int failedFiles = 0;
    int errorLines = 0;
    QString firstError;
    int pendingFiles = 0;
};

TransferRun::TransferRun(
    ScheduleWindow &window, ActivityLog &log, const FrmMainTexts::Table &texts, const bool &scheduleStarted)
    : m_window(window)
    , m_log(log)
    , m_texts(texts)
    , m_scheduleStarted(scheduleStarted)
    , m_freeSpace(modSize::FreeSpace)
{
}

TransferRun::~TransferRun() = default;

QString TransferRun::LoggedName(const QByteArray &name)
{
    QString text = modFSO::detail::decodedPath(name);
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (breaksTheLine(text.at(i).unicode()))
            text.replace(i, 1, escaped(text.at(i).unicode()));
    }
    return text;
}

void TransferRun::RunTransfer()
{
    if (m_active)
        return;
    ActiveFlag active(m_active);
    run();
}

void TransferRun::SetRunControls(bool enabled, bool move, const QString &fileWord, const QString &fileCount)
{
    m_window.lockRunInputs(!enabled);
    if (!enabled) {
        m_window.showStartStop(text(ButtonRunning));
        const QString word = text(move ? Moving : Copying);
        m_window.showCaption(QLatin1String(modGlobal::ProductName) + QLatin1String(" - ") + text(StateRun)
            + QLatin1String(" (") + word + QLatin1Char(' ') + fileCount + QLatin1Char(' ') + fileWord
            + QLatin1Char(')'));
        return;
    }
    m_window.showStartStop(text(m_scheduleStarted ? ButtonStarted : ButtonStopped));
    // Freeing the inputs after the run must not undo the lock of a started schedule.
    if (m_scheduleStarted)
        m_window.lockScheduleInputs(true);
}

void TransferRun::run()
{
    m_window.showBusy(true);
    m_sinceEvents.invalidate();
    m_checkDestination.expire();

    const ScheduleWindow::TransferRequest request = m_window.transferRequest();
    Context ctx;
    ctx.sourceFolder = request.sourceFolder;
    ctx.destinationFolder = request.destinationFolder;
    ctx.action = request.move ? Action::Move : Action::Copy;
    ctx.overwrite = request.overwrite;
    listSource(ctx);
    const modFSO::NameList &names = ctx.names;
    ctx.prefixWanted = ActivityLog::PrefixWanted();
    if (names.isEmpty()) {
        if (!ctx.failureMark)
            m_log.logWithPrefix(
                text(EmptyFolder) + QLatin1String(": ") + text(EmptyFolderTail) + QLatin1Char(' '),
                ctx.prefixWanted);
    } else {
        ctx.failureMark = false;
        runFileLoop(ctx);
    }

    m_log.selectNewest();
    m_window.showBusy(false);
    m_window.showRunEnded(
        {m_log.momentText(), ctx.failedFiles, ctx.errorLines, ctx.firstError, ctx.pendingFiles});
}

// The folders are opened and listed, the temporaries of a killed run cleared and the
// destination's names noted, on a thread of their own, while the window answers: a large
// folder, or a slow one, takes seconds.
// A listing that breaks off gives its error line, and the run goes on with the names read.
void TransferRun::listSource(Context &ctx)
{
    struct Listed {
        std::unique_ptr<modFSO::TransferFolders> folders;
        modFSO::FsResult<modFSO::NameList> listing;
    };
    std::packaged_task<Listed()> task([source = ctx.sourceFolder, destination = ctx.destinationFolder] {
        Listed listed {std::make_unique<modFSO::TransferFolders>(source, destination), {}};
        listed.listing = listed.folders->listPlainFiles();
        listed.folders->removeLeftoverTemporaries();
        // Worth it while most of the run's names are new there: a destination that already
        // holds many, as on a run over files it copied before, is looked at name by name.
        listed.folders->noteDestinationNames(listed.listing.value.size() / 4);
        return listed;
    });
    std::future<Listed> done = task.get_future();
    std::thread lister(std::move(task));
    while (done.wait_for(std::chrono::milliseconds(LongestWaitMs)) != std::future_status::ready)
        pumpEvents();
    lister.join();
    Listed listed = done.get();
    ctx.folders = std::move(listed.folders);
    ctx.sameFileSystem = ctx.folders->sameFileSystem();
    modFSO::FsResult<modFSO::NameList> &listing = listed.listing;
    if (listing.error) {
        // No file is being handled yet: the newest line belongs to someone else and stays.
        ctx.lineShown = false;
        ctx.name.clear();
        logError(ctx, listing.error->description);
    }
    ctx.names = std::move(listing.value);
}

void TransferRun::runFileLoop(Context &ctx)
{
    const modFSO::NameList &names = ctx.names;
    m_inFileLoop = true;
    const QString fileWord = text(names.size() > 1 ? Files : OneFile);
    SetRunControls(false, ctx.action == Action::Move, fileWord, QString::number(names.size()));

    ctx.fileCounter = static_cast<qint32>(names.size());
    const TransferPipeline::Plan plan {ctx.action == Action::Move, ctx.overwrite, ctx.sameFileSystem};
    const int workers = workerCount(ctx);
    for (int next = 0; next < names.size();) {
        // On the heap: each stretch's threads meet in a pipeline of its own, never in the memory
        // of the one before.
        const auto pipeline = std::make_unique<TransferPipeline>(
            *ctx.folders, plan, ctx.names, next, workers, m_workers == 0);
        ctx.pipeline = pipeline.get();
        ctx.runningAhead = runsAhead();
        next = runStretch(ctx, *pipeline, next);
        settle(ctx, *pipeline);
        ctx.pipeline = nullptr;
        if (m_stopRequested) {
            ctx.fileCounter = next;
            break;
        }
    }

    if (m_stopRequested) {
        logCancelSummary(ctx);
        m_stopRequested = false;
    }
    SetRunControls(true, ctx.action == Action::Move, QString(), QString());
    m_inFileLoop = false;
}

// The files from first on, until the end of the list or a cut. The files before a cut are
// handled and logged as usual.
int TransferRun::runStretch(Context &ctx, TransferPipeline &pipeline, int first)
{
    ctx.end = int(ctx.names.size());
    for (int i = first; i < ctx.end; ++i) {
        ctx.current = -1;
        offerEvents(ctx);
        // A stop asked for outside the window's event rounds (before the loop began, say).
        if (m_stopRequested && !ctx.cut())
            ctx.end = pipeline.stop();
        if (i >= ctx.end)
            break;
        handleInTurn(ctx, pipeline, i);
    }
    ctx.current = -1;
    return ctx.end;
}

// The workers rest before the pipeline goes, and the window answers meanwhile: a copy after
// the cut is abandoned within a MiB of data.
void TransferRun::settle(Context &ctx, TransferPipeline &pipeline)
{
    if (ctx.cut() || m_stopRequested)
        pipeline.stop();
    while (!pipeline.waitIdle(LongestWaitMs))
        pumpEvents();
}

// How many workers pay, as measured: a second joins while the files are large or slow to
// prepare (see TransferPipeline::moreWorkersPay), and for quick small files only where the
// run's own trial finds that it saves time for hardly more CPU time (see WorkerTrial). A rename
// within one file system is a single step under the folders' locks, which a second worker
// would only wait for.
int TransferRun::workerCount(const Context &ctx) const
{
    if (ctx.action == Action::Move && ctx.sameFileSystem)
        return 1;
    return m_workers > 0 ? m_workers : 2;
}

void TransferRun::handleInTurn(Context &ctx, TransferPipeline &pipeline, int index)
{
    const bool copy = ctx.action == Action::Copy;
    ctx.current = index;
    ctx.name = LoggedName(ctx.names.at(index));
    ctx.verb = text(copy ? Copied : Moved);
    ctx.linePending = true;
    ctx.lineShown = false;
    offerEvents(ctx);

    if (index >= pipeline.released())
        handOut(ctx, pipeline, index);
    else if (pipeline.released() - index <= (m_filesAhead + 1) / 2)
        // Topped up by half the files ahead at a time: the lock is the workers' too.
        releaseAhead(ctx, pipeline, index);
    awaitOutcome(ctx, pipeline, index);
    finishFile(ctx, pipeline.outcome(index));
    ctx.failureMark = false;
}

// Without the free-space check the workers run ahead. With it, each new file waits for its
// turn, because whether it fits depends on what the files before it took.
void TransferRun::handOut(Context &ctx, TransferPipeline &pipeline, int index)
{
    // The check switched off in the options: the workers run ahead from this file on.
    if (!ctx.runningAhead && runsAhead())
        ctx.runningAhead = true;
    if (ctx.runningAhead) {
        pipeline.release(index + 1 + m_filesAhead);
        return;
    }
    const QByteArray name = ctx.names.at(index);
    if (!ctx.folders->destinationHas(name) && freeSpaceCheckWanted(ctx))
        pipeline.setFits(index, fitsInDestination(ctx, name));
    pipeline.release(index + 1);
}

void TransferRun::releaseAhead(const Context &ctx, TransferPipeline &pipeline, int index) const
{
    if (ctx.runningAhead && !ctx.cut())
        pipeline.release(index + 1 + m_filesAhead);
}

// A rename within one file system needs no room for the data; a copy needs its size and the
// margin. When the free space cannot be asked, the error line says why.
bool TransferRun::fitsInDestination(Context &ctx, const QByteArray &name)
{
    const bool rename = ctx.action == Action::Move && ctx.sameFileSystem;
    if (!rename) {
        const modFSO::FsResult<qint64> size = ctx.folders->sourceSize(name);
        // The decision goes on with the size read last; the copy or move that follows fails
        // for a file that has gone, and this line already says why.
        if (size.error)
            logError(ctx, size.error->description);
        else
            ctx.sourceSize = size.value;
    }
    const modFSO::FsResult<qint64> free = m_freeSpace(ctx.destinationFolder);
    if (free.error) {
        logError(ctx, free.error->description);
        return false;
    }
    return rename ? free.value > FreeSpaceMargin : ctx.sourceSize < free.value - FreeSpaceMargin;
}

// Read for every file, so that a value saved from the options during a run applies from the
// next file on. "1" (or any number but 0) means: do not check; absent: no number is stored.
// Read for every file, so that a value saved from the options during a run applies from the
// next file on. The workers run ahead only while the check is surely off.
bool TransferRun::runsAhead()
{
    return m_filesAhead > 0 && !Settings::freeSpaceCheckWanted(m_checkDestination.value()).wanted;
}

// A stored value that is no number is reported, and the file is handled as with the check.
bool TransferRun::freeSpaceCheckWanted(Context &ctx)
{
    const Settings::FreeSpaceCheck check = Settings::freeSpaceCheckWanted(m_checkDestination.value());
    if (!check.unreadable.isEmpty())
        logError(ctx, check.unreadable);
    return check.wanted;
}

void TransferRun::awaitOutcome(Context &ctx, TransferPipeline &pipeline, int index)
{
    // Topped up before the window sleeps, so that the workers go on meanwhile.
    if (!pipeline.isReady(index))
        releaseAhead(ctx, pipeline, index);
    const int wait = std::max(m_eventIntervalMs, LongestWaitMs);
    while (!pipeline.waitFor(index, wait))
        offerEvents(ctx);
}

void TransferRun::finishFile(Context &ctx, const FileOutcome &outcome)
{
    if (ctx.failureMark)
        return;
    using FileDecision::Result;
    const bool copy = ctx.action == Action::Copy;
    const QString &name = ctx.name;
    const QString notDone = text(copy ? NotCopied : NotMoved);
    switch (outcome.result) {
    case Result::Done:
        return showResult(ctx, plainResult(text(copy ? Copied : Moved), name));
    case Result::Replaced:
        return showResult(ctx, reasonInBrackets(text(copy ? Copied : Moved), text(Replaced), name));
    case Result::KeptExisting:
        return showResult(ctx, reasonInBrackets(notDone, text(Exists), name));
    case Result::NoSpace:
        return showResult(ctx, reasonAfterDash(notDone, text(NoSpace), name));
    case Result::InUse:
        ++ctx.pendingFiles;
        return showResult(ctx, reasonInBrackets(notDone, text(InUse), name));
    case Result::Changed:
        return logError(ctx, text(copy ? ChangedWhileCopied : ChangedWhileMoved));
    case Result::Failed:
        return logError(ctx, outcome.error ? outcome.error->description : QString());
    case Result::Stopped:
        return;
    }
}

void TransferRun::showResult(Context &ctx, const QString &line)
{
    if (ctx.lineShown)
        m_log.replaceNewest(line, ctx.prefixWanted);
    else
        m_log.logWithPrefix(line, ctx.prefixWanted);
    ctx.linePending = false;
    ctx.lineShown = true;
}

void TransferRun::logError(Context &ctx, const QString &description)
{
    const QString error = description + QLatin1String(" - ") + ctx.name;
    showResult(ctx, text(ErrorLabel) + QLatin1String(": ") + error);
    // A second error of the same file replaces its first line: one line, one failed file.
    if (!ctx.failureMark) {
        ++ctx.errorLines;
        if (!ctx.name.isEmpty())
            ++ctx.failedFiles;
    }
    if (ctx.errorLines == 1)
        ctx.firstError = error;
    ctx.failureMark = true;
}

void TransferRun::logCancelSummary(const Context &ctx)
{
    m_log.log(text(Cancelled) + QLatin1String(": ") + ctx.verb + QLatin1Char(' ')
        + QString::number(ctx.fileCounter) + QLatin1Char(' ') + text(ctx.fileCounter == 1 ? OneFile : Files));
}

// The window's events run here when they are due: first the newest line is made visible.
// While they run, no file takes its name but the one whose in-progress line is shown, so
// that a click on Stop, or a dialog opened meanwhile, finds the run where the log shows it.
void TransferRun::offerEvents(Context &ctx)
{
    if (m_eventIntervalMs > 0 && m_sinceEvents.isValid() && m_sinceEvents.elapsed() < m_eventIntervalMs)
        return;
    TransferPipeline *pipeline = ctx.pipeline;
    const bool shows = ctx.linePending || ctx.lineShown;
    if (pipeline)
        pipeline->holdNames(shows && ctx.current >= 0 ? ctx.current : -1);
    if (ctx.linePending) {
        m_log.logInProgress(plainResult(text(ctx.action == Action::Copy ? Copying : Moving), ctx.name));
        ctx.linePending = false;
        ctx.lineShown = true;
    }
    m_log.selectNewest();
    pumpEvents();
    if (pipeline)
        cutAfterEvents(ctx);
}

// A stop seen in the event round cuts the list where names were held. So does the free-space
// check coming on while the workers ran ahead without it: the files after the cut are decided
// anew, with the check.
void TransferRun::cutAfterEvents(Context &ctx)
{
    TransferPipeline &pipeline = *ctx.pipeline;
    if (ctx.cut())
        return;
    if (m_stopRequested || (ctx.runningAhead && !runsAhead())) {
        ctx.end = pipeline.stop();
        return;
    }
    pipeline.resumeNames();
}

void TransferRun::pumpEvents()
{
    m_window.letEventsRun();
    m_sinceEvents.start();
    // The options may have been saved meanwhile.
    m_checkDestination.expire();
}
