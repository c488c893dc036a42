#pragma once

#include "config/modGlobal.h"
#include "config/modIniHandler.h"
#include "config/modRegistry.h"
#include "engine/ActivityLog.h"
#include "ui/Seams.h"
#include "ui/frmMain.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <deque>
#include <gtest/gtest.h>
#include <memory>

// One question or report that the window asked through the seams.
struct AskedQuestion {
    QString title;
    QString text;
};

// A settings file, the language files of the build and stand-ins for every seam, fresh for
// each test. Answers to yes/no questions are queued; with none queued the answer is No.
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        modGlobal::SetProgramFolder(QStringLiteral(TESSARO_PROGRAM_DIR));
        modGlobal::SettingsFolder = dir.path();
        modGlobal::SettingsFilePath = dir.filePath("Tessaro.ini");
        useLanguage("English");
        modRegistry::SaveSetting(modRegistry::SettingsAppName, "Options", "BGColor", QString());
        source = makeFolder("From");
        destination = makeFolder("To");
        writeSettings({});

        Seams::askYesNo.replace([this](QWidget *, const QString &title, const QString &text) {
            questions.push_back({title, text});
            if (answers.empty())
                return false;
            const bool answer = answers.front();
            answers.pop_front();
            return answer;
        });
        Seams::showMessage.replace([this](QWidget *, const QString &title, const QString &text) {
            messages.push_back({title, text});
        });
        Seams::openUrl.replace([this](const QUrl &url) {
            openedUrls.append(url);
            return true;
        });
        Seams::pickFolder.replace([this](const Seams::FolderRequest &request) {
            folderRequests.push_back(request);
            return pickedFolder;
        });
        Seams::trayAvailable.replace([this] { return trayAvailable; });
        Seams::notify.replace([this](QSystemTrayIcon &, const QString &title, const QString &text) {
            notifications.push_back({title, text});
        });
        Seams::desktopFacts.replace([this] { return desktop; });
    }

    void TearDown() override
    {
        window.reset();
        Seams::askYesNo.restore();
        Seams::showMessage.restore();
        Seams::openUrl.restore();
        Seams::pickFolder.restore();
        Seams::trayAvailable.restore();
        Seams::notify.restore();
        Seams::desktopFacts.restore();
    }

    void useLanguage(const QString &language)
    {
        modGlobal::CurrentLanguage = language;
        modGlobal::LanguageFilePath = modGlobal::LanguageFileFor(language);
    }

    QString makeFolder(const QString &name)
    {
        QDir(dir.path()).mkpath(name);
        return dir.filePath(name);
    }

    void makeFile(const QString &folder, const QString &name, const QByteArray &content = "data")
    {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    // The [Options] of the settings file: the folders of the test and the given keys over
    // a quiet default (no questions, nothing saved, the log shown).
    void writeSettings(const std::map<QString, QString> &changes)
    {
        std::map<QString, QString> options = {
            {"Save", "0"},
            {"Question", "0"},
            {"DoActionOnStart", "0"},
            {"CheckDestination", "1"},
            {"From", source},
            {"To", destination},
            {"Interval", "5"},
            {"Action", "Copy"},
            {"ShowLog", "1"},
            {"Overwrite", "0"},
            {"Language", "English"},
            {"ShowDateAndTime", "0"},
            {"SysTray", "1"},
        };
        for (const auto &[key, value] : changes)
            options[key] = value;
        QFile file(modGlobal::SettingsFilePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Options]\r\n");
        for (const auto &[key, value] : options)
            file.write((key + "=" + value + "\r\n").toUtf8());
    }

    // The schedule's clock is the test's, which moves only when a minute passes.
    frmMain &open(const QStringList &arguments = {})
    {
        window = std::make_unique<frmMain>(arguments);
        window->scheduler().setClock([this] { return clockMs; });
        return *window;
    }

    // A minute passes, and the window's minute timer ticks.
    void minutePasses()
    {
        clockMs += 60000;
        window->Timer1_Timer();
    }

    template <typename T> T *control(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QPushButton *stopStart() const { return control<QPushButton>("cmdStopStart"); }
    QLineEdit *field(const char *name) const { return control<QLineEdit>(name); }
    QStringList logLines() const { return window->activityLog().lines(); }
    QString lang(int id) const
    {
        return modIniHandler::ReadLanguageText("frmMain", QStringLiteral("t%1").arg(id));
    }

    QTemporaryDir dir;
    QString source;
    QString destination;
    std::unique_ptr<frmMain> window;
    qint64 clockMs = 0;

    std::deque<bool> answers;
    std::vector<AskedQuestion> questions;
    std::vector<AskedQuestion> messages;
    std::vector<AskedQuestion> notifications;
    QList<QUrl> openedUrls;
    std::vector<Seams::FolderRequest> folderRequests;
    QString pickedFolder;
    bool trayAvailable = false;
    // An X11 desktop with an XEmbed notification area and no notification server.
    Seams::DesktopFacts desktop;
};
