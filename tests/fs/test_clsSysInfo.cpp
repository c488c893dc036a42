#include "fs/clsSysInfo.h"

#include <QDir>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace
{

struct OsRow {
    int platformId, major, minor, build;
    const char *name;
};

TEST(ClsSysInfo, OsNameTable)
{
    const OsRow rows[] = {
        {2, 4, 0, 1381, "Windows NT"},
        {2, 4, 7, 0, "Windows NT"},
        {2, 5, 0, 2195, "Windows 2000"},
        {2, 5, 1, 2600, "Windows XP"},
        {2, 5, 2, 3790, "Unknown"},
        {2, 6, 0, 6002, "Windows VISTA"},
        {2, 6, 1, 7601, "Windows 7"},
        {2, 6, 2, 9200, "Windows 8"},
        {2, 6, 3, 9600, "Unknown"},
        {2, 10, 0, 19045, "Unknown"},
        {2, 3, 51, 1057, "Unknown"},
        {1, 5, 0, 1998, "Windows 98"},
        {1, 5, 0, 2222, "Windows 98 SE"},
        {1, 4, 10, 1998, "Windows 98"},
        {1, 4, 10, 2222, "Windows 98 SE"},
        {1, 4, 10, 0x040A07CE, "Windows 98"}, // only the low word of the build counts
        {1, 4, 10, 0x07CF, "Windows 98 SE"},
        {1, 4, 0, 950, "Windows 95"},
        {1, 4, 90, 3000, "Windows ME"},
        {1, 4, 3, 0, "Unknown"},
        {1, 3, 10, 1998, "Unknown"},
        {0, 3, 10, 0, "Windows 32s"},
        {0, 0, 0, 0, "Windows 32s"},
        {3, 6, 1, 0, "Unknown"},
        {-1, 6, 1, 0, "Unknown"},
    };
    for (const OsRow &row : rows)
        EXPECT_EQ(clsSysInfo::osName(row.platformId, row.major, row.minor, row.build), row.name)
            << row.platformId << " " << row.major << "." << row.minor << " build " << row.build;
}

TEST(ClsSysInfo, GetOsOnThisSystem)
{
    EXPECT_EQ(clsSysInfo().Get_OS(), "Unknown");
}

class SpecialFolderTest : public ::testing::Test
{
protected:
    void SetUp() override { m_saved = qgetenv("XDG_CONFIG_HOME"); }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", m_saved); }

    QByteArray m_saved;
};

TEST_F(SpecialFolderTest, ConfigurationFolderFollowsXdgConfigHome)
{
    const clsSysInfo info;
    qputenv("XDG_CONFIG_HOME", "/tmp/tessaro-config-test/");
    EXPECT_EQ(info.GetSpecialFolder(26), "/tmp/tessaro-config-test");
    qputenv("XDG_CONFIG_HOME", "/tmp/other-config");
    EXPECT_EQ(info.GetSpecialFolder(26), "/tmp/other-config");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(info.GetSpecialFolder(26), QDir::homePath() + "/.config");
}

TEST_F(SpecialFolderTest, OtherIds)
{
    const clsSysInfo info;
    EXPECT_EQ(info.GetSpecialFolder(40), QDir::homePath());
    EXPECT_FALSE(info.GetSpecialFolder(0).isEmpty());
    EXPECT_EQ(info.GetSpecialFolder(0), info.GetSpecialFolder(16));
    EXPECT_FALSE(info.GetSpecialFolder(0).endsWith('/'));
    EXPECT_EQ(info.GetSpecialFolder(2), QString());
    EXPECT_EQ(info.GetSpecialFolder(-1), QString());
    EXPECT_EQ(info.GetSpecialFolder(9999), QString());
}

TEST(ClsSysInfo, IsAdmin)
{
    const clsSysInfo info;
    EXPECT_TRUE(info.IsAdmin("root"));
    EXPECT_FALSE(info.IsAdmin("no-such-user-of-tessaro"));
    if (::getuid() == 0) {
        EXPECT_TRUE(info.IsAdmin());
    }
    if (::getpwnam("nobody")) {
        EXPECT_FALSE(info.IsAdmin("nobody"));
    }
}

TEST(ClsSysInfo, NoMouseWithoutGraphicalApplication)
{
    EXPECT_FALSE(clsSysInfo().MouseExists());
}

} // namespace
