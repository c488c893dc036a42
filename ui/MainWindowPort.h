#pragma once

#include "engine/ScheduleWindow.h"

#include <array>
#include <functional>

class QRadioButton;
class QTimer;
class QWidget;
class TrayPresence;
namespace Ui
{
class frmMain;
}

// The main window as the schedule and the run see it: its folder and interval inputs, the
// Start/Stop button, the minute and blink timers, the busy pointer and the caption. What the
// window paints in colours of its own (a missing folder, a refused interval) it shows itself.
class MainWindowPort : public ScheduleWindow
{
public:
    // The window's own answers: the two folders exist or not; the interval was refused.
    struct Colours {
        std::function<void(bool sourceExists, bool destinationExists)> showFolders;
        std::function<void()> showIntervalRefused;
    };
    struct Parts {
        QWidget &window;
        Ui::frmMain &form;
        // The Move and Copy options, once the form is set up.
        const std::array<QRadioButton *, 2> &options;
        QTimer &minuteTimer;
        QTimer &blinkTimer;
        TrayPresence &tray;
    };

    MainWindowPort(Parts parts, Colours colours);
    // A window that goes away during a run gives the pointer back.
    ~MainWindowPort() override;

    // Puts the interval's number in sight, where the minute word is too wide for the field.
    void showIntervalFromStart();

    TransferRequest transferRequest() const override;
    QString intervalText() const override;
    void showCaption(const QString &caption) override;
    void showStartStop(const QString &text) override;
    void showStartStopPicture(const QString &iconFile) override;
    void allowStartStop(bool allowed) override;
    void showFolders(bool sourceExists, bool destinationExists) override;
    void lockScheduleInputs(bool locked) override;
    void lockRunInputs(bool locked) override;
    void offerIntervals(const QStringList &choices) override;
    void showInterval(const QString &text) override;
    void showIntervalRefused() override;
    void runMinuteTimer(bool on) override;
    void runBlinkTimer(bool on) override;
    void showBusy(bool busy) override;
    void showRunEnded(const RunReport &report) override;
    void letEventsRun() override;

private:
    Parts m_parts;
    Colours m_colours;
    bool m_busy = false;
};
