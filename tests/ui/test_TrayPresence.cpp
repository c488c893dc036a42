// Where the main window goes when minimised and how a failed run is told, on the desktops of
// today: X11 with an XEmbed or a StatusNotifier tray, native Wayland with or without one.
#include "UiTestSupport.h"
#include "common/DesktopBus.h"
#include "ui/TrayPresence.h"

#include <QJsonArray>
#include <QSystemTrayIcon>
#include <QTest>

namespace
{

using Route = TrayPresence::Route;

Seams::DesktopFacts facts(bool minimiseSeen, bool statusNotifierTray, bool notificationServer)
{
    Seams::DesktopFacts desktop;
    desktop.minimiseSeen = minimiseSeen;
    desktop.statusNotifierTray = statusNotifierTray;
    desktop.notificationServer = notificationServer;
    return desktop;
}

} // namespace

TEST(TrayPresenceRules, WaylandKeepsTheIconAndNeverHidesAndEveryFailedRunUnseenIsTold)
{
    const auto x11Xembed = facts(true, false, false);
    const auto x11StatusNotifier = facts(true, true, true);
    const auto wayland = facts(false, true, true);
    const auto waylandWithoutTray = facts(false, false, true);

    // X11: the icon stands for the hidden window; Wayland: it is there while the option is on.
    EXPECT_TRUE(TrayPresence::HidesWhenMinimised(x11Xembed, true, true));
    EXPECT_FALSE(TrayPresence::HidesWhenMinimised(x11Xembed, false, true));
    EXPECT_FALSE(TrayPresence::HidesWhenMinimised(x11Xembed, true, false));
    EXPECT_FALSE(TrayPresence::IconAlwaysShown(x11StatusNotifier, true, true));
    EXPECT_FALSE(TrayPresence::HidesWhenMinimised(wayland, true, true));
    EXPECT_TRUE(TrayPresence::IconAlwaysShown(wayland, true, true));
    EXPECT_FALSE(TrayPresence::IconAlwaysShown(wayland, false, true));
    EXPECT_FALSE(TrayPresence::IconAlwaysShown(waylandWithoutTray, true, false));

    struct Case {
        Seams::DesktopFacts desktop;
        bool trayAvailable;
        int errorLines;
        bool inTray;
        bool windowActive;
        Route route;
    };
    const Case cases[] = {
        {x11Xembed, true, 2, true, false, Route::Balloon},
        {x11Xembed, true, 0, true, false, Route::None},
        {x11Xembed, true, 2, false, false, Route::None},
        {x11StatusNotifier, true, 2, true, false, Route::ServerNotification},
        {x11StatusNotifier, true, 2, false, false, Route::None},
        {facts(true, true, false), true, 2, true, false, Route::None},
        {wayland, true, 2, false, false, Route::ServerNotification},
        {wayland, true, 2, false, true, Route::None},
        {waylandWithoutTray, false, 1, false, false, Route::ServerNotification},
        {facts(false, false, false), false, 1, false, false, Route::None},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TrayPresence::NotificationRoute(
                      c.desktop, c.trayAvailable, c.errorLines, c.inTray, c.windowActive),
            c.route)
            << "minimise seen " << c.desktop.minimiseSeen << ", StatusNotifier "
            << c.desktop.statusNotifierTray << ", server " << c.desktop.notificationServer << ", errors "
            << c.errorLines << ", in tray " << c.inTray << ", active " << c.windowActive;
    }
}

// A Wayland window never hears that it was minimised: the icon is there from the first show
// for as long as the option is on, and the window is never hidden, so it can always come back.
TEST_F(WindowTest, OnWaylandTheIconFollowsTheOptionAndTheWindowIsNeverHidden)
{
    trayAvailable = true;
    desktop = facts(false, true, false);
    open();
    EXPECT_FALSE(window->trayIcon().isVisible());
    window->show();
    EXPECT_TRUE(window->trayIcon().isVisible());
    EXPECT_EQ(window->trayIcon().toolTip(), "Tessaro Lite - Stopped");
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    EXPECT_TRUE(window->trayIcon().toolTip().startsWith("Tessaro Lite - Waiting"))
        << "the tip follows the caption";

    window->showMinimized();
    QTest::qWait(20);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->trayIcon().isVisible());
    emit window->trayIcon().activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->trayIcon().isVisible());

    // The options dialog switched the option off: the icon goes.
    writeSettings({{"SysTray", "0"}});
    window->SetMessages(false);
    EXPECT_FALSE(window->trayIcon().isVisible());
}

// A StatusNotifier tray and a notification server on a private session bus: the failed run
// in the tray is told by the server, with a default action that brings the window back with
// its log, and the icon stays the program's own.
TEST_F(WindowTest, AFailedRunInAStatusNotifierTrayIsNotifiedWithADefaultActionThatBringsTheLogBack)
{
    DesktopBus bus;
    if (!bus.failure().isEmpty())
        GTEST_SKIP() << bus.failure().toStdString();
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    trayAvailable = true;
    desktop = facts(true, true, true);
    writeSettings({{"Interval", "1"}, {"ShowLog", "0"}});
    makeFile(source, "a.txt");
    open();
    window->show();
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    ASSERT_TRUE(QDir(destination).removeRecursively());
    makeFile(dir.path(), "To");
    window->showMinimized();
    QTRY_VERIFY(!window->isVisible());
    const qint64 ownIcon = window->trayIcon().icon().cacheKey();

    minutePasses();
    const QJsonObject told = bus.next("notify", 10000);
    ASSERT_FALSE(told.isEmpty()) << "no Notify call reached the server";
    EXPECT_TRUE(notifications.empty()) << "a balloon was shown as well";
    EXPECT_EQ(told["title"].toString(), "Tessaro Lite - Errors in the last run");
    EXPECT_TRUE(told["body"].toString().startsWith("1 file could not be transferred\n"))
        << told["body"].toString().toStdString();
    EXPECT_EQ(told["actions"].toArray(), QJsonArray({"default", "Open"}));
    EXPECT_EQ(told["hints"].toObject()["desktop-entry"].toString(), "example.ulvenor.TessaroLite");
    EXPECT_EQ(told["icon"].toString(), "tessaro-lite");
    EXPECT_EQ(window->trayIcon().icon().cacheKey(), ownIcon);

    bus.send("invoke");
    EXPECT_TRUE(DesktopBus::waitFor([&] { return window->isVisible(); }, 10000))
        << "the notification's action did not bring the window back";
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(control<QCheckBox>("dxCheck1")->isChecked());
    EXPECT_TRUE(control<QWidget>("List1")->isVisible());
    EXPECT_EQ(logLines().filter("Error: ").size(), 1);
}
