#pragma once

#include "config/modGlobal.h"
#include "config/modIniHandler.h"
#include "engine/ActivityLog.h"
#include "engine/MainWindowHost.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <optional>

// A main window without widgets: it keeps what the engine writes, answers what it reads,
// and lets a test act at every point where the engine lets events run.
class TestHost : public MainWindowHost
{
public:
    TestHost()
    {
        for (int n = 0; n <= 38; ++n)
            m_state.Texts.append(QStringLiteral("t%1").arg(n));
        m_state.Texts[4] = QStringLiteral("Minute");
        m_state.Texts[5] = QStringLiteral("Minutes");
    }

    MainWindowState &state() override { return m_state; }
    ActivityLog &activityLog() override { return log; }

    QString sourceFolderText() const override { return source; }
    QString destinationFolderText() const override { return destination; }
    bool moveSelected() const override { return move; }
    bool overwriteChecked() const override { return overwrite; }
    QString intervalText() const override { return interval; }

    void setWindowCaption(const QString &text) override
    {
        caption = text;
        captions.append(text);
    }
    void setRunInputsEnabled(bool enabled) override { runInputsEnabled = enabled; }
    void setStopStartCaption(const QString &text) override { stopStartCaption = text; }
    void setStopStartPicture(const QString &iconFile) override { picture = iconFile; }
    void setStopStartEnabled(bool enabled) override { stopStartEnabled = enabled; }
    void setFolderTextColor(FolderField field, TextColor color) override { colors[field] = color; }
    void SetScheduleControls(bool unlocked) override { scheduleUnlocked = unlocked; }
    void setIntervalEntries(const QStringList &list) override { intervalEntries = list; }
    void setIntervalText(const QString &text) override { interval = text; }
    void setIntervalTextRed(bool red) override { intervalRed = red; }
    void setTimer1Enabled(bool enabled) override { timer1 = enabled; }
    void setTimer2Enabled(bool enabled) override { timer2 = enabled; }
    void setBusyPointer(bool busy) override
    {
        this->busy = busy;
        ++busyChanges;
    }
    void processEvents() override
    {
        ++eventRounds;
        if (onEvents)
            onEvents();
    }
    modFSO::FsResult<qint64> diskFree(const QString &folder) override
    {
        if (freeSpace)
            return {*freeSpace, std::nullopt};
        return MainWindowHost::diskFree(folder);
    }

    QString text(int id) const { return m_state.text(id); }

    ActivityLog log;
    QString source;
    QString destination;
    bool move = false;
    bool overwrite = false;
    QString interval;

    QString caption;
    QStringList captions;
    std::optional<bool> runInputsEnabled;
    QString stopStartCaption;
    QString picture;
    std::optional<bool> stopStartEnabled;
    std::map<FolderField, TextColor> colors;
    std::optional<bool> scheduleUnlocked;
    QStringList intervalEntries;
    bool intervalRed = false;
    std::optional<bool> timer1;
    std::optional<bool> timer2;
    bool busy = false;
    int busyChanges = 0;
    int eventRounds = 0;
    std::function<void()> onEvents;
    std::optional<qint64> freeSpace;

private:
    MainWindowState m_state;
};

// A private settings file for one test; the engine reads it through ReadSetting.
class TestSettings
{
public:
    TestSettings()
    {
        modGlobal::SettingsFilePath = m_dir.filePath(QStringLiteral("Tessaro.ini"));
        QFile file(modGlobal::SettingsFilePath);
        if (file.open(QIODevice::WriteOnly))
            file.write("[Options]\r\n");
    }
    ~TestSettings() { modGlobal::SettingsFilePath.clear(); }

    void set(const QString &key, const QString &value) { modIniHandler::WriteSetting("Options", key, value); }

private:
    QTemporaryDir m_dir;
};
