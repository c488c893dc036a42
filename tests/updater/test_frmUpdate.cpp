#include "UpdaterStore.h"
#include "updater/UpdateSeams.h"
#include "updater/frmUpdate.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace
{

class AnsweringQuestionBox : public QuestionBox
{
public:
    explicit AnsweringQuestionBox(bool yes)
        : yes(yes)
    {
    }
    bool askYesNo(QWidget *, const QString &title, const QString &text) override
    {
        ++asked;
        askedTitle = title;
        askedText = text;
        return yes;
    }

    bool yes;
    int asked = 0;
    QString askedTitle;
    QString askedText;
};

class RecordingUrlOpener : public UrlOpener
{
public:
    void open(const QUrl &address) override { opened.append(QString::fromLatin1(address.toEncoded())); }

    QStringList opened;
};

const QString Root = QStringLiteral("https://www.ulvenor.example/");

struct LaunchResult {
    QString title;
    QString text;
    QStringList opened;
};

LaunchResult launch(const QString &argument, bool answerYes)
{
    AnsweringQuestionBox questionBox(answerYes);
    RecordingUrlOpener opener;
    frmUpdate form(argument, questionBox, opener);
    form.load();
    EXPECT_EQ(questionBox.asked, 1);
    return {questionBox.askedTitle, questionBox.askedText, opener.opened};
}

} // namespace

TEST(frmUpdate, GermanStoreWithoutArgumentOpensTheVersionPage)
{
    UpdaterStore store;
    store.set("Version", QStringLiteral("3.01.00"));
    store.set("Language", QStringLiteral("de"));

    const LaunchResult result = launch("", true);
    EXPECT_EQ(result.title, "Tessaro Lite Update");
    EXPECT_TRUE(result.text.startsWith(QString::fromUtf8("Dies wird Ihren Browser öffnen")));
    EXPECT_EQ(result.opened, QStringList {Root + "lite/de/update/QZL_3.01.00.htm"});
}

TEST(frmUpdate, ArgumentReplacesTheFolderAndLanguageNamesThePage)
{
    UpdaterStore store;
    store.set("Version", QStringLiteral("3.01.00"));
    store.set("Language", QStringLiteral("de"));

    EXPECT_EQ(launch("FR", true).opened, QStringList {Root + "lite/fr/update/QZL_de.htm"});
    EXPECT_EQ(
        launch("pt br/../x", true).opened, QStringList {Root + "lite/pt%20br%2F..%2Fx/update/QZL_de.htm"});
}

TEST(frmUpdate, LongLanguageNameAsksInEnglish)
{
    UpdaterStore store;
    store.set("Version", QStringLiteral("3.01.00"));
    store.set("Language", QStringLiteral("English"));

    const LaunchResult result = launch("", true);
    EXPECT_TRUE(result.text.startsWith("This will open your browser")) << result.text.toStdString();
    EXPECT_EQ(result.opened, QStringList {Root + "lite/en/update/QZL_3.01.00.htm"});
}

TEST(frmUpdate, CapitalCodeAsksWithEmptyLinesButKeepsItsFolder)
{
    UpdaterStore store;
    store.set("Version", QStringLiteral("3.01.00"));
    store.set("Language", QStringLiteral("DE"));

    const LaunchResult result = launch("", true);
    EXPECT_EQ(result.text, "\r\n\r\n\r\n");
    EXPECT_EQ(result.opened, QStringList {Root + "lite/de/update/QZL_3.01.00.htm"});
}

TEST(frmUpdate, EmptyStoreAsksInEnglishForTheNotFoundPage)
{
    UpdaterStore store;

    const LaunchResult result = launch("", true);
    EXPECT_TRUE(result.text.startsWith("This will open your browser"));
    EXPECT_EQ(result.opened, QStringList {Root + "lite/en/update/QZL_NotFound.htm"});
}

TEST(frmUpdate, NoOpensNothingAndTheWindowStillUnloadsAfterTheTimer)
{
    UpdaterStore store;
    store.set("Language", QStringLiteral("en"));
    AnsweringQuestionBox questionBox(false);
    RecordingUrlOpener opener;
    frmUpdate form("", questionBox, opener);
    QSignalSpy unloaded(&form, &frmUpdate::unloaded);

    EXPECT_EQ(form.windowTitle(), "QZW Update");
    EXPECT_EQ(form.size(), QSize(150, 50));
    EXPECT_FALSE(form.Timer1.isActive());

    form.load();
    EXPECT_TRUE(opener.opened.isEmpty());
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.Timer1.isActive());
    EXPECT_EQ(form.Timer1.interval(), 3000);
    EXPECT_EQ(unloaded.count(), 0);

    form.onTimer1Timeout();
    EXPECT_EQ(unloaded.count(), 1);
    EXPECT_FALSE(form.Timer1.isActive());
}
