#pragma once

#include "engine/FreshSetting.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

class ActivityLog;
class MainWindowHost;
struct MainWindowState;

// The transfer run: copies or moves every plain file of the source folder into the
// destination folder, one log line per file. It reads its inputs from the window through the
// host at the moment it needs them and keeps nothing between runs but the window state.
class TransferRun
{
public:
    explicit TransferRun(MainWindowHost &host);

    // The run. Only one run is ever active: a call while one is working returns at once.
    void RunTransfer();
    bool isActive() const { return m_active; }

    // Locks (enabled false) or frees the inputs for the length of the file loop and sets the
    // captions that go with it.
    void SetRunControls(bool enabled, const QString &fileWord, const QString &fileCount);

    // Pending events run at most this often during a run (in ms); 0 lets them run at every
    // point where the run offers it.
    void setEventInterval(int milliseconds) { m_eventIntervalMs = milliseconds; }

private:
    enum class Action { Copy, Move };

    struct Context;

    void run();
    QStringList listSource(Context &ctx);
    void runFileLoop(Context &ctx, const QStringList &files);
    void handleFile(Context &ctx, const QString &name);
    void copyFile(Context &ctx, const QString &name, const QString &source, const QString &destination);
    void moveFile(Context &ctx, const QString &name, const QString &source, const QString &destination);
    bool freeSpaceCheckWanted(Context &ctx, const QString &name);
    void readSourceSize(Context &ctx, const QString &name, const QString &source);
    void finishFile(Context &ctx, const QString &name, const QString &failure, const QString &successLine);
    void logError(Context &ctx, const QString &description, const QString &name, bool replaceNewest);
    void logCancelSummary(const Context &ctx);
    void pumpEvents();

    MainWindowState &state();
    ActivityLog &log();
    QString text(int id);

    MainWindowHost &m_host;
    FreshSetting m_checkDestination {Settings::FreeSpaceCheckOfRun};
    bool m_active = false;
    int m_eventIntervalMs = 16;
    QElapsedTimer m_sinceEvents;
};
