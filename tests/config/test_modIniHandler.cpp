#include "config/ConfigTestSupport.h"
#include "config/modGlobal.h"
#include "config/modIniHandler.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace modIniHandler;

namespace
{

class IniHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("Tessaro.ini");
    }

    QString read(
        const QString &section, const QString &key, const QString &defaultValue = "<default>", int size = 256)
    {
        return ReadIniValue(path, section, key, defaultValue, size);
    }

    QTemporaryDir dir;
    QString path;
};

TEST_F(IniHandlerTest, DefaultFileIsWrittenByteForByteAndAnswersEveryReader)
{
    WriteDefaultSettings(dir.path());
    ASSERT_EQ(TestFiles::read(path), expectedDefaultSettings());
    EXPECT_EQ(expectedDefaultSettings().count("\r\n"), 30);

    // Each reader with the default it passes: the file's value wins where the key exists.
    EXPECT_EQ(read("Options", "Save", "0"), "1");
    EXPECT_EQ(read("Options", "Question", "0"), "0");
    EXPECT_EQ(read("Options", "DoActionOnStart", "0"), "0");
    EXPECT_EQ(read("Options", "CheckDestination", "0"), "1");
    EXPECT_EQ(read("Options", "From", ""), "");
    EXPECT_EQ(read("Options", "To", "x"), "");
    EXPECT_EQ(read("Options", "Interval", "5"), "1");
    EXPECT_EQ(read("Options", "Action", "Copy"), "Copy");
    EXPECT_EQ(read("Options", "ShowLog", "0"), "1");
    EXPECT_EQ(read("Options", "Overwrite", "0"), "0");
    EXPECT_EQ(read("Options", "Language", "Deutsch"), "");
    EXPECT_EQ(read("Options", "ShowDateAndTime", "1"), "1");
    EXPECT_EQ(read("Options", "SysTray", "1"), "1");
    EXPECT_EQ(read("Options", "SysTray", "0"), "0");
}

TEST_F(IniHandlerTest, MissingFileSectionOrKeyGiveTheDefaultAndAnEmptyValueGivesEmptyText)
{
    EXPECT_EQ(read("Options", "From"), "<default>");
    TestFiles::write(path, "[Other]\r\nFrom=elsewhere\r\n[Options]\r\nFrom=\r\nTo=  \r\n");
    EXPECT_EQ(read("Options", "From"), "");
    EXPECT_EQ(read("Options", "To"), "");
    EXPECT_EQ(read("Options", "Interval"), "<default>");
    EXPECT_EQ(read("Missing", "From"), "<default>");
    EXPECT_EQ(read("Other", "From"), "elsewhere");
    EXPECT_EQ(ReadIniValue(dir.filePath("no/such/file.ini"), "Options", "From", "d"), "d");
    EXPECT_EQ(ReadIniValue(QString(), "Options", "From", "d"), "d");
    EXPECT_EQ(ReadIniValue(dir.path(), "Options", "From", "d"), "d");
}

TEST_F(IniHandlerTest, NamesMatchInAnyCaseAndBlanksQuotesAndCommentsAreHandled)
{
    TestFiles::write(path,
        "[ options ]\r\n"
        "  FROM  =  /data/in  \r\n"
        "to\t=\t/data/out\r\n"
        ";Interval=7\r\n"
        "  ; Action=Move\r\n"
        "DoubleQuoted=\"  spaced  \"\r\n"
        "SingleQuoted='x'\r\n"
        "Mismatched=\"x'\r\n"
        "LoneQuote=\"\r\n"
        "TwoPairs=\"\"x\"\"\r\n"
        "Equals=a=b=c\r\n");
    EXPECT_EQ(read("Options", "from"), "/data/in");
    EXPECT_EQ(read("OPTIONS", "To"), "/data/out");
    EXPECT_EQ(read("Options", "Interval"), "<default>");
    EXPECT_EQ(read("Options", "Action"), "<default>");
    EXPECT_EQ(read("Options", "doublequoted"), "  spaced  ");
    EXPECT_EQ(read("Options", "SingleQuoted"), "x");
    EXPECT_EQ(read("Options", "Mismatched"), "\"x'");
    EXPECT_EQ(read("Options", "LoneQuote"), "\"");
    EXPECT_EQ(read("Options", "TwoPairs"), "\"x\"");
    EXPECT_EQ(read("Options", "Equals"), "a=b=c");
}

TEST_F(IniHandlerTest, ValuesAndDefaultsAreCutToSizeMinusOne)
{
    const QString longValue = QString(300, QLatin1Char('a')) + "z";
    ASSERT_TRUE(WriteIniValue(path, "Options", "From", longValue));
    EXPECT_EQ(read("Options", "From"), QString(255, QLatin1Char('a')));
    EXPECT_EQ(read("Options", "From", "", 10), QString(9, QLatin1Char('a')));
    EXPECT_EQ(read("Options", "From", "", 1), "");
    EXPECT_EQ(read("Options", "From", "", 0), "");
    EXPECT_EQ(read("Options", "Missing", "abcdef", 4), "abc");
    EXPECT_EQ(read("Options", "From", "", 400), longValue);

    // A character outside the basic plane is never cut in half.
    ASSERT_TRUE(WriteIniValue(path, "Options", "Face", "ab\U0001F600"));
    EXPECT_EQ(read("Options", "Face", "", 4), "ab");
    EXPECT_EQ(read("Options", "Face", "", 5), "ab\U0001F600");
}

TEST_F(IniHandlerTest, WritesChangeOnlyTheirLineAndAppendWhereTheEntriesEnd)
{
    WriteDefaultSettings(dir.path());
    QByteArray expected = expectedDefaultSettings();

    ASSERT_TRUE(WriteIniValue(path, "options", "from", "/home/ann/Documents"));
    expected.replace("From=\r\n", "From=/home/ann/Documents\r\n");
    EXPECT_EQ(TestFiles::read(path), expected);

    ASSERT_TRUE(WriteIniValue(path, "Options", "SysTray", "0"));
    expected.replace("ShowDateAndTime=1\r\n", "ShowDateAndTime=1\r\nSysTray=0\r\n");
    EXPECT_EQ(TestFiles::read(path), expected);

    ASSERT_TRUE(WriteIniValue(path, "Options", "SysTray", "1"));
    expected.replace("SysTray=0\r\n", "SysTray=1\r\n");
    EXPECT_EQ(TestFiles::read(path), expected);

    ASSERT_TRUE(WriteIniValue(path, "Window", "Left", "10"));
    expected += "[Window]\r\nLeft=10\r\n";
    EXPECT_EQ(TestFiles::read(path), expected);
    EXPECT_EQ(read("Options", "From"), "/home/ann/Documents");
    EXPECT_EQ(read("Window", "Left"), "10");
}

TEST_F(IniHandlerTest, WriteCreatesAMissingFileAndKeepsItsLineEndsOtherwise)
{
    ASSERT_TRUE(WriteIniValue(path, "Options", "Language", "English"));
    EXPECT_EQ(TestFiles::read(path), QByteArray("[Options]\r\nLanguage=English\r\n"));

    // A last line without a line end gets the file's line end before the appended key.
    TestFiles::write(path, "[Options]\nSave=1");
    ASSERT_TRUE(WriteIniValue(path, "Options", "Question", "1"));
    EXPECT_EQ(TestFiles::read(path), QByteArray("[Options]\nSave=1\nQuestion=1\n"));

    TestFiles::write(path, "; only a comment");
    ASSERT_TRUE(WriteIniValue(path, "Options", "Save", "0"));
    EXPECT_EQ(TestFiles::read(path), QByteArray("; only a comment\r\n[Options]\r\nSave=0\r\n"));

    // An empty section takes the key right below its header; trailing comments stay below.
    TestFiles::write(path, "[Options]\r\n\r\n; about the next section\r\n[Next]\r\n");
    ASSERT_TRUE(WriteIniValue(path, "Options", "Save", "1"));
    EXPECT_EQ(TestFiles::read(path),
        QByteArray("[Options]\r\nSave=1\r\n\r\n; about the next section\r\n[Next]\r\n"));
}

TEST_F(IniHandlerTest, ValuesReadBackExactlyAsWritten)
{
    const QStringList values = {"plain", " leading", "trailing ", "\"quoted\"", "'single'", "\"", "",
        "Müller/日本/\U0001F600", "a;b", "[x]", "=", "C:\\Temp\\"};
    for (const QString &value : values) {
        ASSERT_TRUE(WriteIniValue(path, "Options", "From", value)) << value.toStdString();
        EXPECT_EQ(read("Options", "From"), value);
    }
    EXPECT_EQ(TestFiles::read(path).count("From="), 1);
}

TEST_F(IniHandlerTest, WritesThatWouldBreakTheFileAreRefusedAndLeaveItAlone)
{
    WriteDefaultSettings(dir.path());
    EXPECT_FALSE(WriteIniValue(path, "Options", "From", "two\nlines"));
    EXPECT_FALSE(WriteIniValue(path, "Options", "From", "carriage\rreturn"));
    EXPECT_FALSE(WriteIniValue(path, "Options", "From", QString("nul") + QChar(0) + "byte"));
    EXPECT_FALSE(WriteIniValue(path, "Options", "a=b", "1"));
    EXPECT_FALSE(WriteIniValue(path, "Options", ";hidden", "1"));
    EXPECT_FALSE(WriteIniValue(path, "Options", "[key]", "1"));
    EXPECT_FALSE(WriteIniValue(path, "Options", "  ", "1"));
    EXPECT_FALSE(WriteIniValue(path, "", "Key", "1"));
    EXPECT_FALSE(WriteIniValue(path, "Opt\nions", "Key", "1"));
    EXPECT_EQ(TestFiles::read(path), expectedDefaultSettings());
}

TEST_F(IniHandlerTest, WritesThatCannotReachTheFileFailQuietly)
{
    TestFiles::write(dir.filePath("plain"), "not a folder");
    EXPECT_FALSE(WriteIniValue(dir.filePath("plain/Tessaro.ini"), "Options", "Save", "1"));
    EXPECT_FALSE(WriteIniValue(dir.filePath("missing/Tessaro.ini"), "Options", "Save", "1"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));

    // A folder where the file should be is neither replaced nor emptied.
    ASSERT_TRUE(QDir(dir.path()).mkpath("folder.ini/inside"));
    EXPECT_FALSE(WriteIniValue(dir.filePath("folder.ini"), "Options", "Save", "1"));
    EXPECT_TRUE(QFileInfo(dir.filePath("folder.ini/inside")).isDir());

    const QString longName = dir.filePath(QString(300, QLatin1Char('n')) + ".ini");
    EXPECT_FALSE(WriteIniValue(longName, "Options", "Save", "1"));
    WriteDefaultSettings(dir.filePath("plain"));
    EXPECT_EQ(TestFiles::read(dir.filePath("plain")), QByteArray("not a folder"));
}

TEST_F(IniHandlerTest, SettingAndLanguageOperationsUseTheirGlobalPaths)
{
    const QString savedSettings = modGlobal::SettingsFilePath;
    const QString savedLanguage = modGlobal::LanguageFilePath;
    modGlobal::SettingsFilePath = path;
    modGlobal::LanguageFilePath = dir.filePath("English.dat");
    TestFiles::write(modGlobal::LanguageFilePath, "[frmMain]\r\nt5=minutes\r\n");

    WriteSetting("Options", "Interval", "15");
    EXPECT_EQ(ReadSetting("Options", "Interval", "5", 256), "15");
    EXPECT_EQ(TestFiles::read(path), QByteArray("[Options]\r\nInterval=15\r\n"));
    EXPECT_EQ(ReadLanguageText("frmMain", "t5"), "minutes");
    EXPECT_EQ(ReadLanguageText("frmMain", "t7"), "");
    EXPECT_EQ(ReadLanguageText("frmMain", "t5", "", 4), "min");

    // Nothing is cached: a change by another writer shows at the next read.
    TestFiles::write(path, "[Options]\r\nInterval=30\r\n");
    EXPECT_EQ(ReadSetting("Options", "Interval", "5", 256), "30");

    modGlobal::LanguageFilePath = dir.filePath("Missing.dat");
    EXPECT_EQ(ReadLanguageText("frmMain", "t5"), "");
    modGlobal::SettingsFilePath = savedSettings;
    modGlobal::LanguageFilePath = savedLanguage;
}

} // namespace
