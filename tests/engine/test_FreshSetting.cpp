#include "TestHost.h"
#include "engine/FreshSetting.h"

#include <QDateTime>
#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>

namespace
{

void makeOld(const QString &path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
}

// Rewrites the file in place, keeping its size, as an editor may do.
void rewriteInPlace(const QString &path, const QByteArray &from, const QByteArray &to)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray content = file.readAll();
    file.close();
    content.replace(from, to);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_EQ(file.write(content), content.size());
}

// The value as the transfer run sees it after it let events run (the settings may have been
// saved meanwhile).
QString afterEvents(FreshSetting &setting)
{
    setting.expire();
    return setting.value();
}

TEST(FreshSettingTest, SeesEveryChangeOfTheSettingsFile)
{
    TestSettings settings;
    const QString path = modGlobal::SettingsFilePath;
    FreshSetting setting(Settings::FreeSpaceCheckOfRun);
    EXPECT_EQ(afterEvents(setting), "0");

    settings.set("CheckDestination", "1");
    EXPECT_EQ(afterEvents(setting), "1");
    // Changed again at once, with the same size: within one timestamp tick.
    rewriteInPlace(path, "CheckDestination=1", "CheckDestination=7");
    EXPECT_EQ(afterEvents(setting), "7");

    // A file that has not changed for a long time, then changed in place.
    makeOld(path);
    EXPECT_EQ(afterEvents(setting), "7");
    EXPECT_EQ(afterEvents(setting), "7");
    rewriteInPlace(path, "CheckDestination=7", "CheckDestination=3");
    EXPECT_EQ(afterEvents(setting), "3");

    // Replaced by a file of the same size and an old time stamp.
    makeOld(path);
    EXPECT_EQ(afterEvents(setting), "3");
    const QString replacement = path + ".new";
    ASSERT_TRUE(QFile::copy(path, replacement));
    rewriteInPlace(replacement, "CheckDestination=3", "CheckDestination=5");
    makeOld(replacement);
    ASSERT_EQ(
        std::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(path).constData()), 0);
    EXPECT_EQ(afterEvents(setting), "5");

    // Another settings file, and none at all.
    {
        TestSettings other;
        EXPECT_EQ(afterEvents(setting), "0");
        other.set("CheckDestination", "4");
        EXPECT_EQ(afterEvents(setting), "4");
    }
    EXPECT_EQ(afterEvents(setting), "0");
}

} // namespace
