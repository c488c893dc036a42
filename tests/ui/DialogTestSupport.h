#pragma once

#include "common/PrintTo.h"
#include "config/modGlobal.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

// A program folder of a test's own: lang/ with the language files the test puts there and
// bin/ for the pictures.
class TestProgramFolder
{
public:
    TestProgramFolder()
    {
        EXPECT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath("lang");
        QDir(dir.path()).mkpath("bin");
    }

    QString path() const { return dir.path(); }

    // A language file as the program ships it, from the source tree.
    void addShippedLanguage(const QString &name)
    {
        const QString shipped = QStringLiteral(TESSARO_SOURCE_DIR "/lang/") + name + QStringLiteral(".dat");
        EXPECT_TRUE(QFile::copy(shipped, dir.filePath("lang/" + name + ".dat"))) << name.toStdString();
    }

    void addFile(const QString &relativePath, const QByteArray &content)
    {
        QFile file(dir.filePath(relativePath));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << relativePath.toStdString();
        file.write(content);
    }

    // Makes this the folder of the running program.
    void use() const { modGlobal::SetProgramFolder(dir.path()); }

private:
    QTemporaryDir dir;
};

// Acts on the modal dialog of type Dialog once it is open (it runs its own event loop), then
// rejects it unless the action closed it, so that a failed action cannot leave it hanging.
template <typename Dialog> void whenModalOpens(const std::function<void(Dialog &)> &act)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        act(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    poll->start(10);
}

// The whole settings file as text.
inline QString settingsFileText()
{
    QFile file(modGlobal::SettingsFilePath);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<no settings file>");
    return QString::fromUtf8(file.readAll());
}
