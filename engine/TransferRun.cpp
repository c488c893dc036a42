#include "engine/TransferRun.h"

#include "config/FrmMainTexts.h"
#include "config/Settings.h"
#include "config/modGlobal.h"
#include "engine/ActivityLog.h"
#include "engine/ScheduleWindow.h"
#include "engine/TransferPipeline.h"
#include "fs/PosixSupport.h"
#include "fs/TemporaryRecord.h"
#include "fs/TransferFolders.h"
#include "fs/modSize.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace
{

using namespace FrmMainTexts;
using FileDecision::Result;

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
// "word - reason: name". Each is built only for the line that is written, in one piece.
QString joined(std::initializer_list<QStringView> parts)
{
    qsizetype size = 0;
    for (const QStringView part : parts)
        size += part.size();
    QString line;
    line.reserve(size);
    for (const QStringView part : parts)
        line.append(part);
    return line;
}

QString plainResult(const QString &word, const QString &name)
{
    return joined({word, u": ", name});
}

QString reasonInBrackets(const QString &word, const QString &reason, const QString &name)
{
    return joined({word, u" (", reason, u"): ", name});
}

QString reasonAfterDash(const QString &word, const QString &reason, const QString &name)
{
    return joined({word, u" - ", reason, u": ", name});
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
    ScheduleWindow::TransferRequest request;
    bool prefixWanted = false;
    int settleSeconds = 0;
    std::unique_ptr<modFSO::TransferFolders> folders;
    modFSO::NameList names;
    // The stretch of the file loop that one pipeline handles, with the free-space check as it
    // was when the stretch began; the file in turn; and where the stretch ends: the end of the
    // list, or the cut made by a stop or by a change of the check during the run.
    TransferPipeline *pipeline = nullptr;
    Settings::FreeSpaceCheck check;
    // What the run may still wait, in all, for files to settle.
    std::atomic<qint64> settleBudgetMs {0};
    int current = 0;
    int end = 0;
    bool cut() const { return end < names.size(); }
    // Set when an error line was written for the file being handled: its result line is
    // then left out, so the error line stays in its place.
    bool failureMark = false;
    qint32 fileCounter = 0;
    QString verb;
    // The file in turn: its name as logged; whether its in-progress line is still to be written
    // (it goes in only when events run before the file's result is there: unseen, it would only
    // be replaced at once); the row of its line in the log; and whether that line was there
    // before the event round under way, so that the user may have seen it.
    QString name;
    bool linePending = false;
    int lineRow = -1;
    int lineLogCleared = 0;
    bool lineSeen = false;
    // What the run ends with: the files that got an error line, the error lines, the first, and
    // the files left because they were still being written.
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
    // Most names are printable ASCII, which needs neither decoding nor escapes.
    if (std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
        return QString::fromLatin1(name);
    QString text = modFSO::detail::decodedPath(name);
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (breaksTheLine(text.at(i).unicode()))
            text.replace(i, 1, escaped(text.at(i).unicode()));
    }
    return text;
}

int TransferRun::RunTransfer()
{
    if (m_active)
        return 0;
    ActiveFlag active(m_active);
    const int pendingFiles = run();
    m_stopRequested = false;
    return pendingFiles;
}

// ---- the window's controls -----------------------------------------------------------------------

// From the listing on: a click on the button cancels this run, and says so.
void TransferRun::lockControls()
{
    m_window.lockRunInputs(true);
    m_window.showStartStop(text(ButtonRunning));
}

void TransferRun::showRunCaption()
{
    const QString word = text(m_captionMove ? Moving : Copying);
    const QString files = text(m_captionFiles > 1 ? Files : OneFile);
    m_window.showCaption(QLatin1String(modGlobal::ProductName) + QLatin1String(" - ") + text(StateRun)
        + QLatin1String(" (") + word + QLatin1Char(' ') + QString::number(m_captionFiles) + QLatin1Char(' ')
        + files + QLatin1Char(')'));
}

void TransferRun::freeControls()
{
    m_window.lockRunInputs(false);
    m_window.showStartStop(text(m_scheduleStarted ? ButtonStarted : ButtonStopped));
    // Freeing the inputs after the run must not undo the lock of a started schedule.
    if (m_scheduleStarted)
        m_window.lockScheduleInputs(true);
}

void TransferRun::retext()
{
    if (!m_active)
        return;
    m_window.showStartStop(text(ButtonRunning));
    if (m_inFileLoop)
        showRunCaption();
}

// ---- the run -------------------------------------------------------------------------------------

int TransferRun::run()
{
    m_window.showBusy(true);
    m_sinceEvents.invalidate();
    m_checkDestination.expire();

    Context ctx;
    ctx.request = m_window.transferRequest();
    ctx.settleSeconds = Settings::settleSeconds();
    lockControls();
    listSource(ctx);
    ctx.prefixWanted = ActivityLog::PrefixWanted();
    if (ctx.names.isEmpty()) {
        freeControls();
        if (!ctx.failureMark)
            m_log.logWithPrefix(
                text(EmptyFolder) + QLatin1String(": ") + text(EmptyFolderTail) + QLatin1Char(' '),
                ctx.prefixWanted);
    } else {
        ctx.failureMark = false;
        runFileLoop(ctx);
    }

    if (ctx.folders && ctx.folders->temporaryRecordUnusable())
        sayRecordUnusable(ctx, m_temporariesRecordSaid,
            text(TemporaryRecordUnusable) + QLatin1String(" - ") + modFSO::detail::temporaryRecordPath());
    else
        m_temporariesRecordSaid = false;
    m_log.selectNewest();
    m_window.showBusy(false);
    m_window.showRunEnded({m_log.momentText(), ctx.failedFiles, ctx.errorLines, ctx.firstError});
    return ctx.pendingFiles;
}

// The folders are opened and listed, the temporaries of a killed run cleared, the moves that
// an earlier run left half done read and the destination's names noted, on a thread of their
// own, while the window answers: a large folder, or a slow one, takes seconds.
// A listing that breaks off gives its error line, and the run goes on with the names read.
void TransferRun::listSource(Context &ctx)
{
    struct Listed {
        std::unique_ptr<modFSO::TransferFolders> folders;
        modFSO::FsResult<modFSO::NameList> listing;
        std::optional<modFSO::FsError> recordError;
    };
    const modFSO::ReadinessRules rules {ctx.settleSeconds, &m_looks};
    std::packaged_task<Listed()> task(
        [source = ctx.request.sourceFolder, destination = ctx.request.destinationFolder, rules] {
            Listed listed {std::make_unique<modFSO::TransferFolders>(source, destination, rules), {}, {}};
            listed.listing = listed.folders->listPlainFiles();
            listed.folders->removeLeftoverTemporaries();
            listed.recordError = listed.folders->readUnfinishedMoves();
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
    // No file is being handled yet: the lines go after whatever came last.
    ctx.name.clear();
    if (listed.listing.error)
        logError(ctx, listed.listing.error->description);
    if (listed.recordError)
        sayRecordUnusable(ctx, m_movesRecordSaid,
            listed.recordError->description + QLatin1String(" - ") + listed.recordError->path);
    else
        m_movesRecordSaid = false;
    ctx.names = std::move(listed.listing.value);
}

void TransferRun::runFileLoop(Context &ctx)
{
    m_inFileLoop = true;
    m_captionMove = ctx.request.move;
    m_captionFiles = ctx.names.size();
    showRunCaption();

    ctx.fileCounter = static_cast<qint32>(ctx.names.size());
    ctx.settleBudgetMs = qint64(ctx.settleSeconds) * 1000;
    const FileDecision::Plan plan {ctx.request.move, ctx.request.overwrite, ctx.folders->sameFileSystem()};
    for (int next = 0; next < ctx.names.size();) {
        // A stop asked for during the listing, or while a stretch came to rest, comes before
        // the next stretch's workers: they would name files the moment they start.
        if (m_stopRequested) {
            ctx.fileCounter = next;
            break;
        }
        ctx.check = Settings::freeSpaceCheckWanted(m_checkDestination.value());
        TransferPipeline::Options options {m_freeSpace, ctx.check.wanted, ctx.check.unreadable,
            &ctx.settleBudgetMs, m_workers, m_filesAhead >= 0};
        // On the heap: each stretch's threads meet in a pipeline of its own, never in the memory
        // of the one before.
        const auto pipeline
            = std::make_unique<TransferPipeline>(*ctx.folders, plan, ctx.names, next, options);
        ctx.pipeline = pipeline.get();
        next = runStretch(ctx, *pipeline, next);
        settle(ctx, *pipeline);
        ctx.pipeline = nullptr;
    }
    ctx.folders->forgetFinishedMoves();

    if (m_stopRequested) {
        logCancelSummary(ctx);
        m_stopRequested = false;
    }
    freeControls();
    m_inFileLoop = false;
}

// The files from first on, until the end of the list or a cut. The files before a cut are
// handled and logged as usual.
int TransferRun::runStretch(Context &ctx, TransferPipeline &pipeline, int first)
{
    ctx.end = int(ctx.names.size());
    for (int i = first; i < ctx.end; ++i) {
        ctx.current = i;
        ctx.lineRow = -1;
        offerEvents(ctx);
        if (i >= ctx.end)
            break;
        handleInTurn(ctx, pipeline, i);
    }
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

void TransferRun::handleInTurn(Context &ctx, TransferPipeline &pipeline, int index)
{
    const bool copy = !ctx.request.move;
    ctx.name = LoggedName(ctx.names.at(index));
    ctx.verb = text(copy ? Copied : Moved);
    ctx.linePending = true;
    ctx.lineSeen = false;
    offerEvents(ctx);
    if (m_filesAhead >= 0)
        pipeline.release(index + 1 + m_filesAhead);
    // Stopped in the very round that showed the file: the user saw the file before it, and
    // this one is not handled.
    if (index >= ctx.end) {
        if (ctx.lineRow >= 0 && m_log.clearCount() == ctx.lineLogCleared)
            m_log.removeLine(ctx.lineRow);
        return;
    }
    awaitOutcome(ctx, pipeline, index);
    finishFile(ctx, pipeline.outcome(index));
    ctx.failureMark = false;
}

void TransferRun::awaitOutcome(Context &ctx, TransferPipeline &pipeline, int index)
{
    const int wait = std::max(m_eventIntervalMs, LongestWaitMs);
    while (!pipeline.waitFor(index, wait))
        offerEvents(ctx);
}

void TransferRun::finishFile(Context &ctx, const FileOutcome &outcome)
{
    if (outcome.settingUnreadable)
        logError(ctx, ctx.check.unreadable);
    if (ctx.failureMark)
        return;
    const bool copy = !ctx.request.move;
    const QString &name = ctx.name;
    const QString done = text(copy ? Copied : Moved);
    const QString notDone = text(copy ? NotCopied : NotMoved);
    switch (outcome.result) {
    case Result::Done:
        return showResult(ctx, plainResult(done, name));
    case Result::Replaced:
        return showResult(ctx, reasonInBrackets(done, text(Replaced), name));
    case Result::KeptExisting:
        return showResult(ctx, reasonInBrackets(notDone, text(Exists), name));
    case Result::NoSpace:
        return showResult(ctx, reasonAfterDash(notDone, text(NoSpace), name));
    case Result::InUse:
        ++ctx.pendingFiles;
        return showResult(ctx, reasonInBrackets(notDone, text(InUse), name));
    case Result::StillWritten:
        ++ctx.pendingFiles;
        return showResult(ctx, reasonInBrackets(notDone, text(StillWritten), name));
    case Result::Changed:
        return logError(ctx, text(copy ? ChangedWhileCopied : ChangedWhileMoved));
    case Result::Failed:
        return logError(ctx, outcome.error ? outcome.error->description : QString());
    case Result::Stopped:
        return;
    }
}

// The file's line takes the place of its in-progress line, wherever that stands now: lines of
// other writers that came after it (Start, Stop, a change of language) stay after it.
void TransferRun::showResult(Context &ctx, const QString &line)
{
    if (ctx.lineRow >= 0 && m_log.clearCount() == ctx.lineLogCleared) {
        m_log.replaceLine(ctx.lineRow, line, ctx.prefixWanted);
    } else {
        m_log.logWithPrefix(line, ctx.prefixWanted);
        ctx.lineRow = m_log.lineCount() - 1;
        ctx.lineLogCleared = m_log.clearCount();
    }
    ctx.linePending = false;
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

// A record of this program's own (its temporaries, its moves cut off) that is no regular file of
// its size counts as none: the run says so once, on an error line of its own, until it is usable
// again.
void TransferRun::sayRecordUnusable(Context &ctx, bool &said, const QString &what)
{
    if (said)
        return;
    said = true;
    m_log.logWithPrefix(text(ErrorLabel) + QLatin1String(": ") + what, ActivityLog::PrefixWanted());
    if (++ctx.errorLines == 1)
        ctx.firstError = what;
}

void TransferRun::logCancelSummary(const Context &ctx)
{
    m_log.log(text(Cancelled) + QLatin1String(": ") + ctx.verb + QLatin1Char(' ')
        + QString::number(ctx.fileCounter) + QLatin1Char(' ') + text(ctx.fileCounter == 1 ? OneFile : Files));
}

// The window's events run here when they are due: first the newest line is made visible.
// While they run, no file takes its name but the one whose in-progress line the user could
// see before this round (a line written now is painted only during it), so that a click on
// Stop, or a dialog opened meanwhile, finds the run where the log showed it.
void TransferRun::offerEvents(Context &ctx)
{
    if (m_eventIntervalMs > 0 && m_sinceEvents.isValid() && m_sinceEvents.elapsed() < m_eventIntervalMs)
        return;
    const bool lineShown = ctx.lineRow >= 0 && !ctx.linePending;
    ctx.lineSeen = lineShown;
    if (ctx.pipeline)
        ctx.pipeline->holdNames(ctx.lineSeen ? ctx.current : ctx.current - 1);
    if (ctx.linePending) {
        m_log.logInProgress(plainResult(text(ctx.request.move ? Moving : Copying), ctx.name));
        ctx.linePending = false;
        ctx.lineRow = m_log.lineCount() - 1;
        ctx.lineLogCleared = m_log.clearCount();
    }
    m_log.selectNewest();
    pumpEvents();
    if (ctx.pipeline)
        cutAfterEvents(ctx);
}

// A stop seen in the event round cuts the list where names were held. So does a change of the
// free-space check (switched on or off in the options): the files after the cut are decided
// anew, as the check now says.
void TransferRun::cutAfterEvents(Context &ctx)
{
    TransferPipeline &pipeline = *ctx.pipeline;
    if (ctx.cut())
        return;
    const Settings::FreeSpaceCheck check = Settings::freeSpaceCheckWanted(m_checkDestination.value());
    const bool checkChanged = check.wanted != ctx.check.wanted || check.unreadable != ctx.check.unreadable;
    if (m_stopRequested || checkChanged) {
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
