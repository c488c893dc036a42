// The notification area: minimising into it, restoring from it, and its menu. The desktop
// here has no notification area, so the tests say through the seam whether one is there;
// tests/e2e checks the real one.
#include "UiTestSupport.h"

#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

namespace
{

QStringList entryTexts(const QMenu &menu)
{
    QStringList texts;
    for (const QAction *entry : menu.actions())
        texts.append(entry->text() + "=" + entry->data().toString());
    return texts;
}

} // namespace

TEST_F(WindowTest, MinimisingWithSysTrayPutsTheWindowIntoTheTrayAndActivationBringsItBack)
{
    trayAvailable = true;
    open();
    window->show();
    window->showMinimized();
    QTRY_VERIFY(!window->isVisible());
    EXPECT_TRUE(window->trayIcon().isVisible());
    EXPECT_EQ(window->trayIcon().toolTip(), "Tessaro Lite - Stopped");
    EXPECT_FALSE(window->trayIcon().icon().isNull());

    emit window->trayIcon().activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_FALSE(window->trayIcon().isVisible());
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(WindowTest, MinimisingWithoutSysTrayOrWithoutATrayStaysInTheTaskBar)
{
    trayAvailable = true;
    writeSettings({{"SysTray", "0"}});
    open();
    window->show();
    window->showMinimized();
    QTest::qWait(20);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(window->trayIcon().isVisible());

    // A desktop without a notification area: the icon could never bring the window back.
    trayAvailable = false;
    writeSettings({{"SysTray", "1"}});
    open();
    window->show();
    window->showMinimized();
    QTest::qWait(20);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->trayIcon().isVisible());
}

TEST_F(WindowTest, TrayMenuOffersOpenAndExitOnceAtEachShowing)
{
    open();
    QMenu &menu = window->trayMenu();
    window->sevTray1_MouseUp(1);
    EXPECT_TRUE(menu.actions().isEmpty());

    const QStringList expected = {lang(58) + "=open", lang(59) + "=exit"};
    window->sevTray1_MouseUp(2);
    EXPECT_EQ(entryTexts(menu), expected);
    menu.hide();
    emit window->trayIcon().activated(QSystemTrayIcon::Context);
    EXPECT_EQ(entryTexts(menu), expected);
    menu.hide();
}

TEST_F(WindowTest, TrayOpenRestoresAndExitQuitsWithTheQuestionWhileStarted)
{
    trayAvailable = true;
    open();
    window->show();
    QSignalSpy unloaded(window.get(), &frmMain::unloaded);
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    window->showMinimized();
    QTRY_VERIFY(!window->isVisible());

    window->sevTray1_MenuClick("Open");
    EXPECT_FALSE(window->isVisible());
    window->sevTray1_MenuClick("open");
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->trayIcon().isVisible());

    window->showMinimized();
    QTRY_VERIFY(!window->isVisible());
    answers = {false, true};
    window->sevTray1_MouseUp(2);
    window->trayMenu().actions().at(1)->trigger();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, lang(56) + "\r\n" + lang(57));
    EXPECT_TRUE(window->scheduler().isStarted());
    EXPECT_EQ(unloaded.count(), 0);

    window->trayMenu().actions().at(1)->trigger();
    EXPECT_FALSE(window->scheduler().isStarted());
    EXPECT_EQ(unloaded.count(), 1);
    EXPECT_FALSE(window->trayIcon().isVisible());
    window->trayMenu().hide();
}
