#pragma once

#include "engine/FreshSetting.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <memory>

class ActivityLog;
class MainWindowHost;
class TransferPipeline;
struct FileOutcome;
struct MainWindowState;

namespace modFSO
{
class TransferFolders;
}

// The transfer run: copies or moves every plain file of the source folder into the
// destination folder, one log line per file. It reads its inputs from the window through the
// host at the moment it needs them and keeps nothing between runs but the window state.
//
// The files' I/O runs on worker threads a few files ahead of the log; this thread decides
// what needs the window or the settings, writes the log lines in list order and lets the
// window's events run meanwhile, so that the window answers even while a large file is copied.
class TransferRun
{
public:
    explicit TransferRun(MainWindowHost &host);
    ~TransferRun();

    // The run. Only one run is ever active: a call while one is working returns at once.
    void RunTransfer();
    bool isActive() const { return m_active; }

    // Locks (enabled false) or frees the inputs for the length of the file loop and sets the
    // captions that go with it.
    void SetRunControls(bool enabled, const QString &fileWord, const QString &fileCount);

    // Pending events run at most this often during a run (in ms); 0 lets them run at every
    // point where the run offers it.
    void setEventInterval(int milliseconds) { m_eventIntervalMs = milliseconds; }
    // How many files the workers may handle beyond the one whose line is being written. With 0
    // a file is touched only at its turn, after its in-progress line and a round of events.
    void setFilesAhead(int files) { m_filesAhead = files; }

    static constexpr int DefaultFilesAhead = 32;

private:
    enum class Action { Copy, Move };

    struct Context;

    void run();
    QList<QByteArray> listSource(Context &ctx);
    void runFileLoop(Context &ctx, const QList<QByteArray> &names);
    void handleInTurn(Context &ctx, TransferPipeline &pipeline, int index);
    void handOut(Context &ctx, TransferPipeline &pipeline, int index);
    bool fitsInDestination(Context &ctx, const QByteArray &name);
    bool runsAhead();
    bool freeSpaceCheckWanted(Context &ctx);
    void awaitOutcome(Context &ctx, TransferPipeline &pipeline, int index);
    void finishFile(Context &ctx, const FileOutcome &outcome);
    int finishAfterStop(Context &ctx, TransferPipeline &pipeline, int index);
    void showResult(Context &ctx, const QString &line);
    void logError(Context &ctx, const QString &description);
    void logCancelSummary(const Context &ctx);
    void offerEvents(Context &ctx);
    void pumpEvents();

    MainWindowState &state();
    ActivityLog &log();
    QString text(int id);

    MainWindowHost &m_host;
    FreshSetting m_checkDestination {Settings::FreeSpaceCheckOfRun};
    bool m_active = false;
    int m_eventIntervalMs = 16;
    int m_filesAhead = DefaultFilesAhead;
    QElapsedTimer m_sinceEvents;
};
