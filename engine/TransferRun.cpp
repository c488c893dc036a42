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

namespace
{

using namespace FrmMainTexts;

// Room the checks keep free on the destination, in bytes.
constexpr qint64 FreeSpaceMargin = 1024;
// The longest wait for a file's outcome before the window's events run again, in ms.
constexpr int LongestWaitMs = 16;

// A name as the log shows it: a control character (a line break in a name, say) is written as
// an escape such as "\n", so that every file keeps to one line. The file keeps its name.
QString loggedName(const QByteArray &name)
{
    QString text = modFSO::detail::decodedPath(name);
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const char16_t c = text.at(i).unicode();
        if (c >= 0x20 && c != 0x7F)
            continue;
        const QString escape = c == '\n' ? QStringLiteral("\\n")
            : c == '\r'                  ? QStringLiteral("\\r")
            : c == '\t'                  ? QStringLiteral("\\t")
                                         : QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'));
        text.replace(i, 1, escape);
    }
    return text;
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
    QList<QByteArray> names;
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
    ctx.folders = std::make_unique<modFSO::TransferFolders>(ctx.sourceFolder, ctx.destinationFolder);
    ctx.sameFileSystem = ctx.folders->sameFileSystem();

    const QList<QByteArray> names = listSource(ctx);
    ctx.prefixWanted = ActivityLog::PrefixWanted();
    ctx.folders->removeLeftoverTemporaries();
    if (names.isEmpty()) {
        if (!ctx.failureMark)
            m_log.logWithPrefix(
                text(EmptyFolder) + QLatin1String(": ") + text(EmptyFolderTail) + QLatin1Char(' '),
                ctx.prefixWanted);
    } else {
        ctx.failureMark = false;
        runFileLoop(ctx, names);
    }

    m_log.selectNewest();
    m_window.showBusy(false);
    m_window.showRunEnded({m_log.momentText(), ctx.failedFiles, ctx.errorLines, ctx.firstError});
}

// A listing that breaks off gives its error line, and the run goes on with the names read.
QList<QByteArray> TransferRun::listSource(Context &ctx)
{
    modFSO::FsResult<QList<QByteArray>> listing = ctx.folders->listPlainFiles();
    if (listing.error) {
        // No file is being handled yet: the newest line belongs to someone else and stays.
        ctx.lineShown = false;
        ctx.name.clear();
        logError(ctx, listing.error->description);
    }
    return std::move(listing.value);
}

void TransferRun::runFileLoop(Context &ctx, const QList<QByteArray> &names)
{
    m_inFileLoop = true;
    const QString fileWord = text(names.size() > 1 ? Files : OneFile);
    SetRunControls(false, ctx.action == Action::Move, fileWord, QString::number(names.size()));

    ctx.names = names;
    ctx.fileCounter = static_cast<qint32>(names.size());
    {
        TransferPipeline pipeline(
            *ctx.folders, {ctx.action == Action::Move, ctx.overwrite, ctx.sameFileSystem}, names);
        for (int i = 0; i < names.size(); ++i) {
            offerEvents(ctx);
            if (m_stopRequested) {
                ctx.fileCounter = finishAfterStop(ctx, pipeline, i);
                break;
            }
            handleInTurn(ctx, pipeline, i);
        }
    }

    if (m_stopRequested) {
        logCancelSummary(ctx);
        m_stopRequested = false;
    }
    SetRunControls(true, ctx.action == Action::Move, QString(), QString());
    m_inFileLoop = false;
}

void TransferRun::handleInTurn(Context &ctx, TransferPipeline &pipeline, int index)
{
    const bool copy = ctx.action == Action::Copy;
    ctx.name = loggedName(ctx.names.at(index));
    ctx.verb = text(copy ? Copied : Moved);
    ctx.linePending = true;
    ctx.lineShown = false;
    offerEvents(ctx);

    if (index >= pipeline.released())
        handOut(ctx, pipeline, index);
    else if (runsAhead())
        pipeline.release(index + 1 + m_filesAhead);
    awaitOutcome(ctx, pipeline, index);
    finishFile(ctx, pipeline.outcome(index));
    ctx.failureMark = false;
}

// Without the free-space check the workers run ahead. With it, each new file waits for its
// turn, because whether it fits depends on what the files before it took.
void TransferRun::handOut(Context &ctx, TransferPipeline &pipeline, int index)
{
    if (runsAhead()) {
        pipeline.release(index + 1 + m_filesAhead);
        return;
    }
    const QByteArray &name = ctx.names.at(index);
    if (!ctx.folders->destinationHas(name) && freeSpaceCheckWanted(ctx))
        pipeline.setFits(index, fitsInDestination(ctx, name));
    pipeline.release(index + 1);
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
    const int wait = std::max(m_eventIntervalMs, LongestWaitMs);
    while (!pipeline.waitFor(index, wait))
        offerEvents(ctx);
}

void TransferRun::finishFile(Context &ctx, const FileOutcome &outcome)
{
    if (ctx.failureMark)
        return;
    const bool copy = ctx.action == Action::Copy;
    const QString &name = ctx.name;
    switch (outcome.result) {
    case FileOutcome::Result::Done:
        return showResult(ctx, plainResult(text(copy ? Copied : Moved), name));
    case FileOutcome::Result::Replaced:
        return showResult(ctx, reasonInBrackets(text(copy ? Copied : Moved), text(Replaced), name));
    case FileOutcome::Result::KeptExisting:
        return showResult(ctx, reasonInBrackets(text(copy ? NotCopied : NotMoved), text(Exists), name));
    case FileOutcome::Result::NoSpace:
        return showResult(ctx, reasonAfterDash(text(copy ? NotCopied : NotMoved), text(NoSpace), name));
    case FileOutcome::Result::Failed:
        return logError(ctx, outcome.error ? outcome.error->description : QString());
    case FileOutcome::Result::Stopped:
        return;
    }
}

// The files after the stop that the workers had already placed are part of the run: they get
// their lines, and the summary counts them. Nothing after them was touched.
int TransferRun::finishAfterStop(Context &ctx, TransferPipeline &pipeline, int index)
{
    pipeline.stop();
    int handled = index;
    for (; handled < ctx.names.size(); ++handled) {
        const FileOutcome outcome = pipeline.outcome(handled);
        if (outcome.result == FileOutcome::Result::Stopped)
            break;
        ctx.name = loggedName(ctx.names.at(handled));
        ctx.verb = text(ctx.action == Action::Copy ? Copied : Moved);
        ctx.lineShown = false;
        ctx.failureMark = false;
        finishFile(ctx, outcome);
    }
    return handled;
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
void TransferRun::offerEvents(Context &ctx)
{
    if (m_eventIntervalMs > 0 && m_sinceEvents.isValid() && m_sinceEvents.elapsed() < m_eventIntervalMs)
        return;
    if (ctx.linePending) {
        m_log.log(plainResult(text(ctx.action == Action::Copy ? Copying : Moving), ctx.name));
        ctx.linePending = false;
        ctx.lineShown = true;
    }
    m_log.selectNewest();
    pumpEvents();
}

void TransferRun::pumpEvents()
{
    m_window.letEventsRun();
    m_sinceEvents.start();
    // The options may have been saved meanwhile.
    m_checkDestination.expire();
}
