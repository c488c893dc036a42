#include "updater/modUpdate.h"

#include <gtest/gtest.h>

using namespace modUpdate;

namespace
{

const QString Root = QStringLiteral("https://www.ulvenor.example/");

QString address(const QString &argument, const QString &version, const QString &language)
{
    return QString::fromLatin1(UpdateAddress(argument, SettleValues(version, language)).toEncoded());
}

} // namespace

TEST(UpdateValues, LanguageIsCutAndLowerCasedOnlyWhenLongerThanTwo)
{
    EXPECT_EQ(SettleValues("3.01.00", "English").language, "en");
    EXPECT_EQ(SettleValues("3.01.00", "DEUTSCH").language, "de");
    EXPECT_EQ(SettleValues("3.01.00", "DE").language, "DE");
    EXPECT_EQ(SettleValues("3.01.00", "E").language, "E");
    EXPECT_EQ(SettleValues("3.01.00", "de").version, "3.01.00");
}

TEST(UpdateValues, MissingValuesGetNotFoundAndEnglish)
{
    const StoredValues values = SettleValues("", "");
    EXPECT_EQ(values.version, "NotFound");
    EXPECT_EQ(values.language, "en");
    EXPECT_EQ(address("", "", ""), Root + "lite/en/update/QZL_NotFound.htm");
}

TEST(UpdateQuestion, GermanAndEnglishLinesAndTheirLayout)
{
    const MessageLines german = QuestionLines("de");
    EXPECT_EQ(german[0],
        QString::fromUtf8("Dies wird Ihren Browser öffnen um die Tessaro Lite Update Website zu besuchen!"));
    EXPECT_EQ(german[1], QString::fromUtf8("Hierzu benötigen Sie eine aktive Internetverbindung."));
    EXPECT_EQ(german[2], QString::fromUtf8("Möchten Sie jetzt Online gehen?"));

    const MessageLines english = QuestionLines("en");
    EXPECT_EQ(QuestionText(english),
        "This will open your browser to visit the Tessaro Lite update website!\r\n"
        "An active internet connection is required.\r\n\r\n"
        "Do you want to go online now?");
    EXPECT_EQ(QuestionTitle(), "Tessaro Lite Update");
}

TEST(UpdateQuestion, OtherCodesAndOtherCaseGiveEmptyLines)
{
    for (const char *code : {"DE", "En", "fr", ""}) {
        const MessageLines lines = QuestionLines(code);
        EXPECT_TRUE(lines[0].isEmpty() && lines[1].isEmpty() && lines[2].isEmpty()) << code;
        EXPECT_EQ(QuestionText(lines), "\r\n\r\n\r\n") << code;
    }
}

TEST(UpdateAddress, WithoutArgumentFolderFromLanguageAndPageFromVersion)
{
    EXPECT_EQ(address("", "3.01.00", "de"), Root + "lite/de/update/QZL_3.01.00.htm");
    EXPECT_EQ(address("", "3.01.00", "DE"), Root + "lite/de/update/QZL_3.01.00.htm");
    EXPECT_EQ(address("", "3.01.00", "English"), Root + "lite/en/update/QZL_3.01.00.htm");
}

TEST(UpdateAddress, ArgumentNamesFolderAndLanguageNamesPage)
{
    EXPECT_EQ(address("FR", "3.01.00", "de"), Root + "lite/fr/update/QZL_de.htm");
    EXPECT_EQ(address("Fr", "3.01.00", "DE"), Root + "lite/fr/update/QZL_DE.htm");
}

TEST(UpdateAddress, ArgumentStaysOneSegmentOfTheUpdateFolder)
{
    EXPECT_EQ(address("Pt Br", "3.01.00", "de"), Root + "lite/pt%20br/update/QZL_de.htm");
    EXPECT_EQ(address("../../Evil", "3.01.00", "de"), Root + "lite/..%2F..%2Fevil/update/QZL_de.htm");
    EXPECT_EQ(address("x?y#z%41", "3.01.00", "de"), Root + "lite/x%3Fy%23z%2541/update/QZL_de.htm");
    EXPECT_EQ(address("..", "3.01.00", "de"), Root + "lite/en/update/QZL_de.htm");
    EXPECT_EQ(address(".", "3.01.00", "de"), Root + "lite/en/update/QZL_de.htm");

    const QUrl url = UpdateAddress("a/b c", SettleValues("3.01.00", "de"));
    EXPECT_EQ(url.host(), "www.ulvenor.example");
    EXPECT_TRUE(url.query().isEmpty());
    EXPECT_TRUE(url.fragment().isEmpty());
    EXPECT_EQ(url.path(QUrl::FullyEncoded).count('/'), 4);
}

TEST(UpdateAddress, StoredValuesCannotLeaveTheUpdateFolderEither)
{
    EXPECT_EQ(address("", "../x?y", "de"), Root + "lite/de/update/QZL_..%2Fx%3Fy.htm");
    EXPECT_EQ(address("", "3.01.00", ".."), Root + "lite/en/update/QZL_3.01.00.htm");
    EXPECT_EQ(address("", "3.01.00", "/"), Root + "lite/%2F/update/QZL_3.01.00.htm");
}

TEST(UpdateCommandLine, ArgumentsAfterTheProgramJoinedByBlanks)
{
    EXPECT_EQ(CommandLineText({"TessaroUpdate"}), "");
    EXPECT_EQ(CommandLineText({"TessaroUpdate", "FR"}), "FR");
    EXPECT_EQ(CommandLineText({"TessaroUpdate", "pt", "br"}), "pt br");
    EXPECT_EQ(CommandLineText({"TessaroUpdate", "a  b"}), "a  b");
}
