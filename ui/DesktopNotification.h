#pragma once

#include <QObject>
#include <QString>

// A notification through the desktop's notification server (org.freedesktop.Notifications on
// the session bus), with a default action: a click on it is reported by invoked(). Each new
// notification replaces the one before, so that one stays on screen at most.
class DesktopNotification : public QObject
{
    Q_OBJECT

public:
    // desktopEntry: the name of the program's desktop entry without ".desktop", by which the
    // server finds the program; iconName: its icon in the icon theme.
    DesktopNotification(QString desktopEntry, QString iconName, QObject *parent = nullptr);

    // Whether a notification server is running or can be started on the session bus.
    static bool ServerAvailable();
    // Whether the notification area is a StatusNotifier one (KDE Plasma, GNOME's AppIndicator
    // extension, Xfce): Qt puts its icon there then, and a notification of Qt's would change
    // the icon itself instead of offering an action.
    static bool StatusNotifierTray();

    // Sends the notification; actionLabel names its default action where the server shows
    // actions as buttons.
    void show(const QString &appName, const QString &title, const QString &text, const QString &actionLabel);

signals:
    // The user clicked the notification (its default action).
    void invoked();

private slots:
    void onActionInvoked(uint id, const QString &actionKey);
    void onClosed(uint id, uint reason);

private:
    QString m_desktopEntry;
    QString m_iconName;
    uint m_id = 0;
    bool m_listening = false;
};
