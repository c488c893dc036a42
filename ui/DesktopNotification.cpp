#include "ui/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusVariant>
#include <QVariantMap>

namespace
{

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");

// A failed run waits for the user: the server keeps it until it is clicked or closed.
constexpr int NeverExpires = 0;
constexpr uchar NormalUrgency = 1;

bool serviceReachable(QDBusConnectionInterface *bus, const QString &service)
{
    if (bus->isServiceRegistered(service))
        return true;
    const QDBusReply<QStringList> activatable = bus->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}

} // namespace

DesktopNotification::DesktopNotification(QString desktopEntry, QString iconName, QObject *parent)
    : QObject(parent)
    , m_desktopEntry(std::move(desktopEntry))
    , m_iconName(std::move(iconName))
{
}

bool DesktopNotification::ServerAvailable()
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && serviceReachable(bus, Service);
}

bool DesktopNotification::StatusNotifierTray()
{
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.interface() || !session.interface()->isServiceRegistered(WatcherService))
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(WatcherService, WatcherPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = session.call(get, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

void DesktopNotification::show(
    const QString &appName, const QString &title, const QString &text, const QString &actionLabel)
{
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!m_listening) {
        m_listening = session.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                          SLOT(onActionInvoked(uint, QString)))
            && session.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                SLOT(onClosed(uint, uint)));
    }
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), m_desktopEntry);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(NormalUrgency));
    QDBusMessage notify = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    notify << appName << m_id << m_iconName << title << text
           << QStringList {QStringLiteral("default"), actionLabel} << hints << NeverExpires;
    auto *watcher = new QDBusPendingCallWatcher(session.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        const QDBusPendingReply<uint> reply = *call;
        if (reply.isValid())
            m_id = reply.value();
        call->deleteLater();
    });
}

void DesktopNotification::onActionInvoked(uint id, const QString &actionKey)
{
    if (id != m_id || id == 0 || actionKey != QLatin1String("default"))
        return;
    emit invoked();
}

void DesktopNotification::onClosed(uint id, uint)
{
    if (id == m_id)
        m_id = 0;
}
