#include "config/modRegistry.h"

#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

using namespace modRegistry;

namespace
{

class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
        ASSERT_FALSE(configHome.isEmpty());
        QFile::remove(configHome + "/Ulvenor/Tessaro.conf");
        QFile::remove(configHome + "/Ulvenor/TessaroLite.conf");
    }

    QString configHome;
};

TEST_F(RegistryTest, KeyPathBecomesOrganizationApplicationAndGroup)
{
    WriteRegistryString(Hive::CurrentUser, TessaroRegistryKey, "Version", "3.01.00");
    WriteRegistryString(Hive::CurrentUser, "software\\Ulvenor\\Tessaro\\Lite", "Language", "de");
    WriteRegistryString(Hive::CurrentUser, TessaroRegistryKey, "Language", "en");

    // The update launcher opens the store on its own, the same way.
    QSettings launcherView(QSettings::NativeFormat, QSettings::UserScope, "Ulvenor", "Tessaro");
    EXPECT_EQ(launcherView.value("Lite/Version").toString(), "3.01.00");
    EXPECT_EQ(launcherView.value("Lite/Language").toString(), "en");
    EXPECT_EQ(launcherView.fileName(), configHome + "/Ulvenor/Tessaro.conf");
    EXPECT_TRUE(QFile::exists(configHome + "/Ulvenor/Tessaro.conf"));

    EXPECT_EQ(ReadRegistryString(Hive::CurrentUser, TessaroRegistryKey, "Version"), "3.01.00");
    EXPECT_EQ(ReadRegistryString(Hive::CurrentUser, TessaroRegistryKey, "Missing", "none"), "none");

    // A value of empty text is a value, not a missing one.
    WriteRegistryString(Hive::CurrentUser, TessaroRegistryKey, "Language", "");
    EXPECT_EQ(ReadRegistryString(Hive::CurrentUser, TessaroRegistryKey, "Language", "none"), "");

    // A key path without any name writes nothing and reads the default.
    WriteRegistryString(Hive::CurrentUser, "Software\\", "Version", "x");
    EXPECT_EQ(ReadRegistryString(Hive::CurrentUser, "Software\\", "Version", "none"), "none");
}

TEST_F(RegistryTest, BackColorIsKeptAsWrittenAndReadOnlyWhenChosen)
{
    EXPECT_EQ(GetSetting(SettingsAppName, "Options", "BGColor"), "");
    EXPECT_FALSE(ReadBackColor().has_value());

    SaveSetting(SettingsAppName, "Options", "BGColor", ButtonFaceColor);
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Ulvenor", "TessaroLite");
    EXPECT_EQ(store.value("Options/BGColor").toString(), "&H8000000F");
    EXPECT_EQ(GetSetting(SettingsAppName, "Options", "BGColor", "x"), "&H8000000F");
    EXPECT_EQ(ReadBackColor(), -2147483633);

    SaveSetting(SettingsAppName, "Options", "BGColor", WhiteColor);
    EXPECT_EQ(ReadBackColor(), 16777215);

    // Too short to be a colour, or not a number: the windows keep their colours.
    SaveSetting(SettingsAppName, "Options", "BGColor", "7");
    EXPECT_FALSE(ReadBackColor().has_value());
    SaveSetting(SettingsAppName, "Options", "BGColor", "&Hxyz");
    EXPECT_FALSE(ReadBackColor().has_value());
}

TEST(ColorValueTest, HexAndDecimalTextsGiveTheirSigned32BitNumber)
{
    EXPECT_EQ(ColorValueFromText("&H8000000F"), -2147483633);
    EXPECT_EQ(ColorValueFromText("&H00FFFFFF"), 16777215);
    EXPECT_EQ(ColorValueFromText("&hff"), 255);
    EXPECT_EQ(ColorValueFromText("&HFFFFFFFF"), -1);
    EXPECT_EQ(ColorValueFromText(" 12 "), 12);
    EXPECT_EQ(ColorValueFromText("-5"), -5);
    EXPECT_FALSE(ColorValueFromText("&H100000000").has_value());
    EXPECT_FALSE(ColorValueFromText("&H").has_value());
    EXPECT_FALSE(ColorValueFromText("&H-1").has_value());
    EXPECT_FALSE(ColorValueFromText("white").has_value());
    EXPECT_FALSE(ColorValueFromText("").has_value());
    EXPECT_FALSE(ColorValueFromText("99999999999").has_value());
}

} // namespace
