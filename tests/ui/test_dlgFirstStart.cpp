// A user's very first start with the real windows: the language dialog comes before the
// main window, and the language chosen there is the one the main window speaks and the one
// recorded for the update launcher.
#include "DialogTestSupport.h"
#include "config/Startup.h"
#include "config/modIniHandler.h"
#include "config/modRegistry.h"
#include "ui/ProgramStartup.h"
#include "ui/dlgLangSelect.h"
#include "ui/frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace
{

QString germanText(int id)
{
    return modIniHandler::ReadIniValue(
        modGlobal::LanguageFileFor("Deutsch"), "frmMain", QStringLiteral("t%1").arg(id), QString(), 256);
}

} // namespace

TEST(FirstStart, AsksForTheLanguageFirstAndOpensTheMainWindowInIt)
{
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_FALSE(configHome.isEmpty());
    QDir(configHome + "/Tessaro").removeRecursively();
    modGlobal::SetProgramFolder(QStringLiteral(TESSARO_PROGRAM_DIR));

    ProgramStartup startup({});
    bool mainWindowBeforeTheDialog = true;
    whenModalOpens<dlgLangSelect>([&](dlgLangSelect &dialog) {
        mainWindowBeforeTheDialog = startup.mainWindow() != nullptr;
        auto *languages = dialog.findChild<QComboBox *>("dxLanguage");
        ASSERT_NE(languages, nullptr);
        EXPECT_EQ(languages->currentText(), "English");
        languages->setCurrentIndex(languages->findText("Deutsch"));
        QTest::mouseClick(dialog.findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
    });
    Startup::Main(startup);

    EXPECT_FALSE(mainWindowBeforeTheDialog);
    frmMain *window = startup.mainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->findChild<QLabel *>("Label1")->text(), germanText(0));
    EXPECT_EQ(window->findChild<QCheckBox *>("dxCheck1")->text(), germanText(9));
    EXPECT_EQ(window->findChild<QPushButton *>("cmdStopStart")->text(), germanText(12));
    EXPECT_EQ(window->windowTitle(), "Tessaro Lite - " + germanText(16));
    EXPECT_EQ(window->findChild<QComboBox *>("dxCombo1")->itemText(0), "1 " + germanText(4));

    QFile settings(configHome + "/Tessaro/Lite/Tessaro.ini");
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    QStringList lines;
    for (const QByteArray &line : settings.readAll().split('\n'))
        lines << QString::fromUtf8(line).trimmed();
    EXPECT_TRUE(lines.contains("Language=Deutsch")) << lines.join(" | ").toStdString();
    EXPECT_EQ(modRegistry::ReadRegistryString(
                  modRegistry::Hive::CurrentUser, QLatin1String(modRegistry::TessaroRegistryKey), "Language"),
        "de");
    modGlobal::SetProgramFolder(QString());
}
