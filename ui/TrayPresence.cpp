#include "ui/TrayPresence.h"

#include "config/Settings.h"
#include "config/modGlobal.h"
#include "ui/TitleFit.h"

#include <QAction>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QWidget>

namespace
{

using namespace FrmMainTexts;

// The menu's texts carry access letters, which a notification's action button does not show.
QString withoutAccessLetter(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("&(?!&)")))
        .replace(QLatin1String("&&"), QLatin1String("&"));
}

} // namespace

bool TrayPresence::IconAlwaysShown(const Desktop &desktop, bool trayWanted, bool trayAvailable)
{
    return !desktop.minimiseSeen && trayWanted && trayAvailable;
}

bool TrayPresence::HidesWhenMinimised(const Desktop &desktop, bool trayWanted, bool trayAvailable)
{
    return desktop.minimiseSeen && trayWanted && trayAvailable;
}

TrayPresence::Route TrayPresence::NotificationRoute(
    const Desktop &desktop, bool trayAvailable, int errorLines, bool inTray, bool windowActive)
{
    // Where minimising goes unseen, a window without the focus may be minimised or covered.
    const bool unseen = inTray || (!desktop.minimiseSeen && !windowActive);
    if (errorLines <= 0 || !unseen)
        return Route::None;
    // Qt's balloon goes only beside an X11 icon; elsewhere it would turn the icon into a
    // warning sign and offer nothing to click.
    const bool xembedIcon = trayAvailable && !desktop.statusNotifierTray && desktop.minimiseSeen;
    if (xembedIcon && inTray)
        return Route::Balloon;
    return desktop.notificationServer ? Route::ServerNotification : Route::None;
}

TrayPresence::TrayPresence(QWidget &window, const FrmMainTexts::Table &texts)
    : QObject(&window)
    , m_window(window)
    , m_texts(texts)
    , m_icon(new QSystemTrayIcon(this))
    , m_notification(QLatin1String(modGlobal::DesktopEntryName), QLatin1String(modGlobal::IconName))
    , m_desktop(Seams::desktopFacts())
{
    m_icon->setObjectName("sevTray1");
    m_menu.setObjectName("sevTray1Menu");
    m_open = m_menu.addAction(QString());
    m_open->setData(QStringLiteral("open"));
    m_logFile = m_menu.addAction(QString());
    m_logFile->setData(QStringLiteral("log"));
    m_exit = m_menu.addAction(QString());
    m_exit->setData(QStringLiteral("exit"));
    // Given to the icon, the menu is the tray's own: a StatusNotifier tray gets it over D-Bus,
    // an X11 tray opens it at a right click.
    m_icon->setContextMenu(&m_menu);
    connect(&m_menu, &QMenu::triggered, this,
        [this](QAction *entry) { emit menuChosen(entry->data().toString()); });
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Context)
            buttonUp(2);
        else if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit activated();
    });
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, &TrayPresence::notificationClicked);
    connect(&m_notification, &DesktopNotification::invoked, this, &TrayPresence::notificationClicked);
}

// The icon goes before the menu that it shows.
TrayPresence::~TrayPresence()
{
    delete m_icon;
}

bool TrayPresence::trayWanted() const
{
    return Settings::trayWanted();
}

void TrayPresence::retext()
{
    m_open->setText(text(TrayOpen));
    m_logFile->setText(text(OpenLogFile));
    m_exit->setText(text(TrayExit));
    if (m_icon->isVisible())
        refreshToolTip();
}

void TrayPresence::update()
{
    if (m_desktop.minimiseSeen)
        return;
    if (IconAlwaysShown(m_desktop, trayWanted(), Seams::trayAvailable())) {
        m_icon->setIcon(m_window.windowIcon());
        captionChanged();
        m_icon->show();
    } else {
        m_icon->hide();
    }
}

void TrayPresence::captionChanged()
{
    if (!m_icon->isVisible() && m_desktop.minimiseSeen)
        return;
    // An icon that is always there follows the window; one that stands for the hidden window
    // keeps the caption it went in with.
    if (!m_desktop.minimiseSeen)
        m_caption = TitleFit::CaptionOf(m_window);
    refreshToolTip();
}

void TrayPresence::windowStateChanged()
{
    // Without a notification area the window minimises to the task bar, or it could not come back.
    if (m_window.isMinimized() && HidesWhenMinimised(m_desktop, trayWanted(), Seams::trayAvailable()))
        minimiseToTray();
}

void TrayPresence::minimiseToTray()
{
    m_icon->setIcon(m_window.windowIcon());
    m_caption = TitleFit::CaptionOf(m_window);
    refreshToolTip();
    m_icon->show();
    // Hidden, the window also leaves the task bar. Hiding is left until the minimise is done.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_window.isMinimized())
                m_window.hide();
        },
        Qt::QueuedConnection);
}

void TrayPresence::restore()
{
    if (!m_desktop.minimiseSeen && m_window.isVisible() && !m_window.isActiveWindow()) {
        // A Wayland window that the desktop minimised comes back as a new window: it cannot
        // be told to un-minimise, and it cannot take the focus without the user's click.
        m_window.hide();
    }
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.show();
    if (m_desktop.minimiseSeen)
        m_icon->hide();
    m_window.raise();
    m_window.activateWindow();
    SetTopMost(false);
}

void TrayPresence::SetTopMost(bool on)
{
    if (m_window.windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    m_window.setWindowFlag(Qt::WindowStaysOnTopHint, on);
    // Changing the flags hides the window; it comes back where it was.
    m_window.show();
}

void TrayPresence::buttonUp(int button)
{
    // The tray opens the menu itself; it offers the two entries in the current language.
    if (button == 2)
        retext();
}

bool TrayPresence::isInTray() const
{
    return m_icon->isVisible() && !m_window.isVisible();
}

void TrayPresence::remove()
{
    m_icon->hide();
}

// The caption of the moment the window went into the notification area, and under it when
// the last run ended and whether it had errors.
void TrayPresence::refreshToolTip()
{
    const QString lastRun = lastRunText();
    m_icon->setToolTip(lastRun.isEmpty() ? m_caption : m_caption + QLatin1Char('\n') + lastRun);
}

QString TrayPresence::lastRunText() const
{
    if (!m_lastRun)
        return QString();
    return text(LastRun) + QLatin1String(": ") + m_lastRun->endedAt + QLatin1String(" - ")
        + text(m_lastRun->errorLines > 0 ? LastRunWithErrors : LastRunClean);
}

void TrayPresence::runEnded(const RunReport &report)
{
    m_lastRun = report;
    refreshToolTip();
    const Route route = NotificationRoute(
        m_desktop, Seams::trayAvailable(), report.errorLines, isInTray(), m_window.isActiveWindow());
    if (route != Route::None)
        notifyRunErrors(report, route);
}

// Errors of a run nobody watches would wait unseen in a hidden log: one notification per run
// says how many files failed and what the first error was.
void TrayPresence::notifyRunErrors(const RunReport &report, Route route)
{
    QString message = report.firstError;
    if (report.failedFiles > 0)
        message.prepend(QString::number(report.failedFiles) + QLatin1Char(' ')
            + text(report.failedFiles == 1 ? OneFileFailed : FilesFailed) + QLatin1Char('\n'));
    const QString product = QLatin1String(modGlobal::ProductName);
    const QString title = product + QLatin1String(" - ") + text(RunErrorsTitle);
    if (route == Route::Balloon)
        Seams::notify(*m_icon, title, message);
    else
        m_notification.show(product, title, message, withoutAccessLetter(text(TrayOpen)));
}
