#pragma once

#include "config/FrmMainTexts.h"
#include "engine/ScheduleWindow.h"
#include "ui/DesktopNotification.h"
#include "ui/Seams.h"

#include <QMenu>
#include <QObject>
#include <QString>
#include <optional>

class QAction;
class QSystemTrayIcon;
class QWidget;

// The main window's place in the notification area: its icon with the menu "open", "log" (the
// log file) and "exit", its
// going there when minimised and coming back, and the notification of a failed run that
// nobody watched.
//
// On X11 a minimised window goes into the notification area and leaves the task bar. A native
// Wayland window never hears that it was minimised, so there the icon stays in the
// notification area for as long as the tray option is on, and the window is never hidden:
// the icon, its menu and the notification bring it forward.
class TrayPresence : public QObject
{
    Q_OBJECT

public:
    using RunReport = ScheduleWindow::RunReport;
    using Desktop = Seams::DesktopFacts;

    // How a failed run is told: not at all, by Qt's balloon beside an X11 (XEmbed) icon, or by
    // the desktop's notification server, with a default action that brings the window back.
    enum class Route { None, Balloon, ServerNotification };

    // Whether the icon stays in the notification area while the window is shown.
    static bool IconAlwaysShown(const Desktop &desktop, bool trayWanted, bool trayAvailable);
    // Whether a minimised window goes into the notification area.
    static bool HidesWhenMinimised(const Desktop &desktop, bool trayWanted, bool trayAvailable);
    // How a run with errorLines error lines is told. inTray: the window is hidden in the
    // notification area; windowActive: it has the focus, so the user sees the log.
    static Route NotificationRoute(
        const Desktop &desktop, bool trayAvailable, int errorLines, bool inTray, bool windowActive);

    TrayPresence(QWidget &window, const FrmMainTexts::Table &texts);
    ~TrayPresence() override;

    // The menu entries and the tooltip in the current language.
    void retext();
    // Puts the icon into the notification area or takes it out as the window's state, the
    // tray option and the desktop ask.
    void update();
    // The window's caption changed.
    void captionChanged();
    // The window was minimised, or its state changed otherwise.
    void windowStateChanged();
    // Brings the window back in front, with the focus.
    void restore();
    // The pointer button that went up on the icon (2: the right one, which opens the menu).
    void buttonUp(int button);
    void runEnded(const RunReport &report);
    // Hidden in the notification area.
    bool isInTray() const;
    void remove();

    QSystemTrayIcon &icon() { return *m_icon; }
    QMenu &menu() { return m_menu; }

signals:
    // The user activated the icon (a click).
    void activated();
    // The user chose the menu entry with the key "open", "log" or "exit".
    void menuChosen(const QString &key);
    // The user clicked the notification of a failed run.
    void notificationClicked();

private:
    bool trayWanted() const;
    void minimiseToTray();
    void SetTopMost(bool on);
    void refreshToolTip();
    QString lastRunText() const;
    void notifyRunErrors(const RunReport &report, Route route);
    QString text(FrmMainTexts::TextId id) const { return m_texts.text(id); }

    QWidget &m_window;
    const FrmMainTexts::Table &m_texts;
    QSystemTrayIcon *m_icon = nullptr;
    QMenu m_menu;
    QAction *m_open = nullptr;
    QAction *m_logFile = nullptr;
    QAction *m_exit = nullptr;
    DesktopNotification m_notification;
    Desktop m_desktop;
    // The caption when the icon was added, and the last run's end.
    QString m_caption;
    std::optional<RunReport> m_lastRun;
};
