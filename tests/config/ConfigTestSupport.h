#pragma once

#include "common/PrintTo.h"
#include "common/TestFiles.h"
#include "config/modGlobal.h"
#include "config/modIniHandler.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The settings file that a new user gets, line by line.
inline QByteArray expectedDefaultSettings()
{
    return QByteArray("\r\n"
                      "\r\n"
                      ";\r\n"
                      "; Config file for Tessaro Lite\r\n"
                      ";     file name: Tessaro.ini\r\n"
                      ";\r\n"
                      ";     Ulvenor\r\n"
                      ";     Nowhere Lane 0\r\n"
                      ";     00000 Examplestead\r\n"
                      ";     Neverland\r\n"
                      ";     mailto:support@ulvenor.example\r\n"
                      ";\r\n"
                      ";     https://www.ulvenor.example/\r\n"
                      ";     https://www.ulvenor.example/lite/help/index.html\r\n"
                      ";\r\n"
                      "\r\n"
                      "[Options]\r\n"
                      "Save=1\r\n"
                      "Question=0\r\n"
                      "DoActionOnStart=0\r\n"
                      "CheckDestination=1\r\n"
                      "From=\r\n"
                      "To=\r\n"
                      "Interval=1\r\n"
                      "Action=Copy\r\n"
                      "ShowLog=1\r\n"
                      "Overwrite=0\r\n"
                      "Language=\r\n"
                      "ShowDateAndTime=1\r\n"
                      "\r\n");
}

// A test with a settings file of its own, made with the default content.
class SettingsFileTest : public ::testing::Test
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
    QString stored(const char *key, int size = 256)
    {
        return modIniHandler::ReadSetting("Options", key, "<missing>", size);
    }

    QTemporaryDir dir;
    QString saved;
};
