#pragma once

#include "config/FrmMainTexts.h"
#include "engine/ActivityLog.h"
#include "engine/Scheduler.h"
#include "ui/MainWindowPort.h"
#include "ui/TrayPresence.h"
#include "ui/dlgOptionen.h"

#include <QIcon>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

class QLineEdit;
class QRadioButton;
namespace Ui
{
class frmMain;
}

// The main window: the two folders, the interval, the copy/move choice, the overwrite and log
// switches, the activity log and the command buttons; an icon in the notification area while
// it is minimised there. The schedule and the run own their state and work on the window
// through its MainWindowPort; the handlers keep the names of the events they answer.
class frmMain : public QWidget
{
    Q_OBJECT

public:
    // arguments: the program's command-line arguments without the program name; "/s" starts
    // the schedule as soon as the window is first shown. The window loads (texts, settings,
    // folder check) before it returns.
    explicit frmMain(const QStringList &arguments, QWidget *parent = nullptr);
    ~frmMain() override;

    // Reads the window's texts from the language file and puts them on the controls.
    void LoadLanguage();
    // Redraws the schedule's captions and the interval list; logs the language line when the
    // language changed. Called by the options dialog after it saved.
    void SetMessages(bool languageChanged);
    // What the options dialog refreshes after it saved: this window.
    dlgOptionen::Owner optionsOwner();

    // ---- event handlers --------------------------------------------------------------------
    void cmdStopStart_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    void cmdFrom_Click();
    void cmdTo_Click();
    void cmdInfo_Click();
    void cmdOpt_Click();
    void cmdHelp_Click();
    void cmdQuit_Click();
    void cmdQuit_KeyDown(int key);
    void dxCheck1_Change(bool checked);
    void List1_MouseMove(Qt::MouseButtons buttons, const QPoint &position);
    // The icon in the notification area (TrayPresence): activated, a button up on it (2, the
    // right one, is the menu's, which the tray opens itself), an entry of its menu chosen.
    void sevTray1_Activate();
    void sevTray1_MouseUp(int button);
    void sevTray1_MenuClick(const QString &key);
    // A click on the notification of a run with errors: the window and its log come back.
    void sevTray1_MessageClick();
    // The log file in the desktop's viewer (the tray menu's "log" and the options).
    void openLogFile();

    Scheduler &scheduler() { return m_scheduler; }
    ActivityLog &activityLog() { return m_log; }
    QSystemTrayIcon &trayIcon() { return m_tray.icon(); }
    QMenu &trayMenu() { return m_tray.menu(); }
    QTimer &timer1() { return Timer1; }
    QTimer &timer2() { return Timer2; }

signals:
    // The window was unloaded: the program ends.
    void unloaded();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The colours of the schedule's answers, which the window paints itself.
    void showFolders(bool sourceExists, bool destinationExists);
    void showIntervalRefused();

    void setUpWindow();
    void setUpTimers();
    void connectControls();
    void Form_Load(const QStringList &arguments);
    void Form_Resize();
    void Form_Unload();
    void LoadSettings();
    void SaveSettings();
    void FillIntervalList();
    void CheckFolders();
    void ShowLogArea();
    void HideLogArea();
    void ApplyBackColor();
    void nameControls();
    void keepTabOnChosenOption();
    void SetFolderToolTips();
    void browseInto(QLineEdit *field, FrmMainTexts::TextId promptId);
    void setLogLayout(bool shown);
    void showIntervalFromStart();
    void showIntervalInRed(bool red);
    void closeWhenRunEnds();
    void startFromCommandLine();
    void showInRed(QWidget *field, bool red);
    QString text(FrmMainTexts::TextId id) const { return m_texts.text(id); }

    std::unique_ptr<Ui::frmMain> m_ui;
    FrmMainTexts::Table m_texts;
    ActivityLog m_log;
    std::array<QRadioButton *, 2> dxOption1 {};
    QTimer Timer1;
    QTimer Timer2;
    // sevTray1: the icon in the notification area, its menu and the notifications.
    TrayPresence m_tray;
    // The window as the schedule sees it.
    MainWindowPort m_port;
    Scheduler m_scheduler;

    bool LogToggling = false;
    bool InResize = false;
    bool m_intervalRed = false;
    bool m_centred = false;
    // "/s" was given: the schedule starts when the window is first shown.
    bool m_startWhenShown = false;
    // A close that came while a run was working: the window closes once the run has ended.
    bool m_closeAfterRun = false;
};
