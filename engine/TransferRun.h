#pragma once

#include "config/FrmMainTexts.h"
#include "engine/FreshSetting.h"
#include "fs/FsError.h"
#include "fs/Readiness.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>

class ActivityLog;
class ScheduleWindow;
class TransferPipeline;
struct FileOutcome;

// The transfer run: copies or moves every plain file of the source folder into the
// destination folder, one log line per file. It reads what to transfer from the window when
// it begins and keeps nothing between runs but what it saw of files that were still being
// written.
//
// One file's way: the folder is listed (on a thread of its own, while the window answers); a
// worker decides the file, waits for it to be ready and copies it (TransferPipeline); the file
// takes its name in list order; here its in-progress line is replaced by its result line. This
// thread only writes the lines and lets the window's events run meanwhile, so that the window
// answers even while a large file is copied.
class TransferRun
{
public:
    // scheduleStarted: whether the schedule is started, which decides the Start/Stop button's
    // text after a run and whether the schedule's lock comes back.
    TransferRun(ScheduleWindow &window, ActivityLog &log, const FrmMainTexts::Table &texts,
        const bool &scheduleStarted);
    ~TransferRun();

    // The run. Only one run is ever active: a call while one is working returns at once.
    // Answers how many files the run left because they were in use or still being written.
    int RunTransfer();
    bool isActive() const { return m_active; }
    // The run is in its file loop.
    bool inFileLoop() const { return m_inFileLoop; }
    // Asks the run to stop before its next file. It finishes the file it is handling, writes its
    // summary and clears the request; a request never outlives the run it was made in.
    void requestStop() { m_stopRequested = true; }
    bool stopRequested() const { return m_stopRequested; }
    // The window's texts changed (another language): the run shows its button and caption anew.
    void retext();

    // The free space of a destination folder; the system's by default. Asked from the worker.
    using FreeSpaceProbe = std::function<modFSO::FsResult<qint64>(const QString &folder)>;
    void setFreeSpaceProbe(FreeSpaceProbe probe) { m_freeSpace = std::move(probe); }

    // Pending events run at most this often during a run (in ms); 0 lets them run at every
    // point where the run offers it.
    void setEventInterval(int milliseconds) { m_eventIntervalMs = milliseconds; }
    // How many files the worker may take beyond the one whose line is being written (the
    // default: as many as wait for their names). With 0 a file is touched only at its turn,
    // after its in-progress line and a round of events, where a test can act.
    void setFilesAhead(int files) { m_filesAhead = files; }
    // 1 or 2 workers from the first file on; 0 (the default) lets the run choose by the files.
    void setWorkers(int workers) { m_workers = workers; }
    // What the run's looks saw of files that no lease vouches for, kept from run to run.
    modFSO::FileLooks &fileLooks() { return m_looks; }

    static constexpr int AllFilesAhead = -1;

    // A name as the log shows it: characters that would break the line or turn its text
    // around (control characters, line and paragraph separators, bidirectional controls) are
    // written as escapes such as "\n" or "\u202e". The file keeps its name.
    static QString LoggedName(const QByteArray &name);

private:
    struct Context;

    void lockControls();
    void showRunCaption();
    void freeControls();
    int run();
    void listSource(Context &ctx);
    void runFileLoop(Context &ctx);
    int runStretch(Context &ctx, TransferPipeline &pipeline, int first);
    void settle(Context &ctx, TransferPipeline &pipeline);
    void handleInTurn(Context &ctx, TransferPipeline &pipeline, int index);
    void awaitOutcome(Context &ctx, TransferPipeline &pipeline, int index);
    void finishFile(Context &ctx, const FileOutcome &outcome);
    void showResult(Context &ctx, const QString &line);
    void logError(Context &ctx, const QString &description);
    void logCancelSummary(const Context &ctx);
    void sayRecordUnusable(Context &ctx, bool &said, const QString &what);
    void offerEvents(Context &ctx);
    void cutAfterEvents(Context &ctx);
    void pumpEvents();

    QString text(FrmMainTexts::TextId id) const { return m_texts.text(id); }

    ScheduleWindow &m_window;
    ActivityLog &m_log;
    const FrmMainTexts::Table &m_texts;
    const bool &m_scheduleStarted;
    FreeSpaceProbe m_freeSpace;
    FreshSetting m_checkDestination {Settings::FreeSpaceCheckOfRun};
    modFSO::FileLooks m_looks;
    bool m_active = false;
    bool m_inFileLoop = false;
    bool m_stopRequested = false;
    // Whether the run said that a record of its own cannot be used; said again only after it was
    // usable in between.
    bool m_temporariesRecordSaid = false;
    bool m_movesRecordSaid = false;
    int m_eventIntervalMs = 16;
    int m_filesAhead = AllFilesAhead;
    int m_workers = 0;
    // The run's caption: the action and the number of files, for a redraw in another language.
    bool m_captionMove = false;
    qsizetype m_captionFiles = 0;
    QElapsedTimer m_sinceEvents;
};
