// The options dialog: the switches as stored and as saved, the rule between the two save
// switches, the language change that the main window follows at once, and what Cancel and an
// unlisted language leave alone.
#include "DialogTestSupport.h"
#include "UiTestSupport.h"
#include "ui/QtTranslations.h"
#include "ui/dlgOptionen.h"

#include <QMessageBox>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>

namespace
{

class OptionsTest : public WindowTest
{
protected:
    // The dialog belongs to the main window: it goes first.
    void TearDown() override
    {
        options.reset();
        WindowTest::TearDown();
    }

    dlgOptionen &openOptions()
    {
        if (!window)
            open();
        options.reset();
        options = std::make_unique<dlgOptionen>(window->optionsOwner());
        return *options;
    }

    template <typename T> T *option(const char *name) const
    {
        T *found = options->findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QCheckBox *box(int number) const
    {
        return option<QCheckBox>(qPrintable(QStringLiteral("dxCheck%1").arg(number)));
    }
    QComboBox *languageList() const { return option<QComboBox>("dxCombo1"); }

    void chooseLanguage(const QString &text)
    {
        QLineEdit *field = languageList()->lineEdit();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }

    // A click on the box itself, not on the empty rest of its row.
    static void click(QCheckBox *box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }

    void save() { QTest::mouseClick(option<QPushButton>("cmdSave"), Qt::LeftButton); }

    QString setting(const char *key) const
    {
        return modIniHandler::ReadSetting("Options", QLatin1String(key), "<missing>", 256);
    }

    // A text of the main window that only its LoadLanguage puts back.
    QLabel *sourceHeading() const { return control<QLabel>("Label1"); }

    std::unique_ptr<dlgOptionen> options;
};

QString textOf(const QString &languageFile, int id)
{
    return modIniHandler::ReadIniValue(
        languageFile, "frmMain", QStringLiteral("t%1").arg(id), QString(), 256);
}

} // namespace

TEST_F(OptionsTest, OpensWithTheStoredSwitchesAndItsTexts)
{
    // No SysTray line; a switch that is not the number 1 is off.
    writeSettings(
        {{"Save", "1"}, {"DoActionOnStart", "1"}, {"CheckDestination", "0"}, {"ShowDateAndTime", "yes"}});
    QString file = settingsFileText();
    file.remove(QRegularExpression("SysTray=1\r\n"));
    QFile rewrite(modGlobal::SettingsFilePath);
    ASSERT_TRUE(rewrite.open(QIODevice::WriteOnly | QIODevice::Truncate));
    rewrite.write(file.toUtf8());
    rewrite.close();
    ASSERT_EQ(setting("SysTray"), "<missing>");

    openOptions();
    EXPECT_EQ(options->windowTitle(), "Tessaro Lite - Options");
    const int textIds[] = {37, 39, 40, 50, 60, 61};
    for (int number = 1; number <= 6; ++number)
        EXPECT_EQ(box(number)->text(), lang(textIds[number - 1])) << number;
    EXPECT_EQ(option<QPushButton>("cmdSave")->text(), lang(42));
    EXPECT_EQ(option<QPushButton>("cmdCancel")->text(), lang(41));
    EXPECT_EQ(option<QLabel>("Label1")->text(), lang(43));

    const bool expected[] = {true, false, true, false, false, true};
    for (int number = 1; number <= 6; ++number)
        EXPECT_EQ(box(number)->isChecked(), expected[number - 1]) << number;
    EXPECT_EQ(languageList()->currentText(), "English");

    save();
    EXPECT_FALSE(options->isVisible());
    EXPECT_EQ(setting("SysTray"), "1");
    EXPECT_EQ(setting("ShowDateAndTime"), "0");
    EXPECT_EQ(setting("CheckDestination"), "0");
    EXPECT_EQ(setting("DoActionOnStart"), "1");
    EXPECT_EQ(setting("Save"), "1");
    EXPECT_EQ(setting("Question"), "0");
}

TEST_F(OptionsTest, RunsOnArrivalTheSettleTimeAndTheLogFileAreStoredAndTheLogFileOpens)
{
    // No LogFile line; a settle time beyond its range.
    writeSettings({{"SettleSeconds", "99999"}, {"RunOnArrival", "1"}});
    open();
    openOptions();
    EXPECT_EQ(box(7)->text(), lang(78));
    EXPECT_EQ(option<QLabel>("Label2")->text(), lang(76));
    EXPECT_EQ(box(8)->text(), lang(77));
    EXPECT_EQ(option<QPushButton>("cmdLog")->text(), lang(79));
    auto *settle = option<QSpinBox>("dxSpin1");
    EXPECT_EQ(settle->value(), 3600);
    EXPECT_TRUE(box(7)->isChecked());
    EXPECT_TRUE(box(8)->isChecked());

    QTest::mouseClick(option<QPushButton>("cmdLog"), Qt::LeftButton);
    EXPECT_EQ(openedUrls, QList<QUrl>({QUrl::fromLocalFile(window->scheduler().logFile().path())}));

    settle->setValue(30);
    box(7)->click();
    box(8)->click();
    save();
    EXPECT_EQ(setting("SettleSeconds"), "30");
    EXPECT_EQ(setting("RunOnArrival"), "0");
    EXPECT_EQ(setting("LogFile"), "0");
    // The window follows at once.
    EXPECT_FALSE(window->scheduler().logFile().isEnabled());
}

TEST_F(OptionsTest, TheQuestionLocksSavingWithoutAsking)
{
    writeSettings({{"Save", "1"}, {"Question", "1"}});
    openOptions();
    options->show();
    QCheckBox *saveBox = box(1);
    QCheckBox *questionBox = box(2);
    EXPECT_TRUE(questionBox->isChecked());
    EXPECT_FALSE(saveBox->isEnabled());

    click(questionBox);
    EXPECT_TRUE(saveBox->isEnabled());
    click(saveBox);
    EXPECT_FALSE(saveBox->isChecked());
    click(questionBox);
    EXPECT_FALSE(saveBox->isEnabled());

    save();
    EXPECT_EQ(setting("Question"), "1");
    EXPECT_EQ(setting("Save"), "0");
}

TEST_F(OptionsTest, SavingTheSameLanguageNeitherReloadsNorLogs)
{
    open();
    sourceHeading()->setText("not reloaded");
    const QStringList linesBefore = logLines();
    openOptions();
    languageList()->setCurrentIndex(languageList()->findText("English"));
    save();

    EXPECT_EQ(sourceHeading()->text(), "not reloaded");
    EXPECT_EQ(logLines(), linesBefore);
    EXPECT_EQ(setting("Language"), "English");
    EXPECT_EQ(modGlobal::CurrentLanguage, "English");
    EXPECT_EQ(window->windowTitle(), "Tessaro Lite - " + lang(16));
}

// The language dialog stores a name as typed; like start-up, this dialog reads it without the
// blanks at its ends, so that it neither shows nor logs a language with a blank.
TEST_F(OptionsTest, AStoredLanguageIsReadWithoutItsEndBlanks)
{
    writeSettings({{"Language", "\"Deutsch \""}});
    open();
    openOptions();
    EXPECT_EQ(languageList()->currentText(), "Deutsch");
    EXPECT_EQ(languageList()->currentIndex(), languageList()->findText("Deutsch"));
    save();

    EXPECT_EQ(modGlobal::CurrentLanguage, "Deutsch");
    EXPECT_EQ(modGlobal::LanguageFilePath, modGlobal::LanguageFileFor("Deutsch"));
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(OptionsTest, AnotherListedLanguageTurnsTheMainWindowAtOnce)
{
    const QString german = modGlobal::LanguageFileFor("Deutsch");
    open();
    openOptions();
    const int entry = languageList()->findText("Deutsch");
    ASSERT_GE(entry, 0);
    languageList()->setCurrentIndex(entry);
    save();
    options.reset();

    EXPECT_EQ(setting("Language"), "Deutsch");
    EXPECT_EQ(modGlobal::CurrentLanguage, "Deutsch");
    EXPECT_EQ(modGlobal::LanguageFilePath, german);
    EXPECT_EQ(sourceHeading()->text(), textOf(german, 0));
    EXPECT_EQ(control<QCheckBox>("dxCheck1")->text(), textOf(german, 9));
    EXPECT_EQ(window->windowTitle(), "Tessaro Lite - " + textOf(german, 16));
    auto *intervals = control<QComboBox>("dxCombo1");
    EXPECT_EQ(intervals->itemText(0), "1 " + textOf(german, 4));
    EXPECT_EQ(intervals->itemText(1), "2 " + textOf(german, 5));
    EXPECT_EQ(logLines(), QStringList {textOf(german, 44) + " Deutsch"});

    // Qt's own texts turn too: the question boxes answer in German.
    Seams::askYesNo.restore();
    QStringList buttons;
    whenModalOpens<QMessageBox>([&](QMessageBox &box) {
        for (QAbstractButton *button : box.buttons())
            buttons << button->text();
    });
    Seams::askYesNo(window.get(), "Tessaro Lite", "?");
    QtTranslations::UseLanguage("English");
    EXPECT_EQ(buttons.size(), 2);
    EXPECT_FALSE(buttons.contains("&Yes")) << buttons.join(' ').toStdString();
    EXPECT_FALSE(buttons.contains("&No")) << buttons.join(' ').toStdString();
    EXPECT_TRUE(buttons.contains("&Ja")) << "is qt6-translations-l10n installed?";
}

TEST_F(OptionsTest, AnEmptyOrUnlistedLanguageLeavesTheLanguageAlone)
{
    open();
    for (const QString &typed : {QString(), QStringLiteral("Klingon"), QStringLiteral("deutsch")}) {
        sourceHeading()->setText("not reloaded");
        openOptions();
        chooseLanguage(typed);
        box(3)->setChecked(!box(3)->isChecked());
        const QString expectedSwitch = box(3)->isChecked() ? "1" : "0";
        save();
        options.reset();

        EXPECT_EQ(setting("Language"), "English") << typed.toStdString();
        EXPECT_EQ(setting("DoActionOnStart"), expectedSwitch) << "the switches are saved all the same";
        EXPECT_EQ(modGlobal::CurrentLanguage, "English");
        EXPECT_EQ(modGlobal::LanguageFilePath, modGlobal::LanguageFileFor("English"));
        EXPECT_EQ(sourceHeading()->text(), "not reloaded");
        EXPECT_TRUE(logLines().isEmpty());
    }
}

TEST_F(OptionsTest, OffersEveryFileOfTheLanguageFolder)
{
    TestProgramFolder program;
    program.addShippedLanguage("English");
    program.addShippedLanguage("Deutsch");
    program.addFile("lang/readme.txt", "not a language");
    program.addFile("lang/Deutsch-ulv.dat", "[frmMain]\r\n");
    program.addFile("lang/dansk.dat", "[frmMain]\r\n");
    program.use();
    useLanguage("English");

    openOptions();
    QStringList offered;
    for (int entry = 0; entry < languageList()->count(); ++entry)
        offered << languageList()->itemText(entry);
    EXPECT_EQ(offered, options->languageNames());
    // By file name, without regard to case.
    EXPECT_EQ(offered, QStringList({"dansk", "Deutsch-ulv", "Deutsch", "English", "readme.txt"}));

    // A file that is no language can be chosen: every text of the program turns empty.
    languageList()->setCurrentIndex(languageList()->findText("readme.txt"));
    save();
    options.reset();
    EXPECT_EQ(setting("Language"), "readme.txt");
    EXPECT_EQ(sourceHeading()->text(), QString());
}

TEST_F(OptionsTest, CancelAndClosingWriteNothing)
{
    const QString before = settingsFileText();
    openOptions();
    box(1)->click();
    box(6)->click();
    languageList()->setCurrentIndex(languageList()->findText("Deutsch"));
    QTest::mouseClick(option<QPushButton>("cmdCancel"), Qt::LeftButton);
    EXPECT_EQ(options->result(), QDialog::Rejected);

    openOptions();
    options->show();
    box(2)->click();
    options->close();
    EXPECT_EQ(settingsFileText(), before);
    EXPECT_EQ(modGlobal::LanguageFilePath, modGlobal::LanguageFileFor("English"));
}

TEST_F(OptionsTest, TheChosenColourPaintsTheDialogButNotTheLastTwoBoxes)
{
    openOptions();
    const QColor design = options->palette().color(QPalette::Window);
    ASSERT_NE(design, QColor(Qt::white));
    EXPECT_FALSE(option<QFrame>("Frame1")->autoFillBackground());

    modRegistry::SaveSetting(modRegistry::SettingsAppName, "Options", "BGColor", modRegistry::WhiteColor);
    openOptions();
    EXPECT_EQ(options->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_TRUE(option<QFrame>("Frame1")->autoFillBackground());
    for (int number = 1; number <= 4; ++number)
        EXPECT_EQ(box(number)->palette().color(QPalette::Window), QColor(Qt::white)) << number;
    for (int number = 5; number <= 6; ++number) {
        EXPECT_EQ(box(number)->palette().color(QPalette::Window), design) << number;
        EXPECT_TRUE(box(number)->autoFillBackground()) << number;
    }
}

TEST_F(OptionsTest, OpensCentredOverTheMainWindowFromItsButton)
{
    open();
    window->show();
    // Low enough that the taller dialog fits above it on the screen.
    window->move(40, 150);
    QPoint dialogCentre;
    QPoint mainCentre;
    whenModalOpens<dlgOptionen>([&](dlgOptionen &dialog) {
        dialogCentre = dialog.frameGeometry().center();
        mainCentre = window->frameGeometry().center();
        dialog.reject();
    });
    QTest::mouseClick(control<QPushButton>("cmdOpt"), Qt::LeftButton);
    EXPECT_NE(dialogCentre, QPoint());
    EXPECT_LE((dialogCentre - mainCentre).manhattanLength(), 2);
}
