#include "config/ConfigTestSupport.h"
#include "config/WindowSettings.h"
#include "config/modGlobal.h"
#include "config/modIniHandler.h"

#include <gtest/gtest.h>

namespace
{

using WindowSettingsTest = SettingsFileTest;

TEST_F(WindowSettingsTest, LoadingTheDefaultFileGivesEveryValue)
{
    const WindowSettings::Values values = WindowSettings::Load();
    EXPECT_EQ(values.sourceFolder, "");
    EXPECT_EQ(values.destinationFolder, "");
    EXPECT_EQ(values.interval, "1");
    EXPECT_EQ(values.move, false);
    EXPECT_EQ(values.showLog, true);
    EXPECT_EQ(values.overwrite, false);
}

TEST_F(WindowSettingsTest, LoadingKnowsExactValuesOnly)
{
    store("From", "/srv/in");
    store("Action", "Move");
    store("ShowLog", "0");
    store("Overwrite", "1");
    WindowSettings::Values values = WindowSettings::Load();
    EXPECT_EQ(values.sourceFolder, "/srv/in");
    EXPECT_EQ(values.move, true);
    EXPECT_EQ(values.showLog, false);
    EXPECT_EQ(values.overwrite, true);

    // Words the window does not know leave its controls as they are.
    store("Action", "copy");
    store("ShowLog", "yes");
    store("Overwrite", "2");
    values = WindowSettings::Load();
    EXPECT_EQ(values.move, std::nullopt);
    EXPECT_EQ(values.showLog, std::nullopt);
    EXPECT_EQ(values.overwrite, std::nullopt);
}

TEST_F(WindowSettingsTest, LoadingFromAFileWithoutTheKeysUsesTheReadersDefaults)
{
    TestFiles::write(modGlobal::SettingsFilePath, "[Options]\r\n");
    const WindowSettings::Values values = WindowSettings::Load();
    EXPECT_EQ(values.sourceFolder, "");
    EXPECT_EQ(values.destinationFolder, "");
    EXPECT_EQ(values.interval, "5");
    EXPECT_EQ(values.move, false);
    EXPECT_EQ(values.showLog, false);
    EXPECT_EQ(values.overwrite, false);
}

TEST_F(WindowSettingsTest, SavingWritesTheValuesAndKeepsTheRestOfTheFile)
{
    WindowSettings::Values values;
    values.sourceFolder = "/home/ann/in";
    values.destinationFolder = " /home/ann/out ";
    values.interval = "15";
    values.move = true;
    values.showLog = true;
    values.overwrite = false;
    WindowSettings::Save(values);

    QByteArray expected = expectedDefaultSettings();
    expected.replace("From=\r\n", "From=/home/ann/in\r\n");
    expected.replace("To=\r\n", "To=\" /home/ann/out \"\r\n");
    expected.replace("Interval=1\r\n", "Interval=15\r\n");
    expected.replace("Action=Copy\r\n", "Action=Move\r\n");
    EXPECT_EQ(TestFiles::read(modGlobal::SettingsFilePath), expected);
    EXPECT_EQ(stored("To"), " /home/ann/out ");

    values.move = false;
    values.showLog = false;
    values.overwrite = true;
    values.interval = "1";
    WindowSettings::Save(values);
    EXPECT_EQ(stored("Interval"), "1");
    EXPECT_EQ(stored("Action"), "Copy");
    EXPECT_EQ(stored("ShowLog"), "0");
    EXPECT_EQ(stored("Overwrite"), "1");
}

// A folder below a 254-character parent: cut at 255 characters, the path named the parent.
TEST_F(WindowSettingsTest, FoldersAreReadWholeAndOtherKeysStillCutAt255)
{
    const QString parent = "/" + QString(253, QLatin1Char('p'));
    store("From", parent + "/src");
    store("To", parent + "/dst");
    store("Interval", QString(300, QLatin1Char('9')));
    const WindowSettings::Values values = WindowSettings::Load();
    EXPECT_EQ(values.sourceFolder, parent + "/src");
    EXPECT_EQ(values.destinationFolder, parent + "/dst");
    EXPECT_EQ(values.interval.size(), 255);

    WindowSettings::Save(values);
    EXPECT_EQ(stored("From", modIniHandler::WholeValue), parent + "/src");
    EXPECT_EQ(stored("To", modIniHandler::WholeValue), parent + "/dst");
}

TEST(IntervalValueTest, MinuteWordsComeOffInAnyCase)
{
    EXPECT_EQ(WindowSettings::IntervalValue("15 minutes", "minute", "minutes"), "15");
    EXPECT_EQ(WindowSettings::IntervalValue("1 minute", "minute", "minutes"), "1");
    EXPECT_EQ(WindowSettings::IntervalValue("1 MINUTE", "minute", "minutes"), "1");
    EXPECT_EQ(WindowSettings::IntervalValue("120 MiNuTeN", "Minute", "Minuten"), "120");
    EXPECT_EQ(WindowSettings::IntervalValue("45", "minute", "minutes"), "45");
    EXPECT_EQ(WindowSettings::IntervalValue("30minutes", "minute", "minutes"), "30minutes");
}

} // namespace
