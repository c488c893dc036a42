#include "engine/TransferRun.h"

#include "config/modGlobal.h"
#include "engine/ActivityLog.h"
#include "engine/MainWindowHost.h"
#include "fs/modFSO.h"

#include <array>

namespace
{

// Text ids of section frmMain that the run writes.
enum TextId {
    StateRun = 15,
    EmptyFolder = 18,
    EmptyFolderTail = 19,
    NoSpace = 20,
    NotMoved = 21,
    NotCopied = 22,
    Replaced = 23,
    Exists = 24,
    Copied = 25,
    Moved = 26,
    Copying = 27,
    Moving = 28,
    OneFile = 29,
    Files = 30,
    Cancelled = 31,
    ButtonRunning = 32,
    ButtonStarted = 11,
    ButtonStopped = 12,
    ErrorLabel = 35,
};

// Room the checks keep free on the destination, in bytes.
constexpr qint64 FreeSpaceMargin = 1024;

// The description of the OS error inside an error text of the file operations
// ("... Error(n): description Source Path: ..."), so that the log shows what went wrong
// without the paths, which the line already names. Any other text is shown whole.
QString errorDescription(const QString &errorText)
{
    const int open = errorText.indexOf(QLatin1String("Error("));
    const int colon = open < 0 ? -1 : errorText.indexOf(QLatin1String("): "), open);
    if (colon < 0)
        return errorText;
    const int from = colon + 3;
    int end = -1;
    static const std::array<QLatin1String, 3> pathLabels = {
        QLatin1String(" Source Path: "), QLatin1String(" Destination Path: "), QLatin1String(" FileName: ")};
    for (const QLatin1String &label : pathLabels) {
        const int at = errorText.indexOf(label, from);
        if (at >= 0 && (end < 0 || at < end))
            end = at;
    }
    return end < 0 ? errorText.mid(from) : errorText.mid(from, end - from);
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
    bool prefixWanted = false;
    // Set when an error line was written for the file being handled: its result line is
    // then left out, so the error line stays in its place.
    bool failureMark = false;
    qint32 fileCounter = 0;
    QString verb;
    qint64 sourceSize = 0;
    modFSO::ProgressCallback progress;
};

TransferRun::TransferRun(MainWindowHost &host)
    : m_host(host)
{
}

void TransferRun::RunTransfer()
{
    if (m_active)
        return;
    ActiveFlag active(m_active);
    run();
}

void TransferRun::SetRunControls(bool enabled, const QString &fileWord, const QString &fileCount)
{
    m_host.setRunInputsEnabled(enabled);
    if (!enabled) {
        m_host.setStopStartCaption(text(ButtonRunning));
        const QString word = text(m_host.moveSelected() ? Moving : Copying);
        m_host.setWindowCaption(QLatin1String(modGlobal::ProductName) + QLatin1String(" - ") + text(StateRun)
            + QLatin1String(" (") + word + QLatin1Char(' ') + fileCount + QLatin1Char(' ') + fileWord
            + QLatin1Char(')'));
        return;
    }
    m_host.setStopStartCaption(text(state().Started ? ButtonStarted : ButtonStopped));
    // Enabling the inputs after the run must not undo the lock of a started schedule.
    if (state().Started)
        m_host.SetScheduleControls(false);
}

void TransferRun::run()
{
    m_host.setBusyPointer(true);
    m_sinceEvents.invalidate();
    m_checkDestination.expire();

    Context ctx;
    ctx.sourceFolder = m_host.sourceFolderText();
    ctx.destinationFolder = m_host.destinationFolderText();
    ctx.action = m_host.moveSelected() ? Action::Move : Action::Copy;
    ctx.prefixWanted = ActivityLog::PrefixWanted();
    ctx.progress = [this] { pumpEvents(); };

    const QStringList files = listSource(ctx);
    if (files.isEmpty()) {
        if (!ctx.failureMark)
            log().logWithPrefix(
                text(EmptyFolder) + QLatin1String(": ") + text(EmptyFolderTail) + QLatin1Char(' '),
                ctx.prefixWanted);
        ctx.failureMark = false;
    } else {
        runFileLoop(ctx, files);
    }

    log().selectNewest();
    m_host.setBusyPointer(false);
}

QStringList TransferRun::listSource(Context &ctx)
{
    try {
        return modFSO::ListPlainFiles(ctx.sourceFolder);
    } catch (const modFSO::FsError &error) {
        // No file is being handled yet: the newest line belongs to someone else and stays.
        logError(ctx, error.description(), QString(), false);
        return {};
    }
}

void TransferRun::runFileLoop(Context &ctx, const QStringList &files)
{
    state().RunInProgress = true;
    const QString fileWord = text(files.size() > 1 ? Files : OneFile);
    SetRunControls(false, fileWord, QString::number(files.size()));

    ctx.fileCounter = static_cast<qint32>(files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        log().selectNewest();
        pumpEvents();
        if (state().StopRequested) {
            ctx.fileCounter = static_cast<qint32>(i);
            break;
        }
        handleFile(ctx, files.at(i));
    }

    if (state().StopRequested) {
        logCancelSummary(ctx);
        state().StopRequested = false;
    }
    SetRunControls(true, QString(), QString());
    state().RunInProgress = false;
}

void TransferRun::handleFile(Context &ctx, const QString &name)
{
    const QString source = ctx.sourceFolder + QLatin1Char('/') + name;
    const QString destination = ctx.destinationFolder + QLatin1Char('/') + name;
    const bool copy = ctx.action == Action::Copy;

    ctx.verb = text(copy ? Copied : Moved);
    log().log(plainResult(text(copy ? Copying : Moving), name));
    log().selectNewest();
    pumpEvents();

    if (copy)
        copyFile(ctx, name, source, destination);
    else
        moveFile(ctx, name, source, destination);
    ctx.failureMark = false;
}

void TransferRun::copyFile(
    Context &ctx, const QString &name, const QString &source, const QString &destination)
{
    if (modFSO::FileExists(destination)) {
        // Source and destination can be one file (the same folder, or reached through a
        // link): there is nothing to copy, and replacing it would destroy it.
        if (!m_host.overwriteChecked() || modFSO::IsSameFile(source, destination))
            return finishFile(ctx, name, QString(), reasonInBrackets(text(NotCopied), text(Exists), name));
        // The copy replaces the old file only once it is complete, so a failed copy keeps it.
        const auto failure = modFSO::CopyAFile(source, destination, true, ctx.progress);
        return finishFile(
            ctx, name, failure.value_or(QString()), reasonInBrackets(text(Copied), text(Replaced), name));
    }

    // The size matters only to the free-space check; a file that has gone meanwhile makes the
    // copy fail with the same description either way.
    if (freeSpaceCheckWanted(ctx, name)) {
        readSourceSize(ctx, name, source);
        if (ctx.sourceSize >= m_host.diskFree(ctx.destinationFolder) - FreeSpaceMargin)
            return finishFile(ctx, name, QString(), reasonAfterDash(text(NotCopied), text(NoSpace), name));
        const auto failure = modFSO::CopyAFile(source, destination, true, ctx.progress);
        return finishFile(ctx, name, failure.value_or(QString()), plainResult(text(Copied), name));
    }
    const auto failure = modFSO::CopyAFile(source, destination, m_host.overwriteChecked(), ctx.progress);
    finishFile(ctx, name, failure.value_or(QString()), plainResult(text(Copied), name));
}

void TransferRun::moveFile(
    Context &ctx, const QString &name, const QString &source, const QString &destination)
{
    if (modFSO::FileExists(destination)) {
        if (!m_host.overwriteChecked() || modFSO::IsSameFile(source, destination))
            return finishFile(ctx, name, QString(), reasonInBrackets(text(NotMoved), text(Exists), name));
        // The old file gives way only to the complete one: a move that fails (the source
        // has gone, the disk is full) must not have deleted it first.
        const QString failure = modFSO::MoveAFile(source, destination, ctx.progress, true);
        return finishFile(ctx, name, failure, reasonInBrackets(text(Moved), text(Replaced), name));
    }

    if (modFSO::IsSameFileSystem(ctx.sourceFolder, ctx.destinationFolder)) {
        // A rename needs no room for the file's data.
        if (freeSpaceCheckWanted(ctx, name) && m_host.diskFree(ctx.destinationFolder) <= FreeSpaceMargin)
            return finishFile(ctx, name, QString(), reasonAfterDash(text(NotMoved), text(NoSpace), name));
        return finishFile(
            ctx, name, modFSO::MoveAFile(source, destination, ctx.progress), plainResult(text(Moved), name));
    }

    if (freeSpaceCheckWanted(ctx, name)) {
        readSourceSize(ctx, name, source);
        if (ctx.sourceSize >= m_host.diskFree(ctx.destinationFolder) - FreeSpaceMargin)
            return finishFile(ctx, name, QString(), reasonAfterDash(text(NotMoved), text(NoSpace), name));
    }
    finishFile(
        ctx, name, modFSO::MoveAFile(source, destination, ctx.progress), plainResult(text(Moved), name));
}

bool TransferRun::freeSpaceCheckWanted(Context &ctx, const QString &name)
{
    // Read before every file, so that a value saved from the options during a run applies
    // from the next file on. "1" (or any number but 0) means: do not check.
    const QString stored = m_checkDestination.value();
    bool isNumber = false;
    const double value = stored.trimmed().toDouble(&isNumber);
    if (!isNumber) {
        logError(ctx, QLatin1String("CheckDestination is not a number: \"") + stored + QLatin1Char('"'), name,
            true);
        return true;
    }
    return value == 0;
}

void TransferRun::readSourceSize(Context &ctx, const QString &name, const QString &source)
{
    try {
        ctx.sourceSize = modFSO::FileSize(source);
    } catch (const modFSO::FsError &error) {
        // The decision goes on with the size read last; the copy or move that follows fails
        // for a file that has gone, and this line already says why.
        logError(ctx, error.description(), name, true);
    }
}

void TransferRun::finishFile(
    Context &ctx, const QString &name, const QString &failure, const QString &successLine)
{
    if (ctx.failureMark)
        return;
    if (!failure.isEmpty())
        logError(ctx, errorDescription(failure), name, true);
    else
        log().replaceNewest(successLine, ctx.prefixWanted);
}

void TransferRun::logError(Context &ctx, const QString &description, const QString &name, bool replaceNewest)
{
    const QString line = text(ErrorLabel) + QLatin1String(": ") + description + QLatin1String(" - ") + name;
    if (replaceNewest)
        log().replaceNewest(line, ctx.prefixWanted);
    else
        log().logWithPrefix(line, ctx.prefixWanted);
    ctx.failureMark = true;
}

void TransferRun::logCancelSummary(const Context &ctx)
{
    log().log(text(Cancelled) + QLatin1String(": ") + ctx.verb + QLatin1Char(' ')
        + QString::number(ctx.fileCounter) + QLatin1Char(' ') + text(ctx.fileCounter == 1 ? OneFile : Files));
}

void TransferRun::pumpEvents()
{
    if (m_eventIntervalMs > 0 && m_sinceEvents.isValid() && m_sinceEvents.elapsed() < m_eventIntervalMs)
        return;
    m_host.processEvents();
    m_sinceEvents.start();
    // The options may have been saved meanwhile.
    m_checkDestination.expire();
}

MainWindowState &TransferRun::state()
{
    return m_host.state();
}

ActivityLog &TransferRun::log()
{
    return m_host.activityLog();
}

QString TransferRun::text(int id)
{
    return m_host.state().text(id);
}
