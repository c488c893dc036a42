#include "config/ConfigTestSupport.h"
#include "config/Startup.h"
#include "config/modGlobal.h"
#include "config/modIniHandler.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace
{

// The language dialog and the main window as start-up sees them: the dialog may store a
// choice as the real one does on OK; the main window records what start-up had settled.
class StandInHost : public StartupHost
{
public:
    void showLanguageDialogModal() override
    {
        calls << "dialog";
        if (!chosenLanguage.isNull())
            modIniHandler::WriteSetting("Options", "Language", chosenLanguage);
    }

    void showMainWindow() override
    {
        calls << "main";
        languageAtMain = modGlobal::CurrentLanguage;
        languageFileAtMain = modGlobal::LanguageFilePath;
    }

    QString chosenLanguage; // null: the dialog is closed without a choice
    QStringList calls;
    QString languageAtMain;
    QString languageFileAtMain;
};

class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid());
        configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
        ASSERT_FALSE(configHome.isEmpty());
        settingsFolder = configHome + "/Tessaro/Lite";
        settingsFile = settingsFolder + "/Tessaro.ini";
        QDir(configHome + "/Tessaro").removeRecursively();
        QFile::remove(configHome + "/Ulvenor/Tessaro.conf");
        modGlobal::SetProgramFolder(programDir.path());
    }

    void TearDown() override { modGlobal::SetProgramFolder(QString()); }

    QString registryValue(const QString &name)
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Ulvenor", "Tessaro");
        return store.value("Lite/" + name, "<none>").toString();
    }

    QTemporaryDir programDir;
    QString configHome;
    QString settingsFolder;
    QString settingsFile;
    StandInHost host;
};

TEST_F(StartupTest, FirstStartCreatesFolderAndFileAndAsksForTheLanguageFirst)
{
    host.chosenLanguage = "English";
    Startup::Main(host);

    EXPECT_TRUE(QFileInfo(settingsFolder).isDir());
    EXPECT_EQ(modGlobal::SettingsFolder, settingsFolder);
    EXPECT_EQ(modGlobal::SettingsFilePath, settingsFile);
    QByteArray expected = expectedDefaultSettings();
    expected.replace("Language=\r\n", "Language=English\r\n");
    EXPECT_EQ(TestFiles::read(settingsFile), expected);

    EXPECT_EQ(host.calls, QStringList({"dialog", "main"}));
    EXPECT_EQ(host.languageAtMain, "English");
    EXPECT_EQ(host.languageFileAtMain, programDir.path() + "/lang/English.dat");
    EXPECT_EQ(registryValue("Version"), "3.01.00");
    EXPECT_EQ(registryValue("Language"), "en");
    EXPECT_TRUE(QFileInfo::exists(configHome + "/Ulvenor/Tessaro.conf"));
}

TEST_F(StartupTest, LanguageDialogClosedWithoutChoiceLeavesAnEmptyLanguageAndAsksAgainNextTime)
{
    Startup::Main(host);
    EXPECT_EQ(host.calls, QStringList({"dialog", "main"}));
    EXPECT_EQ(modGlobal::CurrentLanguage, "");
    EXPECT_EQ(modGlobal::LanguageFilePath, programDir.path() + "/lang/.dat");
    EXPECT_EQ(registryValue("Language"), "");
    EXPECT_EQ(TestFiles::read(settingsFile), expectedDefaultSettings());

    StandInHost second;
    Startup::Main(second);
    EXPECT_EQ(second.calls, QStringList({"dialog", "main"}));
}

TEST_F(StartupTest, LaterStartTouchesNothingAndSkipsTheDialog)
{
    QByteArray stored = expectedDefaultSettings();
    stored.replace("Language=\r\n", "Language=Deutsch\r\n");
    stored.replace("From=\r\n", "From=/srv/in\r\n");
    TestFiles::write(settingsFile, stored);

    Startup::Main(host);
    EXPECT_EQ(host.calls, QStringList({"main"}));
    EXPECT_EQ(TestFiles::read(settingsFile), stored);
    EXPECT_EQ(host.languageAtMain, "Deutsch");
    EXPECT_EQ(host.languageFileAtMain, programDir.path() + "/lang/Deutsch.dat");
    EXPECT_EQ(registryValue("Language"), "de");
    EXPECT_EQ(registryValue("Version"), "3.01.00");
}

TEST_F(StartupTest, FileWithoutOptionsIsLeftAloneAndFallsBackToDeutsch)
{
    const QByteArray stored("; hand-made\r\n[Window]\r\nLeft=3\r\n");
    TestFiles::write(settingsFile, stored);

    Startup::Main(host);
    EXPECT_EQ(host.calls, QStringList({"dialog", "main"}));
    EXPECT_EQ(TestFiles::read(settingsFile), stored);
    EXPECT_EQ(modGlobal::CurrentLanguage, "Deutsch");
    EXPECT_TRUE(modGlobal::LanguageFilePath.endsWith("/lang/Deutsch.dat"));
    EXPECT_EQ(registryValue("Language"), "de");
}

TEST_F(StartupTest, OptionsWithoutALanguageLineFallBackToDeutsch)
{
    QByteArray stored = expectedDefaultSettings();
    stored.replace("Language=\r\n", "");
    TestFiles::write(settingsFile, stored);

    Startup::Main(host);
    EXPECT_EQ(host.calls, QStringList({"dialog", "main"}));
    EXPECT_EQ(modGlobal::LanguageFilePath, programDir.path() + "/lang/Deutsch.dat");
    EXPECT_EQ(registryValue("Language"), "de");
}

TEST_F(StartupTest, BlanksAroundTheChosenLanguageAreNotPartOfItsName)
{
    // The language dialog stores a typed name with its blanks; the next start still finds
    // the language file, and a name of blanks alone counts as no choice.
    host.chosenLanguage = "Deutsch ";
    Startup::Main(host);
    EXPECT_EQ(modIniHandler::ReadSetting("Options", "Language", "", 256), "Deutsch ");
    EXPECT_EQ(modGlobal::LanguageFilePath, programDir.path() + "/lang/Deutsch.dat");
    EXPECT_EQ(modGlobal::CurrentLanguage, "Deutsch");
    EXPECT_EQ(registryValue("Language"), "de");

    modIniHandler::WriteSetting("Options", "Language", "   ");
    StandInHost later;
    Startup::Main(later);
    EXPECT_EQ(later.calls, QStringList({"dialog", "main"}));
}

TEST_F(StartupTest, RegistryLanguageIsTheLowerCaseStartOfTheName)
{
    for (const auto &[name, code] : std::initializer_list<std::pair<QString, QString>> {
             {"English", "en"}, {"X", "x"}, {"DEUTSCH", "de"}, {"Ελληνικά", "ελ"}}) {
        QByteArray stored = expectedDefaultSettings();
        stored.replace("Language=\r\n", "Language=" + name.toUtf8() + "\r\n");
        TestFiles::write(settingsFile, stored);
        StandInHost later;
        Startup::Main(later);
        EXPECT_EQ(registryValue("Language"), code) << name.toStdString();
        EXPECT_EQ(modGlobal::CurrentLanguage, name);
    }
    EXPECT_EQ(Startup::LanguageCode(""), "");
}

TEST_F(StartupTest, UnwritableSettingsFolderStillOpensTheMainWindowWithDefaults)
{
    // A regular file where the folder Tessaro belongs: nothing can be created below it.
    TestFiles::write(configHome + "/Tessaro", "in the way");
    host.chosenLanguage = "English";
    Startup::Main(host);
    EXPECT_EQ(host.calls, QStringList({"dialog", "main"}));
    EXPECT_FALSE(QFileInfo::exists(settingsFile));
    EXPECT_EQ(modGlobal::CurrentLanguage, "Deutsch");
    EXPECT_EQ(registryValue("Language"), "de");
    QFile::remove(configHome + "/Tessaro");
}

} // namespace
