// The first start's language dialog: the languages it offers, the texts it takes from the
// language being picked, what OK stores and what closing it without OK leaves.
#include "DialogTestSupport.h"
#include "config/modIniHandler.h"
#include "ui/dlgLangSelect.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

namespace
{

// The preset's own texts, so that they cannot be taken for the ones the dialog was built with.
const QByteArray TestEnglish
    = "[dlgLangSelect]\r\nt0=Hello\r\nt1=Pick one:\r\nt2=Change it later.\r\nt3=&Go\r\n";

class LangSelectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settingsDir.isValid());
        modGlobal::SettingsFolder = settingsDir.path();
        modGlobal::SettingsFilePath = settingsDir.filePath("Tessaro.ini");
        modIniHandler::WriteDefaultSettings(settingsDir.path());
        modGlobal::LanguageFilePath.clear();
        program.addFile("lang/English.dat", TestEnglish);
        program.addShippedLanguage("Deutsch");
        program.use();
    }

    dlgLangSelect &openDialog()
    {
        dialog = std::make_unique<dlgLangSelect>();
        return *dialog;
    }

    template <typename T> T *part(const char *name) const
    {
        T *found = dialog->findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QComboBox *languages() const { return part<QComboBox>("dxLanguage"); }

    QStringList offered() const
    {
        QStringList names;
        for (int entry = 0; entry < languages()->count(); ++entry)
            names << languages()->itemText(entry);
        return names;
    }

    // Caption, prompt, hint and button as shown.
    QStringList shownTexts() const
    {
        return {dialog->windowTitle(), part<QLabel>("lblMsg_0")->text(), part<QLabel>("lblMsg_1")->text(),
            part<QPushButton>("cmdOK")->text()};
    }

    static QStringList textsOf(const QString &languageFile)
    {
        QStringList texts;
        for (int id = 0; id <= 3; ++id)
            texts << modIniHandler::ReadIniValue(
                languageFile, "dlgLangSelect", QStringLiteral("t%1").arg(id), "");
        texts[0].prepend("Tessaro Lite - ");
        return texts;
    }

    void type(const QString &text)
    {
        QLineEdit *field = languages()->lineEdit();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }

    void clickOk() { QTest::mouseClick(part<QPushButton>("cmdOK"), Qt::LeftButton); }

    static QString storedLanguage()
    {
        return modIniHandler::ReadSetting("Options", "Language", "<missing>", 256);
    }

    QTemporaryDir settingsDir;
    TestProgramFolder program;
    std::unique_ptr<dlgLangSelect> dialog;
};

} // namespace

TEST_F(LangSelectTest, OpensOnTheEnglishPresetWithTheOfferedLanguagesOnly)
{
    program.addFile("lang/Dansk-ulv.dat", "[dlgLangSelect]\r\n");
    program.addFile("lang/Francais.DAT", "[dlgLangSelect]\r\n");
    program.addFile("lang/readme.txt", "notes");
    program.addFile("lang/Norsk", "[dlgLangSelect]\r\n");
    program.addFile("lang/dansk.dat", "[dlgLangSelect]\r\n");
    openDialog();

    // By name, without regard to case.
    EXPECT_EQ(offered(), QStringList({"dansk", "Deutsch", "English"}));
    EXPECT_EQ(languages()->currentText(), "English");
    EXPECT_EQ(shownTexts(), QStringList({"Tessaro Lite - Hello", "Pick one:", "Change it later.", "&Go"}));
    EXPECT_EQ(modGlobal::LanguageFilePath, modGlobal::LanguageFileFor("English"));

    clickOk();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(storedLanguage(), "English");
}

TEST_F(LangSelectTest, PickingDeutschSpeaksGermanAndOkStoresIt)
{
    const QString german = modGlobal::LanguageFileFor("Deutsch");
    openDialog();
    languages()->setCurrentIndex(languages()->findText("Deutsch"));
    EXPECT_EQ(shownTexts(), textsOf(german));
    EXPECT_NE(shownTexts(), textsOf(modGlobal::LanguageFileFor("English")));
    EXPECT_EQ(modGlobal::LanguageFilePath, german);
    EXPECT_EQ(storedLanguage(), QString()) << "nothing is stored before OK";

    clickOk();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(storedLanguage(), "Deutsch");
    EXPECT_EQ(modGlobal::LanguageFilePath, german);
}

TEST_F(LangSelectTest, TypedTextIsReadWithoutItsEndBlanksAndStoredWithThem)
{
    openDialog();
    // Half a name has no file: the texts go empty until the name is whole.
    type("Deu");
    EXPECT_EQ(shownTexts(), QStringList({"Tessaro Lite - ", "", "", ""}));
    type("Deutsch ");
    EXPECT_EQ(shownTexts(), textsOf(modGlobal::LanguageFileFor("Deutsch")));

    clickOk();
    EXPECT_EQ(storedLanguage(), "Deutsch ");
    EXPECT_EQ(modGlobal::LanguageFilePath, modGlobal::LanguageFileFor("Deutsch"));
}

TEST_F(LangSelectTest, ClosingWithoutOkStoresNothing)
{
    const QString before = settingsFileText();
    openDialog();
    dialog->show();
    languages()->setCurrentIndex(languages()->findText("Deutsch"));
    dialog->close();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(storedLanguage(), QString());
    EXPECT_EQ(settingsFileText(), before);
}

TEST_F(LangSelectTest, WithoutAnEnglishFileItKeepsItsOwnTexts)
{
    QFile::remove(program.path() + "/lang/English.dat");
    openDialog();
    EXPECT_EQ(offered(), QStringList({"Deutsch"}));
    EXPECT_EQ(languages()->currentText(), "English");
    EXPECT_EQ(shownTexts(),
        QStringList({"Tessaro Lite - Welcome", "Please select a language:",
            "Hint: You can change the language in the settings window also.", "&OK"}));

    clickOk();
    EXPECT_EQ(storedLanguage(), "English");
}
