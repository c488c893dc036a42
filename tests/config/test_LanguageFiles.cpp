#include "config/ConfigTestSupport.h"
#include "config/FrmMainTexts.h"
#include "config/LanguageList.h"
#include "config/WindowSettings.h"
#include "config/modGlobal.h"
#include "config/modIniHandler.h"

#include <QStringDecoder>
#include <gtest/gtest.h>

namespace
{

// Every text id that the windows, the scheduler, the run and the log read.
QStringList mainWindowIds()
{
    QStringList ids;
    for (int n = 0; n <= FrmMainTexts::LastFurtherText; ++n) {
        if (n != 10 && n != 53)
            ids << QStringLiteral("t%1").arg(n);
    }
    return ids;
}

const QStringList LanguageDialogIds = {"t0", "t1", "t2", "t3"};

class LanguageFileTest : public ::testing::TestWithParam<const char *>
{
protected:
    void SetUp() override
    {
        modGlobal::SetProgramFolder(TESSARO_PROGRAM_DIR);
        savedPath = modGlobal::LanguageFilePath;
        modGlobal::LanguageFilePath = modGlobal::LanguageFileFor(GetParam());
    }

    void TearDown() override
    {
        modGlobal::LanguageFilePath = savedPath;
        modGlobal::SetProgramFolder(QString());
    }

    static QString text(const char *section, const QString &id)
    {
        return modIniHandler::ReadLanguageText(section, id, QString(), 256);
    }

    QString savedPath;
};

TEST_P(LanguageFileTest, EveryUsedIdHasAText)
{
    ASSERT_TRUE(QFileInfo::exists(modGlobal::LanguageFilePath)) << modGlobal::LanguageFilePath.toStdString();
    for (const QString &id : mainWindowIds())
        EXPECT_FALSE(text("frmMain", id).trimmed().isEmpty()) << "frmMain " << id.toStdString();
    for (const QString &id : LanguageDialogIds)
        EXPECT_FALSE(text("dlgLangSelect", id).trimmed().isEmpty()) << "dlgLangSelect " << id.toStdString();
}

TEST_P(LanguageFileTest, TextsFitTheirRoles)
{
    // Button and menu captions carry an access letter.
    for (const char *id : {"t11", "t12", "t13", "t32", "t38", "t41", "t42", "t49", "t58", "t59"})
        EXPECT_TRUE(text("frmMain", id).contains('&')) << id;
    EXPECT_TRUE(text("dlgLangSelect", "t3").contains('&'));
    // Question texts and the title of the save question show "&" as it is.
    for (const char *id : {"t36", "t37", "t54", "t55", "t56", "t57"})
        EXPECT_FALSE(text("frmMain", id).contains('&')) << id;

    // The minute words must come off the interval entries again.
    const QString singular = text("frmMain", "t4");
    const QString plural = text("frmMain", "t5");
    EXPECT_NE(singular, plural);
    EXPECT_EQ(WindowSettings::IntervalValue("1 " + singular, singular, plural), "1");
    EXPECT_EQ(WindowSettings::IntervalValue("540 " + plural, singular, plural), "540");
    EXPECT_EQ(WindowSettings::IntervalValue("15 " + plural.toUpper(), singular, plural), "15");

    // The about text is broken into lines at each ". ".
    EXPECT_TRUE(text("frmMain", "t52").contains(". "));
}

TEST_P(LanguageFileTest, FileIsUtf8WithCrLfLinesAndNoRepeatedIds)
{
    const QByteArray bytes = TestFiles::read(modGlobal::LanguageFilePath);
    ASSERT_FALSE(bytes.isEmpty());
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder(bytes);
    EXPECT_FALSE(decoder.hasError());
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
    EXPECT_EQ(bytes.count('\r'), bytes.count("\r\n"));

    QSet<QString> seen;
    QString section;
    for (const QString &line : decoded.split("\r\n")) {
        if (line.startsWith('['))
            section = line;
        if (!line.contains('='))
            continue;
        const QString id = section + line.section('=', 0, 0);
        EXPECT_FALSE(seen.contains(id)) << line.toStdString();
        seen.insert(id);
    }
}

INSTANTIATE_TEST_SUITE_P(ShippedLanguages, LanguageFileTest, ::testing::Values("English", "Deutsch"));

TEST(ShippedLanguagesTest, BothAreOfferedAtFirstStart)
{
    const QStringList offered = LanguageList::FilteredLanguageList(QString(TESSARO_PROGRAM_DIR) + "/lang");
    EXPECT_TRUE(offered.contains("English"));
    EXPECT_TRUE(offered.contains("Deutsch"));
}

} // namespace
