#include "config/ConfigTestSupport.h"
#include "config/LanguageList.h"
#include "config/modGlobal.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

class LanguageListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid());
        langDir = programDir.filePath("lang");
        for (const char *name : {"English.dat", "Deutsch.dat", "ulvenor.dat", "readme.txt", "English.DAT",
                 "Dansk.dat.bak", "noextension", ".hidden.dat"})
            TestFiles::write(langDir + "/" + name, "[frmMain]\r\n");
        QDir(langDir).mkpath("Folder.dat");
        modGlobal::SetProgramFolder(programDir.path());
    }

    void TearDown() override { modGlobal::SetProgramFolder(QString()); }

    QTemporaryDir programDir;
    QString langDir;
};

TEST_F(LanguageListTest, FilteredListingOffersOnlyDatFilesWithoutUlv)
{
    EXPECT_EQ(sorted(LanguageList::FilteredLanguageList()), QStringList({"Deutsch", "English"}));
    EXPECT_EQ(sorted(LanguageList::FilteredLanguageList(langDir)), QStringList({"Deutsch", "English"}));
}

TEST_F(LanguageListTest, PlainListingShowsEveryPlainFileWithDatTakenOut)
{
    EXPECT_EQ(sorted(LanguageList::PlainLanguageList()),
        sorted({"English", "Deutsch", "ulvenor", "readme.txt", "English.DAT", "Dansk.bak", "noextension"}));
}

TEST_F(LanguageListTest, MissingOrEmptyFolderOffersNoLanguage)
{
    EXPECT_TRUE(LanguageList::PlainLanguageList(programDir.filePath("nowhere")).isEmpty());
    EXPECT_TRUE(LanguageList::FilteredLanguageList(programDir.filePath("nowhere")).isEmpty());
    TestFiles::write(programDir.filePath("file"), "x");
    EXPECT_TRUE(LanguageList::PlainLanguageList(programDir.filePath("file")).isEmpty());
    QDir(langDir).removeRecursively();
    QDir().mkpath(langDir);
    EXPECT_TRUE(LanguageList::PlainLanguageList().isEmpty());
    EXPECT_TRUE(LanguageList::FilteredLanguageList().isEmpty());
}

TEST_F(LanguageListTest, LanguageFilePathIsBuiltFromTheNameWithoutChecks)
{
    EXPECT_EQ(LanguageList::LanguageFolder(), programDir.path() + "/lang");
    EXPECT_EQ(modGlobal::LanguageFileFor("English"), programDir.path() + "/lang/English.dat");
    EXPECT_EQ(modGlobal::LanguageFileFor(""), programDir.path() + "/lang/.dat");
    modGlobal::SetProgramFolder(QString());
    EXPECT_EQ(modGlobal::ProgramFolder(), QCoreApplication::applicationDirPath());
}

} // namespace
