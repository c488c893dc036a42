// The schedule as the user drives it through the main window: the load with "/s", Start,
// the countdown, the timed run, Stop, a click during a run, the interval list and the check
// of the folders.
#include "UiTestSupport.h"
#include "ui/PickEdit.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace
{

QString counting(int remaining, const QString &unit)
{
    return QStringLiteral("Tessaro Lite - Waiting (run in %1 %2)").arg(remaining).arg(unit);
}

const QString Stopped = QStringLiteral("Tessaro Lite - Stopped");

} // namespace

TEST_F(WindowTest, LoadPutsTextsAndSettingsOnTheControlsBeforeTheSwitchIsLookedAt)
{
    writeSettings({{"Interval", "15"}, {"Action", "Move"}, {"Overwrite", "1"}});
    open();

    EXPECT_EQ(window->windowTitle(), Stopped);
    EXPECT_EQ(control<QLabel>("Label1")->text(), "Source folder");
    EXPECT_EQ(control<QRadioButton>("dxOption1_1")->text(), "&Copy files");
    EXPECT_EQ(stopStart()->text(), "&Start");
    EXPECT_EQ(control<QPushButton>("cmdQuit")->text(), "&Quit");
    EXPECT_EQ(control<QPushButton>("cmdQuit")->toolTip(), "Quit");
    EXPECT_EQ(control<QPushButton>("cmdOpt")->toolTip(), "Options");

    auto *interval = control<QComboBox>("dxCombo1");
    EXPECT_EQ(interval->count(), 18);
    EXPECT_EQ(interval->currentText(), "15 minutes");
    EXPECT_EQ(field("dxText1")->text(), source);
    EXPECT_EQ(field("dxText1")->toolTip(), source);
    EXPECT_EQ(field("dxText2")->toolTip(), destination);
    EXPECT_TRUE(control<QRadioButton>("dxOption1_0")->isChecked());
    EXPECT_TRUE(control<QCheckBox>("dxCheck2")->isChecked());
    EXPECT_TRUE(stopStart()->isEnabled());
    EXPECT_FALSE(window->scheduler().isStarted());
    EXPECT_TRUE(window->timer1().isActive());
    EXPECT_EQ(window->timer1().interval(), 60000);
    EXPECT_FALSE(window->timer2().isActive());
}

TEST_F(WindowTest, SwitchSlashSStartsOnlyWhenExactAndBothFoldersExist)
{
    open({"/s"});
    EXPECT_FALSE(window->scheduler().isStarted());
    window->show();
    QTRY_VERIFY(window->scheduler().isStarted());
    EXPECT_EQ(window->windowTitle(), counting(5, "minutes"));
    EXPECT_EQ(logLines(), QStringList {"Schedule started"});
    EXPECT_TRUE(field("dxText1")->isReadOnly());
    EXPECT_FALSE(control<QPushButton>("cmdFrom")->isEnabled());
    EXPECT_TRUE(window->timer2().isActive());

    const QList<QStringList> ignored = {{"/S"}, {"/s", "now"}, {"-s"}, {"s"}, {}};
    for (const QStringList &arguments : ignored) {
        open(arguments);
        window->show();
        QCoreApplication::processEvents();
        EXPECT_FALSE(window->scheduler().isStarted()) << arguments.join(' ').toStdString();
        EXPECT_TRUE(logLines().isEmpty());
        EXPECT_EQ(window->windowTitle(), Stopped);
    }

    writeSettings({{"To", dir.filePath("missing")}});
    open({"/s"});
    window->show();
    QTest::qWait(20);
    EXPECT_FALSE(window->scheduler().isStarted());
    EXPECT_FALSE(stopStart()->isEnabled());
    EXPECT_TRUE(logLines().isEmpty());
}

// Started with the desktop session and a run at the start: the window is on screen before the
// first file is copied, so the run can be seen and cancelled.
TEST_F(WindowTest, SwitchSlashSWithARunAtTheStartShowsTheWindowBeforeTheFirstFile)
{
    writeSettings({{"DoActionOnStart", "1"}});
    makeFile(source, "a.txt");
    open({"/s"});
    EXPECT_FALSE(QFile::exists(QDir(destination).filePath("a.txt")));
    EXPECT_TRUE(logLines().isEmpty());

    bool shownAtFirstLine = false;
    QObject::connect(&window->activityLog(), &QAbstractItemModel::rowsInserted, window.get(),
        [&] { shownAtFirstLine = shownAtFirstLine || (logLines().size() == 1 && window->isVisible()); });
    window->show();
    QTRY_VERIFY(QFile::exists(QDir(destination).filePath("a.txt")));
    EXPECT_TRUE(shownAtFirstLine);
    EXPECT_TRUE(window->scheduler().isStarted());
}

TEST_F(WindowTest, CountdownOfFiveMinutesRunsAtZeroAndStartsAgain)
{
    makeFile(source, "a.txt");
    open();
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    ASSERT_TRUE(window->scheduler().isStarted());
    EXPECT_EQ(stopStart()->text(), "&Stop");
    EXPECT_EQ(window->windowTitle(), counting(5, "minutes"));

    for (int remaining = 4; remaining >= 2; --remaining) {
        minutePasses();
        EXPECT_EQ(window->windowTitle(), counting(remaining, "minutes"));
    }
    minutePasses();
    EXPECT_EQ(window->windowTitle(), counting(1, "minute"));
    EXPECT_FALSE(QFile::exists(QDir(destination).filePath("a.txt")));

    QSignalSpy titles(window.get(), &QWidget::windowTitleChanged);
    minutePasses();
    EXPECT_TRUE(QFile::exists(QDir(destination).filePath("a.txt")));
    ASSERT_GE(titles.count(), 3);
    EXPECT_EQ(titles.first().first().toString(), "Tessaro Lite - Running!");
    EXPECT_EQ(window->windowTitle(), counting(5, "minutes"));
    EXPECT_TRUE(window->timer1().isActive());
    EXPECT_EQ(stopStart()->text(), "&Stop");
    EXPECT_EQ(logLines(), (QStringList {"Schedule started", "Copied: a.txt"}));
}

TEST_F(WindowTest, IntervalOfOneMinuteRunsAtTheFirstTick)
{
    writeSettings({{"Interval", "1"}});
    makeFile(source, "one.txt");
    open();
    EXPECT_EQ(control<QComboBox>("dxCombo1")->currentText(), "1 minute");
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    EXPECT_EQ(window->windowTitle(), counting(1, "minute"));
    minutePasses();
    EXPECT_TRUE(QFile::exists(QDir(destination).filePath("one.txt")));
    EXPECT_EQ(window->windowTitle(), counting(1, "minute"));
}

TEST_F(WindowTest, StopUnlocksTheInputsAndStartCountsFromTheFullIntervalAgain)
{
    open();
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    for (int tick = 0; tick < 3; ++tick)
        minutePasses();
    EXPECT_EQ(window->windowTitle(), counting(2, "minutes"));

    // While started the interval cannot be changed, neither by typing nor by the list.
    auto *interval = control<PickEdit>("dxCombo1");
    EXPECT_TRUE(interval->isReadOnly());
    QTest::keyClick(interval, Qt::Key_Down);
    QTest::keyClicks(interval->lineEdit(), "9");
    interval->showPopup();
    EXPECT_FALSE(interval->view()->isVisible());
    EXPECT_EQ(interval->currentText(), "5 minutes");

    QTest::mouseClick(stopStart(), Qt::LeftButton);
    EXPECT_FALSE(window->scheduler().isStarted());
    EXPECT_EQ(window->windowTitle(), Stopped);
    EXPECT_EQ(stopStart()->text(), "&Start");
    EXPECT_TRUE(stopStart()->icon().isNull());
    EXPECT_FALSE(window->timer2().isActive());
    EXPECT_FALSE(field("dxText2")->isReadOnly());
    EXPECT_FALSE(interval->isReadOnly());
    EXPECT_TRUE(control<QPushButton>("cmdTo")->isEnabled());
    EXPECT_TRUE(control<QCheckBox>("dxCheck2")->isEnabled());
    EXPECT_EQ(logLines(), (QStringList {"Schedule started", "Schedule stopped"}));

    // Ticks while stopped count nothing.
    minutePasses();
    EXPECT_EQ(window->windowTitle(), Stopped);
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    EXPECT_EQ(window->windowTitle(), counting(5, "minutes"));
}

TEST_F(WindowTest, BlinkingAlternatesTheTwoPicturesOnTheButton)
{
    open();
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    const QImage on = stopStart()->icon().pixmap(16).toImage();
    ASSERT_FALSE(on.isNull());
    window->Timer2_Timer();
    const QImage off = stopStart()->icon().pixmap(16).toImage();
    EXPECT_NE(on, off);
    window->Timer2_Timer();
    EXPECT_EQ(stopStart()->icon().pixmap(16).toImage(), on);
}

TEST_F(WindowTest, DoActionOnStartRunsBeforeTheBlinkingBegins)
{
    writeSettings({{"DoActionOnStart", "1"}});
    makeFile(source, "a.txt");
    makeFile(source, "b.txt");
    open();
    bool blinkingDuringRun = true;
    QTimer::singleShot(0, window.get(), [&] { blinkingDuringRun = window->timer2().isActive(); });
    QTest::mouseClick(stopStart(), Qt::LeftButton);

    EXPECT_FALSE(blinkingDuringRun);
    EXPECT_TRUE(window->timer2().isActive());
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.first(), "Schedule started");
    EXPECT_TRUE(lines.contains("Copied: a.txt"));
    EXPECT_TRUE(lines.contains("Copied: b.txt"));
    EXPECT_EQ(window->windowTitle(), counting(5, "minutes"));
    QTRY_COMPARE(control<QAbstractItemView>("List1")->currentIndex().row(), 2);
}

TEST_F(WindowTest, ClickDuringARunOnlyCancelsTheRun)
{
    writeSettings({{"DoActionOnStart", "1"}});
    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        makeFile(source, name);
    open();
    QString captionDuringRun;
    bool quitEnabledDuringRun = true;
    QTimer::singleShot(0, window.get(), [&] {
        captionDuringRun = stopStart()->text();
        quitEnabledDuringRun = control<QPushButton>("cmdQuit")->isEnabled();
        QTest::mouseClick(stopStart(), Qt::LeftButton);
    });
    QTest::mouseClick(stopStart(), Qt::LeftButton);

    EXPECT_EQ(captionDuringRun, "Cancel &run");
    EXPECT_FALSE(quitEnabledDuringRun);
    EXPECT_TRUE(window->scheduler().isStarted());
    EXPECT_FALSE(window->scheduler().transferRun().stopRequested());
    EXPECT_EQ(stopStart()->text(), "&Stop");
    EXPECT_TRUE(logLines().last().startsWith("Cancelled: "));
    EXPECT_TRUE(control<QPushButton>("cmdQuit")->isEnabled());
    // The started schedule keeps its inputs locked after the run.
    EXPECT_FALSE(control<QPushButton>("cmdFrom")->isEnabled());
    EXPECT_TRUE(field("dxText1")->isReadOnly());
}

TEST_F(WindowTest, IntervalTextThatIsNoIntervalIsRefusedAndShownRed)
{
    open();
    auto *interval = control<QComboBox>("dxCombo1");
    const QColor black = interval->lineEdit()->palette().color(QPalette::Active, QPalette::Text);
    for (const char *text : {"abc", "0 minutes", "541", ""}) {
        interval->setEditText(QLatin1String(text));
        QTest::mouseClick(stopStart(), Qt::LeftButton);
        EXPECT_FALSE(window->scheduler().isStarted()) << text;
        EXPECT_EQ(interval->lineEdit()->palette().color(QPalette::Active, QPalette::Text), QColor(Qt::red));
    }
    EXPECT_TRUE(logLines().isEmpty());

    QTest::keyClicks(interval->lineEdit(), "7");
    EXPECT_EQ(interval->lineEdit()->palette().color(QPalette::Active, QPalette::Text), black);
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    EXPECT_TRUE(window->scheduler().isStarted());
    EXPECT_EQ(window->windowTitle(), counting(7, "minutes"));
}

TEST_F(WindowTest, IntervalListInBothLanguages)
{
    open();
    auto *interval = control<QComboBox>("dxCombo1");
    ASSERT_EQ(interval->count(), 18);
    EXPECT_EQ(interval->itemText(0), "1 minute");
    EXPECT_EQ(interval->itemText(1), "2 minutes");
    EXPECT_EQ(interval->itemText(17), "540 minutes");

    useLanguage("Deutsch");
    window->LoadLanguage();
    window->SetMessages(true);
    ASSERT_EQ(interval->count(), 18);
    EXPECT_EQ(interval->itemText(0), "1 Minute");
    EXPECT_EQ(interval->itemText(3), "5 Minuten");
    EXPECT_EQ(interval->currentText(), "5 Minuten");
    EXPECT_EQ(window->windowTitle(), "Tessaro Lite - " + lang(16));
    EXPECT_EQ(logLines().last(), lang(44) + " Deutsch");
    EXPECT_EQ(control<QLabel>("Label1")->text(), lang(0));
}

TEST_F(WindowTest, FolderChecksColourTheFieldsAndGateStart)
{
    open();
    auto *from = field("dxText1");
    auto *to = field("dxText2");
    const auto textColor
        = [](QLineEdit *edit) { return edit->palette().color(QPalette::Active, QPalette::Text); };

    pickedFolder = dir.filePath("nowhere");
    QTest::mouseClick(control<QPushButton>("cmdFrom"), Qt::LeftButton);
    ASSERT_EQ(folderRequests.size(), 1u);
    EXPECT_EQ(folderRequests[0].title, "Source folder:");
    EXPECT_EQ(folderRequests[0].initialFolder, source);
    EXPECT_TRUE(folderRequests[0].statusText);
    EXPECT_FALSE(folderRequests[0].includeFiles);
    EXPECT_EQ(from->text(), pickedFolder);
    EXPECT_EQ(from->toolTip(), pickedFolder);
    EXPECT_EQ(textColor(from), QColor(Qt::red));
    EXPECT_EQ(textColor(to), QColor(Qt::black));
    EXPECT_FALSE(stopStart()->isEnabled());

    pickedFolder = makeFolder("Other");
    QTest::mouseClick(control<QPushButton>("cmdFrom"), Qt::LeftButton);
    EXPECT_EQ(textColor(from), QColor(Qt::black));
    EXPECT_TRUE(stopStart()->isEnabled());

    // A cancelled picker leaves the field alone but looks at the folders again.
    QDir(destination).removeRecursively();
    pickedFolder.clear();
    QTest::mouseClick(control<QPushButton>("cmdTo"), Qt::LeftButton);
    EXPECT_EQ(folderRequests.back().title, "Destination folder:");
    EXPECT_EQ(to->text(), destination);
    EXPECT_EQ(textColor(to), QColor(Qt::red));
    EXPECT_FALSE(stopStart()->isEnabled());

    // Typing is looked at too: the field turns black as soon as it names a folder.
    to->clear();
    QTest::keyClicks(to, dir.filePath("Oth"));
    EXPECT_EQ(textColor(to), QColor(Qt::red));
    QTest::keyClicks(to, "er");
    EXPECT_EQ(textColor(to), QColor(Qt::black));
    EXPECT_EQ(to->toolTip(), dir.filePath("Other"));
    EXPECT_TRUE(stopStart()->isEnabled());
}
