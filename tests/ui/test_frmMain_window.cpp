// The main window's own behaviour: the log switch and its layout, the tooltip of a log line,
// the colour keys, Quit, the save rule on closing, Help, and whether its texts fit.
#include "UiTestSupport.h"
#include "common/PrintTo.h"
#include "ui/Twips.h"

#include <QAccessible>
#include <QApplication>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace
{

void moveMouse(QWidget *target, const QPoint &position, Qt::MouseButtons buttons)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(position), QPointF(target->mapToGlobal(position)),
        Qt::NoButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
}

QColor background(QWidget *widget)
{
    return widget->palette().color(QPalette::Active, QPalette::Window);
}

} // namespace

TEST_F(WindowTest, LogSwitchEmptiesTheLogAndTakesAwayTheLogArea)
{
    open();
    window->show();
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    ASSERT_EQ(logLines().size(), 2);
    auto *list = control<QAbstractItemView>("List1");
    auto *quit = control<QPushButton>("cmdQuit");
    const int shownHeight = window->height();
    const int shownButtonTop = quit->y();
    EXPECT_EQ(shownHeight, Twips::ToPixelsY(3705, window.get()));

    auto *showLog = control<QCheckBox>("dxCheck1");
    showLog->click();
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_FALSE(list->isVisible());
    EXPECT_FALSE(control<QLabel>("Label4")->isVisible());
    const double logAreaPixels = 1025.0 * window->logicalDpiY() / 1440.0;
    EXPECT_NEAR(shownHeight - window->height(), logAreaPixels, 1.0);
    EXPECT_NEAR(shownButtonTop - quit->y(), logAreaPixels, 1.0);
    for (const char *name : {"cmdInfo", "cmdHelp", "cmdOpt", "cmdStopStart"})
        EXPECT_EQ(control<QWidget>(name)->y(), quit->y()) << name;
    EXPECT_LE(quit->geometry().bottom(), control<QFrame>("Frame1")->geometry().bottom());
    EXPECT_FALSE(window->isMinimized());

    // Lines written while the log is hidden stay and show up with it.
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    showLog->click();
    EXPECT_EQ(window->height(), shownHeight);
    EXPECT_EQ(quit->y(), shownButtonTop);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(logLines(), QStringList {"Schedule started"});
}

TEST_F(WindowTest, HiddenLogFromTheSettingsGivesTheShortWindow)
{
    writeSettings({{"ShowLog", "0"}});
    open();
    EXPECT_FALSE(control<QCheckBox>("dxCheck1")->isChecked());
    EXPECT_EQ(window->height(), Twips::ToPixelsY(3705 - 1025, window.get()));
}

// Words the window does not know (another case, another word) leave its controls as designed.
TEST_F(WindowTest, UnknownStoredWordsLeaveTheControlsAsDesigned)
{
    writeSettings({{"Action", "copy"}, {"ShowLog", "yes"}, {"Overwrite", "2"}});
    open();
    EXPECT_TRUE(control<QRadioButton>("dxOption1_0")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("dxOption1_1")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("dxCheck1")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("dxCheck2")->isChecked());
    EXPECT_EQ(window->height(), Twips::ToPixelsY(3705, window.get()));
}

TEST_F(WindowTest, TooltipOfTheLogShowsTheLineUnderThePointer)
{
    open();
    window->show();
    window->activityLog().log("first line");
    window->activityLog().log(
        "second line, somewhat longer than the list is wide, to be read in the tooltip");
    auto *list = control<QAbstractItemView>("List1");
    QWidget *area = list->viewport();
    const QRect second = list->visualRect(window->activityLog().index(1));
    ASSERT_TRUE(second.isValid());

    moveMouse(area, second.center(), Qt::NoButton);
    EXPECT_EQ(list->toolTip(), window->activityLog().line(1));

    // With a button down the tooltip stays as it was.
    moveMouse(area, list->visualRect(window->activityLog().index(0)).center(), Qt::LeftButton);
    EXPECT_EQ(list->toolTip(), window->activityLog().line(1));

    moveMouse(area, QPoint(second.center().x(), second.bottom() + 8), Qt::NoButton);
    EXPECT_TRUE(list->toolTip().isEmpty());
}

TEST_F(WindowTest, ColourKeysOnQuitStoreAndApplyTheBackground)
{
    open();
    auto *frame = control<QFrame>("Frame1");
    const QColor designFrame = background(frame);
    const QColor editBase = field("dxText1")->palette().color(QPalette::Base);
    auto *quit = control<QPushButton>("cmdQuit");

    QTest::keyClick(quit, Qt::Key_F11);
    EXPECT_EQ(modRegistry::GetSetting("TessaroLite", "Options", "BGColor"), "&H00FFFFFF");
    EXPECT_EQ(background(frame), QColor(Qt::white));
    EXPECT_EQ(background(window.get()), QColor(Qt::white));
    for (const char *name : {"dxOption1_0", "dxOption1_1", "dxCheck1", "dxCheck2"})
        EXPECT_EQ(background(control<QWidget>(name)), QColor(Qt::white)) << name;
    EXPECT_EQ(field("dxText1")->palette().color(QPalette::Base), editBase);

    // Any other key stores nothing.
    QTest::keyClick(quit, Qt::Key_A);
    EXPECT_EQ(modRegistry::GetSetting("TessaroLite", "Options", "BGColor"), "&H00FFFFFF");

    QTest::keyClick(quit, Qt::Key_F12);
    EXPECT_EQ(modRegistry::GetSetting("TessaroLite", "Options", "BGColor"), "&H8000000F");
    EXPECT_EQ(background(frame), QApplication::palette().color(QPalette::Active, QPalette::Button));

    // The choice lasts: the next window starts with it.
    QTest::keyClick(quit, Qt::Key_F11);
    open();
    EXPECT_EQ(background(control<QFrame>("Frame1")), QColor(Qt::white));

    // A value in red, green, blue order with red lowest.
    modRegistry::SaveSetting("TessaroLite", "Options", "BGColor", "&H00336699");
    open();
    EXPECT_EQ(background(control<QFrame>("Frame1")), QColor(0x99, 0x66, 0x33));

    // Nothing stored, or nothing readable: the design colours stay.
    for (const char *stored : {"", "&", "&Hxyz"}) {
        modRegistry::SaveSetting("TessaroLite", "Options", "BGColor", QLatin1String(stored));
        open();
        EXPECT_EQ(background(control<QFrame>("Frame1")), designFrame) << stored;
    }
}

// A dark theme: the folders are painted in its light text colour and a missing one in red;
// the background keys bring a text colour that reads on the chosen background.
TEST_F(WindowTest, TextsFollowADarkThemeAndReadOnTheChosenBackground)
{
    QPalette dark;
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base})
        dark.setColor(role, QColor(0x35, 0x35, 0x35));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        dark.setColor(role, QColor(0xee, 0xee, 0xee));
    const QPalette light = QApplication::palette();
    QApplication::setPalette(dark);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(light); });
    const auto textOf = [](QWidget *widget, QPalette::ColorRole role = QPalette::Text) {
        return widget->palette().color(QPalette::Active, role);
    };

    writeSettings({{"To", dir.filePath("Later")}});
    open();
    EXPECT_EQ(textOf(field("dxText1")), dark.color(QPalette::Text));
    EXPECT_EQ(textOf(field("dxText2")), QColor(Qt::red));
    pickedFolder = makeFolder("Later");
    control<QPushButton>("cmdTo")->click();
    EXPECT_EQ(textOf(field("dxText2")), dark.color(QPalette::Text));

    auto *quit = control<QPushButton>("cmdQuit");
    QTest::keyClick(quit, Qt::Key_F11);
    for (const char *name : {"Label1", "Label3", "dxCheck1", "dxOption1_0"})
        EXPECT_EQ(textOf(control<QWidget>(name), QPalette::WindowText), QColor(Qt::black)) << name;
    QTest::keyClick(quit, Qt::Key_F12);
    EXPECT_EQ(background(control<QFrame>("Frame1")), dark.color(QPalette::Button));
    EXPECT_EQ(textOf(control<QLabel>("Label1"), QPalette::WindowText), dark.color(QPalette::WindowText));
    EXPECT_EQ(textOf(field("dxText1")), dark.color(QPalette::Text));
}

TEST_F(WindowTest, QuitWhileStartedAsksAndOnlyYesStopsAndEnds)
{
    open();
    window->show();
    QSignalSpy unloaded(window.get(), &frmMain::unloaded);
    QTest::mouseClick(stopStart(), Qt::LeftButton);

    answers = {false};
    QTest::mouseClick(control<QPushButton>("cmdQuit"), Qt::LeftButton);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].title, "Tessaro Lite");
    EXPECT_EQ(questions[0].text, lang(56) + "\r\n" + lang(57));
    EXPECT_TRUE(window->scheduler().isStarted());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(unloaded.count(), 0);

    answers = {true};
    QTest::mouseClick(control<QPushButton>("cmdQuit"), Qt::LeftButton);
    EXPECT_FALSE(window->scheduler().isStarted());
    EXPECT_EQ(logLines().last(), "Schedule stopped");
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(unloaded.count(), 1);
}

TEST_F(WindowTest, QuitWhileStoppedEndsWithoutAQuestion)
{
    open();
    window->show();
    QSignalSpy unloaded(window.get(), &frmMain::unloaded);
    QTest::mouseClick(control<QPushButton>("cmdQuit"), Qt::LeftButton);
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(unloaded.count(), 1);
}

TEST_F(WindowTest, ClosingSavesByTheQuestionOrTheSaveSwitch)
{
    const auto closeWithFolder = [this](const QString &from) {
        open();
        window->show();
        field("dxText1")->setText(from);
        window->close();
        return modIniHandler::ReadSetting("Options", "From", QString());
    };

    writeSettings({{"Question", "1"}, {"Save", "0"}});
    answers = {true};
    EXPECT_EQ(closeWithFolder("/asked/yes"), "/asked/yes");
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].title, "Tessaro Lite - " + lang(36));
    EXPECT_EQ(questions[0].text, lang(37) + "?");

    writeSettings({{"Question", "1"}, {"Save", "1"}});
    answers = {false};
    EXPECT_EQ(closeWithFolder("/asked/no"), source);
    EXPECT_EQ(questions.size(), 2u);

    writeSettings({{"Question", "0"}, {"Save", "1"}});
    EXPECT_EQ(closeWithFolder("/saved"), "/saved");
    EXPECT_EQ(modIniHandler::ReadSetting("Options", "Interval", QString()), "5");
    EXPECT_EQ(questions.size(), 2u);

    writeSettings({{"Question", "0"}, {"Save", "0"}});
    EXPECT_EQ(closeWithFolder("/not/saved"), source);
    EXPECT_EQ(questions.size(), 2u);
}

TEST_F(WindowTest, ClosingWhileStartedBetweenRunsOnlyAsksTheSaveQuestion)
{
    writeSettings({{"Question", "1"}});
    open();
    window->show();
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    window->close();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text, lang(37) + "?");
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, ClosingDuringARunLetsItFinishItsFileAndCloseAfterwards)
{
    writeSettings({{"DoActionOnStart", "1"}, {"Save", "1"}});
    for (int n = 0; n < 5; ++n)
        makeFile(source, QStringLiteral("file%1.bin").arg(n), QByteArray(64 * 1024, 'x'));
    open();
    window->show();
    window->scheduler().transferRun().setEventInterval(0);
    window->scheduler().transferRun().setFilesAhead(0);
    QSignalSpy unloaded(window.get(), &frmMain::unloaded);
    int filesWhenClosed = -1;
    // Close as soon as the run has copied its first file.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, window.get(), [&] {
        const int copied = int(QDir(destination).entryList(QDir::Files).size());
        if (copied >= 1 && filesWhenClosed < 0) {
            filesWhenClosed = copied;
            window->close();
        }
    });
    closer.start(0);
    QTest::mouseClick(stopStart(), Qt::LeftButton);
    closer.stop();

    ASSERT_GE(filesWhenClosed, 1);
    EXPECT_TRUE(unloaded.isEmpty()) << "the close waits for the end of the run's handler";
    QTRY_COMPARE(unloaded.count(), 1);
    EXPECT_FALSE(window->isVisible());

    const QStringList copied = QDir(destination).entryList(QDir::Files);
    EXPECT_LT(copied.size(), 5);
    for (const QString &name : copied)
        EXPECT_EQ(QFileInfo(QDir(destination).filePath(name)).size(), 64 * 1024) << name.toStdString();
    const QString summary = logLines().last();
    EXPECT_EQ(summary,
        QStringLiteral("Cancelled: Copied %1 %2")
            .arg(copied.size())
            .arg(copied.size() == 1 ? "file" : "files"));
    EXPECT_EQ(modIniHandler::ReadSetting("Options", "From", QString()), source);
}

TEST_F(WindowTest, HelpOpensThePageOnlyOnYes)
{
    open();
    answers = {false, true};
    QTest::mouseClick(control<QPushButton>("cmdHelp"), Qt::LeftButton);
    EXPECT_TRUE(openedUrls.isEmpty());
    QTest::mouseClick(control<QPushButton>("cmdHelp"), Qt::LeftButton);
    ASSERT_EQ(openedUrls.size(), 1);
    EXPECT_EQ(openedUrls[0], QUrl(modGlobal::HelpPageUrl));
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].title, "Tessaro Lite");
    EXPECT_EQ(questions[0].text, lang(54) + "\r\n" + lang(55));
}

TEST_F(WindowTest, WindowIsFixedSizedWithoutMaximiseAndCarriesTheIcon)
{
    open();
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(window->width(), Twips::ToPixelsX(6090, window.get()));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_TRUE(messages.empty());
}

// Every caption of the window fits its control in both languages: nothing is cut off.
TEST_F(WindowTest, CaptionsFitTheirControlsInBothLanguages)
{
    for (const char *language : {"English", "Deutsch"}) {
        useLanguage(language);
        open();
        window->show();
        for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
            if (qobject_cast<QCheckBox *>(button) || qobject_cast<QRadioButton *>(button)) {
                EXPECT_LE(button->sizeHint().width(), button->width())
                    << language << " " << button->objectName().toStdString();
            }
        }
        for (QLabel *label : window->findChildren<QLabel *>())
            EXPECT_LE(label->sizeHint().width(), label->width())
                << language << " " << label->objectName().toStdString();
        // Every entry of the interval list fits its text field.
        auto *interval = control<QComboBox>("dxCombo1");
        const QFontMetrics intervalMetrics(interval->lineEdit()->font());
        for (int entry = 0; entry < interval->count(); ++entry)
            EXPECT_LE(intervalMetrics.horizontalAdvance(interval->itemText(entry)) + 4,
                interval->lineEdit()->width())
                << language << " " << interval->itemText(entry).toStdString();
        // The Start/Stop button, with its picture, in each of its captions.
        auto *stopStartButton = stopStart();
        stopStartButton->setIcon(QIcon(modGlobal::ProgramFolder() + "/bin/scheduler-blinker-on.ico"));
        for (int id : {11, 12, 32}) {
            stopStartButton->setText(lang(id));
            EXPECT_LE(stopStartButton->sizeHint().width(), stopStartButton->width())
                << language << " t" << id;
        }
    }
}

// The keyboard reaches every control, the Move/Copy pair at the chosen option, and each
// control has a name in the program's language for a screen reader.
TEST_F(WindowTest, TabReachesEveryControlEachNamedInTheLanguage)
{
    useLanguage("Deutsch");
    writeSettings({{"Language", "Deutsch"}, {"Action", "Copy"}});
    open();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const QStringList controls = {"dxText1", "cmdFrom", "dxText2", "cmdTo", "dxCombo1", "dxOption1_1",
        "dxCheck2", "dxCheck1", "List1", "cmdInfo", "cmdHelp", "cmdOpt", "cmdStopStart", "cmdQuit"};
    // The focus may sit in a part of a control, such as the text field of the interval list.
    const auto focusedControl = [&] {
        QWidget *focused = QApplication::focusWidget();
        while (focused && !controls.contains(focused->objectName()) && focused->objectName() != "dxOption1_0")
            focused = focused->parentWidget();
        return focused;
    };

    field("dxText1")->setFocus();
    QStringList reached;
    std::map<QString, QString> names;
    for (int step = 0; step < controls.size(); ++step) {
        QWidget *focused = focusedControl();
        ASSERT_NE(focused, nullptr) << "step " << step;
        reached << focused->objectName();
        names[focused->objectName()]
            = QAccessible::queryAccessibleInterface(focused)->text(QAccessible::Name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(reached, controls);
    EXPECT_EQ(focusedControl()->objectName(), "dxText1") << "the round ends where it began";

    for (const auto &[control, name] : names)
        EXPECT_FALSE(name.isEmpty()) << control.toStdString();
    EXPECT_EQ(names["dxText1"], lang(0));
    EXPECT_EQ(names["cmdFrom"], lang(63));
    EXPECT_EQ(names["cmdTo"], lang(64));
    EXPECT_EQ(names["cmdInfo"], lang(45));
    EXPECT_EQ(names["cmdHelp"], lang(62));
    EXPECT_EQ(names["cmdHelp"], "Hilfe");
    EXPECT_EQ(control<QWidget>("cmdHelp")->toolTip(), "Hilfe");
}
