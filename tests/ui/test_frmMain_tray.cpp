// The notification area: minimising into it, restoring from it, and its menu. The desktop
// here has no notification area, so the tests say through the seam whether one is there;
// tests/e2e checks the real one.
#include "UiTestSupport.h"

#include <QFileInfo>
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

TEST_F(WindowTest, TrayMenuIsTheIconsOwnAndOffersOpenTheLogFileAndExitOnceInTheProgramsLanguage)
{
    open();
    QMenu &menu = window->trayMenu();
    // The tray shows the menu itself: a StatusNotifier tray reads it over D-Bus.
    EXPECT_EQ(window->trayIcon().contextMenu(), &menu);
    const QStringList expected = {lang(58) + "=open", lang(79) + "=log", lang(59) + "=exit"};
    EXPECT_EQ(entryTexts(menu), expected);
    window->sevTray1_MouseUp(2);
    emit window->trayIcon().activated(QSystemTrayIcon::Context);
    EXPECT_EQ(entryTexts(menu), expected);

    // The log file opens in the desktop's viewer, there even before its first line.
    const QString logFile = window->scheduler().logFile().path();
    QFile::remove(logFile);
    menu.actions().at(1)->trigger();
    EXPECT_EQ(openedUrls, QList<QUrl>({QUrl::fromLocalFile(logFile)}));
    EXPECT_TRUE(QFileInfo::exists(logFile));

    useLanguage("Deutsch");
    window->LoadLanguage();
    EXPECT_EQ(entryTexts(menu), QStringList({lang(58) + "=open", lang(79) + "=log", lang(59) + "=exit"}));
    EXPECT_NE(entryTexts(menu), expected);
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
    window->trayMenu().actions().at(2)->trigger();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, lang(56) + "\r\n" + lang(57));
    EXPECT_TRUE(window->scheduler().isStarted());
    EXPECT_EQ(unloaded.count(), 0);

    window->trayMenu().actions().at(2)->trigger();
    EXPECT_FALSE(window->scheduler().isStarted());
    EXPECT_EQ(unloaded.count(), 1);
    EXPECT_FALSE(window->trayIcon().isVisible());
}

TEST_F(WindowTest, ARunWithErrorsInTheTrayNotifiesOnceAndTheNotificationBringsTheLogBack)
{
    trayAvailable = true;
    writeSettings({{"Interval", "1"}, {"ShowLog", "0"}});
    makeFile(source, "a.txt");
    makeFile(source, "b.txt");
    open();
    window->show();
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    ASSERT_TRUE(window->scheduler().isStarted());
    // The destination turns into a file: every file of a run fails.
    ASSERT_TRUE(QDir(destination).removeRecursively());
    makeFile(dir.path(), "To");

    // In sight, the log is where the errors show.
    minutePasses();
    EXPECT_TRUE(notifications.empty());

    window->showMinimized();
    QTRY_VERIFY(!window->isVisible());
    minutePasses();
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].title, "Tessaro Lite - Errors in the last run");
    const QStringList told = notifications[0].text.split('\n');
    ASSERT_EQ(told.size(), 2);
    EXPECT_EQ(told[0], "2 files could not be transferred");
    EXPECT_TRUE(told[1].endsWith(" - a.txt")) << told[1].toStdString();
    const QString tip = window->trayIcon().toolTip();
    EXPECT_TRUE(tip.startsWith("Tessaro Lite - Waiting")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("\nLast run: ")) << tip.toStdString();
    EXPECT_TRUE(tip.endsWith(" - with errors")) << tip.toStdString();

    // A clean run tells nothing, but the icon knows it.
    ASSERT_TRUE(QFile::remove(QDir(dir.path()).filePath("To")));
    makeFolder("To");
    minutePasses();
    EXPECT_EQ(notifications.size(), 1u);
    EXPECT_TRUE(window->trayIcon().toolTip().endsWith(" - no errors"));

    emit window->trayIcon().messageClicked();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->trayIcon().isVisible());
    EXPECT_TRUE(control<QCheckBox>("dxCheck1")->isChecked());
    EXPECT_TRUE(control<QWidget>("List1")->isVisible());
    EXPECT_EQ(logLines().filter("Error: ").size(), 4);
}
