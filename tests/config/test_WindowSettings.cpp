#include "config/ConfigTestSupport.h"
#include "config/SettingsHost.h"
#include "config/modGlobal.h"
#include "config/modIniHandler.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

// The main window's controls without widgets; calls records the order of the window
// operations that loading runs.
class StandInWindow : public SettingsHost
{
public:
    void fillIntervalList() override { calls << "fill"; }
    QString intervalText() const override { return interval; }
    QString minuteWordSingular() const override { return "minute"; }
    QString minuteWordPlural() const override { return "minutes"; }

    QString sourceFolderText() const override { return source; }
    void setSourceFolderText(const QString &text) override { source = text; }
    QString destinationFolderText() const override { return destination; }
    void setDestinationFolderText(const QString &text) override { destination = text; }

    bool moveOptionOn() const override { return move; }
    void setMoveOption(bool on) override { move = on; }
    void setCopyOption(bool on) override { copy = on; }

    bool showLogChecked() const override { return showLog; }
    void setShowLogChecked(bool checked) override { showLog = checked; }
    void ShowLogArea() override { calls << "ShowLogArea"; }
    void HideLogArea() override { calls << "HideLogArea"; }

    bool overwriteChecked() const override { return overwrite; }
    void setOverwriteChecked(bool checked) override { overwrite = checked; }

    QStringList calls;
    QString interval;
    QString source = "unchanged";
    QString destination = "unchanged";
    // As the window opens: "Move files" selected, boxes unticked.
    bool move = true;
    bool copy = false;
    bool showLog = false;
    bool overwrite = false;
};

class WindowSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        saved = modGlobal::SettingsFilePath;
        modGlobal::SettingsFilePath = dir.filePath("Tessaro.ini");
        modIniHandler::WriteDefaultSettings(dir.path());
    }

    void TearDown() override { modGlobal::SettingsFilePath = saved; }

    void store(const char *key, const QString &value) { modIniHandler::WriteSetting("Options", key, value); }
    QString stored(const char *key) { return modIniHandler::ReadSetting("Options", key, "<missing>", 256); }

    QTemporaryDir dir;
    QString saved;
    StandInWindow window;
};

TEST_F(WindowSettingsTest, LoadingTheDefaultFileSetsEveryControl)
{
    WindowSettings::LoadSettings(window);
    EXPECT_EQ(window.calls, QStringList({"fill", "ShowLogArea"}));
    EXPECT_EQ(window.source, "");
    EXPECT_EQ(window.destination, "");
    EXPECT_FALSE(window.move);
    EXPECT_TRUE(window.copy);
    EXPECT_TRUE(window.showLog);
    EXPECT_FALSE(window.overwrite);
}

TEST_F(WindowSettingsTest, LoadingExactValuesOnly)
{
    store("From", "/srv/in");
    store("Action", "Move");
    store("ShowLog", "0");
    store("Overwrite", "1");
    window.move = false;
    window.copy = true;
    window.showLog = true;
    WindowSettings::LoadSettings(window);
    EXPECT_EQ(window.source, "/srv/in");
    EXPECT_TRUE(window.move);
    EXPECT_FALSE(window.copy);
    EXPECT_FALSE(window.showLog);
    EXPECT_TRUE(window.overwrite);
    EXPECT_EQ(window.calls, QStringList({"fill", "HideLogArea"}));

    // Words the window does not know leave its controls as they are.
    StandInWindow other;
    other.overwrite = true;
    store("Action", "copy");
    store("ShowLog", "yes");
    store("Overwrite", "2");
    WindowSettings::LoadSettings(other);
    EXPECT_TRUE(other.move);
    EXPECT_FALSE(other.copy);
    EXPECT_FALSE(other.showLog);
    EXPECT_TRUE(other.overwrite);
    EXPECT_EQ(other.calls, QStringList({"fill"}));
}

TEST_F(WindowSettingsTest, LoadingFromAFileWithoutTheKeysUsesTheReadersDefaults)
{
    writeBytes(modGlobal::SettingsFilePath, "[Options]\r\n");
    WindowSettings::LoadSettings(window);
    EXPECT_EQ(window.source, "");
    EXPECT_EQ(window.destination, "");
    EXPECT_FALSE(window.move);
    EXPECT_TRUE(window.copy);
    EXPECT_EQ(window.calls, QStringList({"fill", "HideLogArea"}));
}

TEST_F(WindowSettingsTest, SavingWritesTheControlsAndKeepsTheRestOfTheFile)
{
    window.source = "/home/ann/in";
    window.destination = " /home/ann/out ";
    window.interval = "15 minutes";
    window.move = true;
    window.showLog = true;
    window.overwrite = false;
    WindowSettings::SaveSettings(window);

    QByteArray expected = expectedDefaultSettings();
    expected.replace("From=\r\n", "From=/home/ann/in\r\n");
    expected.replace("To=\r\n", "To=\" /home/ann/out \"\r\n");
    expected.replace("Interval=1\r\n", "Interval=15\r\n");
    expected.replace("Action=Copy\r\n", "Action=Move\r\n");
    EXPECT_EQ(readBytes(modGlobal::SettingsFilePath), expected);
    EXPECT_EQ(stored("To"), " /home/ann/out ");

    window.move = false;
    window.showLog = false;
    window.overwrite = true;
    window.interval = "1 MINUTE";
    WindowSettings::SaveSettings(window);
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
    store("Action", QString(300, QLatin1Char('a')));
    WindowSettings::LoadSettings(window);
    EXPECT_EQ(window.source, parent + "/src");
    EXPECT_EQ(window.destination, parent + "/dst");
    EXPECT_EQ(stored("Action").size(), 255);

    WindowSettings::SaveSettings(window);
    EXPECT_EQ(modIniHandler::ReadSetting("Options", "From", "", modIniHandler::WholeValue), parent + "/src");
    EXPECT_EQ(modIniHandler::ReadSetting("Options", "To", "", modIniHandler::WholeValue), parent + "/dst");
}

TEST(IntervalValueTest, MinuteWordsComeOffInAnyCase)
{
    EXPECT_EQ(WindowSettings::IntervalValue("15 minutes", "minute", "minutes"), "15");
    EXPECT_EQ(WindowSettings::IntervalValue("1 minute", "minute", "minutes"), "1");
    EXPECT_EQ(WindowSettings::IntervalValue("120 MiNuTeN", "Minute", "Minuten"), "120");
    EXPECT_EQ(WindowSettings::IntervalValue("45", "minute", "minutes"), "45");
    EXPECT_EQ(WindowSettings::IntervalValue("30minutes", "minute", "minutes"), "30minutes");
}

} // namespace
